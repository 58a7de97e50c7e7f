// How a tree file reaches the disk: only at close, whole, by replacing the
// old file; never on abandon or for a reader; one writer at a time; with the
// old file's permissions and symbolic links kept. (What a failing file
// operation does is in treefile_faults_test.cc.)
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "treefile_fixture.h"

namespace treefile_test {
namespace {

TEST_F(TreeFileDisk, ChangesReachTheDiskOnlyAtClose) {
  make_file();
  Bytes before = ReadBytes(path("f.kpf"));
  tk_TreeFile *file = open("f.kpf", "rb+");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(write_entry(file, ":", "B", "b"), "");
  ASSERT_TRUE(tk_TreeObjectDelete(file, ":", "A", TK_DELETE_TREE, nullptr));
  EXPECT_EQ(ReadBytes(path("f.kpf")), before);  // open and changed, not yet closed
  tk_ErrorReport *report = nullptr;
  ASSERT_TRUE(tk_TreeFileClose(file, &report)) << take_report(report);
  EXPECT_NE(ReadBytes(path("f.kpf")), before);
  file = open("f.kpf", "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(list(file, ":", nullptr), std::vector<std::string>{":B"});
  tk_TreeFileAbandon(file);
  EXPECT_EQ(entries(), std::vector<std::string>{"f.kpf"});
}

TEST_F(TreeFileDisk, AbandonAndReadersWriteNothing) {
  make_file();
  Bytes before = ReadBytes(path("f.kpf"));
  struct stat old = stat_of("f.kpf");

  tk_TreeFile *file = open("f.kpf", "rb+");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(write_entry(file, ":", "B", "b"), "");
  ASSERT_NE(tk_DesignCreate(tk_TreeFileGetDictionary(file), "Extra", nullptr, TK_ITEM_TIME, "T", TK_ITEM_END), nullptr);
  tk_TreeFileAbandon(file);
  EXPECT_EQ(ReadBytes(path("f.kpf")), before);

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
  EXPECT_EQ(ReadBytes(path("f.kpf")), before);
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

// A file that does not exist yet has one writer too: the second creator,
// by the same name or through a link to it, is turned away until the first
// has made the file or given up, and nothing of the lock stays behind.
TEST_F(TreeFileDisk, ANewFileHasOneWriterAtATime) {
  ASSERT_EQ(symlink("new.kpf", path("alias.kpf").c_str()), 0);  // dangling until the file is made
  for (bool keep : {false, true}) {
    tk_TreeFile *first = create_with_designs("new.kpf");
    ASSERT_NE(first, nullptr);
    for (const char *name : {"new.kpf", "alias.kpf"}) {
      tk_ErrorReport *report = nullptr;
      tk_TreeFile *second = tk_TreeFileCreate(path(name).c_str(), 0, &report);
      EXPECT_EQ(second, nullptr) << name;
      if (second) tk_TreeFileAbandon(second);
      EXPECT_NE(take_report(report).find("is in use by another writer"), std::string::npos) << name;
    }
    pid_t child = fork();  // another process as well
    ASSERT_GE(child, 0);
    if (child == 0) {
      tk_ErrorReport *inner = nullptr;
      tk_TreeFile *other = tk_TreeFileCreate(path("new.kpf").c_str(), 0, &inner);
      _exit(other == nullptr && inner != nullptr ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (!keep) {
      tk_TreeFileAbandon(first);
      EXPECT_EQ(entries(), std::vector<std::string>{"alias.kpf"});
      continue;
    }
    ASSERT_EQ(write_entry(first, ":", "A", "a"), "");
    tk_ErrorReport *report = nullptr;
    ASSERT_TRUE(tk_TreeFileClose(first, &report)) << take_report(report);
    EXPECT_EQ(entries(), (std::vector<std::string>{"alias.kpf", "new.kpf"}));
  }
  // Once made, the file is held by its own lock, through either name.
  tk_TreeFile *writer = open("alias.kpf", "rb+");
  ASSERT_NE(writer, nullptr);
  tk_ErrorReport *report = nullptr;
  EXPECT_EQ(tk_TreeFileCreate(path("new.kpf").c_str(), 0, &report), nullptr);
  EXPECT_NE(take_report(report).find("is in use by another writer"), std::string::npos);
  tk_TreeFileAbandon(writer);
}

// Whatever is under the name and is not a regular file (after links) is
// no project file and is never replaced: creating over it is refused, and
// so is the close when it took the file's place meanwhile. A link to
// /dev/null is only ever created over, never closed, so that nothing can
// touch the device if the check failed.
TEST_F(TreeFileDisk, WhatIsNotARegularFileIsNeverReplaced) {
  ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
  int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path("sock").size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, path("sock").c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  ASSERT_EQ(symlink("pipe", path("to-pipe").c_str()), 0);
  ASSERT_EQ(symlink("/dev/null", path("to-null").c_str()), 0);
  const std::vector<std::string> names = {"pipe", "sock", "to-null", "to-pipe"};
  auto kinds = [&] {
    std::string k;
    for (const std::string &name : names) {
      struct stat st {};
      if (::stat(path(name).c_str(), &st) != 0) return std::string("missing ") + name;
      k += S_ISFIFO(st.st_mode) ? 'p' : S_ISSOCK(st.st_mode) ? 's' : S_ISCHR(st.st_mode) ? 'c' : '?';
    }
    return k;
  };
  ASSERT_EQ(kinds(), "pscp");
  for (const std::string &name : names) {
    tk_ErrorReport *report = nullptr;
    tk_TreeFile *file = tk_TreeFileCreate(path(name).c_str(), 0, &report);
    EXPECT_EQ(file, nullptr) << name;
    if (file) tk_TreeFileAbandon(file);  // never closed: closing would write
    EXPECT_NE(take_report(report).find("it is not a regular file"), std::string::npos) << name;
  }
  // A pipe that takes the place of the file (an old one, or a new one)
  // before the close.
  make_file();
  for (std::string name : {"f.kpf", "new.kpf"}) {
    tk_TreeFile *file = name == "f.kpf" ? open(name, "rb+") : create_with_designs(name);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(write_entry(file, ":", "B", "b"), "");
    std::filesystem::remove(path(name));
    ASSERT_EQ(mkfifo(path(name).c_str(), 0600), 0);
    tk_ErrorReport *report = nullptr;
    EXPECT_FALSE(tk_TreeFileClose(file, &report));
    EXPECT_NE(take_report(report).find(name + " is not a regular file"), std::string::npos) << name;
    struct stat st {};
    EXPECT_TRUE(lstat(path(name).c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) << name;
  }
  EXPECT_EQ(kinds(), "pscp");
  EXPECT_EQ(entries(), (std::vector<std::string>{"f.kpf", "new.kpf", "pipe", "sock", "to-null", "to-pipe"}));
  close(sock);
}

// A file name may be as long as the file system allows (255 bytes): the
// hidden names made beside it must fit too, and two long names that begin
// alike must not share them (each file being made holds its own lock).
TEST_F(TreeFileDisk, LongFileNamesCanBeSavedAndKeepTheirOwnTemporaries) {
  for (size_t length : {200, 218, 219, 244, 255}) {
    std::string a = std::string(length - 4, 'n') + ".kpf";
    std::string b = std::string(length - 5, 'n') + "x.kpf";
    tk_TreeFile *first = create_with_designs(a);
    tk_TreeFile *second = create_with_designs(b);
    ASSERT_TRUE(first && second) << length;
    tk_ErrorReport *report = nullptr;
    ASSERT_TRUE(tk_TreeFileClose(first, &report)) << length << ": " << take_report(report);
    ASSERT_TRUE(tk_TreeFileClose(second, &report)) << length << ": " << take_report(report);
    tk_TreeFile *file = open(a, "rb+");  // replacing it
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(write_entry(file, ":", "B", "b"), "");
    ASSERT_TRUE(tk_TreeFileClose(file, &report)) << length << ": " << take_report(report);
    EXPECT_EQ(entries(), (std::vector<std::string>{a, b})) << length;
    file = open(a, "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(list(file, ":", nullptr), std::vector<std::string>{":B"});
    tk_TreeFileAbandon(file);
    std::filesystem::remove(path(a));
    std::filesystem::remove(path(b));
  }
}

// A file that is no tree file, or one of another version, is refused after
// its 16-byte header, however large it is: a gigabyte (sparse, so that it
// costs no disk) is refused with as little memory as a file of 20 bytes.
TEST_F(TreeFileDisk, AForeignFileIsRefusedAfterItsHeaderWhateverItsSize) {
  Bytes version_2 = "KSTMTREE";
  PutU32(version_2, 2);
  PutU32(version_2, 0);
  Bytes version_0 = RawHeader();
  version_0[8] = 0;
  for (const Bytes &start : {Bytes("NOTATREE\1\0\0\0\0\0\0\0", 16), version_2, version_0}) {
    WriteBytes(path("small"), start + Bytes(4, '\0'));
    WriteBytes(path("large"), start);
    ASSERT_EQ(truncate(path("large").c_str(), off_t{1} << 30), 0);
    auto reason = [&](const std::string &name) {
      std::string text = open_failure(name, "rb");
      size_t at = text.find(name + ": ");
      return at == std::string::npos ? "<" + text + ">" : text.substr(at + name.size() + 2);
    };
    EXPECT_EQ(reason("large"), reason("small"));
    bool opened = true;
    long small = peak_kib_of_open(path("small"), &opened);
    EXPECT_FALSE(opened);
    long large = peak_kib_of_open(path("large"), &opened);
    EXPECT_FALSE(opened);
    ASSERT_GT(small, 0);
    ASSERT_GT(large, 0);
    EXPECT_LT(large, 2 * small) << "KiB at peak, refusing 1 GiB against 20 bytes: " << reason("small");
  }
}

// A file of a sound header and a large body (above 64 MiB) is checked as it
// is read, in the memory of one piece: damage anywhere is refused once the
// file has been read once, never held whole, and a first count that cannot
// be (more designs than a file may have) is refused at once, however large
// the file. A sound large file still opens.
TEST_F(TreeFileDisk, ALargeFileIsCheckedAsItIsReadInTheMemoryOfAPiece) {
  WriteBytes(path("small"), RawHeader() + Bytes(4, '\0'));
  bool opened = true;
  const long small = peak_kib_of_open(path("small"), &opened);
  ASSERT_GT(small, 0);
  Bytes many_designs = RawHeader();
  PutVarint(many_designs, 5000);
  struct Case {
    const char *name;
    Bytes start;
    off_t size;
    const char *reason;
  };
  for (const Case &c : {Case{"zeros", RawHeader(), off_t{256} << 20, "checksum mismatch"},
                        Case{"designs", many_designs, off_t{16} << 30, "damaged at offset 16: too many designs"}}) {
    SCOPED_TRACE(c.name);
    WriteBytes(path(c.name), c.start);
    ASSERT_EQ(truncate(path(c.name).c_str(), c.size), 0);  // sparse: no disk, quick to read
    const long operations_before = tk_FaultInject(0, 0, 0);
    const std::string failure = open_failure(c.name, "rb");
    const long operations = tk_FaultInject(0, 0, 0);
    EXPECT_NE(failure.find(path(c.name) + ": " + c.reason), std::string::npos) << failure;
    if (operations_before >= 0 && std::string(c.name) == "designs") {
      EXPECT_LT(operations, 10) << "refused after its first piece, not read through";
    }
    const long large = peak_kib_of_open(path(c.name), &opened);
    EXPECT_FALSE(opened);
    if (!kestrum_test::kSanitizedHeap) {
      EXPECT_LT(large, small + 8 * 1024) << "KiB at peak against " << small;
    }
    std::filesystem::remove(path(c.name));
  }
  // Sound and above the size: one record of 80 MiB.
  tk_TreeFile *file = create_with_designs("sound");
  ASSERT_NE(file, nullptr);
  std::string title(size_t{80} << 20, 't');
  Holder h{{static_cast<int32_t>(title.size() + 1), title.data()}, 0, 0, {0, nullptr}};
  ASSERT_TRUE(tk_TreeObjectWrite(file, ":", "big", "Holder", TK_WRITE_NEW, &h, holder_, nullptr));
  ASSERT_TRUE(tk_TreeFileClose(file, nullptr));
  title = std::string();
  file = open("sound", "rb");
  ASSERT_NE(file, nullptr);
  Holder read{};
  ASSERT_TRUE(tk_TreeObjectRead(file, ":", "big", TK_READ_RECORD, &read, holder_, nullptr));
  EXPECT_EQ(read.title.count, int32_t{(80 << 20) + 1});
  tk_DesignRecordRelease(holder_, &read);
  tk_TreeFileAbandon(file);
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
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
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
  for (const std::string &name : {dead, alive, other}) WriteBytes(path(name), "partial");

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
