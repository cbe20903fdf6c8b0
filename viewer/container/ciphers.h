// The two byte-wise XOR routines on which all secrecy of a CD rests, and the
// chunked decrypting copy built on the first of them.
//
// Both routines XOR every byte of a buffer once per key character, so their
// effect on a byte does not depend on its position: the result equals one
// XOR with the combined key byte, which is what is computed here in a single
// pass.  A buffer may therefore be deciphered in pieces, and each routine is
// its own inverse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>

namespace kelvora {

// The XOR of all characters of a terminated key (0 for none or empty).
std::uint8_t xor_all_key_byte(const char* key) noexcept;
// The XOR over j of the low 8 bits of j + key[j].
std::uint8_t xor_indexed_key_byte(const char* key) noexcept;

// XORs count bytes with one byte value; the loop the two routines share.
void xor_bytes(std::uint8_t value, std::uint8_t* buffer,
               std::size_t count) noexcept;

// Deciphers or enciphers in place with every key character in turn.  Does
// nothing with no key, an empty key or a count of 0.
void xor_all(const char* key, void* buffer, std::size_t count) noexcept;

// As xor_all, but pass j XORs with the low 8 bits of j + key[j].
void xor_indexed(const char* key, void* buffer, std::size_t count) noexcept;

// Deciphers in place count bytes read from offset onwards of a file's
// contents, as copy_decrypt deciphers them in a copy from the start: a
// piece of a file can be read and deciphered without the bytes before it.
// The content cipher keys every byte alike, so offset does not change the
// result; it is taken so that no caller relies on that.
void decrypt_at(const char* key, std::uint64_t offset, void* buffer,
                std::size_t count) noexcept;

// Working buffer of copy_decrypt: 1 MiB and 100 bytes; chunks of 1 MiB.
// A chunk is the unit of progress and of stopping; inside it the bytes are
// read, deciphered and written in pieces small enough to stay in the
// processor's cache between the three steps.
constexpr std::size_t COPY_BUFFER_SIZE = 1048676;
constexpr std::size_t COPY_CHUNK_SIZE = 1048576;
constexpr std::size_t COPY_PIECE_SIZE = 262144;

enum class CopyResult {
  Done,        // every byte read, deciphered and written
  NoKey,       // no key given: nothing copied
  NoMemory,    // the working buffer could not be had (already reported)
  ShortRead,   // the source ended before count bytes
  ReadFailed,  // the source could not be read (errno says why)
  WriteFailed, // the destination took fewer bytes than given
  Aborted,     // the observer asked to stop between two chunks
};

// Called after each chunk with the bytes of that chunk; returning false
// stops the copy before the next chunk.
using CopyObserver = std::function<bool(std::uint32_t chunk_bytes)>;

// Copies count bytes from the source's current position into the
// destination, deciphered with xor_all and the key, in chunks of 1 MiB.
// Neither file is closed.  A null destination deciphers and discards (used
// to verify a CD without writing it).  Where the combined key byte is 0 the
// contents are stored plain and are copied inside the kernel where the
// platform can.  The working buffer is kept for the thread's next copy.
CopyResult copy_decrypt_observed(const char* key, std::FILE* destination,
                                 std::FILE* source, std::uint32_t count,
                                 const CopyObserver& observer);

// 1 when all count bytes were copied, 0 otherwise.  Unlike a plain stream
// copy it reports a short read or write as a failure.
int copy_decrypt(const char* key, std::FILE* destination, std::FILE* source,
                 std::uint32_t count);

}  // namespace kelvora
