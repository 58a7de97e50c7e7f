// Whether a process may run at a node of the project tree: every input file
// that its shown arguments require must exist on disk for that node.
//
// Each tested input names a kind of data file; the level whose associations
// define that name says where the file lives (the project, the tiles or the
// samples). At the project node a tile or sample input must be present in
// every tile or sample (a strict input) or in at least one (an optional input
// of a special process); at a tile or sample the node's own files, or those
// of its tile or samples, are looked at. Nothing of the project is changed.
#include "node/lifecycle.h"
#include "node/node.h"
#include "node/report.h"

namespace {

// For a special process at least one optional input must be found, and a
// missing one does not end the check.
bool is_special(const pm_Process *process) noexcept {
  for (const char *special : pm::kSpecialProcessNames)
    if (tk_StrEqualNoCase(process->node.name, special)) return true;
  return false;
}

bool is_tested(const pm_Argument *argument, bool special) noexcept {
  if (argument->hide != 0) return false;
  return argument->mode == PM_STRICT_INPUT || (special && argument->mode == PM_OPTIONAL_INPUT);
}

// Whether the files at `count` of `total` nodes satisfy the argument's mode.
bool decide(pm_ArgumentMode mode, int count, int total) noexcept {
  if (mode == PM_STRICT_INPUT) return count == total;
  if (mode == PM_OPTIONAL_INPUT) return count > 0;
  return false;
}

// Presence tests of one input. The first failing existence test is kept in
// `error`, and every later test answers "not present" without touching the
// disk, so the caller can look once after a whole count.
//
// Over many nodes the cost should be the existence tests themselves. The
// tree is walked once (each count gives the number of nodes it looked at
// beside the number that hold the file), and the files found are gathered a
// batch at a time before their tests: walking node after node between two
// system calls waits for memory at every step, while a walk of its own lets
// the processor fetch several nodes at once.
class Presence {
 public:
  explicit Presence(const char *name) noexcept : name_(name) {}

  bool failed() const noexcept { return static_cast<bool>(error_); }
  tk_ErrorReport *take_error() noexcept { return error_.take(); }

  // Whether the files of a project, tile or sample hold a data file of the
  // name whose descriptor names an existing file.
  bool at(pm_Node *owner) noexcept {
    queue(pm::files_at(owner));
    return counted() > 0;
  }

  // How many samples of the tile hold the file; `total` counts the samples.
  int samples_of(pm_Tile *tile, int &total) noexcept {
    queue_samples(tile, total);
    return counted();
  }

  // How many tiles of the project hold the file; `total` counts the tiles.
  int tiles_of(pm_Project *project, int &total) noexcept {
    for (pm_Node *t = pm::list_first(pm::as_node(project->tiles)); t && !failed(); t = t->next) {
      queue(pm::as_kind<pm_Tile>(t)->files);
      ++total;
    }
    return counted();
  }

  // How many samples of all tiles of the project hold the file; `total`
  // counts the samples.
  int all_samples_of(pm_Project *project, int &total) noexcept {
    for (pm_Node *t = pm::list_first(pm::as_node(project->tiles)); t && !failed(); t = t->next)
      queue_samples(pm::as_kind<pm_Tile>(t), total);
    return counted();
  }

 private:
  static constexpr int kBatch = 256;

  // Queues the file of the name in a list of data files, if it holds one.
  void queue(pm_File *files) noexcept {
    pm_Node *file = pm::node_find(pm::as_node(files), name_);
    if (!file) return;
    batch_[queued_++] = pm::as_kind<pm_File>(file);
    if (queued_ == kBatch) test_queued();
  }

  void queue_samples(pm_Tile *tile, int &total) noexcept {
    for (pm_Node *s = pm::list_first(pm::as_node(tile->samples)); s && !failed(); s = s->next) {
      queue(pm::as_kind<pm_Sample>(s)->files);
      ++total;
    }
  }

  // Tests the queued files in order, up to the first that cannot be tested.
  void test_queued() noexcept {
    for (int i = 0; i < queued_ && !failed(); ++i) {
      int exists = pm_FileDescriptorExists(batch_[i], &error_);
      present_ += exists != 0 && !failed();
    }
    queued_ = 0;
  }

  // The files present among those queued since the last count.
  int counted() noexcept {
    test_queued();
    int present = present_;
    present_ = 0;
    return present;
  }

  const char *name_;
  pm::InnerSlot error_;
  pm_File *batch_[kBatch];
  int queued_ = 0;
  int present_ = 0;
};

// The answer for one tested input defined at `level`, at `node` of `kind`;
// `ok` is the answer so far, kept where the level and kind do not meet.
bool input_ready(Presence &presence, pm_Project *project, pm_Node *node, pm_NodeKind kind, pm_Level level,
                 pm_ArgumentMode mode, bool ok) noexcept {
  if (level == pm::kLevelProject) return presence.at(&project->node);
  // A count cut short by a failed test is not decided on: the caller
  // reports the failure.
  int total = 0;
  if (level == pm::kLevelTile) {
    switch (kind) {
      case PM_KIND_PROJECT: {
        int count = presence.tiles_of(project, total);
        return decide(mode, count, total);
      }
      case PM_KIND_TILE: return presence.at(node);
      case PM_KIND_SAMPLE: {
        pm_Node *tile = node->parent;
        return tile && tile->kind == PM_KIND_TILE && presence.at(tile);
      }
      default: return ok;
    }
  }
  if (level == pm::kLevelSample) {
    switch (kind) {
      case PM_KIND_PROJECT: {
        int count = presence.all_samples_of(project, total);
        return decide(mode, count, total);
      }
      case PM_KIND_TILE: {
        int count = presence.samples_of(pm::as_kind<pm_Tile>(node), total);
        return decide(mode, count, total);
      }
      case PM_KIND_SAMPLE: return presence.at(node);
      default: return ok;
    }
  }
  return ok;
}

}  // namespace

extern "C" {

// A null node stands for the project. A null project is refused with a
// report like a null process: there is nothing to look the inputs up in.
PM_API int pm_IsProcessReady(pm_Project *project, pm_Process *process, void *node, tk_ErrorReport **slot) {
  pm::Reporter r("pm_IsProcessReady", slot);
  pm_NodeKind kind = pm_NodeGetType(node);
  if (!process) {
    r.push(nullptr, "No process supplied");
    return 0;
  }
  if (!project) {
    r.push(nullptr, "No project supplied");
    return 0;
  }
  bool special = is_special(process);
  bool ok = true;
  int optional_count = 0;
  int optional_found = 0;
  for (pm_Argument *a = pm::as_kind<pm_Argument>(pm::list_first(pm::as_node(process->arguments))); a && ok;
       a = pm::next_of(a)) {
    if (is_tested(a, special)) {
      pm::InnerSlot inner;
      pm_Level level = pm_PFAFileFindLevel(a, project->pfa_root, &inner);
      if (inner) {
        r.push(inner.take(), "Error finding argument value");
        return 0;
      }
      Presence presence(a->value);
      ok = input_ready(presence, project, static_cast<pm_Node *>(node), kind, level, a->mode, ok);
      if (presence.failed()) {
        r.push(presence.take_error(), "Cannot check input file");
        return 0;
      }
    }
    // An optional input of a special process never ends the check; a hidden
    // one is not looked for and counts as found.
    if (special && a->mode == PM_OPTIONAL_INPUT) {
      ++optional_count;
      optional_found += ok;
      ok = true;
    }
  }
  if (optional_count > 0 && optional_found == 0) return 0;
  return ok;
}

}  // extern "C"
