// Throughput of the container cipher beside memcpy, and catalogue loading
// at growing sizes (it must stay linear in the number of records).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "viewer/catalogue/catalogue.h"
#include "viewer/container/ciphers.h"
#include "viewer/container/stored_values.h"
#include "viewer/base/message_sink.h"
#include "writer/writer.h"

namespace {

constexpr std::size_t kBuffer = 64u << 20;

void BM_Memcpy64MiB(benchmark::State& state) {
  std::vector<std::uint8_t> from(kBuffer, 1), to(kBuffer, 2);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kBuffer);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBuffer));
}
BENCHMARK(BM_Memcpy64MiB)->Unit(benchmark::kMillisecond);

void BM_XorAll64MiB(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(kBuffer, 3);
  const char* key = kelvora::ContainerKey.data();
  for (auto _ : state) {
    kelvora::xor_all(key, buffer.data(), kBuffer);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBuffer));
}
BENCHMARK(BM_XorAll64MiB)->Unit(benchmark::kMillisecond);

// One copy chunk, as the decrypting copy deciphers it: in cache.
void BM_XorAllChunk(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(kelvora::COPY_CHUNK_SIZE, 3);
  const char* key = kelvora::ContainerKey.data();
  for (auto _ : state) {
    kelvora::xor_all(key, buffer.data(), buffer.size());
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * buffer.size()));
}
BENCHMARK(BM_XorAllChunk)->Unit(benchmark::kMicrosecond);

// A catalogue of n records: one root, folders of 100 files each.
std::vector<std::uint8_t> catalogue_records(std::uint32_t n) {
  std::vector<std::uint8_t> out;
  kelvora::WriterItem root;
  root.Id = 1;
  root.Kind = kelvora::KIND_WHOLE_CD;
  root.Name = "CD";
  kelvora::encode_record(out, root, 0, {}, 0);
  std::uint32_t folder = 1;
  for (std::uint32_t id = 2; id <= n; ++id) {
    kelvora::WriterItem item;
    item.Id = id;
    if ((id - 2) % 101 == 0) {
      item.Kind = kelvora::KIND_FOLDER;
      item.ParentId = 1;
      item.Name = "Folder " + std::to_string(id);
      folder = id;
      kelvora::encode_record(out, item, 0, {}, 0);
    } else {
      item.Kind = kelvora::KIND_FILE;
      item.ParentId = folder;
      item.Name = "file-" + std::to_string(id) + ".txt";
      kelvora::encode_record(out, item, 1000, "KELVORA1.DAT", id * 1000);
    }
  }
  return out;
}

void BM_ParseCatalogue(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  const auto records = catalogue_records(n);
  kelvora::set_message_handler(
      [](kelvora::MessageKind, const std::string&, const std::string&) { return 1; });
  for (auto _ : state) {
    kelvora::Catalogue catalogue;
    benchmark::DoNotOptimize(kelvora::parse_catalogue(records, n, catalogue));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_ParseCatalogue)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  kelvora::unscramble_stored_values();
#if defined(__GLIBC__)
  // Keep freed memory in the heap between iterations, so that every size
  // measures loading rather than the kernel mapping fresh pages: without
  // this only the largest catalogue (over the allocator's 32 MiB mapping
  // threshold) pays for new pages on every iteration.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
