#include "viewer/container/ciphers.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "viewer/base/file_system.h"
#include "viewer/base/message_sink.h"

namespace kelvora {

std::uint8_t xor_all_key_byte(const char* key) noexcept {
  std::uint8_t combined = 0;
  if (!key) return combined;
  for (const char* p = key; *p; ++p) combined ^= static_cast<std::uint8_t>(*p);
  return combined;
}

std::uint8_t xor_indexed_key_byte(const char* key) noexcept {
  std::uint8_t combined = 0;
  if (!key) return combined;
  for (std::size_t j = 0; key[j]; ++j)
    combined ^= static_cast<std::uint8_t>(j + static_cast<std::uint8_t>(key[j]));
  return combined;
}

void xor_bytes(std::uint8_t value, std::uint8_t* buffer,
               std::size_t count) noexcept {
  if (value == 0 || count == 0) return;
  // Blocks of 64 bytes as eight 64-bit words through memcpy (no alignment
  // or aliasing assumptions); the compiler turns the block into vector
  // instructions, and the tail is done byte by byte.
  constexpr std::size_t kBlock = 64;
  const std::uint64_t wide = 0x0101010101010101ULL * value;
  std::size_t i = 0;
  for (; i + kBlock <= count; i += kBlock) {
    std::uint64_t w[kBlock / 8];
    std::memcpy(w, buffer + i, kBlock);
    for (std::uint64_t& word : w) word ^= wide;
    std::memcpy(buffer + i, w, kBlock);
  }
  for (; i < count; ++i) buffer[i] ^= value;
}

void xor_all(const char* key, void* buffer, std::size_t count) noexcept {
  if (count == 0 || !key || !buffer) return;
  xor_bytes(xor_all_key_byte(key), static_cast<std::uint8_t*>(buffer), count);
}

void xor_indexed(const char* key, void* buffer, std::size_t count) noexcept {
  if (count == 0 || !key || !buffer) return;
  xor_bytes(xor_indexed_key_byte(key), static_cast<std::uint8_t*>(buffer),
            count);
}

void decrypt_at(const char* key, std::uint64_t offset, void* buffer,
                std::size_t count) noexcept {
  (void)offset;  // xor_all keys each byte by the key alone
  xor_all(key, buffer, count);
}

namespace {

// One chunk through the buffer, piece by piece.
CopyResult copy_chunk(std::uint8_t key_byte, std::uint8_t* buffer, std::FILE* destination,
                      std::FILE* source, std::size_t chunk) {
  for (std::size_t done = 0; done < chunk;) {
    const std::size_t piece = std::min(COPY_PIECE_SIZE, chunk - done);
    if (!source) return CopyResult::ShortRead;
    if (std::fread(buffer, 1, piece, source) != piece)
      return std::ferror(source) ? CopyResult::ReadFailed : CopyResult::ShortRead;
    xor_bytes(key_byte, buffer, piece);
    if (destination && std::fwrite(buffer, 1, piece, destination) != piece)
      return CopyResult::WriteFailed;
    done += piece;
  }
  return CopyResult::Done;
}

}  // namespace

CopyResult copy_decrypt_observed(const char* key, std::FILE* destination,
                                 std::FILE* source, std::uint32_t count,
                                 const CopyObserver& observer) {
  if (!key) return CopyResult::NoKey;
  // Allocated once per thread: a CD of many small files would otherwise pay
  // for a fresh megabyte with every file.
  thread_local std::vector<std::uint8_t> buffer;
  try {
    if (buffer.size() < COPY_BUFFER_SIZE) buffer.resize(COPY_BUFFER_SIZE);
  } catch (const std::bad_alloc&) {
    show_error("Error:", "Cannot allocate memory for file!");
    return CopyResult::NoMemory;
  }
  const std::uint8_t key_byte = xor_all_key_byte(key);
  // Plain contents go inside the kernel, chunk by chunk, until it refuses.
  std::optional<KernelCopy> kernel;
  if (key_byte == 0 && destination && source) kernel.emplace(destination, source);
  if (kernel && !kernel->ready()) kernel.reset();
  std::uint32_t remaining = count;
  while (remaining > 0) {
    const std::size_t chunk =
        remaining < COPY_CHUNK_SIZE ? remaining : COPY_CHUNK_SIZE;
    std::size_t copied = 0;
    if (kernel) {
      copied = static_cast<std::size_t>(kernel->copy(chunk));
      if (copied < chunk) kernel.reset();  // the streams take over where it ended
    }
    if (copied < chunk) {
      const CopyResult result =
          copy_chunk(key_byte, buffer.data(), destination, source, chunk - copied);
      if (result != CopyResult::Done) return result;
    }
    remaining -= static_cast<std::uint32_t>(chunk);
    if (observer && !observer(static_cast<std::uint32_t>(chunk)) &&
        remaining > 0)
      return CopyResult::Aborted;
  }
  return CopyResult::Done;
}

int copy_decrypt(const char* key, std::FILE* destination, std::FILE* source,
                 std::uint32_t count) {
  if (!destination) return 0;
  return copy_decrypt_observed(key, destination, source, count, {}) ==
                 CopyResult::Done
             ? 1
             : 0;
}

}  // namespace kelvora
