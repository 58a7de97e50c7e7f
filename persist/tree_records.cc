// Tile, sample and data-file nodes: saving the tree below the root, loading
// it back, and deleting the old nodes before a rewrite.
#include "persist/tree_records.h"

#include "node/list_append.h"
#include "node/node.h"
#include "node/report.h"
#include "node/text.h"
#include "paths/directory_checks.h"
#include "paths/localise.h"
#include "persist/node_io.h"

namespace pm {

namespace {

int write_node(tk_TreeFile *file, const Listed &parent, const char *name, int index, const void *record,
               const DesignTable *table, Reporter &r, const char *failure, int64_t *written = nullptr) noexcept {
  InnerSlot inner;
  if (rewind_and_write(file, parent, name, kDesigns[index].name, record, table->design[index], &inner, written) &&
      !inner)
    return 1;
  r.push(inner.take(), "%s", failure);
  return 0;
}

// Saves a tile or sample: writes its record, then under its child path
// ("%s:%s" of its parent path and its name) the samples through `samples`
// (child path and number, slot; a sample has none) and then its files. The caller
// marks it saved on success.
template <typename T, typename Samples>
int save_container(tk_TreeFile *file, const char *directory, T *object, const Listed &parent, int index,
                   const DesignTable *table, Reporter &r, const char *write_failure, NameText path_failure,
                   Samples samples) noexcept {
  const char *name = object->node.name;
  NamedRecord record{string_item(name), object->automatic};
  int64_t written = -1;
  if (!write_node(file, parent, name, index, &record, table, r, write_failure, &written)) return 0;
  InnerSlot inner;
  // Short paths ("::T12:S3") stay within the string itself: no heap block
  // per tile and sample.
  std::string path;
  try {
    path.append(parent.shown()).append(1, ':').append(name ? name : "(null)");
  } catch (...) {
    r.push_name(nullptr, path_failure, name);
    return 0;
  }
  const Listed here(path.c_str(), written);
  if (!samples(here, &inner)) {
    r.push(inner.take(), "Error saving sample list");
    return 0;
  }
  if (!file_list_save(file, directory, object->files, here, table, &inner)) {
    r.push(inner.take(), "Error saving file list");
    return 0;
  }
  return 1;
}

// Loads a tile or sample from its listed node: reads its record, creates the
// object with `create` (null name) and takes the record's name and
// selection over, then loads beneath its listed path the samples through
// `samples` (object, slot; a sample has none) and then its files. On any
// failure the object is released with everything loaded into it.
template <typename T, typename Samples>
T *load_container(tk_TreeFile *file, const char *directory, const Listed &listed, const Listed &parent, int index,
                  const DesignTable *table, Reporter &r, const char *read_failure, T *(*create)(const char *),
                  Samples samples) noexcept {
  ReadBuffer<NamedRecord> record;
  if (!read_listed(file, parent, listed, record.get(), table->design[index], r, read_failure)) return nullptr;
  T *object = create(nullptr);
  if (!object) {
    r.push(nullptr, "Out of memory loading %s", listed.shown());
    return nullptr;
  }
  object->node.name = string_item_take(&record->name);
  object->automatic = record->selection;
  InnerSlot inner;
  if (!samples(object, &inner)) {
    r.push(inner.take(), "Error reading sample nodes");
  } else if (!file_list_load(file, directory, object, listed, table, &inner)) {
    r.push(inner.take(), "Error reading file nodes");
  } else {
    return object;
  }
  destroy_detached(object);
  return nullptr;
}

}  // namespace

int file_node_set_values(const char *directory, pm_File *data, FileRecord *out, char **localised,
                         tk_ErrorReport **slot) noexcept {
  Reporter r("pm_FileNodeSetValues", slot);
  // The localised descriptor is needed only until the record is written, so
  // one buffer of the save's serves every file; where it cannot, a string of
  // its own does, with the usual reports. Either way the record gets the
  // same text (the rule of localise_into); with slow_paths() every file
  // takes the string of its own.
  std::string *buffer = DirectoryCheckScope::scratch();
  const char *local = nullptr;
  *localised = nullptr;
  if (buffer && localise_into(directory, data->descriptor, *buffer)) {
    local = buffer->c_str();
  } else {
    InnerSlot inner;
    *localised = pm_FilenameLocalise(directory, data->descriptor, &inner);
    if (inner || (!*localised && data->descriptor)) {
      // A descriptor that cannot be stored must not be written as absent.
      tk_HeapFree(*localised);
      *localised = nullptr;
      r.push(inner.take(), "Error getting local descriptor");
      return 0;
    }
    local = *localised;
  }
  out->type = string_item(data->node.name);
  out->descriptor = string_item(local);
  out->time = data->time;
  out->verified = string_item(data->verified);
  out->comment = string_item(data->comment);
  return 1;
}

int file_save(tk_TreeFile *file, const char *directory, pm_File *data, const Listed &parent,
              const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_FileSave", slot);
  FileRecord record{};
  OwnedText local;
  InnerSlot inner;
  if (!file_node_set_values(directory, data, &record, &local.text, &inner)) {
    r.push(inner.take(), "Error setting file node values");
    return 0;
  }
  if (!write_node(file, parent, data->node.name, kFileDesign, &record, table, r, "Error saving file")) return 0;
  pm_FileSaved(data);
  return 1;
}

int file_list_save(tk_TreeFile *file, const char *directory, pm_File *list, const Listed &parent,
                   const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_FileListSave", slot);
  return save_each(list, r, "Error saving file", [&](pm_File *data, tk_ErrorReport **inner) {
    return file_save(file, directory, data, parent, table, inner);
  });
}

int sample_save(tk_TreeFile *file, const char *directory, pm_Sample *sample, const Listed &parent,
                const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_SampleSave", slot);
  if (!save_container(file, directory, sample, parent, kSampleDesign, table, r, "Error saving sample",
                      "Error creating output node path for sample %s", [](const Listed &, tk_ErrorReport **) { return 1; }))
    return 0;
  pm_SampleSaved(sample);
  return 1;
}

int sample_list_save(tk_TreeFile *file, const char *directory, pm_Sample *list, const Listed &parent,
                     const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_SampleListSave", slot);
  return save_each(list, r, "Error saving sample", [&](pm_Sample *sample, tk_ErrorReport **inner) {
    return sample_save(file, directory, sample, parent, table, inner);
  });
}

int tile_save(tk_TreeFile *file, const char *directory, pm_Tile *tile, const Listed &parent,
              const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_TileSave", slot);
  if (!save_container(file, directory, tile, parent, kTileDesign, table, r, "Error saving tile",
                      "Error creating output node path for tile %s", [&](const Listed &path, tk_ErrorReport **inner) {
                        return sample_list_save(file, directory, tile->samples, path, table, inner);
                      }))
    return 0;
  pm_TileSaved(tile);
  return 1;
}

int tile_list_save(tk_TreeFile *file, const char *directory, pm_Tile *list, const Listed &parent,
                   const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_TileListSave", slot);
  return save_each(list, r, "Error saving tile", [&](pm_Tile *tile, tk_ErrorReport **inner) {
    return tile_save(file, directory, tile, parent, table, inner);
  });
}

int file_node_get_values(const char *directory, FileRecord *record, pm_File *data,
                         tk_ErrorReport **slot) noexcept {
  Reporter r("pm_FileNodeGetValues", slot);
  InnerSlot inner;
  char *expanded = pm_FilenameExpand(directory, record->descriptor.text, &inner);
  if (inner || (!expanded && record->descriptor.text)) {
    tk_HeapFree(expanded);
    r.push(inner.take(), "Error expanding filename");
    return 0;
  }
  string_item_free(&record->descriptor);
  // A loaded file is new and holds no texts yet: those cost no call.
  auto hand_over = [](char *&field, char *text) {
    if (field) tk_HeapFree(field);
    field = text;
  };
  hand_over(data->node.name, string_item_take(&record->type));
  hand_over(data->descriptor, expanded);
  data->time = record->time;
  hand_over(data->verified, string_item_take(&record->verified));
  hand_over(data->comment, string_item_take(&record->comment));
  return 1;
}

pm_File *file_load(tk_TreeFile *file, const char *directory, const Listed &listed, const Listed &parent,
                   const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_FileLoad", slot);
  ReadBuffer<FileRecord> record;
  if (!read_listed(file, parent, listed, record.get(), table->design[kFileDesign], r, "Error loading file node"))
    return nullptr;
  pm_File *data = pm_FileCreate(nullptr, nullptr, 0, nullptr, nullptr);
  if (!data) {
    r.push(nullptr, "Out of memory creating file");
    return nullptr;
  }
  InnerSlot inner;
  if (!file_node_get_values(directory, record.get(), data, &inner)) {
    r.push(inner.take(), "Error reading file values");
    pm_FileDestroy(data);
    return nullptr;
  }
  return data;
}

int file_list_load(tk_TreeFile *file, const char *directory, void *owner, const Listed &parent,
                   const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_FileListLoad", slot);
  // Loaded nodes are linked in constant time; a name already in the list
  // takes the ordinary append, which refuses it with the usual reports.
  pm_File **head = files_of(static_cast<pm_Node *>(owner));
  ListAppender files(static_cast<pm_Node *>(owner), head ? as_node(*head) : nullptr);
  return load_listed(
      file, parent, "PM_File", r, "Error reading file nodes", "Error loading file %s", "Error adding file %s to parent node",
      [&](const Listed &listed, tk_ErrorReport **inner) {
        return file_load(file, directory, listed, parent, table, inner);
      },
      [&](pm_File *data, std::string_view stored, tk_ErrorReport **inner) {
        auto ordinary = [&] { return pm_ParentAppendFile(owner, data, inner) == 0 && data->node.parent == owner; };
        return head ? link_or_append(files, head, data, ordinary, stored) : ordinary();
      });
}

pm_Sample *sample_load(tk_TreeFile *file, const char *directory, const Listed &listed, const Listed &parent,
                       const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_SampleLoad", slot);
  return load_container(file, directory, listed, parent, kSampleDesign, table, r, "Error loading sample node",
                        pm_SampleCreate, [](pm_Sample *, tk_ErrorReport **) { return 1; });
}

int sample_list_load(tk_TreeFile *file, const char *directory, pm_Tile *tile, const Listed &parent,
                     const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_SampleListLoad", slot);
  ListAppender samples(as_node(tile), as_node(tile->samples));
  return load_listed(
      file, parent, "PM_Sample", r, "Error reading sample nodes", "Error loading sample %s", "Error adding sample to tile",
      [&](const Listed &listed, tk_ErrorReport **inner) {
        return sample_load(file, directory, listed, parent, table, inner);
      },
      [&](pm_Sample *sample, std::string_view stored, tk_ErrorReport **inner) {
        return link_or_append(
            samples, &tile->samples, sample,
            [&] {
              pm_TileAppendSample(tile, sample, inner);
              return sample->node.parent == as_node(tile);
            },
            stored);
      });
}

pm_Tile *tile_load(tk_TreeFile *file, const char *directory, const Listed &listed, const Listed &parent,
                   const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_TileLoad", slot);
  return load_container(file, directory, listed, parent, kTileDesign, table, r, "Error loading tile node",
                        pm_TileCreate, [&](pm_Tile *tile, tk_ErrorReport **inner) {
                          return sample_list_load(file, directory, tile, listed, table, inner);
                        });
}

int tile_list_load(tk_TreeFile *file, const char *directory, pm_Project *project, const Listed &parent,
                   const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_TileListLoad", slot);
  ListAppender tiles(as_node(project), as_node(project->tiles));
  return load_listed(
      file, parent, "PM_Tile", r, "Error reading tile nodes", "Error loading tile %s", "Error adding tile %s",
      [&](const Listed &listed, tk_ErrorReport **inner) {
        return tile_load(file, directory, listed, parent, table, inner);
      },
      [&](pm_Tile *tile, std::string_view stored, tk_ErrorReport **inner) {
        return link_or_append(
            tiles, &project->tiles, tile,
            [&] {
              pm_ProjectAppendTile(project, tile, inner);
              return tile->node.parent == as_node(project);
            },
            stored);
      });
}

namespace {

// Deletes the children of `parent` that hold a `design_name` record, each
// with everything beneath it. Only children: a node of that design nested
// deeper (a tile under a tile, which no load reads) goes with its parent or
// stays where it is under a node the save keeps, and no path is built for
// anything below the children.
int delete_listed(tk_TreeFile *file, const char *parent, const char *design_name, Reporter &r,
                  const char *listing_failure, NameText delete_failure) noexcept {
  return for_each_listed(file, parent, design_name, false, TK_LIST_CHILDREN, r, listing_failure,
                         [&](const char *listed) {
    InnerSlot inner;
    if (node_delete(file, listed, &inner) && !inner) return true;
    r.push_name(inner.take(), delete_failure, listed);
    return false;
  });
}

}  // namespace

int tiles_delete(tk_TreeFile *file, const char *parent, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_TilesDelete", slot);
  return delete_listed(file, parent, "PM_Tile", r, "Error reading tile nodes", "Cannot delete tile %s");
}

int files_delete(tk_TreeFile *file, const char *parent, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_FilesDelete", slot);
  return delete_listed(file, parent, "PM_File", r, "Error reading file nodes", "Cannot delete file %s");
}

}  // namespace pm
