// Writes the seed corpus of the fuzz targets: small valid project files of
// several shapes, made by saving projects through the library, plus a few
// inputs that are no project file at all. Run it after a change of the file
// format and commit what it writes:
//   fuzz_make_corpus fuzz/corpus
// Every seed goes into load/ and roundtrip/ under the same name.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "full_project.h"
#include "fuzz_support.h"

namespace {

struct Seed {
  const char *name;
  kestrum_test::FullShape shape;
};

void Store(const std::filesystem::path &root, const std::string &name, const std::string &bytes) {
  for (const char *target : {"load", "roundtrip"}) {
    std::filesystem::create_directories(root / target);
    std::ofstream out(root / target / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) kestrum_fuzz::Fail("cannot write seed " + name);
  }
}

std::string Read(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
    return 2;
  }
  std::filesystem::path root(argv[1]);
  std::vector<Seed> seeds = {
      {"seed-empty-project", {0, 0, 0, 0, 0, 1}},
      {"seed-one-of-each", {1, 1, 1, 1, 1, 1}},
      {"seed-small", {2, 1, 2, 1, 2, 2}},
      {"seed-odd-values", {1, 2, 3, 2, 3, 3}},
      {"seed-processes-only", {0, 0, 2, 3, 3, 4}},
  };
  for (const Seed &seed : seeds) {
    std::string path = kestrum_fuzz::ScratchDir() + "/" + seed.name + ".kpr";
    pm_Project *project = kestrum_test::BuildFullProject(path, seed.shape);
    if (project == nullptr) kestrum_fuzz::Fail(std::string("cannot build ") + seed.name);
    tk_ErrorReport *report = nullptr;
    pm_ProjectSave(project, 0, &report);
    if (report != nullptr) kestrum_fuzz::Fail(std::string("cannot save ") + seed.name, report);
    pm_ProjectDestroy(project);
    Store(root, seed.name, Read(path));
  }
  Store(root, "seed-empty-file", "");
  Store(root, "seed-text", "not a project file\n");
  std::printf("wrote %zu seeds to %s\n", seeds.size() + 2, root.c_str());
  return 0;
}
