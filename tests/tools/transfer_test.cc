// `kestrum export` and `kestrum import`: stable JSON, faithful round trips
// through project files, and bad documents refused at the place they are
// wrong without leaving a project file behind.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "cli.h"
#include "peak_memory.h"
#include "project_builder.h"
#include "tool_runner.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

using ExportImport = ToolTest;
using BadJson = ToolTest;

TEST_F(ExportImport, ExportImportExportGivesIdenticalBytes) {
  const std::string file = make_demo();
  const Outcome first = run({"export", file});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(run({"export", file}).out, first.out);
  WriteBytes(path("demo.json"), first.out);

  // Into another directory: "$PROJECT" names follow the project file.
  const Outcome imported = run({"import", path("demo.json"), path("copy/copy.kpf")});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_THAT(imported.out, HasSubstr("Imported 3 tiles and 5 samples"));
  const Outcome second = run({"export", path("copy/copy.kpf")});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, first.out);

  EXPECT_THAT(first.out, HasSubstr("\"descriptor\": \"$PROJECT/tiles/T1/photo.img\""));
  EXPECT_THAT(first.out, HasSubstr("\"parameter_file\": \"$PROJECT/params/segment.par\""));
  const Outcome shown = run({"show", path("copy/copy.kpf")});
  EXPECT_THAT(shown.out, HasSubstr("missing photo     $PROJECT/tiles/T1/photo.img"));
}

TEST_F(ExportImport, ExportToFileAndImportFromStandardInput) {
  const std::string file = make_demo();
  ASSERT_EQ(run({"export", file, "-o", path("out.json")}).status, 0);
  const std::string text = ReadBytes(path("out.json"));
  EXPECT_THAT(text, HasSubstr("\"kestrum_project\": 1"));
  ASSERT_EQ(run({"import", "-", path("piped.kpf")}, text).status, 0);
  EXPECT_EQ(run({"export", path("piped.kpf")}).out, text);
}

TEST_F(ExportImport, ValuesWithoutNamesAndEmptyTextsSurviveTheProjectFile) {
  const std::string document = R"({
  "kestrum_project": 1,
  "settings": {"type": 7, "dot_grid": "Enabled", "poly_tool": -1},
  "files": [{"type": "notes", "descriptor": "/elsewhere/notes.txt", "time": 1234.5,
             "verified": "", "comment": "a \"quoted\" comment"}],
  "tiles": [{"name": "T1", "selection": 3, "files": [], "samples": [{"name": "S1"}]}],
  "levels": [{"pfa_files": [{"name": "notes", "type": 9}]},
             {},
             {"processes": [{"name": "p", "output": "Generate",
                             "arguments": [{"name": "x", "value": "notes", "mode": 12}]}]}]
})";
  WriteBytes(path("odd.json"), document);
  const Outcome imported = run({"import", path("odd.json"), path("odd.kpf")});
  ASSERT_EQ(imported.status, 0) << imported.err;
  const Outcome first = run({"export", path("odd.kpf")});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_THAT(first.out, HasSubstr("\"type\": 7"));
  EXPECT_THAT(first.out, HasSubstr("\"poly_tool\": -1"));
  EXPECT_THAT(first.out, HasSubstr("\"verified\": \"\""));
  EXPECT_THAT(first.out, HasSubstr("\"descriptor\": \"/elsewhere/notes.txt\""));
  EXPECT_THAT(first.out, HasSubstr("\"time\": 1234.5"));
  EXPECT_THAT(first.out, HasSubstr("\"mode\": 12"));
  EXPECT_THAT(first.out, HasSubstr("\"selection\": \"Manual\""));  // the sample took the default
  WriteBytes(path("odd2.json"), first.out);
  ASSERT_EQ(run({"import", path("odd2.json"), path("odd2.kpf")}).status, 0);
  EXPECT_EQ(run({"export", path("odd2.kpf")}).out, first.out);
}

TEST_F(ExportImport, ImportRefusesToReplaceFileUnlessForced) {
  const std::string file = make_demo();
  WriteBytes(path("empty.json"), R"({"kestrum_project": 1})");
  const Outcome refused = run({"import", path("empty.json"), file});
  EXPECT_EQ(refused.status, 2);
  EXPECT_THAT(refused.err, HasSubstr("already exists (use --force to replace it)"));
  EXPECT_THAT(run({"show", file}).out, HasSubstr("tiles: 3"));

  ASSERT_EQ(run({"import", "--force", path("empty.json"), file}).status, 0);
  EXPECT_THAT(run({"show", file}).out, HasSubstr("tiles: 0, samples: 0"));
}

TEST_F(ExportImport, ForcedImportReplacesLikeEverySave) {
  // Through a link, onto a private file, and onto a file that another
  // writer holds: the link stays and its target is replaced, the mode
  // stays, the other writer's lock is honoured, and nothing is left behind.
  const std::string file = make_demo();
  const fs::path directory = fs::path(file).parent_path();
  WriteBytes(path("one.json"), R"({"kestrum_project": 1, "tiles": [{"name": "Only"}]})");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  const std::string link = path("link.kpf");
  fs::create_symlink(file, link);
  const auto listing = [&] {
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(directory)) names.insert(entry.path().filename().string());
    return names;
  };
  const std::set<std::string> before = listing();

  const Outcome through_link = run({"import", "--force", path("one.json"), link});
  ASSERT_EQ(through_link.status, 0) << through_link.err;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_THAT(run({"show", file}).out, HasSubstr("tiles: 1, samples: 0"));
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(listing(), before);

  const std::string held = ReadBytes(file);
  const int writer = open(file.c_str(), O_RDWR);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(flock(writer, LOCK_EX | LOCK_NB), 0);
  const Outcome locked = run({"import", "--force", path("one.json"), file});
  close(writer);
  EXPECT_EQ(locked.status, 2);
  EXPECT_THAT(locked.err, HasSubstr("in use by another writer"));
  EXPECT_THAT(locked.err, Not(HasSubstr(".tmp")));
  EXPECT_EQ(ReadBytes(file), held);
  EXPECT_EQ(listing(), before);
}

TEST_F(ExportImport, FailedForcedImportKeepsTheOldFile) {
  const std::string file = make_demo();
  const std::string before = ReadBytes(file);
  WriteBytes(path("twins.json"), R"({"kestrum_project": 1, "tiles": [{"name": "A"}, {"name": "A"}]})");
  EXPECT_EQ(run({"import", "--force", path("twins.json"), file}).status, 2);
  EXPECT_EQ(ReadBytes(file), before);
}

TEST_F(ExportImport, PeakMemoryStaysNearACheckOfTheSameProject) {
  // Export writes as it walks the loaded project and import builds as it
  // parses; neither holds the text or a value of the whole document, so
  // each peaks near what a check of the same project (a load) does. A whole
  // document in memory costs several times the project.
  if (kestrum_test::kSanitizedHeap) GTEST_SKIP() << "peaks under AddressSanitizer say nothing of a plain build";
  kestrum_test::ProjectShape shape;
  shape.tiles = 200;
  shape.samples_per_tile = 50;
  {
    kestrum_test::ProjectPtr project(kestrum_test::BuildProject(shape));
    ASSERT_TRUE(project);
    kcli::save_project(project.get(), path("large.kpf"));
  }
  const Outcome checked = run({"check", path("large.kpf")});
  ASSERT_EQ(checked.status, 1) << checked.err;  // the data files are not on disk
  const Outcome exported = run({"export", path("large.kpf"), "-o", path("large.json")});
  ASSERT_EQ(exported.status, 0) << exported.err;
  const Outcome imported = run({"import", path("large.json"), path("copy.kpf")});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_THAT(imported.out, HasSubstr("Imported 200 tiles and 10000 samples"));
  EXPECT_LT(exported.peak_kb, 1.5 * checked.peak_kb) << exported.peak_kb << " KiB against " << checked.peak_kb;
  EXPECT_LT(imported.peak_kb, 2 * checked.peak_kb) << imported.peak_kb << " KiB against " << checked.peak_kb;
}

struct BadDocument {
  const char *json;
  const char *message;
};

TEST_F(BadJson, MessageNamesThePointerOfTheBadValue) {
  const BadDocument cases[] = {
      {R"({"tiles": []})", "bad project JSON at /kestrum_project: missing"},
      {R"({"kestrum_project": 2})", "bad project JSON at /kestrum_project: unsupported format 2"},
      {R"([1, 2])", "bad project JSON at the top level: expected an object, found array"},
      {R"({"kestrum_project": 1, "tiles": [{"name": 5}]})", "at /tiles/0/name: expected a string or null, found number"},
      {R"({"kestrum_project": 1, "tiles": [{"name": "T1", "sampels": []}]})", "at /tiles/0/sampels: unknown key"},
      {R"({"kestrum_project": 1, "tiles": [{"name": "T1", "samples": [{}]}]})",
       "at /tiles/0/samples/0/name: missing; a string is required"},
      {R"({"kestrum_project": 1, "files": [{"type": "a", "time": "soon"}]})", "at /files/0/time: expected a number"},
      {R"({"kestrum_project": 1, "settings": {"type": "Triple"}})",
       "at /settings/type: unknown value \"Triple\" (expected one of Single_Sampling, Double_Sampling)"},
      {R"({"kestrum_project": 1, "levels": [{}, {"processes": [{"name": "p", "arguments": [{"name": "a", "mode": "Loud"}]}]}]})",
       "at /levels/1/processes/0/arguments/0/mode: unknown value \"Loud\""},
      {R"({"kestrum_project": 1, "levels": [{}, {}, {}, {}]})", "at /levels/3: there are only three levels"},
      {R"({"kestrum_project": 1, "levels": [{"processes": [{"name": "p", "arguments": [{"value": "v"}]}]}]})",
       "at /levels/0/processes/0/arguments/0/name: missing; a string is required"},
      {R"({"kestrum_project": 1, "settings": {"dot_grid": 4294967296}})", "at /settings/dot_grid: number out of range"},
      {R"({"kestrum_project": 1, "tiles": [{"name": "A", "files": [{"type": "x\u0000y"}]}]})",
       "at /tiles/0/files/0/type: a text may not contain a NUL character"},
      {R"({"kestrum_project": 1, "tiles": [{"name": {"hex": "4100"}}]})",
       "at /tiles/0/name: a text may not contain a NUL character"},
      {R"({"kestrum_project": 1, "tiles": [{"name": {"hex": "4"}}]})", "at /tiles/0/name/hex: expected two hex digits"},
      {R"({"kestrum_project": 1, "tiles": [{"name": {"hex": "zz"}}]})", "at /tiles/0/name/hex: expected a string of hex"},
      {R"({"kestrum_project": 1, "tiles": [{"name": {"bytes": "41"}}]})", "at /tiles/0/name/bytes: unknown key"},
      // Every integer is checked against its field, whichever way the
      // parser holds it.
      {R"({"kestrum_project": 1, "settings": {"type": 18446744073709551615}})", "at /settings/type: number out of range"},
      {R"({"kestrum_project": 1, "tiles": [{"name": "T", "selection": -2147483649}]})",
       "at /tiles/0/selection: number out of range"},
      {R"({"kestrum_project": 1, "settings": {"poly_tool": 36893488147419103232}})",
       "at /settings/poly_tool: number out of range"},
      {R"({"kestrum_project": 18446744073709551617})", "at /kestrum_project: unsupported format"},
      {R"({"kestrum_project": 1, "files": [{"type": "a", "time": 1e400}]})",
       "bad project JSON at /files/0/time: number out of range"},
      {R"({"kestrum_project": 1, "levels": [{"pfa_files": [{"name": "a", "type": -1e400}]}]})",
       "bad project JSON at /levels/0/pfa_files/0/type: number out of range"},
      {R"({"kestrum_project": 1, "tiles": [1, 2, 1e999]})", "bad project JSON at /tiles/2: number out of range"},
      // A key given twice would drop what came first.
      {R"({"kestrum_project": 1, "tiles": [{"name": "A"}], "tiles": []})",
       "bad project JSON at /tiles: the key \"tiles\" is given twice"},
      {R"({"kestrum_project": 1, "tiles": [{"name": "A", "samples": [{"name": "S", "name": "T"}]}]})",
       "bad project JSON at /tiles/0/samples/0/name: the key \"name\" is given twice"},
  };
  for (const BadDocument &bad : cases) {
    SCOPED_TRACE(bad.json);
    WriteBytes(path("bad.json"), bad.json);
    const Outcome imported = run({"import", path("bad.json"), path("bad.kpf")});
    EXPECT_EQ(imported.status, 2);
    EXPECT_THAT(imported.err, HasSubstr(bad.message));
    EXPECT_FALSE(fs::exists(path("bad.kpf")));
  }
}

TEST_F(BadJson, LibraryRefusalIsReportedAtThePlaceWithItsChain) {
  WriteBytes(path("twins.json"),
             R"({"kestrum_project": 1, "tiles": [{"name": "T1"}, {"name": "T2", "samples": [{"name": "S"}, {"name": "S"}]}]})");
  const Outcome imported = run({"import", path("twins.json"), path("twins.kpf")});
  EXPECT_EQ(imported.status, 2);
  EXPECT_THAT(imported.err, HasSubstr("bad project JSON at /tiles/1/samples/1/name: cannot add sample S"));
  EXPECT_THAT(imported.err, HasSubstr("already in use"));
  EXPECT_FALSE(fs::exists(path("twins.kpf")));
}

TEST_F(BadJson, SyntaxErrorGivesLineAndColumn) {
  WriteBytes(path("broken.json"), "{\n  \"kestrum_project\": 1,\n  \"tiles\": [,]\n}\n");
  const Outcome imported = run({"import", path("broken.json"), path("broken.kpf")});
  EXPECT_EQ(imported.status, 2);
  EXPECT_THAT(imported.err, HasSubstr("bad JSON in " + path("broken.json") + ": parse error at line 3, column"));
  EXPECT_FALSE(fs::exists(path("broken.kpf")));
}
