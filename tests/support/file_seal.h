// Makes the checksum of a project file right again after a test or a fuzz
// target changed its bytes, so that the change reaches the parser instead of
// being refused as a checksum mismatch.
//
// A project file ends with a little-endian CRC-32C (Castagnoli) of all the
// bytes before it. Inputs shorter than the checksum are left alone.
#ifndef KESTRUM_TEST_FILE_SEAL_H
#define KESTRUM_TEST_FILE_SEAL_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrum_test {

// CRC-32C bit by bit on purpose: independent of the table-driven and the
// hardware code in the toolkit, so a mistake there cannot hide behind the
// same mistake here. Every test that needs a checksum of its own takes it.
uint32_t BitwiseCrc32c(const void *bytes, size_t size);

void ResealProjectFile(uint8_t *bytes, size_t size);
void ResealProjectFile(std::string &bytes);

}  // namespace kestrum_test

#endif
