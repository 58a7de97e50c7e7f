// What the tool says when memory runs out.
//
// Running out of memory can happen anywhere, and by the time the one handler
// in run_tool sees std::bad_alloc the stack that knew what was going on is
// gone. So each larger step runs inside while_doing(), which turns a
// std::bad_alloc into an OutOfMemory that names the step ("loading
// site.kpr"); the handler then prints "kestrum: out of memory while loading
// site.kpr". The step's text is made before the step starts and kept in a
// fixed buffer, so that nothing is allocated once memory has run out.
#ifndef KESTRUM_TOOLS_OUT_OF_MEMORY_H
#define KESTRUM_TOOLS_OUT_OF_MEMORY_H

#include <cstddef>
#include <new>
#include <ostream>
#include <string_view>

namespace kcli {

// A step's description, cut to a fixed length.
class StepName {
 public:
  explicit StepName(std::string_view text) noexcept;
  // `doing` followed by the command line, made without allocating (a byte
  // that could drive a terminal shows as '?'), for the steps before any
  // other text can be made: "running kestrum export a.kpr".
  StepName(std::string_view doing, int argc, char **argv) noexcept;
  const char *c_str() const noexcept { return text_; }

 private:
  static constexpr std::size_t kLength = 400;
  // Appends `text` while there is room; false once the text is cut.
  bool append(std::string_view text, bool plain) noexcept;
  char text_[kLength];
  std::size_t length_ = 0;
};

// Memory ran out during the named step (the innermost one that was named).
class OutOfMemory : public std::bad_alloc {
 public:
  explicit OutOfMemory(const StepName &step) noexcept : step_(step) {}
  const char *step() const noexcept { return step_.c_str(); }
  const char *what() const noexcept override { return "out of memory"; }

 private:
  StepName step_;
};

// Runs `body`; a std::bad_alloc from it leaves as an OutOfMemory naming
// `what` unless an inner step has named itself already.
template <class Body>
auto while_doing(const StepName &step, Body body) -> decltype(body()) {
  try {
    return body();
  } catch (const OutOfMemory &) {
    throw;
  } catch (const std::bad_alloc &) {
    throw OutOfMemory(step);
  }
}
template <class Body>
auto while_doing(std::string_view what, Body body) -> decltype(body()) {
  return while_doing(StepName(what), body);
}

// Writes "kestrum: out of memory while <step>" (or, for a plain
// std::bad_alloc, "kestrum: out of memory") to `err`; allocates nothing.
void print_out_of_memory(std::ostream &err, const std::bad_alloc &failure) noexcept;

}  // namespace kcli

#endif
