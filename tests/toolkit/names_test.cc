// Parts of file paths and of tree-file node paths.
#include <gtest/gtest.h>

#include <string>

#include "toolkit.h"

namespace {

constexpr int kDirectory = 7;    // the directory in which the file lies
constexpr int kBase = 8;         // name without directory and extension
constexpr int kName = 24;        // name with its extension

using PartFunction = char *(*)(const char *, int, int, tk_ErrorReport **);

// The part as a std::string; "<null>" when the call fails, which must then
// leave a report (and none otherwise).
std::string part(PartFunction function, const char *path, int selector) {
  tk_ErrorReport *report = nullptr;
  char *part = function(path, selector, -1, &report);
  EXPECT_EQ(part == nullptr, report != nullptr) << "path " << (path ? path : "(null)");
  tk_ErrorReportDelete(&report);
  std::string out = part ? part : "<null>";
  tk_HeapFree(part);
  return out;
}

std::string file_part(const char *path, int selector) { return part(tk_FileNamePart, path, selector); }
std::string node_part(const char *path, int selector) { return part(tk_NodePathPart, path, selector); }

TEST(FileNamePartTest, LibrarySelectorsOnAPlainAbsolutePath) {
  EXPECT_EQ(file_part("/data/proj/site.prj", kDirectory), "/data/proj");
  EXPECT_EQ(file_part("/data/proj/site.prj", kBase), "site");
  EXPECT_EQ(file_part("/data/proj/site.prj", kName), "site.prj");
  EXPECT_EQ(file_part("/data/proj/site.prj", TK_PART_EXT), ".prj");
}

TEST(FileNamePartTest, FileInTheRootLiesInSlash) {
  EXPECT_EQ(file_part("/site.prj", kDirectory), "/");
  EXPECT_EQ(file_part("/site.prj", kName), "site.prj");
  EXPECT_EQ(file_part("//site.prj", kDirectory), "/");
}

TEST(FileNamePartTest, RelativeAndBarePaths) {
  EXPECT_EQ(file_part("proj/site.prj", kDirectory), "proj");
  EXPECT_EQ(file_part("site.prj", kDirectory), ".");
  EXPECT_EQ(file_part("site.prj", kBase), "site");
  EXPECT_EQ(file_part("./site.prj", kDirectory), ".");
  EXPECT_EQ(file_part("", kDirectory), ".");
  EXPECT_EQ(file_part("", kName), "");
}

TEST(FileNamePartTest, ExtensionIsAfterTheLastDotOfTheNameOnly) {
  EXPECT_EQ(file_part("/a.b/archive.tar.gz", kBase), "archive.tar");
  EXPECT_EQ(file_part("/a.b/archive.tar.gz", TK_PART_EXT), ".gz");
  EXPECT_EQ(file_part("/a.b/README", kBase), "README");          // a dot in the directory is no extension
  EXPECT_EQ(file_part("/a.b/README", TK_PART_EXT), "");
  EXPECT_EQ(file_part("/home/u/.profile", kBase), ".profile");   // a leading dot is no extension
  EXPECT_EQ(file_part("/home/u/.profile.bak", kBase), ".profile");
  EXPECT_EQ(file_part("/home/u/..", kBase), "..");
  EXPECT_EQ(file_part("/home/u/name.", TK_PART_EXT), ".");
}

TEST(FileNamePartTest, TrailingSlashLeavesAnEmptyName) {
  EXPECT_EQ(file_part("/data/proj/", kDirectory), "/data/proj");
  EXPECT_EQ(file_part("/data/proj//", kDirectory), "/data/proj");
  EXPECT_EQ(file_part("/data/proj/", kName), "");
}

TEST(FileNamePartTest, DirectorySeparatorJoinsDirectoryAndName) {
  const int whole = kDirectory | kName;
  EXPECT_EQ(file_part("/data//proj/site.prj", whole), "/data//proj/site.prj");
  EXPECT_EQ(file_part("/site.prj", whole), "/site.prj");
  EXPECT_EQ(file_part("site.prj", whole), "./site.prj");
  EXPECT_EQ(file_part("/data/site.prj", TK_PART_DIR | TK_PART_BASE), "/datasite");
  EXPECT_EQ(file_part("/data/site.prj", TK_PART_DRIVE), "");
}

TEST(FileNamePartTest, RefusesNullPathAndUnknownSelectorBits) {
  EXPECT_EQ(file_part(nullptr, kName), "<null>");
  EXPECT_EQ(file_part("/a/b", TK_NODE_NAME), "<null>");
  EXPECT_EQ(tk_FileNamePart(nullptr, kName, -1, nullptr), nullptr);  // null slot
}

TEST(NodePathPartTest, ChildOfTheRoot) {
  EXPECT_EQ(node_part(":T", TK_NODE_NAME), "T");
  EXPECT_EQ(node_part(":T", TK_NODE_PARENT), ":");
  EXPECT_EQ(node_part(":Project", TK_NODE_PARENT | TK_NODE_NAME), ":Project");
}

TEST(NodePathPartTest, DeeperNodesKeepTheColonBeforeTheName) {
  EXPECT_EQ(node_part(":T:S", TK_NODE_NAME), "S");
  EXPECT_EQ(node_part(":T:S", TK_NODE_PARENT), ":T:");
  EXPECT_EQ(node_part(":Root Files:P", TK_NODE_NAME), "P");
  EXPECT_EQ(node_part(":Root Files:P", TK_NODE_PARENT), ":Root Files:");
  EXPECT_EQ(node_part(":T:S:f.img", TK_NODE_PARENT), ":T:S:");
}

TEST(NodePathPartTest, PathsAreTakenFromTheRoot) {
  EXPECT_EQ(node_part("T", TK_NODE_PARENT), ":");
  EXPECT_EQ(node_part("T:S", TK_NODE_PARENT), ":T:");
  EXPECT_EQ(node_part("::T", TK_NODE_NAME), "T");
  EXPECT_EQ(node_part("::T", TK_NODE_PARENT), ":");
}

TEST(NodePathPartTest, RefusesPathsWithoutALastName) {
  for (const char *bad : {":", "", "::", ":T:", ":T::S"}) {
    EXPECT_EQ(node_part(bad, TK_NODE_NAME), "<null>") << bad;
    EXPECT_EQ(node_part(bad, TK_NODE_PARENT), "<null>") << bad;
  }
  EXPECT_EQ(node_part(nullptr, TK_NODE_NAME), "<null>");
}

TEST(NodePathPartTest, RefusesSelectorsItDoesNotKnow) {
  EXPECT_EQ(node_part(":T", 0), "<null>");
  EXPECT_EQ(node_part(":T", 64), "<null>");
  EXPECT_EQ(node_part(":T", kName), "<null>");
}

}  // namespace
