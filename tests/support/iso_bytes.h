// Hand-laid ISO 9660 images for the reader's tests and fuzz seeds: volume
// descriptors, directory records and Rock Ridge entries put sector by
// sector, so that a test can make exactly the damage it is about.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::test {

using Bytes = std::vector<std::uint8_t>;

inline void put_both32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    b[at + 7 - i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

// One directory record.  flags: 2 directory, 0x80 more extents follow.
inline Bytes iso_record(std::uint32_t extent, std::uint32_t length, std::uint8_t flags,
                        const Bytes& name, const Bytes& system_use = {}) {
  const std::size_t pad = name.size() % 2 == 0 ? 1 : 0;
  Bytes r(33 + name.size() + pad + system_use.size(), 0);
  r[0] = static_cast<std::uint8_t>(r.size());
  put_both32(r, 2, extent);
  put_both32(r, 10, length);
  r[25] = flags;
  r[28] = 1;  // volume sequence number
  r[32] = static_cast<std::uint8_t>(name.size());
  std::copy(name.begin(), name.end(), r.begin() + 33);
  std::copy(system_use.begin(), system_use.end(), r.begin() + 33 + name.size() + pad);
  return r;
}

inline Bytes iso_name(const std::string& text) { return Bytes(text.begin(), text.end()); }
inline Bytes iso_dot() { return Bytes{0}; }
inline Bytes iso_dotdot() { return Bytes{1}; }
// Joliet: UCS-2 big-endian (ASCII and Latin-1 text here).
inline Bytes iso_ucs2(const std::u16string& text) {
  Bytes b;
  for (char16_t c : text) {
    b.push_back(static_cast<std::uint8_t>(c >> 8));
    b.push_back(static_cast<std::uint8_t>(c & 0xFF));
  }
  return b;
}

// Rock Ridge entries.
inline Bytes rr_sp() { return Bytes{'S', 'P', 7, 1, 0xBE, 0xEF, 0}; }
inline Bytes rr_nm(const std::string& name, std::uint8_t flags = 0) {
  Bytes e(5 + name.size(), 0);
  e[0] = 'N';
  e[1] = 'M';
  e[2] = static_cast<std::uint8_t>(e.size());
  e[3] = 1;
  e[4] = flags;
  std::copy(name.begin(), name.end(), e.begin() + 5);
  return e;
}
inline Bytes rr_ce(std::uint32_t block, std::uint32_t offset, std::uint32_t length) {
  Bytes e(28, 0);
  e[0] = 'C';
  e[1] = 'E';
  e[2] = 28;
  e[3] = 1;
  put_both32(e, 4, block);
  put_both32(e, 12, offset);
  put_both32(e, 20, length);
  return e;
}
inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// An image of whole sectors, with a primary descriptor at 16 (and a Joliet
// one at 17 when asked) and a terminator after them.
class IsoBytes {
 public:
  explicit IsoBytes(std::size_t sectors) : bytes_(sectors * 2048, 0) {}

  void primary(std::uint32_t root_extent, std::uint32_t root_length,
               std::uint16_t block = 2048) {
    descriptor(16, 1, root_extent, root_length, block);
    terminator(joliet_ ? 18 : 17);
  }
  void joliet(std::uint32_t root_extent, std::uint32_t root_length) {
    joliet_ = true;
    descriptor(17, 2, root_extent, root_length, 2048);
    const std::size_t d = 17 * 2048;
    bytes_[d + 88] = '%';
    bytes_[d + 89] = '/';
    bytes_[d + 90] = 'E';
    terminator(18);
  }
  // Records laid one after the other from the start of sector.
  void directory(std::size_t sector, const std::vector<Bytes>& records) {
    std::size_t at = sector * 2048;
    for (const Bytes& r : records) {
      if ((at % 2048) + r.size() > 2048) at = (at / 2048 + 1) * 2048;
      put(at, r);
      at += r.size();
    }
  }
  void put(std::size_t at, const Bytes& data) {
    if (at + data.size() > bytes_.size()) bytes_.resize(at + data.size(), 0);
    std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  void text(std::size_t sector, const std::string& contents) {
    put(sector * 2048, Bytes(contents.begin(), contents.end()));
  }
  Bytes& bytes() { return bytes_; }

 private:
  void descriptor(std::size_t sector, std::uint8_t type, std::uint32_t root_extent,
                  std::uint32_t root_length, std::uint16_t block) {
    const std::size_t d = sector * 2048;
    bytes_[d] = type;
    put(d + 1, iso_name("CD001"));
    bytes_[d + 6] = 1;
    bytes_[d + 128] = static_cast<std::uint8_t>(block & 0xFF);
    bytes_[d + 129] = static_cast<std::uint8_t>(block >> 8);
    put(d + 156, iso_record(root_extent, root_length, 2, iso_dot()));
  }
  void terminator(std::size_t sector) {
    const std::size_t d = sector * 2048;
    bytes_[d] = 255;
    put(d + 1, iso_name("CD001"));
    bytes_[d + 6] = 1;
  }
  Bytes bytes_;
  bool joliet_ = false;
};

}  // namespace kelvora::test
