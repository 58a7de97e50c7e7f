// Variable expansion and absolute paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "toolkit.h"

namespace {

// The text as a std::string ("<null>" for null), freeing it.
std::string take(char *text) {
  std::string out = text ? text : "<null>";
  tk_HeapFree(text);
  return out;
}

class ExpandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KESTRUM_TEST_DATA", "/srv/data", 1);
    setenv("KESTRUM_TEST_EMPTY", "", 1);
    setenv("PROJECT", "/somewhere/else", 1);
    unsetenv("KESTRUM_TEST_UNSET");
  }
  void TearDown() override {
    unsetenv("KESTRUM_TEST_DATA");
    unsetenv("KESTRUM_TEST_EMPTY");
    unsetenv("PROJECT");
  }

  // The expansion, or "<null>" after checking that a failure left a report
  // (whose message is kept in `message`).
  std::string expand(const char *text) {
    tk_ErrorReport *report = nullptr;
    char *out = tk_StringExpand(text, &report);
    EXPECT_EQ(out == nullptr, report != nullptr);
    message = report ? tk_ErrorReportGetMessage(report) : "";
    tk_ErrorReportDelete(&report);
    return take(out);
  }

  std::string message;
};

TEST_F(ExpandTest, ReplacesBothVariableForms) {
  EXPECT_EQ(expand("$KESTRUM_TEST_DATA/t1"), "/srv/data/t1");
  EXPECT_EQ(expand("${KESTRUM_TEST_DATA}x/y"), "/srv/datax/y");
  EXPECT_EQ(expand("a${KESTRUM_TEST_EMPTY}b"), "ab");
  EXPECT_EQ(expand("no variables here"), "no variables here");
  EXPECT_EQ(expand(""), "");
}

TEST_F(ExpandTest, ProjectIsAlwaysTheCurrentDirectory) {
  EXPECT_EQ(expand("$PROJECT"), ".");
  EXPECT_EQ(expand("$PROJECT/t1/a.img"), "./t1/a.img");
  EXPECT_EQ(expand("${PROJECT}/b"), "./b");
}

TEST_F(ExpandTest, DollarSignsThatNameNoVariableStay) {
  EXPECT_EQ(expand("cost $$5"), "cost $5");
  EXPECT_EQ(expand("$$KESTRUM_TEST_DATA"), "$KESTRUM_TEST_DATA");
  EXPECT_EQ(expand("a$/b$"), "a$/b$");
}

TEST_F(ExpandTest, UndefinedVariableFailsNamingIt) {
  EXPECT_EQ(expand("$KESTRUM_TEST_UNSET/x"), "<null>");
  EXPECT_NE(message.find("KESTRUM_TEST_UNSET"), std::string::npos) << message;
  EXPECT_EQ(expand("$PROJECTX/x"), "<null>");  // a longer name is another variable
  EXPECT_NE(message.find("PROJECTX"), std::string::npos) << message;
}

TEST_F(ExpandTest, MalformedBracesFail) {
  EXPECT_EQ(expand("${KESTRUM_TEST_DATA"), "<null>");
  EXPECT_EQ(expand("${}"), "<null>");
  EXPECT_EQ(expand("${A-B}"), "<null>");
  EXPECT_EQ(expand(nullptr), "<null>");
  EXPECT_EQ(tk_StringExpand("$KESTRUM_TEST_UNSET", nullptr), nullptr);  // null slot
}

std::string path_expand(const char *path) { return take(tk_PathExpand(path, 0, 0)); }

std::string cwd() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? buffer : "";
}

TEST(PathExpandTest, CleansAbsolutePaths) {
  EXPECT_EQ(path_expand("/data/proj/site.prj"), "/data/proj/site.prj");
  EXPECT_EQ(path_expand("/a/./b//c/../d"), "/a/b/d");
  EXPECT_EQ(path_expand("//a/b/"), "/a/b");
  EXPECT_EQ(path_expand("/"), "/");
}

// A path names a real place: whatever a "$" would mean to tk_StringExpand,
// here it is an ordinary character.
TEST(PathExpandTest, DollarSignsAreOrdinaryCharacters) {
  setenv("KESTRUM_TEST_DATA", "/srv/data", 1);
  EXPECT_EQ(path_expand("/p/$KESTRUM_TEST_DATA/../cost$$5/${KESTRUM_TEST_DATA}/./$/${/x$"),
            "/p/cost$$5/${KESTRUM_TEST_DATA}/$/${/x$");
  EXPECT_EQ(path_expand("/p/$KESTRUM_TEST_UNSET/proj${"), "/p/$KESTRUM_TEST_UNSET/proj${");
  unsetenv("KESTRUM_TEST_DATA");
}

TEST(PathExpandTest, NeverClimbsAboveTheRoot) {
  EXPECT_EQ(path_expand("/.."), "/");
  EXPECT_EQ(path_expand("/../../x/.."), "/");
  EXPECT_EQ(path_expand("/a/../../b"), "/b");
}

TEST(PathExpandTest, RelativePathsStartAtTheCurrentDirectory) {
  std::string here = cwd();
  ASSERT_FALSE(here.empty());
  std::string parent = here.substr(0, here.rfind('/'));
  EXPECT_EQ(path_expand("proj/site.prj"), here + "/proj/site.prj");
  EXPECT_EQ(path_expand("."), here);
  EXPECT_EQ(path_expand(""), here);
  EXPECT_EQ(path_expand(".."), parent.empty() ? "/" : parent);
  EXPECT_EQ(path_expand("$PROJECT/x"), here + "/$PROJECT/x");  // variables are not expanded here
}

TEST(PathExpandTest, NullGivesNull) { EXPECT_EQ(tk_PathExpand(nullptr, 0, 0), nullptr); }

}  // namespace
