// The tool's surface as scripts and people meet it: --version, usage
// messages, counts and their nouns, one rule for writing files, and the
// --json documents of show, ready and check.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "tool_runner.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::ordered_json;

using CommandLine = ToolTest;
using WritingCommands = ToolTest;
using JsonOutput = ToolTest;

TEST_F(CommandLine, VersionPrintsTheProjectVersion) {
  const Outcome version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("kestrum ") + KESTRUM_PROJECT_VERSION + "\n");
  EXPECT_EQ(version.err, "");
}

TEST_F(CommandLine, UsageErrorsSayWhatIsWrongWithTheToolsPrefixAndWhereToLook) {
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"bogus"}, "kestrum: 'bogus' is not a kestrum command; see 'kestrum --help'\n"},
      {{"bogus", "x.kpf"}, "kestrum: 'bogus' is not a kestrum command; see 'kestrum --help'\n"},
      {{"--frob"}, "kestrum: "},
      {{}, "kestrum: no command given; see 'kestrum --help'\n"},
      {{"show"}, "kestrum: FILE is required; see 'kestrum show --help'\n"},
      {{"ready", "x.kpf", "--bogus"}, "; see 'kestrum ready --help'\n"},
      {{"export", "a", "b", "c"}, "; see 'kestrum export --help'\n"},
  };
  for (const auto &c : cases) {
    const Outcome outcome = run(c.args);
    EXPECT_EQ(outcome.status, 2) << c.message;
    EXPECT_EQ(outcome.out, "") << c.message;
    EXPECT_THAT(outcome.err, HasSubstr(c.message));
    EXPECT_EQ(outcome.err.rfind("kestrum: ", 0), 0u) << outcome.err;
    EXPECT_THAT(outcome.err, Not(HasSubstr("A subcommand is required")));
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
  }
}

// A project of `n` tiles with one sample each, one data file on the
// project that names no file, and one project-level process.
static std::string project_of(int n) {
  std::string tiles;
  for (int i = 0; i < n; ++i)
    tiles += std::string(i ? ", " : "") + R"({"name": "T)" + std::to_string(i) + R"(", "samples": [{"name": "S"}]})";
  return R"({"kestrum_project": 1, "files": [{"type": "plot", "descriptor": "/nowhere/plot"}], "tiles": [)" + tiles +
         R"(], "levels": [{"pfa_files": [{"name": "plot"}], "processes": [{"name": "sum", "arguments": [{"name": "in", "value": "plot"}]}]}]})";
}

TEST_F(CommandLine, CountsAgreeWithTheirNouns) {
  for (int n : {1, 2}) {
    const std::string one = n == 1 ? "1 tile" : "2 tiles";
    WriteBytes(path("p.json"), project_of(n));
    const Outcome imported = run({"import", "--force", path("p.json"), path("p.kpf")});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_THAT(imported.out, HasSubstr("Imported " + one + (n == 1 ? " and 1 sample" : " and 2 samples")));
    const Outcome check = run({"check", path("p.kpf")});
    EXPECT_THAT(check.out, HasSubstr("(" + one + (n == 1 ? ", 1 sample, 1 data file)" : ", 2 samples, 1 data file)")));
    EXPECT_THAT(check.out, HasSubstr("1 of 1 descriptor names no file"));
    const Outcome ready = run({"ready", path("p.kpf")});
    EXPECT_THAT(ready.out, HasSubstr("Readiness: 1 check, 0 ready, 1 not ready"));
  }
  // Two of several: the plural on both sides.
  const Outcome check = run({"check", make_demo()});
  EXPECT_THAT(check.out, HasSubstr("11 of 23 descriptors name no file"));
}

// Every command that writes a file refuses one that exists, saying which
// and how to replace it; with --force it replaces it. Each entry gives the
// arguments that write `target`.
TEST_F(WritingCommands, RefuseExistingFilesUnlessForcedAndSayHow) {
  const std::string project = make_demo();
  WriteBytes(path("in.json"), R"({"kestrum_project": 1, "tiles": [{"name": "Only"}]})");
  const struct {
    std::vector<std::string> args;
    std::string target;
  } writers[] = {
      {{"export", project, "-o", path("out.json")}, path("out.json")},
      {{"import", path("in.json"), path("made.kpf")}, path("made.kpf")},
      {{"demo", path("again")}, path("again/survey.kpf")},
  };
  for (const auto &writer : writers) {
    WriteBytes(writer.target, "the user's own\n");
    const Outcome refused = run(writer.args);
    EXPECT_EQ(refused.status, 2) << writer.target;
    EXPECT_THAT(refused.err, HasSubstr("use --force"));
    EXPECT_THAT(refused.err, HasSubstr(fs::path(writer.target).parent_path().string()));
    EXPECT_EQ(ReadBytes(writer.target), "the user's own\n");

    std::vector<std::string> forced = writer.args;
    forced.insert(forced.begin() + 1, "--force");
    const Outcome replaced = run(forced);
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_NE(ReadBytes(writer.target), "the user's own\n");
    // A forced write is a write all the same: the result is complete.
    EXPECT_EQ(run({"export", project, "-o", path("check.json"), "--force"}).status, 0);
  }
  // Export names the file itself.
  const Outcome again = run({"export", project, "-o", path("out.json")});
  EXPECT_THAT(again.err, HasSubstr("kestrum: " + path("out.json") + " already exists (use --force to replace it)"));
  EXPECT_EQ(ReadBytes(path("out.json")), run({"export", project}).out);
}

TEST_F(WritingCommands, ForcedExportReplacesTheFileALinkNamesAndKeepsItsPermissions) {
  const std::string project = make_demo();
  WriteBytes(path("real.json"), "old\n");
  ASSERT_EQ(chmod(path("real.json").c_str(), 0640), 0);
  fs::create_symlink(path("real.json"), path("link.json"));
  ASSERT_EQ(run({"export", project, "-o", path("link.json"), "--force"}).status, 0);
  EXPECT_TRUE(fs::is_symlink(path("link.json")));
  EXPECT_EQ(ReadBytes(path("real.json")), run({"export", project}).out);
  EXPECT_EQ(fs::status(path("real.json")).permissions() & fs::perms::mask,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // Nothing is left beside it.
  std::size_t entries = 0;
  for (const auto &entry : fs::directory_iterator(dir_))
    entries += entry.path().filename().string().rfind(".real.json", 0) == 0 ? 1 : 0;
  EXPECT_EQ(entries, 0u);
}

static Json parse(const Outcome &outcome) {
  EXPECT_EQ(outcome.err, "");
  return Json::parse(outcome.out);
}

TEST_F(JsonOutput, ShowReadyAndCheckGiveDocumentsOfTheirShapeAndTheTextsExitStatus) {
  const std::string project = make_demo();
  const Outcome show_run = run({"show", "--json", project});
  ASSERT_EQ(show_run.status, 0);
  const Json show = parse(show_run);
  EXPECT_EQ(show["kestrum_show"], 1);
  EXPECT_EQ(show["file"], project);
  EXPECT_EQ(show["tiles"], 3);
  EXPECT_EQ(show["samples"], 5);
  EXPECT_EQ(show["project"], Json::parse(run({"export", project}).out));
  std::map<std::string, int> states;
  for (const Json &file : show["data_files"]) ++states[file["state"].get<std::string>()];
  EXPECT_EQ(states["missing"], 11);
  EXPECT_GT(states["present"], 0);
  EXPECT_EQ(show["data_files"][0]["node"], "/");

  const Outcome ready_run = run({"ready", "--json", project, "--node", "T3"});
  EXPECT_EQ(ready_run.status, 1);
  const Json ready = parse(ready_run);
  EXPECT_EQ(ready["node"], "T3");
  EXPECT_EQ(ready["summary"], Json::parse(R"({"checks": 1, "ready": 0, "not_ready": 1, "failed": 0})"));
  EXPECT_EQ(ready["checks"][0]["state"], "not_ready");
  EXPECT_EQ(ready["checks"][0]["command"], "segment in $photo aoi $mask out $segments");
  EXPECT_EQ(ready["checks"][0]["missing"][0], "photo at T3: $PROJECT/tiles/T3/photo.img is not on disk");
  EXPECT_EQ(parse(run({"ready", "--json", project}))["node"], nullptr);

  const Outcome check_run = run({"check", "--json", project});
  EXPECT_EQ(check_run.status, 1);
  const Json check = parse(check_run);
  EXPECT_EQ(check["data_files"], show["data_files"].size());
  ASSERT_EQ(check["problems"].size(), 11u);
  EXPECT_EQ(check["problems"][0]["problem"], "missing");
  EXPECT_EQ(check["problems"][0]["descriptor"], "$PROJECT/data/report.txt");

  // A file that does not load: the usual error, and nothing on standard output.
  WriteBytes(path("broken.kpf"), "not a project\n");
  for (const char *command : {"show", "ready", "check"}) {
    const Outcome broken = run({command, "--json", path("broken.kpf")});
    EXPECT_EQ(broken.status, 2);
    EXPECT_EQ(broken.out, "");
    EXPECT_THAT(broken.err, HasSubstr("kestrum: cannot load"));
  }
}

TEST_F(JsonOutput, TextsThatAreNotUtf8TravelAsHexAndErrorsAsTheirChain) {
  // A tile named "Caf\xe9" (Latin-1), with one sample lacking its input,
  // and a process whose input no level defines.
  WriteBytes(path("p.json"), R"({"kestrum_project": 1,
    "tiles": [{"name": {"hex": "436166e9"}, "samples": [{"name": "S"}]}],
    "levels": [{"processes": [{"name": "odd", "arguments": [{"name": "in", "value": "undefined-kind"}]}]}, {},
               {"pfa_files": [{"name": "plot"}], "processes": [{"name": "count", "arguments": [{"name": "in", "value": "plot"}]}]}]})");
  ASSERT_EQ(run({"import", path("p.json"), path("p.kpf")}).status, 0);
  const Json ready = parse(run({"ready", "--json", path("p.kpf")}));
  ASSERT_EQ(ready["checks"].size(), 2u);
  EXPECT_EQ(ready["checks"][0]["state"], "error");
  EXPECT_THAT(ready["checks"][0]["error"][0].get<std::string>(), HasSubstr("pm_IsProcessReady: "));
  EXPECT_EQ(ready["checks"][1]["node"], Json::parse(R"({"hex": "436166e92f53"})"));
  // "plot at Caf\xe9/S: no data file of that type"
  EXPECT_EQ(ready["checks"][1]["missing"][0]["hex"],
            "706c6f7420617420436166e92f533a206e6f20646174612066696c65206f6620746861742074797065");
  const Json show = parse(run({"show", "--json", path("p.kpf")}));
  EXPECT_EQ(show["project"]["tiles"][0]["name"], Json::parse(R"({"hex": "436166e9"})"));
}
