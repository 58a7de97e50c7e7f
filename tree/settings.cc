// The project's analysis settings, the selection flags of tiles and samples,
// node totals, and new tile and sample names.
#include "node/lifecycle.h"
#include "node/node.h"
#include "node/report.h"

namespace {

// New name "base<n>" over the list at `list`, wrapped in the owner's report.
// Without an owner there is no list to find a free name in: null, no report.
char *new_name(const char *function, const char *message, bool have_owner, pm_Node *list, const char *base,
               tk_ErrorReport **slot) noexcept {
  pm::Reporter r(function, slot);
  if (!have_owner) return nullptr;
  pm::InnerSlot inner;
  char *name = pm::node_get_new_name(list, base, &inner);
  if (inner) r.push(inner.take(), "%s", message);
  return name;
}

}  // namespace

extern "C" {

PM_API char *pm_ProjectGetNewTileName(pm_Project *project, const char *base, tk_ErrorReport **slot) {
  return new_name("pm_ProjectGetNewTileName", "Cannot find a new tile name", project != nullptr,
                  project ? pm::as_node(project->tiles) : nullptr, base, slot);
}

PM_API char *pm_TileGetNewSampleName(pm_Tile *tile, const char *base, tk_ErrorReport **slot) {
  return new_name("pm_TileGetNewSampleName", "Cannot find a new sample name", tile != nullptr,
                  tile ? pm::as_node(tile->samples) : nullptr, base, slot);
}

PM_API pm_ProjectType pm_ProjectGetType(pm_Project *p) { return pm::get_value(p, &pm_Project::type); }
PM_API int pm_ProjectSetType(pm_Project *p, pm_ProjectType value) { return pm::set_value(p, &pm_Project::type, value); }
PM_API pm_AnalysisSwitch pm_ProjectGetUseDotGrid(pm_Project *p) { return pm::get_value(p, &pm_Project::use_dot_grid); }
PM_API int pm_ProjectSetUseDotGrid(pm_Project *p, pm_AnalysisSwitch value) {
  return pm::set_value(p, &pm_Project::use_dot_grid, value);
}
PM_API pm_AnalysisSwitch pm_ProjectGetUsePolyTool(pm_Project *p) { return pm::get_value(p, &pm_Project::use_poly_tool); }
PM_API int pm_ProjectSetUsePolyTool(pm_Project *p, pm_AnalysisSwitch value) {
  return pm::set_value(p, &pm_Project::use_poly_tool, value);
}

// The selection flags are view state of the host, not project content, so
// storing them does not make the project need saving.
PM_API pm_Selection pm_TileGetAutomatic(pm_Tile *tile) { return pm::get_value(tile, &pm_Tile::automatic); }
PM_API void pm_TileSetAutomatic(pm_Tile *tile, pm_Selection value) {
  if (tile) tile->automatic = value;
}
PM_API pm_Selection pm_SampleGetAutomatic(pm_Sample *sample) { return pm::get_value(sample, &pm_Sample::automatic); }
PM_API void pm_SampleSetAutomatic(pm_Sample *sample, pm_Selection value) {
  if (sample) sample->automatic = value;
}

PM_API int pm_ProjectGetTotalSamples(pm_Project *project) {
  if (!project) return 0;
  int total = 0;
  for (pm_Tile *tile = pm::as_kind<pm_Tile>(pm::list_first(pm::as_node(project->tiles))); tile; tile = pm::next_of(tile))
    total += pm::node_count(pm::as_node(tile->samples));
  return total;
}

PM_API int pm_ProjectGetTotalNodes(pm_Project *project) {
  if (!project) return 0;
  return 1 + pm::node_count(pm::as_node(project->tiles)) + pm_ProjectGetTotalSamples(project);
}

}  // extern "C"
