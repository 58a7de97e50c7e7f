// Joining texts into a new string on the toolkit heap, for the paths and
// names built once per node while saving and loading: a plain copy, where a
// format would parse its pattern and measure every argument twice.
#ifndef KESTRUM_NODE_TEXT_H
#define KESTRUM_NODE_TEXT_H

#include <cstring>
#include <initializer_list>
#include <string_view>

#include "toolkit.h"

namespace pm {

// The parts one after another, or null when memory runs out. The caller
// frees the result with tk_HeapFree.
inline char *concat(std::initializer_list<std::string_view> parts) noexcept {
  size_t size = 1;
  for (std::string_view part : parts) size += part.size();
  auto *out = static_cast<char *>(tk_HeapMalloc(size));
  if (!out) return nullptr;
  char *at = out;
  for (std::string_view part : parts) {
    if (!part.empty()) std::memcpy(at, part.data(), part.size());
    at += part.size();
  }
  *at = '\0';
  return out;
}

}  // namespace pm

#endif
