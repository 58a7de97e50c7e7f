// The argument part of a process's command line: each shown argument adds its
// name and, when it has a value, a blank, a dollar sign and the value, so
// that the host's shell-like runner substitutes the file the value names.
// The process's own name is not part of the line.
//
// The line is measured in one walk and written in a second into one block of
// exactly its size: a process of tens of thousands of arguments costs two
// walks, where copying the line so far for every argument cost their square.
#include <cstring>

#include "node/node.h"
#include "node/report.h"

namespace {

// The pieces of the line in order: an argument's name (when it has one, even
// an empty one) and "$value" (when it has a value), joined by single blanks.
// `emit(text, length, dollar)` receives each piece.
template <typename Emit>
void for_each_piece(pm_Process *process, Emit emit) {
  for (pm_Argument *a = pm::as_kind<pm_Argument>(pm::list_first(pm::as_node(process->arguments))); a;
       a = pm::next_of(a)) {
    if (a->hide != 0) continue;
    if (a->node.name) emit(a->node.name, std::strlen(a->node.name), false);
    if (a->value) emit(a->value, std::strlen(a->value), true);
  }
}

}  // namespace

extern "C" {

// Null when no argument contributes. An argument with a value but no name
// that opens the line contributes "$value" alone, without a leading blank.
// When the line cannot be allocated, null comes back with the report, named
// by what the first piece is (an argument's name or its value).
PM_API char *pm_ProcessCommandLine(pm_Process *process, tk_ErrorReport **slot) {
  pm::Reporter r("pm_ProcessCommandLine", slot);
  if (!process) {
    r.push(nullptr, "No process");
    return nullptr;
  }
  size_t length = 0;
  size_t pieces = 0;
  bool opens_with_value = false;
  for_each_piece(process, [&](const char *, size_t size, bool dollar) {
    if (pieces == 0) opens_with_value = dollar;
    length += (pieces ? 1 : 0) + (dollar ? 1 : 0) + size;
    ++pieces;
  });
  if (pieces == 0) return nullptr;
  auto *line = static_cast<char *>(tk_HeapMalloc(length + 1));
  if (!line) {
    if (opens_with_value)
      r.push(nullptr, "Cannot copy argument value");
    else
      r.push(nullptr, "Cannot copy argument name");
    return nullptr;
  }
  char *end = line;
  bool first = true;  // an empty name is a piece too, so the blank cannot go by position
  for_each_piece(process, [&](const char *text, size_t size, bool dollar) {
    if (!first) *end++ = ' ';
    first = false;
    if (dollar) *end++ = '$';
    std::memcpy(end, text, size);
    end += size;
  });
  *end = '\0';
  return line;
}

}  // extern "C"
