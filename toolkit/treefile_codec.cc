// Byte-level reading and writing for the tree file (see treefile_codec.h).
#include "treefile_codec.h"

#include <array>
#include <cstring>

namespace tk::tree {

namespace {

constexpr uint32_t kCastagnoli = 0x82F63B78u;  // reflected polynomial

// Eight tables for the portable path: table[k][b] is the CRC of byte b
// followed by k zero bytes, so eight input bytes cost eight independent
// lookups instead of a chain of eight.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables make_crc_tables() {
  CrcTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kCastagnoli : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (size_t k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

constexpr CrcTables kCrc = make_crc_tables();

uint64_t load_le64(const unsigned char *p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TK_HAVE_CRC_INSTRUCTION 1
// SSE 4.2 computes this very polynomial in hardware, eight bytes an
// instruction: the checksum of a large project then costs next to nothing
// beside writing it. Takes and returns the register form (inverted).
__attribute__((target("sse4.2"))) uint32_t crc32c_sse42(const unsigned char *p, size_t size, uint32_t crc) {
  uint64_t c = crc;
  for (; size >= 8; p += 8, size -= 8) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    c = __builtin_ia32_crc32di(c, v);
  }
  auto c32 = static_cast<uint32_t>(c);
  for (; size > 0; ++p, --size) c32 = __builtin_ia32_crc32qi(c32, *p);
  return c32;
}

bool have_crc_instruction() {
  static const bool have = __builtin_cpu_supports("sse4.2");
  return have;
}
#endif

}  // namespace

uint32_t crc32c_portable(const void *data, size_t size, uint32_t crc) {
  const auto *p = static_cast<const unsigned char *>(data);
  crc = ~crc;
  for (; size >= 8; p += 8, size -= 8) {
    uint64_t v = load_le64(p) ^ crc;
    crc = kCrc[7][v & 0xFF] ^ kCrc[6][(v >> 8) & 0xFF] ^ kCrc[5][(v >> 16) & 0xFF] ^ kCrc[4][(v >> 24) & 0xFF] ^
          kCrc[3][(v >> 32) & 0xFF] ^ kCrc[2][(v >> 40) & 0xFF] ^ kCrc[1][(v >> 48) & 0xFF] ^ kCrc[0][v >> 56];
  }
  for (; size > 0; ++p, --size) crc = kCrc[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t crc32c(const void *data, size_t size, uint32_t crc) {
#ifdef TK_HAVE_CRC_INSTRUCTION
  if (have_crc_instruction()) return ~crc32c_sse42(static_cast<const unsigned char *>(data), size, ~crc);
#endif
  return crc32c_portable(data, size, crc);
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

bool ByteReader::varint_long(uint64_t *out) {
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

bool ByteReader::count(uint64_t *out, size_t min_each, const char *what) {
  const unsigned char *start = at_;
  if (!varint(out)) return false;
  if (min_each == 0) min_each = 1;
  if (*out > remaining() / min_each) return fail_at(offset_of(start), what);
  return true;
}

bool ByteReader::text(std::string_view *out, size_t max_size, const char *what) {
  const unsigned char *start = at_;
  uint64_t size = 0;
  if (!varint(&size)) return false;
  if (size > max_size || size > remaining()) return fail_at(offset_of(start), what);
  const unsigned char *bytes = at_;
  if (std::memchr(bytes, 0, size) != nullptr) return fail_at(offset_of(start), what);
  at_ += size;
  *out = std::string_view(reinterpret_cast<const char *>(bytes), size);
  return true;
}

}  // namespace tk::tree
