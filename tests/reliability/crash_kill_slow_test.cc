// A process that saves a project again and again is killed without warning
// at random moments. Whenever it dies, the project file must load and hold
// one complete version: the one before the interrupted save or the one after
// it, never a mixture or a damaged file.
//
// The run is bounded by a number of kills and by time; scripts/soak.sh runs
// it for much longer through the environment variables read below.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "disk_helpers.h"
#include "project_builder.h"
#include "report_slot.h"

namespace kestrum_test {
namespace {

long EnvNumber(const char *name, long fallback) {
  const char *text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtol(text, nullptr, 10) : fallback;
}

// Where the scratch directory goes: in memory when the system has one. A killed process leaves
// the same file behind on any file system, but a kill cannot land while the
// process waits for a disk flush, so on disk each kill waits for the flush
// and the test needs much longer for the same number of kills.
std::string ScratchParent() {
  const char *base = std::getenv("KESTRUM_CRASH_DIR");
  return base != nullptr ? base : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

// What the saving child tells the parent through shared memory.
struct ChildLog {
  std::atomic<long> started;  // children that began to save
  std::atomic<long> saves;    // completed saves
  char error[512];          // why the child gave up, when it did
};

FullShape LargeShape(int variant) {
  FullShape shape;
  shape.tiles = 12;
  shape.samples = 5;
  shape.files = 3;
  shape.processes = 4;
  shape.arguments = 4;
  shape.variant = variant;
  return shape;
}

// Saves the two versions in turn until killed. Never returns.
[[noreturn]] void SaveForever(pm_Project *first, pm_Project *second, ChildLog *log) {
  log->started.fetch_add(1);
  for (long i = 0;; ++i) {
    tk_ErrorReport *report = nullptr;
    pm_ProjectSave(i % 2 == 0 ? second : first, 0, &report);
    if (report != nullptr) {
      std::string chain = ChainText(report);
      std::strncpy(log->error, chain.c_str(), sizeof log->error - 1);
      _exit(3);
    }
    log->saves.fetch_add(1);
  }
}

TEST(CrashKill, FileAlwaysHoldsOneCompleteVersion) {
  const long wanted_kills = EnvNumber("KESTRUM_CRASH_KILLS", 200);
  const long seconds = EnvNumber("KESTRUM_CRASH_SECONDS", 30);
  const unsigned seed = static_cast<unsigned>(EnvNumber("KESTRUM_CRASH_SEED", 20240611));
  TempDir dir(ScratchParent());
  ASSERT_FALSE(dir.path().empty());
  const std::string path = dir.Path("site.kpr");

  ProjectPtr first(BuildFullProject(path, LargeShape(1)));
  ProjectPtr second(BuildFullProject(path, LargeShape(2)));
  ASSERT_TRUE(first && second);
  ReportSlot slot;

  // How long one save takes, to spread the kills over whole saves.
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 4; ++i) {
    pm_ProjectSave(i % 2 == 0 ? second.get() : first.get(), 0, slot.out());
    ASSERT_TRUE(slot.empty()) << slot.text();
  }
  auto save_time = (std::chrono::steady_clock::now() - start) / 4;
  long save_us = std::max<long>(100, std::chrono::duration_cast<std::chrono::microseconds>(save_time).count());

  auto *log = static_cast<ChildLog *>(
      mmap(nullptr, sizeof(ChildLog), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(log, MAP_FAILED);
  new (log) ChildLog{};

  std::mt19937 random(seed);
  // The kills are spread over two saves as the parent timed them, but a
  // forked child saves slower than its parent (its first writes copy pages)
  // and a busy machine slows it further. When a run of kills sees no save
  // complete, the window widens, so that kills land at every point of a save
  // and between saves whatever the machine.
  long window_us = 2 * save_us;
  long saves_at_last_widening = 0, kills_at_last_widening = 0;
  long kills = 0, seen[3] = {0, 0, 0};
  std::chrono::steady_clock::duration startup{}, checking{};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (kills < wanted_kills && std::chrono::steady_clock::now() < deadline) {
    pid_t child = fork();
    ASSERT_GE(child, 0) << std::strerror(errno);
    if (child == 0) SaveForever(first.get(), second.get(), log);
    // Kill once the child is saving: a kill while it still starts up tests
    // nothing. The delay then spreads the kills over two whole saves.
    auto fork_time = std::chrono::steady_clock::now();
    while (log->started.load() == kills && std::chrono::steady_clock::now() < deadline) usleep(50);
    startup += std::chrono::steady_clock::now() - fork_time;
    if (kills - kills_at_last_widening >= 10) {
      if (log->saves.load() == saves_at_last_widening && window_us < 1000000) window_us *= 2;
      saves_at_last_widening = log->saves.load();
      kills_at_last_widening = kills;
    }
    usleep(static_cast<useconds_t>(std::uniform_int_distribution<long>(0, window_us)(random)));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the saving process stopped by itself: " << log->error;
    ++kills;

    auto load_start = std::chrono::steady_clock::now();
    int which = 0;
    ASSERT_EQ(LoadDifferenceFromAll(path, first.get(), second.get(), &which), "")
        << "after kill " << kills << " (seed " << seed << ")";
    ++seen[which];
    checking += std::chrono::steady_clock::now() - load_start;
  }
  long leftovers = static_cast<long>(ListDir(dir.path()).size()) - 1;
  auto per_kill_us = [&](std::chrono::steady_clock::duration total) {
    return kills ? std::chrono::duration_cast<std::chrono::microseconds>(total).count() / kills : 0;
  };
  std::printf("%ld kills, %ld saves completed, file held version 1 %ld times and version 2 %ld times, "
              "%ld temporary files left by killed saves; a save takes ~%ld us, per kill the child "
              "needed ~%ld us to start and the check ~%ld us; kills fell within %ld us\n",
              kills, log->saves.load(), seen[1], seen[2], leftovers, save_us, per_kill_us(startup),
              per_kill_us(checking), window_us);
  EXPECT_GE(kills, wanted_kills) << "the time ran out first";
  EXPECT_GT(log->saves.load(), 0) << "no save ever completed between kills";
  munmap(log, sizeof(ChildLog));
}

}  // namespace
}  // namespace kestrum_test
