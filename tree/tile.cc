// Tile records: the first level below the project. A tile owns its samples
// and its tile-level data files.
#include "node/lifecycle.h"
#include "node/node.h"

extern "C" {

PM_API pm_Tile *pm_TileCreate(const char *name) {
  auto *tile = pm::as_kind<pm_Tile>(pm::node_alloc(sizeof(pm_Tile), PM_KIND_TILE));
  if (!tile) return nullptr;
  pm_TileInitialize(tile);
  if (!pm::copy_text(&tile->node.name, name)) return pm_TileDestroy(tile);
  return tile;
}

PM_API void pm_TileInitialize(pm_Tile *tile) {
  if (!tile) return;
  pm::node_reset(&tile->node);
  tile->samples = nullptr;
  tile->files = nullptr;
  tile->automatic = 0;
}

PM_API void pm_TileClear(pm_Tile *tile) {
  if (!tile) return;
  tile->samples = pm_SampleDestroyList(tile->samples);
  tile->files = pm_FileDestroyList(tile->files);
  pm::clear_name(&tile->node);
}

PM_API pm_Tile *pm_TileDestroy(pm_Tile *tile) { return pm::destroy_record(tile, pm_TileRemove, pm_TileClear); }

PM_API pm_Tile *pm_TileDestroyList(pm_Tile *list) { return pm::destroy_list(list, pm_TileRemove, pm_TileClear); }

}  // extern "C"
