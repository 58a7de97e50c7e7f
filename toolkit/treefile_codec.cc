// Byte-level reading and writing for the tree file (see treefile_codec.h).
#include "treefile_codec.h"

#include <array>
#include <cstring>

namespace tk::tree {

namespace {

constexpr uint32_t kCastagnoli = 0x82F63B78u;  // reflected polynomial

constexpr std::array<uint32_t, 256> make_crc_table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kCastagnoli : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = make_crc_table();

}  // namespace

uint32_t crc32c(const void *data, size_t size, uint32_t crc) {
  const auto *p = static_cast<const unsigned char *>(data);
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void ByteWriter::fixed(uint64_t value, int size) {
  unsigned char b[8];
  for (int i = 0; i < size; ++i) b[i] = static_cast<unsigned char>(value >> (8 * i));
  bytes(b, static_cast<size_t>(size));
}

void ByteWriter::varint(uint64_t value) {
  unsigned char b[10];
  size_t n = 0;
  while (value >= 0x80) {
    b[n++] = static_cast<unsigned char>(value | 0x80);
    value >>= 7;
  }
  b[n++] = static_cast<unsigned char>(value);
  bytes(b, n);
}

bool ByteReader::fail_at(size_t offset, std::string_view reason) {
  if (!failed_) {
    failed_ = true;
    reason_ = reason;
    failed_at_ = offset;
  }
  at_ = end_;  // nothing more is read once the input is known to be bad
  return false;
}

bool ByteReader::u64(uint64_t *out) {
  if (!ok()) return false;
  if (remaining() < 8) return fail("truncated number");
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(at_[i]) << (8 * i);
  at_ += 8;
  *out = v;
  return true;
}

bool ByteReader::varint(uint64_t *out) {
  if (!ok()) return false;
  size_t start = offset();
  uint64_t v = 0;
  for (int shift = 0; shift < 70; shift += 7) {
    if (at_ == end_) return fail_at(start, "truncated number");
    unsigned char b = *at_++;
    // The tenth byte may only carry the single top bit of a 64-bit value.
    if (shift == 63 && b > 1) return fail_at(start, "number too large");
    v |= static_cast<uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) {
      *out = v;
      return true;
    }
  }
  return fail_at(start, "number too long");
}

bool ByteReader::varint_max(uint64_t limit, uint64_t *out, const char *what) {
  size_t start = offset();
  if (!varint(out)) return false;
  if (*out > limit) return fail_at(start, what);
  return true;
}

bool ByteReader::count(uint64_t *out, size_t min_each, const char *what) {
  size_t start = offset();
  if (!varint(out)) return false;
  if (min_each == 0) min_each = 1;
  if (*out > remaining() / min_each) return fail_at(start, what);
  return true;
}

bool ByteReader::take(size_t size, const unsigned char **out, const char *what) {
  if (!ok()) return false;
  if (size > remaining()) return fail(what);
  *out = at_;
  at_ += size;
  return true;
}

bool ByteReader::text(std::string_view *out, size_t max_size, const char *what) {
  size_t start = offset();
  uint64_t size = 0;
  if (!varint(&size)) return false;
  if (size > max_size || size > remaining()) return fail_at(start, what);
  const unsigned char *bytes = at_;
  if (std::memchr(bytes, 0, size) != nullptr) return fail_at(start, what);
  at_ += size;
  *out = std::string_view(reinterpret_cast<const char *>(bytes), size);
  return true;
}

}  // namespace tk::tree
