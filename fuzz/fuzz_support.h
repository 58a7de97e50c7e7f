// What the fuzz targets share: a scratch directory of the process for the
// project files they write, and a way to stop with a message when a target
// finds a broken guarantee (the fuzzer records that as a crash).
#ifndef KESTRUM_FUZZ_SUPPORT_H
#define KESTRUM_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "include/kestrum.h"

namespace kestrum_fuzz {

// A directory of this process, made on first use and removed at exit.
const std::string &ScratchDir();
// Writes the bytes to the file, replacing it, with the file's checksum made
// right (so that a mutation reaches the parser instead of the checksum
// test); stops the process on failure. The fuzzer and the replay of the
// corpus in normal builds go the same way through this, so an input that
// once crashed a target crashes its replay too.
void WriteInputOrDie(const std::string &path, const uint8_t *data, size_t size);
// Reports a broken guarantee and aborts.
[[noreturn]] void Fail(const std::string &what, const tk_ErrorReport *report = nullptr);
// Loads the project file; checks that a failure comes with a report and a
// success without one, and that a loaded project is sound and clean.
pm_Project *CheckedLoad(const std::string &path);

}  // namespace kestrum_fuzz

// The entry point of every target (libFuzzer's name).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

#endif
