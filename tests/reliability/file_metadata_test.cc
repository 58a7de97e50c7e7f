// What a save does to the file around the contents: the permissions, owner
// and group of the file it replaces stay, a symbolic link stays a link and
// its target gets the new contents, what is not a regular file is never
// replaced, and a directory the user may not write to makes the save fail
// with a report while the old file stays as it was.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "disk_helpers.h"
#include "project_builder.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

FullShape Variant(int variant) {
  FullShape shape;
  shape.tiles = 2;
  shape.variant = variant;
  return shape;
}

mode_t ModeOf(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Saves `project` into its own file; "" on success, else the report chain.
std::string Save(pm_Project *project) {
  ReportSlot slot;
  pm_ProjectSave(project, 0, slot.out());
  return slot.text();
}

TEST(FileMetadata, SaveKeepsPermissionsOfTheFileItReplaces) {
  TempDir dir;
  std::string path = dir.Path("site.kpr");
  ProjectPtr first(BuildFullProject(path, Variant(1)));
  ProjectPtr second(BuildFullProject(path, Variant(2)));
  ASSERT_TRUE(first && second);
  ASSERT_EQ(Save(first.get()), "");
  for (mode_t mode : {0640, 0600, 0664, 0604}) {
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    ASSERT_EQ(Save(second.get()), "");
    EXPECT_EQ(ModeOf(path), mode) << std::oct << "mode 0" << mode;
    std::swap(first, second);
  }
  EXPECT_EQ(LoadDifference(path, first.get()), "") << "the last version saved";
}

// The owner and group stay as the mode does, where the process may set
// them: the superuser keeps another user's file theirs (so that their next
// save works), and a user who may not give a file away still saves it.
TEST(FileMetadata, SaveKeepsOwnerAndGroupWhereItMay) {
  if (geteuid() != 0) GTEST_SKIP() << "needs the superuser to give files away";
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  std::string path = dir.Path("site.kpr");
  ProjectPtr first(BuildFullProject(path, Variant(1)));
  ProjectPtr second(BuildFullProject(path, Variant(2)));
  ASSERT_TRUE(first && second);
  ASSERT_EQ(Save(first.get()), "");
  ASSERT_EQ(chown(path.c_str(), 12345, 23456), 0);
  ASSERT_EQ(chmod(path.c_str(), 0664), 0);
  ASSERT_EQ(Save(second.get()), "");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 12345u);
  EXPECT_EQ(st.st_gid, 23456u);
  EXPECT_EQ(st.st_mode & 07777, 0664u);

  // An ordinary user may not give the file back to its owner: the save
  // still goes through, and the file is theirs.
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  std::string outcome = RunInChild([&]() -> std::string {
    if (setgid(65534) != 0 || setuid(65534) != 0) return "skip: cannot drop privileges";
    return "report: " + Save(first.get());
  });
  if (outcome.rfind("skip", 0) == 0) GTEST_SKIP() << outcome;
  EXPECT_EQ(outcome, "report: ");
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  EXPECT_EQ(LoadDifference(path, first.get()), "");
}

// A save-as onto something that is not a regular file (a pipe, a socket,
// or a link to one) is refused with a report and leaves it as it was.
TEST(FileMetadata, SaveAsOntoAPipeOrSocketIsRefused) {
  TempDir dir;
  ProjectPtr project(BuildFullProject(dir.Path("site.kpr"), Variant(1)));
  ASSERT_TRUE(project);
  ASSERT_EQ(mkfifo(dir.Path("pipe").c_str(), 0600), 0);
  int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string sock_path = dir.Path("sock");
  ASSERT_LT(sock_path.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, sock_path.c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  ASSERT_EQ(symlink("pipe", dir.Path("link").c_str()), 0);
  for (const char *name : {"pipe", "sock", "link"}) {
    ReportSlot slot;
    pm_ProjectSaveAs(project.get(), dir.Path(name).c_str(), 0, slot.out());
    EXPECT_NE(slot.text().find("pm_ProjectSaveAs"), std::string::npos) << name << ": " << slot.text();
    EXPECT_NE(slot.text().find("not a regular file"), std::string::npos) << name << ": " << slot.text();
  }
  struct stat st {};
  EXPECT_TRUE(stat(dir.Path("link").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
  EXPECT_TRUE(stat(sock_path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode));
  EXPECT_EQ(ListDir(dir.path()), (std::set<std::string>{"link", "pipe", "sock"}));
  close(sock);
}

TEST(FileMetadata, NewFileTakesItsPermissionsFromTheUmask) {
  TempDir dir;
  std::string path = dir.Path("site.kpr");
  ProjectPtr project(BuildFullProject(path, Variant(1)));
  ASSERT_TRUE(project);
  mode_t old_mask = umask(027);
  std::string report = Save(project.get());
  umask(old_mask);
  ASSERT_EQ(report, "");
  EXPECT_EQ(ModeOf(path), static_cast<mode_t>(0640));
}

TEST(FileMetadata, SaveThroughSymbolicLinksReplacesTheTargetAndKeepsTheLinks) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.Path("work").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.Path("store").c_str(), 0755), 0);
  std::string target = dir.Path("store/real.kpr");
  // work/site.kpr -> work/middle.kpr -> ../store/real.kpr: an absolute and a
  // relative link in a chain, the file itself in another directory.
  std::string link = dir.Path("work/site.kpr");
  std::string middle = dir.Path("work/middle.kpr");
  ASSERT_EQ(symlink("../store/real.kpr", middle.c_str()), 0);
  ASSERT_EQ(symlink(middle.c_str(), link.c_str()), 0);

  ProjectPtr first(BuildFullProject(target, Variant(1)));
  ProjectPtr second(BuildFullProject(link, Variant(2)));
  ASSERT_TRUE(first && second);
  ASSERT_EQ(Save(first.get()), "");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);

  ASSERT_EQ(Save(second.get()), "");
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
  ASSERT_EQ(lstat(middle.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the middle link was replaced by a file";
  char buffer[PATH_MAX];
  ssize_t n = readlink(middle.c_str(), buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), "../store/real.kpr");
  EXPECT_EQ(ModeOf(target), static_cast<mode_t>(0640));
  // The target holds the new version (descriptors were stored against the
  // link's directory, so load through the link).
  EXPECT_EQ(LoadDifference(link, second.get()), "");
  EXPECT_EQ(ListDir(dir.Path("work")), (std::set<std::string>{"middle.kpr", "site.kpr"}));
  EXPECT_EQ(ListDir(dir.Path("store")), std::set<std::string>{"real.kpr"});
}

TEST(FileMetadata, ReadOnlyDirectoryMakesSaveFailAndKeepsOldFile) {
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  std::string folder = dir.Path("ro");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  std::string path = folder + "/site.kpr";
  ProjectPtr first(BuildFullProject(path, Variant(1)));
  ProjectPtr second(BuildFullProject(path, Variant(2)));
  ASSERT_TRUE(first && second);
  ASSERT_EQ(Save(first.get()), "");
  // The file itself may be written; only the directory is closed.
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  std::string old_bytes = ReadBytes(path);

  // Permissions do not bind the superuser: save as an ordinary user then.
  bool as_root = geteuid() == 0;
  std::string outcome = RunInChild([&]() -> std::string {
    if (as_root && (setgid(65534) != 0 || setuid(65534) != 0)) return "skip: cannot drop privileges";
    return "report: " + Save(second.get());
  });
  chmod(folder.c_str(), 0755);  // so that the directory can be removed
  if (outcome.rfind("skip", 0) == 0) GTEST_SKIP() << outcome;

  EXPECT_NE(outcome, "report: ") << "the save claimed success";
  EXPECT_NE(outcome.find("pm_ProjectSave"), std::string::npos) << outcome;
  EXPECT_NE(outcome.find("Permission denied"), std::string::npos) << outcome;
  EXPECT_TRUE(ReadBytes(path) == old_bytes) << "the old file was touched";
  EXPECT_EQ(ListDir(folder), std::set<std::string>{"site.kpr"});
  EXPECT_EQ(LoadDifference(path, first.get()), "");
}

}  // namespace
}  // namespace kestrum_test
