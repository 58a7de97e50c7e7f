// Projects in directories whose names hold "$", "$$", "${", a variable's
// name (defined or not), dots and spaces. The project's directory is where
// its file lies, so none of that may be read as a variable: such a project
// saves, loads, saves into itself and loads again as it was, its names
// written with "$PROJECT" expand to the real directory, and a load creates
// nothing anywhere.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "persist/designs.h"
#include "persist_fixture.h"
#include "project_builder.h"
#include "project_compare.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

namespace fs = std::filesystem;

constexpr char kVariable[] = "KESTRUM_ODD_DIRECTORY";

// Directory names (one or two levels) made of pieces that expansion would
// read: variables in both forms, escapes, unclosed braces, the project
// marker, dots and spaces.
std::vector<std::string> OddDirectoryNames() {
  const std::string v = kVariable;
  const std::vector<std::string> pieces = {
      "$",   "$$",     "${",        "${" + v + "}", "$" + v, "$$" + v, "$" + v + "$$", "${" + v,
      "}",   "$1",     "$PROJECT",  "${PROJECT}",   "..",    "...",    " ",            "a b $ c",
      "$/",  "cost$$5"};
  std::vector<std::string> names;
  for (const std::string &piece : pieces) {
    std::string name = "p" + piece + "q";
    // A piece ending in "/" makes two levels; the second one odd as well.
    if (piece.back() == '/') name += "$" + v + "..";
    names.push_back(name);
  }
  names.push_back("$" + v);
  names.push_back("..$" + v);
  names.push_back("cost$$5/$$");
  return names;
}

// Every path beneath `root`.
std::set<std::string> Everything(const std::string &root) {
  std::set<std::string> paths;
  for (const auto &entry : fs::recursive_directory_iterator(root)) paths.insert(entry.path().string());
  return paths;
}

void RoundTripIn(const TempDir &root, const std::string &name) {
  SCOPED_TRACE("directory \"" + name + "\"");
  const std::string directory = root.Path(name);
  fs::create_directories(directory);
  const std::string path = directory + "/site$" + kVariable + ".kpf";
  FullShape shape;
  shape.tiles = 1;
  shape.processes = 1;
  ProjectPtr saved(BuildFullProject(path, shape));
  ASSERT_TRUE(saved);
  // A name outside the project's directory with "$" in it stays as written.
  pm_File *literal = pm_FileCreate("Literal", (root.path() + "/cost$$5/x${Y}.img").c_str(), 1, nullptr, nullptr);
  ReportSlot slot;
  pm_ProjectAppendFile(saved.get(), literal, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  pm_ProjectSave(saved.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  // Names inside the directory are stored relative to it.
  bool marked = false;
  {
    TreeFile tree(path, "rb");
    for (const std::string &node : tree.List(":", "PM_File")) {
      const size_t colon = node.rfind(':');
      const std::string parent = colon == 0 ? ":" : node.substr(0, colon);
      pm::FileRecord record{};
      if (!tree.Read(parent.c_str(), node.substr(colon + 1).c_str(), "PM_File", &record)) break;
      const std::string descriptor = TakeItem(record.descriptor);
      marked = marked || descriptor.rfind("$PROJECT/", 0) == 0;
      for (tk_StringItem *item : {&record.type, &record.verified, &record.comment}) TakeItem(*item);
    }
  }
  EXPECT_TRUE(marked) << "no descriptor was stored relative to the project's directory";

  const std::set<std::string> before = Everything(root.path());
  ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  ASSERT_TRUE(loaded) << slot.text();
  EXPECT_EQ(Everything(root.path()), before) << "the load created something";
  CompareOptions binding;
  binding.file_binding = true;
  EXPECT_EQ(ProjectDifference(saved.get(), loaded.get(), binding), "");

  pm_ProjectSave(loaded.get(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  ProjectPtr again(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  ASSERT_TRUE(again) << slot.text();
  EXPECT_EQ(ProjectDifference(saved.get(), again.get(), binding), "");
  EXPECT_EQ(Everything(root.path()), before) << "saving into the file or loading it created something";
}

TEST(OddDirectory, DollarsDotsAndSpacesInTheProjectsDirectoryAreNeverVariables) {
  for (const char *value : {static_cast<const char *>(nullptr), "made"}) {
    SCOPED_TRACE(std::string(kVariable) + (value ? std::string("=") + value : " undefined"));
    value ? setenv(kVariable, value, 1) : unsetenv(kVariable);
    TempDir root;
    for (const std::string &name : OddDirectoryNames()) RoundTripIn(root, name);
  }
  unsetenv(kVariable);
}

}  // namespace
}  // namespace kestrum_test
