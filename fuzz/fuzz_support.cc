#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "file_seal.h"
#include "project_compare.h"

namespace kestrum_fuzz {

namespace {

struct Scratch {
  std::string path;
  Scratch() {
    // A directory in memory when there is one: every input is written to a
    // file and loaded from it, and a disk would make that the slowest part.
    std::error_code error;
    std::filesystem::path parent = std::filesystem::is_directory("/dev/shm", error) && access("/dev/shm", W_OK) == 0
                                       ? std::filesystem::path("/dev/shm")
                                       : std::filesystem::temp_directory_path();
    std::string pattern = (parent / "kestrum-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("kestrum fuzz: mkdtemp");
      std::abort();
    }
    path = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

const std::string &ScratchDir() {
  static Scratch scratch;
  return scratch.path;
}

void WriteInputOrDie(const std::string &path, const uint8_t *data, size_t size) {
  std::vector<uint8_t> sealed(data, data + size);
  kestrum_test::ResealProjectFile(sealed.data(), sealed.size());
  data = sealed.data();
  // A new file each time: some file systems flush a file that was cut to
  // nothing and written again when it is closed.
  unlink(path.c_str());
  FILE *out = std::fopen(path.c_str(), "wb");
  if (out == nullptr || (size > 0 && std::fwrite(data, 1, size, out) != size) || std::fclose(out) != 0) {
    std::perror(("kestrum fuzz: cannot write " + path).c_str());
    std::abort();
  }
}

void Fail(const std::string &what, const tk_ErrorReport *report) {
  std::fprintf(stderr, "kestrum fuzz: %s\n", what.c_str());
  if (report != nullptr) {
    char *chain = tk_ErrorReportFormatChain(report);
    std::fprintf(stderr, "%s\n", chain != nullptr ? chain : "(unformattable report)");
    tk_HeapFree(chain);
  }
  std::abort();
}

pm_Project *CheckedLoad(const std::string &path) {
  tk_ErrorReport *report = nullptr;
  pm_Project *project = pm_ProjectLoad(path.c_str(), 0, &report);
  if (project == nullptr) {
    if (report == nullptr) Fail("a failed load left no report");
    // The chain must be whole: every message readable.
    char *chain = tk_ErrorReportFormatChain(report);
    if (chain == nullptr) Fail("report chain cannot be formatted", report);
    tk_HeapFree(chain);
    tk_ErrorReportDelete(&report);
    return nullptr;
  }
  if (report != nullptr) Fail("a successful load left a report", report);
  std::string problem = kestrum_test::ProjectStructureProblem(project);
  if (!problem.empty()) Fail("loaded project is not sound: " + problem);
  if (pm_ProjectDirty(project) != 0) Fail("a freshly loaded project reports changes");
  return project;
}

}  // namespace kestrum_fuzz
