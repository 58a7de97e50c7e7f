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

void ResealProjectFile(uint8_t *bytes, size_t size);
void ResealProjectFile(std::string &bytes);

}  // namespace kestrum_test

#endif
