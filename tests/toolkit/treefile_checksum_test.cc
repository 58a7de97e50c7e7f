// The file checksum computed three ways: with the processor's CRC
// instruction where there is one, with tables, and bit by bit as the
// definition gives it. A file written on one machine is checked on another,
// so they must agree at every length and alignment, and a checksum carried
// on piece by piece (as a file is written) must equal the whole one.
//
// The codec is internal to the toolkit library and not exported, so this
// test compiles its source in.
#include <gtest/gtest.h>

#include <string>

#include "file_seal.h"
#include "toolkit/treefile_codec.cc"

namespace {

uint32_t bitwise(const char *p, size_t size) { return kestrum_test::BitwiseCrc32c(p, size); }

TEST(TreeFileChecksum, EveryWayAgreesAtEveryLengthAndAlignment) {
  using tk::tree::crc32c;
  using tk::tree::crc32c_portable;
  EXPECT_EQ(crc32c("123456789", 9), 0xE3069283u);  // the standard check value
  EXPECT_EQ(crc32c_portable("123456789", 9), 0xE3069283u);
  std::string bytes(300, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + 7);
  for (size_t start = 0; start < 9; ++start) {
    for (size_t size = 0; start + size <= bytes.size(); size += 1 + size / 8) {
      const char *p = bytes.data() + start;
      uint32_t whole = bitwise(p, size);
      ASSERT_EQ(crc32c(p, size), whole) << start << "+" << size;
      ASSERT_EQ(crc32c_portable(p, size), whole) << start << "+" << size;
      size_t cut = size / 3;
      ASSERT_EQ(crc32c(p + cut, size - cut, crc32c(p, cut)), whole) << start << "+" << size;
      ASSERT_EQ(crc32c_portable(p + cut, size - cut, crc32c_portable(p, cut)), whole) << start << "+" << size;
    }
  }
}

}  // namespace
