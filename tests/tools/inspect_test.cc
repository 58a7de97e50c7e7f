// The tool's commands that build and inspect project files: demo, show,
// ready, check, dump, and its handling of the command line itself.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli.h"
#include "file_seal.h"
#include "node/node.h"
#include "tool_runner.h"

// The tool explains readiness from its own copy of facts the library keeps
// internal; a copy that drifts would explain verdicts the library did not
// reach.
namespace {

constexpr bool same_text(const char *a, const char *b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

constexpr bool same_special_processes() {
  if (std::size(kcli::kSpecialProcessNames) != std::size(pm::kSpecialProcessNames)) return false;
  for (std::size_t i = 0; i < std::size(pm::kSpecialProcessNames); ++i)
    if (!same_text(kcli::kSpecialProcessNames[i], pm::kSpecialProcessNames[i])) return false;
  return true;
}

static_assert(same_special_processes(), "the tool and the library must agree on the special processes");
static_assert(kcli::kLevelProject == pm::kLevelProject && kcli::kLevelTile == pm::kLevelTile &&
                  kcli::kLevelSample == pm::kLevelSample && kcli::kLevelCount == pm::kLevelCount,
              "the tool and the library must agree on the processing levels");

}  // namespace

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

using DemoCommand = ToolTest;
using ShowCommand = ToolTest;
using ReadyCommand = ToolTest;
using CheckCommand = ToolTest;
using DumpCommand = ToolTest;
using CommandLine = ToolTest;

TEST_F(DemoCommand, SavesLoadsAndPrintsTreeAndReadiness) {
  const Outcome demo = run({"demo", path("demo")});
  ASSERT_EQ(demo.status, 0) << demo.err;
  EXPECT_TRUE(fs::exists(path("demo/survey.kpf")));
  EXPECT_THAT(demo.out, HasSubstr("and loaded it back"));
  EXPECT_THAT(demo.out, HasSubstr("Project survey"));
  EXPECT_THAT(demo.out, HasSubstr("sample T3/S2"));
  EXPECT_THAT(demo.out, HasSubstr("Readiness: 11 checks"));
  EXPECT_THAT(demo.out, HasSubstr("segment in $photo aoi $mask out $segments"));
  // Some data files are on disk and some are not, by design.
  EXPECT_TRUE(fs::exists(path("demo/tiles/T1/photo.img")));
  EXPECT_FALSE(fs::exists(path("demo/tiles/T3/photo.img")));
  EXPECT_TRUE(fs::is_directory(path("demo/params")));
}

TEST_F(DemoCommand, WithoutDirectoryCreatesNewOneInCurrentDirectory) {
  ASSERT_EQ(run({"demo"}).status, 0);
  ASSERT_EQ(run({"demo"}).status, 0);
  int made = 0;
  for (const auto &entry : fs::directory_iterator(dir_)) {
    if (entry.path().filename().string().rfind("kestrum-demo-", 0) != 0) continue;
    EXPECT_TRUE(fs::exists(entry.path() / "survey.kpf"));
    ++made;
  }
  EXPECT_EQ(made, 2);
}

TEST_F(DemoCommand, WritesOnlyIntoNewOrEmptyDirectoryAndChangesNothingElse) {
  // A directory that holds anything is the user's: refused, left as it was.
  const std::string project = make_demo();
  WriteBytes(path("demo/data/overview.img"), "the user's own image\n");
  const std::string saved = ReadBytes(project);
  const Outcome again = run({"demo", path("demo")});
  EXPECT_EQ(again.status, 2);
  EXPECT_THAT(again.err, HasSubstr(path("demo") + " is not empty"));
  EXPECT_EQ(ReadBytes(path("demo/data/overview.img")), "the user's own image\n");
  EXPECT_EQ(ReadBytes(project), saved);
  WriteBytes(path("other/notes.txt"), "keep\n");
  EXPECT_EQ(run({"demo", path("other")}).status, 2);
  EXPECT_EQ(ReadBytes(path("other/notes.txt")), "keep\n");
  EXPECT_FALSE(fs::exists(path("other/survey.kpf")));
  EXPECT_EQ(run({"demo", path("other/notes.txt")}).status, 2);
  // An existing empty directory is as good as a new one.
  fs::create_directories(path("empty"));
  const Outcome empty = run({"demo", path("empty")});
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_TRUE(fs::exists(path("empty/survey.kpf")));
}

TEST_F(ShowCommand, PrintsTreeWithFilePresenceSettingsAndProcessing) {
  const Outcome show = run({"show", make_demo()});
  ASSERT_EQ(show.status, 0) << show.err;
  EXPECT_THAT(show.out, HasSubstr("type Double_Sampling, dot grid Enabled, poly tool Disabled"));
  EXPECT_THAT(show.out, HasSubstr("tiles: 3, samples: 5"));
  EXPECT_THAT(show.out, HasSubstr("present photo     $PROJECT/tiles/T1/photo.img"));
  EXPECT_THAT(show.out, HasSubstr("missing photo     $PROJECT/tiles/T3/photo.img"));
  EXPECT_THAT(show.out, HasSubstr("missing report    $PROJECT/data/report.txt"));
  EXPECT_THAT(show.out, HasSubstr("tile T2 (Automatic)"));
  EXPECT_THAT(show.out, HasSubstr("PFA files: photo (Raster) mask (AOI) segments (Vector)"));
  EXPECT_THAT(show.out, HasSubstr("parameter file $PROJECT/params/segment.par"));
  EXPECT_THAT(show.out, HasSubstr("argument quiet    = (none)     Text, Optional_Input, Hide"));
}

TEST_F(ShowCommand, MissingFileIsAnErrorWithTheLoadChain) {
  const Outcome show = run({"show", path("nothing.kpf")});
  EXPECT_EQ(show.status, 2);
  EXPECT_THAT(show.err, HasSubstr("kestrum: cannot load"));
  EXPECT_THAT(show.err, HasSubstr("  pm_ProjectLoad: Project Manager file does not exist"));
}

TEST_F(ReadyCommand, ExitStatusSaysWhetherEverythingIsReady) {
  const std::string file = make_demo();
  EXPECT_EQ(run({"ready", file}).status, 1);
  EXPECT_EQ(run({"ready", file, "--node", "T1"}).status, 0);
  // A sample's tile-level input is looked up in its tile: T3's mask exists.
  EXPECT_EQ(run({"ready", file, "--node", "T3/S1"}).status, 0);
  EXPECT_EQ(run({"ready", file, "--node", "T3/S2"}).status, 1);
  EXPECT_EQ(run({"ready", file, "--node", "/"}).status, 1);
  // The one project-level input that was missing now exists.
  WriteBytes(path("demo/data/report.txt"), "report\n");
  EXPECT_EQ(run({"ready", file, "--node", "/"}).status, 0);
}

TEST_F(ReadyCommand, NotReadyRowsNameTheMissingInputsAndWhere) {
  const std::string file = make_demo();
  const Outcome tile = run({"ready", file, "--node", "T3"});
  EXPECT_THAT(tile.out, HasSubstr("not ready  segment in $photo aoi $mask out $segments"));
  EXPECT_THAT(tile.out, HasSubstr("- photo at T3: $PROJECT/tiles/T3/photo.img is not on disk"));
  const Outcome project = run({"ready", file, "--node", "/"});
  EXPECT_THAT(project.out, HasSubstr("- report at /: $PROJECT/data/report.txt is not on disk"));
  // finanal needs only one of its optional inputs: counts exist at T1/S1.
  EXPECT_THAT(project.out, HasSubstr("ready      finanal counts $counts segments $segments"));
  const Outcome all = run({"ready", file});
  EXPECT_THAT(all.out, HasSubstr("Readiness: 11 checks, 8 ready, 3 not ready"));
  EXPECT_THAT(all.out, HasSubstr("- plot at T3/S2: $PROJECT/tiles/T3/S2/plot.img is not on disk"));
}

TEST_F(ReadyCommand, UnknownNodeIsAnError) {
  const Outcome ready = run({"ready", make_demo(), "--node", "T9/S1"});
  EXPECT_EQ(ready.status, 2);
  EXPECT_THAT(ready.err, HasSubstr("no node T9/S1 in the project"));
}

TEST_F(CheckCommand, ListsDescriptorsThatNameNoFile) {
  const std::string file = make_demo();
  const Outcome check = run({"check", file});
  EXPECT_EQ(check.status, 1);
  EXPECT_THAT(check.out, HasSubstr("loads (3 tiles, 5 samples, 23 data files)"));
  EXPECT_THAT(check.out, HasSubstr("11 of 23 descriptors name no file:"));
  EXPECT_THAT(check.out, HasSubstr("T3  photo: $PROJECT/tiles/T3/photo.img does not exist"));
  // The inputs missing, and the outputs that no process has made yet.
  for (const char *missing : {"data/report.txt", "tiles/T3/photo.img", "tiles/T3/S2/plot.img", "data/mosaic.img",
                              "tiles/T1/segments.shp", "tiles/T2/segments.shp", "tiles/T3/segments.shp",
                              "tiles/T1/S2/counts.txt", "tiles/T2/S1/counts.txt", "tiles/T3/S1/counts.txt",
                              "tiles/T3/S2/counts.txt"})
    WriteBytes(path(std::string("demo/") + missing), "now here\n");
  const Outcome again = run({"check", file});
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_THAT(again.out, HasSubstr("every descriptor names an existing file"));
}

TEST_F(CheckCommand, DamagedFileFailsWithTheLoadChain) {
  const std::string file = make_demo();
  std::string bytes = ReadBytes(file);
  ASSERT_GT(bytes.size(), 64u);
  // One flipped byte in the middle of the content.
  bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x5a);
  WriteBytes(path("damaged.kpf"), bytes);
  const Outcome damaged = run({"check", path("damaged.kpf")});
  EXPECT_EQ(damaged.status, 2);
  EXPECT_THAT(damaged.err, HasSubstr("kestrum: cannot load"));
  EXPECT_THAT(damaged.err, HasSubstr("  pm_ProjectLoad: "));
  EXPECT_EQ(damaged.out, "");

  WriteBytes(path("truncated.kpf"), ReadBytes(file).substr(0, 40));
  EXPECT_EQ(run({"check", path("truncated.kpf")}).status, 2);
  WriteBytes(path("text.kpf"), "not a project file at all\n");
  EXPECT_EQ(run({"check", path("text.kpf")}).status, 2);
}

TEST_F(DumpCommand, PrintsNodeTreeWithDesignsAndRecords) {
  const Outcome dump = run({"dump", make_demo()});
  ASSERT_EQ(dump.status, 0) << dump.err;
  for (const char *design : {"PM_Root: ", "PM_Tile: ", "PM_Sample: ", "PM_File: ", "PM_PFAFile: ",
                             "PM_PFA_Root: ", "PM_Argument: ", "PM_Process: "})
    EXPECT_THAT(dump.out, HasSubstr(std::string("  ") + design));
  EXPECT_THAT(dump.out, HasSubstr("  Project  [PM_Root] Project_Type=Double_Sampling Dot_Grid_Analysis=Enabled"));
  EXPECT_THAT(dump.out, HasSubstr("  T2  [PM_Tile] Name=\"T2\" Selection=Automatic"));
  // Samples and their files nest beneath their tile.
  EXPECT_THAT(dump.out, HasSubstr("    S2  [PM_Sample] Name=\"S2\""));
  EXPECT_THAT(dump.out, HasSubstr("      plot  [PM_File] Type=\"plot\" Descriptor=\"$PROJECT/tiles/T3/S2/plot.img\""));
  EXPECT_THAT(dump.out, HasSubstr("  Primary Files  [PM_PFA_Root] Files=3 records"));
  EXPECT_THAT(dump.out, HasSubstr("[2] PM_PFAFile String=\"mask\" Type=AOI"));
  EXPECT_THAT(dump.out, HasSubstr("    segment  [PM_Process] Name=\"segment\""));
  EXPECT_THAT(dump.out, HasSubstr("[4] PM_Argument Name=\"quiet\" Value=null Type=Text Mode=Optional_Input Hide=Hide"));
  EXPECT_THAT(dump.out, Not(HasSubstr("unreadable")));
}

// A file a newer kestrum wrote: check, show and dump load it and say what
// this kestrum will not do with it, and what it does not read.
TEST_F(CheckCommand, NotesANewerWritersFileAndNodesOfDesignsItDoesNotKnow) {
  const std::string file = make_demo();
  {
    tk_TreeFile *tree = tk_TreeFileOpen(file.c_str(), "rb+", 0, nullptr, 0);
    ASSERT_NE(tree, nullptr);
    tk_Design *future = tk_DesignCreate(tk_TreeFileGetDictionary(tree), "PM_Future", nullptr, TK_ITEM_STRING, "Note",
                                        TK_ITEM_END);
    ASSERT_NE(future, nullptr);
    tk_StringItem note{5, const_cast<char *>("kept")};
    for (const char *parent : {":T1", ":T1:S1"})
      ASSERT_TRUE(tk_TreeObjectWrite(tree, parent, "future", nullptr, TK_WRITE_NEW, &note, future, nullptr));
    ASSERT_TRUE(tk_TreeFileClose(tree, nullptr));
  }
  const Outcome today = run({"check", file});
  EXPECT_THAT(today.out, HasSubstr("note: 2 nodes of designs this kestrum does not know (PM_Future): a save into the "
                                   "file keeps them"));
  EXPECT_THAT(today.out, Not(HasSubstr("newer kestrum")));
  std::string bytes = ReadBytes(file);
  bytes[12] = 2;  // the write version
  kestrum_test::ResealProjectFile(bytes);
  WriteBytes(file, bytes);
  const Outcome check = run({"check", file});
  EXPECT_THAT(check.out, HasSubstr(": loads ("));
  EXPECT_THAT(check.out, HasSubstr("note: written by a newer kestrum (write version 2): this one reads it but does not "
                                   "save into it"));
  const Outcome json = run({"check", "--json", file});
  EXPECT_THAT(json.out, HasSubstr("\"written by a newer kestrum (write version 2): this one reads it but does not "
                                  "save into it\""));
  const Outcome show = run({"show", file});
  EXPECT_EQ(show.status, 0) << show.err;
  EXPECT_THAT(show.err, HasSubstr("kestrum: note: written by a newer kestrum (write version 2)"));
  EXPECT_THAT(show.err, HasSubstr("kestrum: note: 2 nodes of designs"));
  const Outcome dump = run({"dump", file});
  EXPECT_EQ(dump.status, 0) << dump.err;
  EXPECT_THAT(dump.out, HasSubstr("format: read version 1, write version 2 (written by a newer kestrum"));
  EXPECT_THAT(dump.out, HasSubstr("      future  [PM_Future] Note=\"kept\""));
}

TEST_F(DumpCommand, FileThatIsNoTreeFileIsAnError) {
  WriteBytes(path("text.kpf"), "plain text\n");
  const Outcome dump = run({"dump", path("text.kpf")});
  EXPECT_EQ(dump.status, 2);
  EXPECT_THAT(dump.err, HasSubstr("kestrum: cannot open"));
}

TEST_F(CommandLine, UsageErrorsExitTwoAndHelpExitsZero) {
  EXPECT_EQ(run({}).status, 2);
  EXPECT_EQ(run({"frobnicate"}).status, 2);
  EXPECT_EQ(run({"show"}).status, 2);
  EXPECT_EQ(run({"ready", "x.kpf", "--bogus"}).status, 2);
  const Outcome help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char *command : {"demo", "show", "ready", "export", "import", "check", "dump"})
    EXPECT_THAT(help.out, HasSubstr(command));
}

TEST_F(CommandLine, NoProgressLineWhenStandardErrorIsNoTerminal) {
  const Outcome ready = run({"ready", make_demo()});
  EXPECT_THAT(ready.err, Not(HasSubstr("checking readiness")));
}

// A project with two tiles of one sample each and nothing on disk; level 0
// holds the given processes.
static std::string project_with_processes(const std::string &processes) {
  return R"({"kestrum_project": 1,
    "tiles": [{"name": "A", "samples": [{"name": "S", "files": [{"type": "plot", "descriptor": "/nowhere/a"}]}]},
              {"name": "B", "samples": [{"name": "S"}]}],
    "levels": [{"processes": )" + processes + R"(},
               {"pfa_files": [{"name": "photo"}]},
               {"pfa_files": [{"name": "plot"}]}]})";
}

TEST_F(ReadyCommand, ProjectLevelInputsAreExplainedForEverySampleLackingThem) {
  WriteBytes(path("p.json"), project_with_processes(R"([
      {"name": "sum", "arguments": [{"name": "in", "value": "plot"}]},
      {"name": "UniRes", "arguments": [{"name": "a", "value": "photo", "mode": "Optional_Input"},
                                       {"name": "b", "value": "plot", "mode": "Optional_Input"}]}])"));
  ASSERT_EQ(run({"import", path("p.json"), path("p.kpf")}).status, 0);
  const Outcome ready = run({"ready", path("p.kpf"), "--node", "/"});
  EXPECT_EQ(ready.status, 1);
  EXPECT_THAT(ready.out, HasSubstr("- plot at A/S: /nowhere/a is not on disk"));
  EXPECT_THAT(ready.out, HasSubstr("- plot at B/S: no data file of that type"));
  // The name test for processes that need any one optional input ignores case.
  EXPECT_THAT(ready.out, HasSubstr("- needs one of its optional inputs, and none is present:"));
  EXPECT_THAT(ready.out, HasSubstr("\n          photo at A: no data file of that type"));
}

TEST_F(ReadyCommand, InputOfNoKnownKindIsAnErrorWithItsChain) {
  WriteBytes(path("p.json"), project_with_processes(R"([
      {"name": "odd", "arguments": [{"name": "in", "value": "nothing-defines-this"}]}])"));
  ASSERT_EQ(run({"import", path("p.json"), path("p.kpf")}).status, 0);
  const Outcome ready = run({"ready", path("p.kpf")});
  EXPECT_EQ(ready.status, 2);
  EXPECT_THAT(ready.out, HasSubstr("odd      error"));
  EXPECT_THAT(ready.out, HasSubstr("pm_IsProcessReady: Error finding argument value"));
  EXPECT_THAT(ready.out, HasSubstr("Cannot find file type in any level"));
}
