// Small helpers for tests that look at records and lists directly.
//
// Records are plain structs beginning with pm_Node, so every helper takes the
// record as `const void *` / `void *` and reads its header. Owning pointers
// (TilePtr, SamplePtr, FilePtr) destroy a detached record that a test still
// holds when it ends, so a failed assertion does not turn into a leak report.
#ifndef KESTRUM_TEST_TREE_HELPERS_H
#define KESTRUM_TEST_TREE_HELPERS_H

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "include/kestrum.h"

namespace kestrum_test {

// The names of the list that holds `element`, from its first element;
// "<null>" stands for a node without a name. Empty for null.
std::vector<std::string> NamesOf(const void *element);

// The record's change state as {changed, saved}.
struct State {
  int changed;
  int saved;
  bool operator==(const State &other) const = default;
};
State StateOf(const void *record);
void SetState(void *record, State state);
inline constexpr State kClean{0, 0};
inline constexpr State kChanged{1, 0};

// Replaces the record's name without any uniqueness check (null allowed):
// for building lists that the API would refuse, such as duplicate names.
void ForceName(void *record, const char *name);

// Whether the record is in no list and has no parent.
bool IsDetached(const void *record);

// A new tile with samples of the given names appended in order.
pm_Tile *TileWithSamples(const char *tile_name, std::initializer_list<const char *> sample_names);

// Copies a text the library handed out and frees it.
std::string TakeText(char *text);

struct TileDeleter {
  void operator()(pm_Tile *tile) const { pm_TileDestroy(tile); }
};
struct SampleDeleter {
  void operator()(pm_Sample *sample) const { pm_SampleDestroy(sample); }
};
struct FileDeleter {
  void operator()(pm_File *file) const { pm_FileDestroy(file); }
};
using TilePtr = std::unique_ptr<pm_Tile, TileDeleter>;
using SamplePtr = std::unique_ptr<pm_Sample, SampleDeleter>;
using FilePtr = std::unique_ptr<pm_File, FileDeleter>;

}  // namespace kestrum_test

#endif
