// Building projects through the public interface without leaking refused
// nodes: the demo and `kestrum import` both build with these.
#include "cli.h"

namespace kcli {

namespace {

std::string name_of(const pm_Node &node) { return node.name ? node.name : "(unnamed)"; }

// The library leaves a nameless node out of a list without a report, so an
// append that "succeeds" would leave it detached and unowned: refuse it
// here, where it can still be freed.
template <class T, class Destroy>
void require_name(T *node, Destroy destroy, const char *what) {
  if (!node) throw Failure("out of memory");
  if (!node->node.name) {
    destroy(node);
    throw Failure(std::string("a ") + what + " needs a name");
  }
}

}  // namespace

pm_Tile *append_tile(pm_Project *project, pm_Tile *tile) {
  require_name(tile, pm_TileDestroy, "tile");
  Report report;
  pm_ProjectAppendTile(project, tile, report.slot());
  if (report) {
    const std::string name = name_of(tile->node);
    pm_TileDestroy(tile);
    report.raise_if("cannot add tile " + name);
  }
  return tile;
}

pm_Sample *append_sample(pm_Tile *tile, pm_Sample *sample) {
  require_name(sample, pm_SampleDestroy, "sample");
  Report report;
  pm_TileAppendSample(tile, sample, report.slot());
  if (report) {
    const std::string name = name_of(sample->node);
    pm_SampleDestroy(sample);
    report.raise_if("cannot add sample " + name);
  }
  return sample;
}

void append_file(void *parent, pm_File *file) {
  require_name(file, pm_FileDestroy, "data file");
  Report report;
  const int failed = pm_ParentAppendFile(parent, file, report.slot());
  if (failed || report) {
    const std::string name = name_of(file->node);
    pm_FileDestroy(file);
    report.raise_if("cannot add data file " + name);
    throw Failure("cannot add data file " + name);
  }
}

void append_argument(pm_Process *process, pm_Argument *argument) {
  require_name(argument, pm_ArgumentDestroy, "process argument");
  Report report;
  pm_ProcessAppendArgument(process, argument, report.slot());
  if (report) {
    const std::string name = name_of(argument->node);
    pm_ArgumentDestroy(argument);
    report.raise_if("cannot add argument " + name);
  }
}

Processing::Processing() : root_(pm_ProcFilesCreate()), lists_(pm_ProcessListsCreate()) {
  if (!root_ || !lists_) {
    pm_ProcFilesDestroy(root_);
    pm_ProcessListsDestroy(lists_);
    throw Failure("out of memory");
  }
}

Processing::~Processing() {
  pm_ProcFilesDestroy(root_);
  pm_ProcessListsDestroy(lists_);
}

void Processing::add_pfa(pm_Level level, pm_PFAFile *pfa) {
  require_name(pfa, pm_PFAFileDestroy, "PFA file");
  Report report;
  pm_PFAFile *list = pm_PFAFileAppend(root_->lists[level], pfa, report.slot());
  if (report) {
    const std::string name = name_of(pfa->node);
    pm_PFAFileDestroy(pfa);
    report.raise_if("cannot add PFA file " + name);
  }
  root_->lists[level] = list;
}

void Processing::add_process(pm_Level level, pm_Process *process) {
  require_name(process, pm_ProcessDestroy, "process");
  Report report;
  pm_Process *list = pm_ProcessAppend(lists_->lists[level], process, report.slot());
  if (report) {
    const std::string name = name_of(process->node);
    pm_ProcessDestroy(process);
    report.raise_if("cannot add process " + name);
  }
  lists_->lists[level] = list;
}

void Processing::apply(pm_Project *project) {
  pm_ProjectTypesApply(project, root_, lists_);
  root_ = nullptr;
  lists_ = nullptr;
}

}  // namespace kcli
