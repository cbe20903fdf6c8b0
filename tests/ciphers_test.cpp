#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "viewer/container/ciphers.h"
#include "viewer/base/file_system.h"

namespace kelvora {
namespace {

using test::pattern_bytes;

// The routines as stated: every key character in turn over the whole buffer.
void reference_xor_all(const std::string& key, std::vector<std::uint8_t>& buf) {
  for (char k : key)
    for (auto& b : buf) b ^= static_cast<std::uint8_t>(k);
}
void reference_xor_indexed(const std::string& key, std::vector<std::uint8_t>& buf) {
  for (std::size_t j = 0; j < key.size(); ++j)
    for (auto& b : buf)
      b ^= static_cast<std::uint8_t>(j + static_cast<std::uint8_t>(key[j]));
}

TEST(XorAll, MatchesOnePassPerKeyCharacterAtEveryLengthAndAlignment) {
  const std::string keys[] = {"k", "twenty characters k3y", "\xE9\x80zz", "abcabc"};
  for (const std::string& key : keys) {
    for (std::size_t length : {1u, 7u, 8u, 9u, 31u, 64u, 1000u}) {
      for (std::size_t skew : {0u, 1u, 3u}) {
        auto data = pattern_bytes(length + skew, static_cast<std::uint32_t>(length));
        auto expected = data;
        std::vector<std::uint8_t> tail(expected.begin() + static_cast<long>(skew),
                                       expected.end());
        reference_xor_all(key, tail);
        std::copy(tail.begin(), tail.end(), expected.begin() + static_cast<long>(skew));
        xor_all(key.c_str(), data.data() + skew, length);
        EXPECT_EQ(data, expected) << "key " << key << " length " << length;
      }
    }
  }
}

TEST(XorAll, EqualCharactersEmptyKeyAndZeroCountLeaveTheBufferAlone) {
  const auto original = pattern_bytes(100, 1);
  struct Case {
    const char* key;
    std::size_t count;
  } cases[] = {{"AA", 100}, {"", 100}, {nullptr, 100}, {"xyz", 0}};
  for (const Case& c : cases) {
    auto data = original;
    xor_all(c.key, data.data(), c.count);
    EXPECT_EQ(data, original) << (c.key ? c.key : "(none)");
  }
}

TEST(XorAll, IsItsOwnInverseAndWorksInPieces) {
  const auto original = pattern_bytes(5000, 2);
  auto whole = original;
  xor_all("piece key", whole.data(), whole.size());
  auto pieces = original;
  xor_all("piece key", pieces.data(), 1234);
  xor_all("piece key", pieces.data() + 1234, pieces.size() - 1234);
  EXPECT_EQ(whole, pieces);
  xor_all("piece key", whole.data(), whole.size());
  EXPECT_EQ(whole, original);
}

TEST(XorIndexed, AddsTheIndexToEachKeyCharacter) {
  const auto original = pattern_bytes(33, 3);
  auto one = original;
  xor_indexed("k", one.data(), one.size());
  for (std::size_t i = 0; i < one.size(); ++i) EXPECT_EQ(one[i], original[i] ^ 'k');

  // Two equal characters: k, then k + 1.
  auto two = original;
  xor_indexed("kk", two.data(), two.size());
  for (std::size_t i = 0; i < two.size(); ++i)
    EXPECT_EQ(two[i], original[i] ^ 'k' ^ ('k' + 1));

  // Low 8 bits of the sum: 0xFF at index 1 wraps to 0x00.
  auto wrap = original;
  xor_indexed("a\xFF", wrap.data(), wrap.size());
  auto expected = original;
  reference_xor_indexed("a\xFF", expected);
  EXPECT_EQ(wrap, expected);

  auto empty = original;
  xor_indexed("", empty.data(), empty.size());
  EXPECT_EQ(empty, original);
}

class CopyDecrypt : public ::testing::Test {
 protected:
  test::TempDir dir;

  // Copies count bytes of a source file with the key; returns the result,
  // the output and the sizes of the chunks the observer saw.
  struct Outcome {
    CopyResult result;
    std::vector<std::uint8_t> output;
    std::vector<std::uint32_t> chunks;
  };
  Outcome copy(const std::vector<std::uint8_t>& source, std::uint32_t count,
               const char* key, long skip = 0) {
    test::write_file(dir / "src", source);
    FilePtr in = open_file((dir / "src").string(), "rb");
    FilePtr out = open_file((dir / "dst").string(), "wb");
    std::fseek(in.get(), skip, SEEK_SET);
    Outcome o;
    o.result = copy_decrypt_observed(key, out.get(), in.get(), count,
                                     [&](std::uint32_t n) {
                                       o.chunks.push_back(n);
                                       return true;
                                     });
    out.reset();
    o.output = test::read_file(dir / "dst");
    return o;
  }
};

TEST_F(CopyDecrypt, ChunksAtTheMebibyteBoundary) {
  struct Case {
    std::uint32_t count;
    std::vector<std::uint32_t> chunks;
  } cases[] = {
      {0, {}},
      {1, {1}},
      {1048576, {1048576}},
      {1048577, {1048576, 1}},
      {3 * 1048576 + 5, {1048576, 1048576, 1048576, 5}},
  };
  // "aa" cancels out: the contents are plain and copied inside the kernel
  // where it can, with the same chunks.
  for (const char* key : {"key", "aa"}) {
    for (const Case& c : cases) {
      const auto source = pattern_bytes(c.count + 10, c.count);
      Outcome o = copy(source, c.count, key);
      EXPECT_EQ(o.result, CopyResult::Done);
      EXPECT_EQ(o.chunks, c.chunks) << key << " " << c.count;
      std::vector<std::uint8_t> expected(source.begin(), source.begin() + c.count);
      xor_all(key, expected.data(), expected.size());
      EXPECT_EQ(o.output, expected) << key << " " << c.count;
    }
  }
}

TEST_F(CopyDecrypt, StartsAtTheSourcePositionAndAnEmptyKeyCopiesPlain) {
  const auto source = pattern_bytes(300, 9);
  Outcome o = copy(source, 100, "", 50);
  EXPECT_EQ(o.result, CopyResult::Done);
  EXPECT_EQ(o.output, std::vector<std::uint8_t>(source.begin() + 50, source.begin() + 150));
}

// A plain copy between buffered streams starts where they stand (after the
// source's read-ahead and before the destination's unwritten bytes) and
// leaves both streams where the copy ended.
TEST_F(CopyDecrypt, APlainCopyKeepsBufferedStreamsInStep) {
  const auto source = pattern_bytes(2 * 1048576 + 100, 11);
  test::write_file(dir / "src", source);
  FilePtr in = open_file((dir / "src").string(), "rb");
  FilePtr out = open_file((dir / "dst").string(), "wb");
  std::uint8_t head[10];
  ASSERT_EQ(std::fread(head, 1, sizeof head, in.get()), sizeof head);
  std::fputs("abc", out.get());
  const std::uint32_t count = 1048576 + 33;
  EXPECT_EQ(copy_decrypt_observed("", out.get(), in.get(), count, {}), CopyResult::Done);
  std::uint8_t next[4];
  ASSERT_EQ(std::fread(next, 1, sizeof next, in.get()), sizeof next);
  EXPECT_EQ(std::vector<std::uint8_t>(next, next + 4),
            std::vector<std::uint8_t>(source.begin() + 10 + count, source.begin() + 14 + count));
  std::fputs("xyz", out.get());
  out.reset();
  std::vector<std::uint8_t> expected{'a', 'b', 'c'};
  expected.insert(expected.end(), source.begin() + 10, source.begin() + 10 + count);
  expected.insert(expected.end(), {'x', 'y', 'z'});
  EXPECT_EQ(test::read_file(dir / "dst"), expected);
}

TEST_F(CopyDecrypt, NoKeyCopiesNothing) {
  Outcome o = copy(pattern_bytes(10, 1), 10, nullptr);
  EXPECT_EQ(o.result, CopyResult::NoKey);
  EXPECT_TRUE(o.output.empty());
}

TEST_F(CopyDecrypt, AShortSourceIsAFailureNotASuccess) {
  for (const char* key : {"k", "aa"}) {
    Outcome o = copy(pattern_bytes(1048576 + 100, 4), 1048576 + 200, key);
    EXPECT_EQ(o.result, CopyResult::ShortRead) << key;
  }
  test::write_file(dir / "short", pattern_bytes(10, 1));
  FilePtr in = open_file((dir / "short").string(), "rb");
  FilePtr out = open_file((dir / "out").string(), "wb");
  EXPECT_EQ(copy_decrypt("k", out.get(), in.get(), 11), 0);
}

TEST_F(CopyDecrypt, AFullDiskIsAFailure) {
  FilePtr full = open_file("/dev/full", "wb");
  if (!full) GTEST_SKIP() << "no /dev/full here";
  std::setvbuf(full.get(), nullptr, _IONBF, 0);
  test::write_file(dir / "src", pattern_bytes(5000, 5));
  FilePtr in = open_file((dir / "src").string(), "rb");
  EXPECT_EQ(copy_decrypt_observed("k", full.get(), in.get(), 5000, {}),
            CopyResult::WriteFailed);
}

TEST_F(CopyDecrypt, TheObserverCanStopBetweenChunks) {
  const auto source = pattern_bytes(3 * 1048576, 6);
  test::write_file(dir / "src", source);
  FilePtr in = open_file((dir / "src").string(), "rb");
  FilePtr out = open_file((dir / "dst").string(), "wb");
  int calls = 0;
  EXPECT_EQ(copy_decrypt_observed("k", out.get(), in.get(), 3 * 1048576,
                                  [&](std::uint32_t) { return ++calls < 2; }),
            CopyResult::Aborted);
  EXPECT_EQ(calls, 2);
}

TEST(CopyDecryptDiscard, ANullDestinationStillReadsEverything) {
  test::TempDir dir;
  test::write_file(dir / "src", pattern_bytes(2000, 7));
  FilePtr in = open_file((dir / "src").string(), "rb");
  EXPECT_EQ(copy_decrypt_observed("k", nullptr, in.get(), 2000, {}), CopyResult::Done);
  EXPECT_EQ(copy_decrypt_observed("k", nullptr, in.get(), 1, {}), CopyResult::ShortRead);
}

}  // namespace
}  // namespace kelvora
