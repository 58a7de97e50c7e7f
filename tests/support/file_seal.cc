#include "file_seal.h"

namespace kestrum_test {

namespace {

// Bit by bit on purpose: independent of the table-driven code in the
// toolkit, so a mistake there cannot hide behind the same mistake here.
uint32_t Crc32c(const uint8_t *bytes, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0x82F63B78u & (0u - (crc & 1u)));
  }
  return ~crc;
}

}  // namespace

void ResealProjectFile(uint8_t *bytes, size_t size) {
  if (size < 4) return;
  uint32_t crc = Crc32c(bytes, size - 4);
  for (int i = 0; i < 4; ++i) bytes[size - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
}

void ResealProjectFile(std::string &bytes) {
  ResealProjectFile(reinterpret_cast<uint8_t *>(bytes.data()), bytes.size());
}

}  // namespace kestrum_test
