// Small helpers for tests that look at records and lists directly.
//
// Records are plain structs beginning with pm_Node, so every helper takes the
// record as `const void *` / `void *` and reads its header. The owning
// pointers (TilePtr...) come with it, from owned_records.h.
#ifndef KESTRUM_TEST_TREE_HELPERS_H
#define KESTRUM_TEST_TREE_HELPERS_H

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "include/kestrum.h"
#include "owned_records.h"

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
// The same for the PFA root, which keeps its state without a node header.
State StateOf(const pm_ProcFiles *root);
void SetState(pm_ProcFiles *root, State state);
std::ostream &operator<<(std::ostream &out, const State &state);
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

}  // namespace kestrum_test

#endif
