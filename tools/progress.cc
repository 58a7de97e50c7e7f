// The progress line on standard error (see Progress in cli.h).
#include <unistd.h>

#include <cstdio>

#include "cli.h"

namespace kcli {

namespace {
constexpr auto kQuietPeriod = std::chrono::seconds(1);
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);
}  // namespace

Progress::Progress(std::string label, std::size_t total)
    : label_(std::move(label)),
      total_(total),
      terminal_(isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()),
      last_(start_) {}

Progress::~Progress() {
  // Erase the line so that whatever is printed next starts clean.
  if (shown_) std::fputs("\r\033[K", stderr);
}

void Progress::step(std::size_t done) {
  done_ += done;
  if (!terminal_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - start_ < kQuietPeriod || (shown_ && now - last_ < kRedrawPeriod)) return;
  last_ = now;
  shown_ = true;
  std::fprintf(stderr, "\r\033[K%s: %zu/%zu", label_.c_str(), done_, total_);
  std::fflush(stderr);
}

}  // namespace kcli
