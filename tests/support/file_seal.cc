#include "file_seal.h"

namespace kestrum_test {

uint32_t BitwiseCrc32c(const void *data, size_t size) {
  const auto *bytes = static_cast<const uint8_t *>(data);
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0x82F63B78u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void ResealProjectFile(uint8_t *bytes, size_t size) {
  if (size < 4) return;
  uint32_t crc = BitwiseCrc32c(bytes, size - 4);
  for (int i = 0; i < 4; ++i) bytes[size - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
}

void ResealProjectFile(std::string &bytes) {
  ResealProjectFile(reinterpret_cast<uint8_t *>(bytes.data()), bytes.size());
}

}  // namespace kestrum_test
