// Writes the seed corpus of the fuzz targets: small valid project files of
// several shapes, made by saving projects through the library, plus a few
// inputs that are no project file at all. Run it after a change of the file
// format and commit what it writes:
//   fuzz_make_corpus fuzz/corpus
// Every seed goes into load/, roundtrip/ and dump/ under the same name;
// dump/ also gets files the library would never write (kestrum's designs
// mutated, hostile names, a deep chain of long names), which every target's
// replay reads too.
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "project_builder.h"
#include "raw_tree_file.h"

namespace {

struct Seed {
  const char *name;
  kestrum_test::FullShape shape;
};

void Store(const std::filesystem::path &root, const std::string &name, const std::string &bytes,
           std::initializer_list<const char *> targets = {"load", "roundtrip", "dump"}) {
  for (const char *target : targets) {
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
  std::size_t written = seeds.size() + 2;

  // Mutated designs: the first few of each kind the generator makes.
  int well_formed_seeds = 0, broken_seeds = 0;
  for (uint32_t seed = 1; well_formed_seeds < 8 || broken_seeds < 2; ++seed) {
    kestrum_test::RawFileGenerator generate(seed);
    bool well_formed = false;
    const std::string bytes = generate.MutatedProjectFile(&well_formed).Bytes();
    int &count = well_formed ? well_formed_seeds : broken_seeds;
    if (count == (well_formed ? 8 : 2) || bytes.size() > 4096) continue;
    Store(root, "dump-designs-" + std::to_string(seed), bytes, {"dump"});
    ++count;
    ++written;
  }
  // A chain of 40 long names with leaves at its foot.
  kestrum_test::RawTreeFile chain;
  chain.designs = kestrum_test::ProjectDesigns();
  for (uint64_t k = 1; k <= 40; ++k)
    chain.nodes.push_back({k - 1, 1, std::to_string(k) + std::string(120, 'n'), std::string(2, '\0')});
  for (int leaf = 0; leaf < 10; ++leaf)
    chain.nodes.push_back({40, 3, "leaf" + std::to_string(leaf), std::string(5, '\0')});
  Store(root, "dump-deep-chain", chain.Bytes(), {"dump"});
  std::printf("wrote %zu seeds to %s\n", written + 1, root.c_str());
  return 0;
}
