// Data that moved: `check --by-directory`, `relink` by prefix and by search,
// and `pack`. Each test builds a project whose data files lie on disk, moves
// them the way data moves (a folder renamed, a mount point changed, a copy
// with two files of one name, a tree with a link loop), and checks what the
// tool did against the files on disk.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <nlohmann/json.hpp>

#include "tool_runner.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class MovedData : public ToolTest {
 protected:
  // Imports a project at `file` whose project-level data files f0, f1, ...
  // carry the descriptors given (absolute, "$PROJECT/...", or null for "").
  void make_project(const std::string &file, const std::vector<std::string> &descriptors) {
    nlohmann::json files = nlohmann::json::array();
    for (std::size_t i = 0; i < descriptors.size(); ++i)
      files.push_back({{"type", "f" + std::to_string(i)}, {"descriptor", text(descriptors[i])}});
    const nlohmann::json document = {{"kestrum_project", 1}, {"files", files}};
    WriteBytes(path("p.json"), document.dump());
    fs::create_directories(fs::path(file).parent_path());
    const Outcome imported = run({"import", "--force", path("p.json"), file});
    ASSERT_EQ(imported.status, 0) << imported.err;
  }
  // A descriptor as the project document holds it: null for none, and
  // bytes beyond ASCII as hex, which takes any bytes at all.
  static nlohmann::json text(const std::string &bytes) {
    if (bytes.empty()) return nullptr;
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      return bytes;
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
      hex += kHex[static_cast<unsigned char>(c) >> 4];
      hex += kHex[static_cast<unsigned char>(c) & 0x0f];
    }
    return {{"hex", hex}};
  }
  // The descriptors as the project file stores them, in order.
  std::vector<std::string> stored(const std::string &file) {
    const Outcome exported = run({"export", file});
    EXPECT_EQ(exported.status, 0) << exported.err;
    std::vector<std::string> out;
    const nlohmann::json document = nlohmann::json::parse(exported.out);
    for (const auto &entry : document["files"])
      out.push_back(entry["descriptor"].is_null() ? "" : entry["descriptor"].get<std::string>());
    return out;
  }
  // Creates a data file with some content of its own.
  std::string data(const std::string &relative) {
    WriteBytes(path(relative), "data of " + relative);
    return path(relative);
  }
  void move(const std::string &from, const std::string &to) {
    fs::create_directories(fs::path(path(to)).parent_path());
    fs::rename(path(from), path(to));
  }
  // Every stored descriptor, expanded against the project's directory, names a file.
  void expect_all_found(const std::string &file) {
    const Outcome check = run({"check", file});
    EXPECT_EQ(check.status, 0) << check.out;
  }
};

TEST_F(MovedData, CheckByDirectoryCountsMissingFilesPerDirectoryInTextAndJson) {
  make_project(path("p/p.kpf"), {path("gone/a/1"), path("gone/a/2"), path("gone/b/3"), "$PROJECT/lost/4", "",
                                 data("here/5")});
  const Outcome text = run({"check", "--by-directory", path("p/p.kpf")});
  EXPECT_EQ(text.status, 1);
  EXPECT_THAT(text.out, HasSubstr("5 of 6 descriptors name no file, by directory:\n  $PROJECT/lost  1 missing\n  " +
                                  path("gone/a") + "  2 missing\n  " + path("gone/b") + "  1 missing\n"
                                  "  (no descriptor)  1\n"));
  const Outcome json = run({"check", "--by-directory", "--json", path("p/p.kpf")});
  EXPECT_EQ(json.status, 1);
  const auto document = nlohmann::json::parse(json.out);
  EXPECT_EQ(document["by_directory"], true);
  ASSERT_EQ(document["problems"].size(), 1u);  // only the one no directory can hold
  EXPECT_EQ(document["problems"][0]["problem"], "no_descriptor");
  EXPECT_EQ(document["directories"][1]["directory"], path("gone/a"));
  EXPECT_EQ(document["directories"][1]["missing"], 2);
  const auto plain = nlohmann::json::parse(run({"check", "--json", path("p/p.kpf")}).out);
  EXPECT_EQ(plain["problems"].size(), 5u);
  EXPECT_EQ(plain["directories"], document["directories"]);
}

// Names are bytes: a directory with a line feed, a terminal escape or bytes
// that are not UTF-8 is counted like any other and printed escaped.
TEST_F(MovedData, HostileDirectoryNamesAreGroupedAndPrintedEscaped) {
  const std::string odd = path("gone/a\nb\x1b[2J\xff");
  make_project(path("p/p.kpf"), {odd + "/1", odd + "/2"});
  const Outcome text = run({"check", "--by-directory", path("p/p.kpf")});
  EXPECT_THAT(text.out, HasSubstr(path("gone/a") + "\\nb\\x1b[2J\\xff  2 missing\n"));
  const Outcome relink = run({"relink", path("p/p.kpf"), "--from", odd, "--to", path("new")});
  EXPECT_THAT(relink.out, HasSubstr(path("gone/a") + "\\nb\\x1b[2J\\xff -> " + path("new") + "  (2 files, 2 of them"));
  EXPECT_THAT(relink.out, Not(HasSubstr("\x1b")));
  const auto json = nlohmann::json::parse(run({"check", "--by-directory", "--json", path("p/p.kpf")}).out);
  EXPECT_TRUE(json["directories"][0]["directory"].is_object());  // {"hex": ...}: JSON strings hold UTF-8 only
}

TEST_F(MovedData, PrefixRelinkOfAMovedFolderIsADryRunUntilWrite) {
  make_project(path("p/p.kpf"), {data("old/T1/a.img"), data("old/T2/b.img"), data("oldish/c.img")});
  move("old", "new");
  move("oldish", "gone");
  const std::string before = ReadBytes(path("p/p.kpf"));
  const Outcome dry = run({"relink", path("p/p.kpf"), "--from", path("old"), "--to", path("new")});
  EXPECT_EQ(dry.status, 1) << dry.err;  // oldish/c.img: not beneath old, and still missing
  EXPECT_THAT(dry.out, HasSubstr("would relink:\n  " + path("old") + " -> " + path("new") + "  (2 files)\n"));
  EXPECT_THAT(dry.out, HasSubstr("dry run: nothing written"));
  EXPECT_EQ(ReadBytes(path("p/p.kpf")), before);

  const Outcome written = run({"relink", path("p/p.kpf"), "--from", path("old/"), "--to", path("new"), "--write"});
  EXPECT_EQ(written.status, 1) << written.err;
  EXPECT_EQ(stored(path("p/p.kpf")),
            (std::vector<std::string>{path("new/T1/a.img"), path("new/T2/b.img"), path("oldish/c.img")}));

  // Nothing left to change: the file is not written again.
  struct stat first {};
  ::stat(path("p/p.kpf").c_str(), &first);
  const std::string saved = ReadBytes(path("p/p.kpf"));
  const Outcome again = run({"relink", path("p/p.kpf"), "--from", path("old"), "--to", path("new"), "--write"});
  EXPECT_THAT(again.out, HasSubstr("nothing to change"));
  struct stat second {};
  ::stat(path("p/p.kpf").c_str(), &second);
  EXPECT_EQ(first.st_ino, second.st_ino);
  EXPECT_EQ(ReadBytes(path("p/p.kpf")), saved);
}

TEST_F(MovedData, PrefixRulesCompareProjectNamesInStoredFormAndLeaveExistingFilesUnlessAll) {
  make_project(path("p/p.kpf"), {data("p/img/a.img"), data("mnt1/data/b.img"), data("mnt1/data/c.img")});
  move("p/img", "p/images");
  move("mnt1/data/b.img", "mnt2/data/b.img");  // c.img stays: it exists, so it is left alone
  WriteBytes(path("mnt2/data/c.img"), "copy");
  const Outcome relinked = run({"relink", path("p/p.kpf"), "--from", "$PROJECT/img", "--to", path("p/images"),
                                "--from", path("mnt1"), "--to", path("mnt2"), "--write"});
  EXPECT_EQ(relinked.status, 0) << relinked.out << relinked.err;
  EXPECT_EQ(stored(path("p/p.kpf")),
            (std::vector<std::string>{"$PROJECT/images/a.img", path("mnt2/data/b.img"), path("mnt1/data/c.img")}));
  const Outcome all = run({"relink", path("p/p.kpf"), "--from", path("mnt1"), "--to", path("mnt2"), "--all", "--write"});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(stored(path("p/p.kpf"))[2], path("mnt2/data/c.img"));
  expect_all_found(path("p/p.kpf"));
}

TEST_F(MovedData, UsageErrorsChangeNothing) {
  make_project(path("p/p.kpf"), {path("gone/a.img")});
  const std::string before = ReadBytes(path("p/p.kpf"));
  const std::vector<std::vector<std::string>> bad = {
      {"--from", path("gone")},                                   // --from without --to
      {"--to", path("x")},                                        // --to without --from
      {"--from", "gone", "--to", path("x")},                      // relative OLD
      {"--from", path("gone"), "--to", path("gone")},             // OLD == NEW
      {"--from", path("p/d"), "--to", "$PROJECT/d"},              // the same in stored form
      {},                                                         // nothing to do
      {"--search", path("no such directory")},
  };
  for (std::vector<std::string> args : bad) {
    args.insert(args.begin(), {"relink", path("p/p.kpf")});
    args.push_back("--write");
    const Outcome outcome = run(args);
    EXPECT_EQ(outcome.status, 2) << ::testing::PrintToString(args) << outcome.out;
    EXPECT_THAT(outcome.err, HasSubstr("kestrum: "));
    EXPECT_EQ(ReadBytes(path("p/p.kpf")), before);
  }
}

TEST_F(MovedData, SearchRelinksUniqueBestCandidatesAndLearnsFromThem) {
  make_project(path("p/p.kpf"), {data("old/T1/a.img"), data("old/b.img"), data("old/c.img"), data("old/T2/d.img"),
                                 data("old/T2/e.img")});
  fs::remove_all(path("old"));
  data("tree/renamed/T1/a.img");  // a renamed parent: T1 matches
  data("tree/other/X/a.img");
  data("tree/p/b.img");  // two equally good: ambiguous
  data("tree/q/b.img");
  data("tree/renamed/T2/d.img");  // teaches old -> tree/renamed
  data("tree/renamed/T2/e.img");  // as good as the next by name, but learned first
  data("tree/zz/T2/e.img");
  const std::string before = ReadBytes(path("p/p.kpf"));
  const Outcome dry = run({"relink", path("p/p.kpf"), "--search", path("tree")});
  EXPECT_EQ(dry.status, 1);
  EXPECT_THAT(dry.out, HasSubstr(path("old") + " -> " + path("tree/renamed") + "  (3 files)"));
  EXPECT_THAT(dry.out, HasSubstr("ambiguous, left as they are: 1\n  /  f1: " + path("old/b.img") +
                                 "\n    could be " + path("tree/p/b.img") + "\n    could be " + path("tree/q/b.img")));
  EXPECT_THAT(dry.out, HasSubstr("not found: 1, by directory:\n  " + path("old") + "  1 missing"));
  EXPECT_EQ(ReadBytes(path("p/p.kpf")), before);

  const Outcome written = run({"relink", path("p/p.kpf"), "--search", path("tree"), "--write"});
  EXPECT_EQ(written.status, 1);
  EXPECT_EQ(stored(path("p/p.kpf")),
            (std::vector<std::string>{path("tree/renamed/T1/a.img"), path("old/b.img"), path("old/c.img"),
                                      path("tree/renamed/T2/d.img"), path("tree/renamed/T2/e.img")}));
  // What is left missing is what the relink said: the ambiguous and the not found.
  const auto check = nlohmann::json::parse(run({"check", "--json", path("p/p.kpf")}).out);
  EXPECT_EQ(check["problems"].size(), 2u);
}

// Tiles whose files all have the same names, moved into a new parent, some
// files lost on the way: every file that arrived is found at its own place,
// and a lost one is never taken for its namesake in another tile.
TEST_F(MovedData, SearchAfterAFolderMovedFindsWhatArrivedAndNeverANamesake) {
  std::mt19937 random(25);
  for (int round = 0; round < 6; ++round) {
    const std::string root = "r" + std::to_string(round) + "/";
    std::vector<std::string> places, descriptors;
    const int tiles = 2 + static_cast<int>(random() % 3), samples = 1 + static_cast<int>(random() % 3);
    for (int t = 0; t < tiles; ++t) {
      places.push_back("T" + std::to_string(t) + "/photo.img");
      for (int s = 0; s < samples; ++s)
        for (const char *name : {"plot.img", "counts.txt"})
          places.push_back("T" + std::to_string(t) + "/S" + std::to_string(s) + "/" + name);
    }
    for (const std::string &place : places) descriptors.push_back(data(root + "old/" + place));
    make_project(path(root + "p/p.kpf"), descriptors);
    move(root + "old", root + "new/moved");
    std::vector<bool> lost;
    for (const std::string &place : places) {
      lost.push_back(random() % 4 == 0);
      if (lost.back()) fs::remove(path(root + "new/moved/" + place));
    }
    const Outcome outcome = run({"relink", path(root + "p/p.kpf"), "--search", path(root + "new"), "--write"});
    ASSERT_LE(outcome.status, 1) << outcome.err;
    const std::vector<std::string> now = stored(path(root + "p/p.kpf"));
    ASSERT_EQ(now.size(), places.size());
    for (std::size_t i = 0; i < places.size(); ++i) {
      EXPECT_EQ(now[i], path(root + (lost[i] ? "old/" : "new/moved/") + places[i])) << "round " << round;
      if (!lost[i]) {
        EXPECT_EQ(ReadBytes(now[i]), "data of " + root + "old/" + places[i]);
      }
    }
  }
}

TEST_F(MovedData, SearchThroughLinkLoopsEndsAndFindsEachFileOnce) {
  make_project(path("p/p.kpf"), {path("old/sub/a.img"), path("old/b.img")});
  data("tree/sub/a.img");
  data("elsewhere/b.img");
  fs::create_directory_symlink(path("tree"), path("tree/sub/up"));      // a loop to an ancestor
  fs::create_directory_symlink(path("tree/l2"), path("tree/l1"));       // two links to each other
  fs::create_directory_symlink(path("tree/l1"), path("tree/l2"));
  fs::create_directory_symlink(path("elsewhere"), path("tree/link"));  // a link into another tree, followed
  // The same tree twice, once through a link: still one candidate each.
  const Outcome outcome = run({"relink", path("p/p.kpf"), "--search", path("tree"), "--search", path("tree/sub/up"),
                               "--write"});
  EXPECT_EQ(outcome.status, 0) << outcome.out << outcome.err;
  EXPECT_THAT(outcome.err, HasSubstr("searched already"));
  EXPECT_EQ(stored(path("p/p.kpf")), (std::vector<std::string>{path("tree/sub/a.img"), path("tree/link/b.img")}));
}

// A descriptor may name a directory (a format stored as a folder of files):
// search finds it like a file, and pack lists it and leaves it where it is.
TEST_F(MovedData, ADirectoryAsDataFileIsFoundButNotPacked) {
  data("old/scan.dir/part1");
  make_project(path("p/p.kpf"), {path("old/scan.dir"), data("p/a.img")});
  move("old", "new");
  const Outcome relinked = run({"relink", path("p/p.kpf"), "--search", path("new"), "--write"});
  EXPECT_EQ(relinked.status, 0) << relinked.out << relinked.err;
  EXPECT_EQ(stored(path("p/p.kpf"))[0], path("new/scan.dir"));
  const Outcome packed = run({"pack", path("p/p.kpf"), "-o", path("out")});
  EXPECT_EQ(packed.status, 1);
  EXPECT_THAT(packed.out, HasSubstr("not regular files, left where they are: 1\n  /  f0: " + path("new/scan.dir")));
  EXPECT_EQ(stored(path("out/p.kpf")), (std::vector<std::string>{path("new/scan.dir"), "$PROJECT/a.img"}));
}

TEST_F(MovedData, PackedDemoMovedElsewhereFindsEveryFileThatExisted) {
  const std::string demo = make_demo();
  // One data file outside the project's directory, beside one inside whose
  // place would be the external directory's.
  const std::string outside = data("outside/notes.txt");
  make_project(path("extra/e.kpf"), {outside, path("extra/external/x"), path("extra/gone")});
  data("extra/external/x");
  for (const std::string &project : {demo, path("extra/e.kpf")}) {
    const std::string name = fs::path(project).parent_path().filename().string();
    const Outcome packed = run({"pack", project, "-o", path("packed-" + name)});
    EXPECT_EQ(packed.status, 1) << packed.err;  // each has missing files
    EXPECT_THAT(packed.out, HasSubstr("missing, not packed:"));
    move("packed-" + name, "moved/away/" + name);
  }
  const std::string moved_demo = path("moved/away/demo/survey.kpf");
  const Outcome original = run({"check", "--json", demo});
  const Outcome copy = run({"check", "--json", moved_demo});
  EXPECT_EQ(nlohmann::json::parse(copy.out)["problems"], nlohmann::json::parse(original.out)["problems"]);
  for (const std::string &descriptor : stored(moved_demo)) EXPECT_EQ(descriptor.rfind("$PROJECT/", 0), 0u);

  const std::vector<std::string> extra = stored(path("moved/away/extra/e.kpf"));
  EXPECT_EQ(extra[0], "$PROJECT/external-2" + outside);
  EXPECT_EQ(extra[1], "$PROJECT/external/x");
  EXPECT_EQ(extra[2], "$PROJECT/gone");
  EXPECT_EQ(ReadBytes(path("moved/away/extra/external-2" + outside)), "data of outside/notes.txt");
}

TEST_F(MovedData, PackRefusesAFullDirectoryAndLinksOnRequest) {
  make_project(path("p/p.kpf"), {data("p/a.img"), data("p/sub/b.img")});
  data("full/keep");
  const Outcome refused = run({"pack", path("p/p.kpf"), "-o", path("full")});
  EXPECT_EQ(refused.status, 2);
  EXPECT_THAT(refused.err, HasSubstr("is not empty (use --force"));
  EXPECT_FALSE(fs::exists(path("full/p.kpf")));
  EXPECT_EQ(run({"pack", path("p/p.kpf"), "-o", path("p"), "--force"}).status, 2);  // its own directory

  const Outcome linked = run({"pack", path("p/p.kpf"), "-o", path("full"), "--force", "--link"});
  EXPECT_EQ(linked.status, 0) << linked.err;
  EXPECT_THAT(linked.out, HasSubstr("2 data files"));
  struct stat source {}, link {};
  ::stat(path("p/sub/b.img").c_str(), &source);
  ::stat(path("full/sub/b.img").c_str(), &link);
  EXPECT_EQ(source.st_ino, link.st_ino);
  EXPECT_EQ(ReadBytes(path("full/keep")), "data of full/keep");

  // A data file that cannot be written: the pack fails and leaves no project file.
  data("blocked/sub");  // a file where the directory "sub" must go
  const Outcome blocked = run({"pack", path("p/p.kpf"), "-o", path("blocked"), "--force"});
  EXPECT_EQ(blocked.status, 2);
  EXPECT_FALSE(fs::exists(path("blocked/p.kpf")));

  // Across file systems no link can be made: --link copies instead.
  if (::access("/dev/shm", W_OK) == 0) {
    kestrum_test::TempDir memory("/dev/shm");
    const Outcome across = run({"pack", path("p/p.kpf"), "-o", memory.Path("packed"), "--link"});
    EXPECT_EQ(across.status, 0) << across.err;
    EXPECT_THAT(across.out, HasSubstr("2 data files (34 bytes), 0 of them as hard links"));
    EXPECT_EQ(ReadBytes(memory.Path("packed/sub/b.img")), "data of p/sub/b.img");
  }

  const Outcome copied = run({"pack", path("p/p.kpf"), "-o", path("copy")});
  EXPECT_EQ(copied.status, 0) << copied.err;
  ::stat(path("copy/sub/b.img").c_str(), &link);
  EXPECT_NE(source.st_ino, link.st_ino);
  EXPECT_EQ(ReadBytes(path("copy/sub/b.img")), "data of p/sub/b.img");
  expect_all_found(path("copy/p.kpf"));
}

}  // namespace
