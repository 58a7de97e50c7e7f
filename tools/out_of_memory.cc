#include "out_of_memory.h"

#include <algorithm>
#include <cstring>

namespace kcli {

StepName::StepName(std::string_view text) noexcept {
  text_[0] = '\0';
  append(text, false);
}

StepName::StepName(std::string_view doing, int argc, char **argv) noexcept {
  text_[0] = '\0';
  bool room = append(doing, false);
  for (int i = 0; room && i < argc; ++i) room = append(" ", false) && append(argv[i], true);
}

bool StepName::append(std::string_view text, bool plain) noexcept {
  constexpr std::string_view kCut = "...";
  const std::size_t room = kLength - 1 - kCut.size() - length_;
  const bool whole = text.size() <= room;
  for (char c : text.substr(0, whole ? text.size() : room)) {
    const auto byte = static_cast<unsigned char>(c);
    text_[length_++] = plain && (byte < 0x20 || byte == 0x7f) ? '?' : c;
  }
  if (!whole) {
    for (char c : kCut) text_[length_++] = c;
  }
  text_[length_] = '\0';
  return whole;
}

void print_out_of_memory(std::ostream &err, const std::bad_alloc &failure) noexcept {
  // A stream reports its own failures through its state, not by throwing.
  const auto *named = dynamic_cast<const OutOfMemory *>(&failure);
  err << "kestrum: out of memory";
  if (named) err << " while " << named->step();
  err << "\n";
  err.flush();
}

}  // namespace kcli
