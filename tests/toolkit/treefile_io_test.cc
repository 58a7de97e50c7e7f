// How a tree file reaches the disk: only at close, whole, by replacing the
// old file; never on abandon or for a reader; one writer at a time; with the
// old file's permissions and symbolic links kept. (What a failing file
// operation does is in treefile_faults_test.cc.)
#include <cerrno>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "treefile_fixture.h"

namespace treefile_test {
namespace {

TEST_F(TreeFileDisk, ChangesReachTheDiskOnlyAtClose) {
  make_file();
  Bytes before = read_bytes(path("f.kpf"));
  tk_TreeFile *file = open("f.kpf", "rb+");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(write_entry(file, ":", "B", "b"), "");
  ASSERT_TRUE(tk_TreeObjectDelete(file, ":", "A", TK_DELETE_TREE, nullptr));
  EXPECT_EQ(read_bytes(path("f.kpf")), before);  // open and changed, not yet closed
  tk_ErrorReport *report = nullptr;
  ASSERT_TRUE(tk_TreeFileClose(file, &report)) << take_report(report);
  EXPECT_NE(read_bytes(path("f.kpf")), before);
  file = open("f.kpf", "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(list(file, ":", nullptr), std::vector<std::string>{":B"});
  tk_TreeFileAbandon(file);
  EXPECT_EQ(entries(), std::vector<std::string>{"f.kpf"});
}

TEST_F(TreeFileDisk, AbandonAndReadersWriteNothing) {
  make_file();
  Bytes before = read_bytes(path("f.kpf"));
  struct stat old = stat_of("f.kpf");

  tk_TreeFile *file = open("f.kpf", "rb+");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(write_entry(file, ":", "B", "b"), "");
  ASSERT_NE(tk_DesignCreate(tk_TreeFileGetDictionary(file), "Extra", nullptr, TK_ITEM_TIME, "T", TK_ITEM_END), nullptr);
  tk_TreeFileAbandon(file);
  EXPECT_EQ(read_bytes(path("f.kpf")), before);

  // A reader can change nothing, and closing it leaves the very same file.
  file = open("f.kpf", "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_NE(write_entry(file, ":", "C", "c").find("reading only"), std::string::npos);
  tk_ErrorReport *report = nullptr;
  EXPECT_FALSE(tk_TreeObjectDelete(file, ":", "A", TK_DELETE_TREE, &report));
  EXPECT_NE(take_report(report).find("reading only"), std::string::npos);
  EXPECT_TRUE(tk_TreeFileClose(file, &report));
  // An update without changes has nothing to write either.
  file = open("f.kpf", "rb+");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(tk_TreeFileClose(file, &report));
  struct stat now = stat_of("f.kpf");
  EXPECT_EQ(now.st_ino, old.st_ino);
  EXPECT_EQ(now.st_mtim.tv_nsec, old.st_mtim.tv_nsec);
  EXPECT_EQ(read_bytes(path("f.kpf")), before);
  EXPECT_EQ(entries(), std::vector<std::string>{"f.kpf"});
}

TEST_F(TreeFileDisk, ASecondWriterIsTurnedAwayUntilTheFirstIsDone) {
  make_file();
  tk_TreeFile *writer = open("f.kpf", "rb+");
  ASSERT_NE(writer, nullptr);
  EXPECT_NE(open_failure("f.kpf", "rb+").find("is in use by another writer"), std::string::npos);
  tk_ErrorReport *report = nullptr;
  EXPECT_EQ(tk_TreeFileCreate(path("f.kpf").c_str(), 0, &report), nullptr);
  EXPECT_NE(take_report(report).find("is in use by another writer"), std::string::npos);
  EXPECT_EQ(open_failure("f.kpf", "rb"), "");  // readers are welcome

  // Another process is turned away as well.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    tk_ErrorReport *inner = nullptr;
    tk_TreeFile *other = tk_TreeFileOpen(path("f.kpf").c_str(), "rb+", 0, &inner, 0);
    _exit(other == nullptr && inner != nullptr ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  ASSERT_EQ(write_entry(writer, ":", "B", "b"), "");
  ASSERT_TRUE(tk_TreeFileClose(writer, nullptr));
  writer = open("f.kpf", "rb+");  // the replaced file is free again
  ASSERT_NE(writer, nullptr);
  tk_TreeFileAbandon(writer);
  writer = open("f.kpf", "rb+");  // and so after an abandon
  ASSERT_NE(writer, nullptr);
  tk_TreeFileAbandon(writer);
}

TEST_F(TreeFileDisk, CreatingOverAnExistingFileHoldsItAndReplacesItAtClose) {
  make_file();
  tk_ErrorReport *report = nullptr;
  tk_TreeFile *file = tk_TreeFileCreate(path("f.kpf").c_str(), 0, &report);
  ASSERT_NE(file, nullptr) << take_report(report);
  EXPECT_NE(open_failure("f.kpf", "rb+").find("in use"), std::string::npos);
  ASSERT_NE(tk_DesignCreate(tk_TreeFileGetDictionary(file), "Only", nullptr, TK_ITEM_TIME, "T", TK_ITEM_END), nullptr);
  ASSERT_TRUE(tk_TreeFileClose(file, &report)) << take_report(report);
  file = open("f.kpf", "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(list(file, ":", nullptr), std::vector<std::string>{});
  EXPECT_NE(tk_DictionarySearchByName(tk_TreeFileGetDictionary(file), "Only", nullptr), nullptr);
  EXPECT_EQ(entry_, nullptr);
  tk_TreeFileAbandon(file);
}

TEST_F(TreeFileDisk, MissingFilesBadModesAndBadPlacesAreReported) {
  EXPECT_NE(open_failure("none.kpf", "rb").find("none.kpf does not exist"), std::string::npos);
  EXPECT_NE(open_failure("none.kpf", "rb+").find("none.kpf does not exist"), std::string::npos);
  make_file();
  EXPECT_NE(open_failure("f.kpf", "wb").find("unsupported mode"), std::string::npos);
  EXPECT_NE(open_failure("f.kpf", nullptr), "");
  tk_ErrorReport *report = nullptr;
  EXPECT_EQ(tk_TreeFileCreate(path("no/such/dir/x.kpf").c_str(), 0, &report), nullptr);
  EXPECT_NE(take_report(report).find("No such file or directory"), std::string::npos);
  ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
  EXPECT_EQ(tk_TreeFileCreate(path("sub").c_str(), 0, &report), nullptr);
  EXPECT_NE(take_report(report).find("is a directory"), std::string::npos);
  EXPECT_NE(open_failure("sub", "rb").find("not a project file"), std::string::npos);
  EXPECT_EQ(tk_TreeFileCreate(nullptr, 0, &report), nullptr);
  EXPECT_NE(take_report(report), "");
  EXPECT_EQ(tk_TreeFileOpen("", "rb", 0, &report, 0), nullptr);
  EXPECT_NE(take_report(report), "");
}

TEST_F(TreeFileDisk, ARelativePathIsBoundToTheDirectoryItWasOpenedIn) {
  char *cwd = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  tk_ErrorReport *report = nullptr;
  tk_TreeFile *file = tk_TreeFileCreate("rel.kpf", 0, &report);
  ASSERT_EQ(chdir(cwd), 0);
  free(cwd);
  ASSERT_NE(file, nullptr) << take_report(report);
  ASSERT_TRUE(tk_TreeFileClose(file, &report)) << take_report(report);
  EXPECT_EQ(entries(), std::vector<std::string>{"rel.kpf"});
}

TEST_F(TreeFileDisk, AWriterRemovesTemporariesLeftByKilledWriters) {
  make_file();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);  // a process that no longer exists
  const std::string dead = ".f.kpf.tmp-" + std::to_string(child) + "-1";
  const std::string alive = ".f.kpf.tmp-" + std::to_string(getppid()) + "-1";
  const std::string other = ".g.kpf.tmp-" + std::to_string(child) + "-1";
  for (const std::string &name : {dead, alive, other}) write_bytes(path(name), "partial");

  tk_TreeFile *file = open("f.kpf", "rb+");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(write_entry(file, ":", "B", "b"), "");
  tk_ErrorReport *report = nullptr;
  ASSERT_TRUE(tk_TreeFileClose(file, &report)) << take_report(report);
  EXPECT_EQ(entries(), (std::vector<std::string>{alive, other, "f.kpf"}));
}

TEST_F(TreeFileDisk, ReplacingKeepsPermissionBits) {
  for (mode_t mode : {0600, 0640, 0604, 0444, 0751}) {
    make_file();
    ASSERT_EQ(chmod(path("f.kpf").c_str(), mode), 0);
    tk_TreeFile *file = open("f.kpf", geteuid() == 0 || (mode & 0200) ? "rb+" : "rb");
    ASSERT_NE(file, nullptr);
    if (geteuid() != 0 && !(mode & 0200)) {
      tk_TreeFileAbandon(file);
      EXPECT_NE(open_failure("f.kpf", "rb+"), "") << "a read-only file is not opened for update";
      ASSERT_EQ(unlink(path("f.kpf").c_str()), 0);
      continue;
    }
    ASSERT_EQ(write_entry(file, ":", "B", "b"), "");
    ino_t old_inode = stat_of("f.kpf").st_ino;
    ASSERT_TRUE(tk_TreeFileClose(file, nullptr));
    struct stat now = stat_of("f.kpf");
    EXPECT_NE(now.st_ino, old_inode);  // replaced, not rewritten in place
    EXPECT_EQ(now.st_mode & 07777, mode) << std::oct << mode;
    ASSERT_EQ(unlink(path("f.kpf").c_str()), 0);
  }
  // A new file takes the usual permissions under the umask.
  mode_t mask = umask(027);
  make_file("new.kpf");
  umask(mask);
  EXPECT_EQ(stat_of("new.kpf").st_mode & 07777, 0640u);
}

TEST_F(TreeFileDisk, ASymbolicLinkIsKeptAndItsTargetReplaced) {
  ASSERT_EQ(mkdir(path("real").c_str(), 0755), 0);
  make_file("real/target.kpf");
  ASSERT_EQ(symlink("real/target.kpf", path("link.kpf").c_str()), 0);
  ASSERT_EQ(symlink("link.kpf", path("link2.kpf").c_str()), 0);  // a link to the link
  tk_TreeFile *file = open("link2.kpf", "rb+");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(write_entry(file, ":", "B", "b"), "");
  tk_ErrorReport *report = nullptr;
  ASSERT_TRUE(tk_TreeFileClose(file, &report)) << take_report(report);

  struct stat st {};
  ASSERT_EQ(lstat(path("link.kpf").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(lstat(path("link2.kpf").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  char target[256] = {};
  ASSERT_GT(readlink(path("link.kpf").c_str(), target, sizeof target - 1), 0);
  EXPECT_STREQ(target, "real/target.kpf");
  file = open("real/target.kpf", "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(list(file, ":", nullptr), (std::vector<std::string>{":A", ":B"}));
  tk_TreeFileAbandon(file);
  // The temporary file was made beside the target, and is gone.
  EXPECT_EQ(entries(), (std::vector<std::string>{"link.kpf", "link2.kpf", "real"}));
  std::vector<std::string> real;
  for (const auto &e : std::filesystem::directory_iterator(path("real"))) real.push_back(e.path().filename());
  EXPECT_EQ(real, std::vector<std::string>{"target.kpf"});
}

}  // namespace
}  // namespace treefile_test
