// Fuzz target: `kestrum dump` on arbitrary file bytes. Dump is meant for
// files the project loader refuses, so whatever designs, records, names and
// nesting the toolkit opens, it must print as the file's own designs
// describe them; a file the toolkit does not open is refused with its
// report. Either way nothing it prints may hold a byte that a terminal acts
// on.
#include <sstream>
#include <string>

#include "cli.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string path = kestrum_fuzz::ScratchDir() + "/input.kpr";
  kestrum_fuzz::WriteInputOrDie(path, data, size);
  std::ostringstream out;
  try {
    if (kcli::dump_file(path, out) != kcli::kExitOk) kestrum_fuzz::Fail("dump answered neither success nor failure");
  } catch (const kcli::Failure &failure) {
    if (failure.chain().empty())
      kestrum_fuzz::Fail(std::string("dump refused a file without a report: ") + failure.what());
    out << failure.what() << "\n" << failure.chain() << "\n";
  }
  for (const char c : out.str()) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\n') || byte == 0x7f)
      kestrum_fuzz::Fail("dump printed the control byte " + std::to_string(byte));
  }
  return 0;
}
