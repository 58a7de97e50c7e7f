#include "project_builder.h"

#include <gtest/gtest.h>

#include "report_slot.h"
#include "tree_helpers.h"

namespace kestrum_test {

const char *const kFileTypes[3][2] = {{"mosaic", "boundary"}, {"image", "grid"}, {"plot", "notes"}};
const pm_PFAType kFileKinds[3][2] = {{PM_RASTER, PM_VECTOR}, {PM_RASTER, PM_VECTOR}, {PM_RASTER, PM_TEXT}};

std::string TileName(int number) { return "tile" + std::to_string(number); }
std::string SampleName(int number) { return "sample" + std::to_string(number); }
std::string ProcessName(int level, int number) {
  return "level" + std::to_string(level) + "_process" + std::to_string(number);
}

std::string DescriptorFor(const ProjectShape &shape, const std::string &owner_path, const char *type) {
  std::string path = shape.data_dir;
  if (!owner_path.empty()) path += "/" + owner_path;
  return path + "/" + type;
}

namespace {

// Fails the current test with the chain when the slot holds a report.
void Check(const ReportSlot &slot, const std::string &step) {
  if (!slot.empty()) ADD_FAILURE() << "building the project: " << step << " failed:\n" << slot.text();
}

void AttachFiles(const ProjectShape &shape, void *owner, int level, const std::string &owner_path) {
  for (const char *type : kFileTypes[level]) {
    std::string descriptor = DescriptorFor(shape, owner_path, type);
    pm_File *file = pm_FileCreate(type, descriptor.c_str(), 0, nullptr, nullptr);
    ReportSlot slot;
    if (pm_ParentAppendFile(owner, file, slot.out()) != 0) {
      Check(slot, "attaching " + descriptor);
      pm_FileDestroy(file);
    }
  }
}

void AddProcessing(pm_Project *project, int level) {
  for (int k = 0; k < 2; ++k) {
    pm_PFAFile *pfa = pm_PFAFileCreate(kFileTypes[level][k], kFileKinds[level][k]);
    ReportSlot slot;
    pm_PFAFile *before = project->pfa_root->lists[level];
    project->pfa_root->lists[level] = pm_PFAFileAppend(before, pfa, slot.out());
    Check(slot, std::string("appending PFA file ") + kFileTypes[level][k]);
    if (!slot.empty()) pm_PFAFileDestroy(pfa);
  }
  for (int number = 1; number <= 2; ++number) {
    std::string name = ProcessName(level, number);
    std::string title = "Process " + std::to_string(number) + " of level " + std::to_string(level);
    pm_Process *process = pm_ProcessCreate(name.c_str(), title.c_str(), (name + ".par").c_str(),
                                           (name + ".lab").c_str(), ".out", 0);
    ReportSlot slot;
    pm_ProcessAppendArgument(process, pm_ArgumentCreate("in", kFileTypes[level][0], kFileKinds[level][0], PM_STRICT_INPUT, 0),
                             slot.out());
    Check(slot, "appending argument in to " + name);
    pm_ProcessAppendArgument(process, pm_ArgumentCreate("out", kFileTypes[level][1], kFileKinds[level][1], PM_STRICT_OUTPUT, 0),
                             slot.out());
    Check(slot, "appending argument out to " + name);
    pm_Process *before = project->process_lists->lists[level];
    project->process_lists->lists[level] = pm_ProcessAppend(before, process, slot.out());
    Check(slot, "appending process " + name);
    if (!slot.empty()) pm_ProcessDestroy(process);
  }
}

template <typename T>
void CleanList(T *list) {
  for (T *n = list; n; n = reinterpret_cast<T *>(n->node.next)) SetState(n, kClean);
}

}  // namespace

pm_Project *BuildProject(const ProjectShape &shape) {
  pm_Project *project = pm_ProjectCreate();
  if (!project) {
    ADD_FAILURE() << "pm_ProjectCreate gave null";
    return nullptr;
  }
  if (shape.data_files) AttachFiles(shape, project, 0, "");
  for (int t = 1; t <= shape.tiles; ++t) {
    pm_Tile *tile = pm_TileCreate(TileName(t).c_str());
    ReportSlot slot;
    pm_ProjectAppendTile(project, tile, slot.out());
    Check(slot, "appending " + TileName(t));
    if (!slot.empty()) {
      pm_TileDestroy(tile);
      continue;
    }
    if (shape.data_files) AttachFiles(shape, tile, 1, TileName(t));
    for (int s = 1; s <= shape.samples_per_tile; ++s) {
      pm_Sample *sample = pm_SampleCreate(SampleName(s).c_str());
      pm_TileAppendSample(tile, sample, slot.out());
      Check(slot, "appending " + SampleName(s) + " to " + TileName(t));
      if (!slot.empty()) {
        pm_SampleDestroy(sample);
        continue;
      }
      if (shape.data_files) AttachFiles(shape, sample, 2, TileName(t) + "/" + SampleName(s));
    }
  }
  if (shape.processing)
    for (int level = 0; level <= 2; ++level) AddProcessing(project, level);
  return project;
}

void MarkAllUnchanged(pm_Project *project) {
  if (!project) return;
  SetState(project, kClean);
  CleanList(project->files);
  CleanList(project->tiles);
  for (pm_Tile *t = project->tiles; t; t = reinterpret_cast<pm_Tile *>(t->node.next)) {
    CleanList(t->files);
    CleanList(t->samples);
    for (pm_Sample *s = t->samples; s; s = reinterpret_cast<pm_Sample *>(s->node.next)) CleanList(s->files);
  }
  if (project->pfa_root) {
    SetState(project->pfa_root, kClean);
    for (pm_PFAFile *list : project->pfa_root->lists) CleanList(list);
  }
  if (project->process_lists) {
    for (pm_Process *list : project->process_lists->lists) {
      CleanList(list);
      for (pm_Process *p = list; p; p = reinterpret_cast<pm_Process *>(p->node.next)) CleanList(p->arguments);
    }
  }
}

}  // namespace kestrum_test
