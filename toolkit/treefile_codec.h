// Byte-level reading and writing for the tree file: little-endian numbers,
// unsigned varints (7 bits a byte, low bits first), length-prefixed texts and
// the CRC-32C checksum that seals a file.
//
// ByteReader is the only way the tree-file code looks at bytes that came
// from disk. Every read checks what remains before it touches memory; the
// first failure records where and why, and every later read fails too, so a
// parser can run a sequence of reads and test once.
#ifndef KESTRUM_TOOLKIT_TREEFILE_CODEC_H
#define KESTRUM_TOOLKIT_TREEFILE_CODEC_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tk::tree {

// CRC-32C (Castagnoli polynomial, reflected, initial and final inversion),
// continued from `crc` so that a checksum can be computed piecewise.
// Uses the processor's CRC instruction where there is one.
uint32_t crc32c(const void *data, size_t size, uint32_t crc = 0);
// The same with tables only, on every processor.
uint32_t crc32c_portable(const void *data, size_t size, uint32_t crc = 0);

// Appends encoded values to a byte string. Values are gathered in a small
// buffer of the writer's own and reach the string in runs: appending each
// byte or field to the string by itself cost more than encoding it. The
// string holds everything only after flush(); size() counts both.
class ByteWriter {
 public:
  explicit ByteWriter(std::string &out) : out_(out) {}
  ByteWriter(const ByteWriter &) = delete;
  ByteWriter &operator=(const ByteWriter &) = delete;

  void u32(uint32_t value) { fixed<4>(value); }
  void u64(uint64_t value) { fixed<8>(value); }
  void varint(uint64_t value) {
    if (used_ + 10 > kRoom) flush();
    while (value >= 0x80) {
      buffer_[used_++] = static_cast<char>(value | 0x80);
      value >>= 7;
    }
    buffer_[used_++] = static_cast<char>(value);
  }
  void bytes(const void *data, size_t size) {
    if (used_ + size > kRoom) {
      flush();
      if (size > kRoom / 2) {
        out_.append(static_cast<const char *>(data), size);
        return;
      }
    }
    if (size) std::memcpy(buffer_ + used_, data, size);
    used_ += size;
  }
  void text(std::string_view text) {
    varint(text.size());
    bytes(text.data(), text.size());
  }
  // Moves what is gathered into the string.
  void flush() {
    if (used_ == 0) return;
    out_.append(buffer_, used_);
    used_ = 0;
  }
  size_t size() const { return out_.size() + used_; }

 private:
  // The low `Size` bytes, least significant first.
  template <int Size>
  void fixed(uint64_t value) {
    unsigned char b[Size];
    for (int i = 0; i < Size; ++i) b[i] = static_cast<unsigned char>(value >> (8 * i));
    bytes(b, Size);
  }

  static constexpr size_t kRoom = 512;
  std::string &out_;
  char buffer_[kRoom];
  size_t used_ = 0;
};

// Reads encoded values from a bounded range of bytes. Offsets in failure
// reasons are counted from the start of the file (`base`), so that a report
// can point at the damaged byte.
class ByteReader {
 public:
  ByteReader(const unsigned char *data, size_t size, size_t base = 0)
      : at_(data), end_(data + size), base_(base), start_(data) {}

  bool u64(uint64_t *out) {
    if (!ok()) return false;
    if (remaining() < 8) return fail("truncated number");
    uint64_t v;
    std::memcpy(&v, at_, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    at_ += 8;
    *out = v;
    return true;
  }
  // Refuses encodings longer than ten bytes or larger than 64 bits. Most
  // numbers of a file fit one byte; those are read here, inline.
  bool varint(uint64_t *out) {
    // After a failure nothing remains (fail_at), so the test of what
    // remains covers it.
    if (at_ != end_ && *at_ < 0x80) {
      *out = *at_++;
      return true;
    }
    return varint_long(out);
  }
  // A varint that must not exceed `limit`.
  bool varint_max(uint64_t limit, uint64_t *out, const char *what) {
    const unsigned char *start = at_;
    if (!varint(out)) return false;
    if (*out > limit) return fail_at(offset_of(start), what);
    return true;
  }
  // A count of things that each take at least `min_each` bytes (at least 1),
  // refused when that many could not fit in what remains, so that no caller
  // reserves memory for more items than the file can hold.
  bool count(uint64_t *out, size_t min_each, const char *what);
  // `size` raw bytes, viewed in place.
  bool take(size_t size, const unsigned char **out, const char *what) {
    if (!ok()) return false;
    if (size > remaining()) return fail(what);
    *out = at_;
    at_ += size;
    return true;
  }
  // A length-prefixed text of at most `max_size` bytes, viewed in place. A
  // text may not hold a NUL byte: it is handed out as a C string.
  bool text(std::string_view *out, size_t max_size, const char *what);

  // Records a failure at the current offset (unless one is recorded already)
  // and returns false.
  bool fail(std::string_view reason) { return fail_at(offset(), reason); }
  bool fail_at(size_t offset, std::string_view reason);

  bool ok() const { return !failed_; }
  size_t offset() const { return offset_of(at_); }
  // The offset of a byte of the range, counted as offset() counts.
  size_t offset_of(const unsigned char *at) const { return base_ + static_cast<size_t>(at - start_); }
  size_t remaining() const { return static_cast<size_t>(end_ - at_); }
  const unsigned char *here() const { return at_; }  // the next byte to read
  const std::string &reason() const { return reason_; }
  size_t failed_at() const { return failed_at_; }

 private:
  bool varint_long(uint64_t *out);

  const unsigned char *at_;
  const unsigned char *end_;
  size_t base_;
  const unsigned char *start_;
  bool failed_ = false;
  std::string reason_;
  size_t failed_at_ = 0;
};

}  // namespace tk::tree

#endif
