// Building projects through the public interface without leaking refused
// nodes: the demo and `kestrum import` both build with these.
#include <new>

#include "cli.h"

namespace kcli {

namespace {

// Hands `node` over with `append`, which returns true (or leaves a report)
// when it refused the node. A refused node still belongs to us: it is
// destroyed and the refusal thrown with the library's chain. A nameless node
// is refused here before the library sees it, because the library leaves it
// out of the list without a report and it would then belong to nobody.
template <class T, class Append, class Destroy>
void hand_over(T *node, const std::string &what, Append append, Destroy destroy) {
  if (!node) throw std::bad_alloc();
  if (!node->node.name) {
    destroy(node);
    throw Failure("a " + what + " needs a name");
  }
  Report report;
  if (append(report.slot()) || report) {
    const std::string name = excerpt(node->node.name, 40);
    destroy(node);
    report.raise_if("cannot add " + what + " " + name);
    throw Failure("cannot add " + what + " " + name);
  }
}

}  // namespace

pm_Tile *append_tile(pm_Project *project, pm_Tile *tile) {
  hand_over(
      tile, "tile", [&](tk_ErrorReport **slot) { pm_ProjectAppendTile(project, tile, slot); return false; },
      pm_TileDestroy);
  return tile;
}

pm_Sample *append_sample(pm_Tile *tile, pm_Sample *sample) {
  hand_over(
      sample, "sample", [&](tk_ErrorReport **slot) { pm_TileAppendSample(tile, sample, slot); return false; },
      pm_SampleDestroy);
  return sample;
}

void append_file(void *parent, pm_File *file) {
  hand_over(
      file, "data file", [&](tk_ErrorReport **slot) { return pm_ParentAppendFile(parent, file, slot) != 0; },
      pm_FileDestroy);
}

void append_argument(pm_Process *process, pm_Argument *argument) {
  hand_over(
      argument, "process argument",
      [&](tk_ErrorReport **slot) { pm_ProcessAppendArgument(process, argument, slot); return false; },
      pm_ArgumentDestroy);
}

Processing::Processing() : root_(pm_ProcFilesCreate()), lists_(pm_ProcessListsCreate()) {
  if (!root_ || !lists_) {
    pm_ProcFilesDestroy(root_);
    pm_ProcessListsDestroy(lists_);
    throw std::bad_alloc();
  }
}

Processing::~Processing() {
  pm_ProcFilesDestroy(root_);
  pm_ProcessListsDestroy(lists_);
}

void Processing::add_pfa(pm_Level level, pm_PFAFile *pfa) {
  pm_PFAFile *list = root_->lists[level];
  hand_over(
      pfa, "PFA file", [&](tk_ErrorReport **slot) { list = pm_PFAFileAppend(list, pfa, slot); return false; },
      pm_PFAFileDestroy);
  root_->lists[level] = list;
}

void Processing::add_process(pm_Level level, pm_Process *process) {
  pm_Process *list = lists_->lists[level];
  hand_over(
      process, "process",
      [&](tk_ErrorReport **slot) { list = pm_ProcessAppend(list, process, slot); return false; },
      pm_ProcessDestroy);
  lists_->lists[level] = list;
}

void Processing::apply(pm_Project *project) {
  pm_ProjectTypesApply(project, root_, lists_);
  root_ = nullptr;
  lists_ = nullptr;
}

}  // namespace kcli
