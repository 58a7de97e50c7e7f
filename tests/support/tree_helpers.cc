#include "tree_helpers.h"

#include <gtest/gtest.h>

#include "report_slot.h"

namespace kestrum_test {

namespace {
const pm_Node *header(const void *record) { return static_cast<const pm_Node *>(record); }
}  // namespace

std::vector<std::string> NamesOf(const void *element) {
  std::vector<std::string> names;
  auto *first = static_cast<const pm_Node *>(tk_ListStart(const_cast<void *>(element)));
  for (const pm_Node *n = first; n; n = n->next) names.emplace_back(n->name ? n->name : "<null>");
  return names;
}

State StateOf(const void *record) {
  const pm_ChangeState *state = header(record)->state;
  return State{state->changed, state->saved};
}

namespace {
void set(pm_ChangeState *s, State state) {
  s->changed = state.changed;
  s->saved = state.saved;
}
}  // namespace

void SetState(void *record, State state) { set(static_cast<pm_Node *>(record)->state, state); }

State StateOf(const pm_ProcFiles *root) { return State{root->state->changed, root->state->saved}; }

void SetState(pm_ProcFiles *root, State state) { set(root->state, state); }

std::ostream &operator<<(std::ostream &out, const State &state) {
  return out << "{" << state.changed << ", " << state.saved << "}";
}

void ForceName(void *record, const char *name) {
  auto *node = static_cast<pm_Node *>(record);
  // A rename through the library first, under a name no list holds, so that
  // the library drops what it remembers about the names of the node's list;
  // the change state stays as it was.
  static int forced = 0;
  const State state = StateOf(record);
  const std::string unique = "\x01forced" + std::to_string(++forced);
  pm_PFAFileSetName(static_cast<pm_PFAFile *>(record), unique.c_str(), nullptr);
  SetState(record, state);
  tk_HeapFree(node->name);
  node->name = tk_StrDuplicate(name);
}

bool IsDetached(const void *record) {
  const pm_Node *n = header(record);
  return !n->next && !n->prev && !n->parent;
}

pm_Tile *TileWithSamples(const char *tile_name, std::initializer_list<const char *> sample_names) {
  pm_Tile *tile = pm_TileCreate(tile_name);
  for (const char *name : sample_names) {
    pm_Sample *sample = pm_SampleCreate(name);
    ReportSlot slot;
    pm_TileAppendSample(tile, sample, slot.out());
    if (!slot.empty()) {
      ADD_FAILURE() << "appending sample " << name << ":\n" << slot.text();
      pm_SampleDestroy(sample);
    }
  }
  return tile;
}

std::string TakeText(char *text) {
  std::string copy = text ? text : "<null>";
  tk_HeapFree(text);
  return copy;
}

}  // namespace kestrum_test
