// The process levels: each level's PFA list as one node, each process (with
// its arguments inside its record) as a node beneath it.
#include "persist/process_records.h"

#include "node/list_append.h"
#include "node/node.h"
#include "node/report.h"
#include "persist/name_clash.h"
#include "persist/node_io.h"

namespace pm {

const char *const kLevelNodeNames[kLevelCount] = {kRootNodeNames[1], kRootNodeNames[2], kRootNodeNames[3]};

namespace {

// Whether `node`, appended to a list whose first element is now `first`,
// is linked into it (appends ignore what they refuse and return the list).
bool linked_into(const void *first, const pm_Node *node) noexcept {
  return node == first || node->prev != nullptr;
}

// A new array of `count` elements of E for a record list; null for none.
template <typename E>
E *alloc_elements(int count) noexcept {
  return count > 0 ? static_cast<E *>(tk_HeapMalloc(sizeof(E) * static_cast<size_t>(count))) : nullptr;
}

// Stores a parameter or label file name in "$PROJECT" form where it lies in
// `directory`; an absent one stays absent. False with `failure` in r.
bool localise_item(const char *directory, const char *name, char **out, Reporter &r, const char *failure) noexcept {
  if (!name) return true;
  InnerSlot inner;
  *out = pm_FilenameLocalise(directory, name, &inner);
  if (!inner && *out) return true;
  r.push(inner.take(), "%s", failure);
  return false;
}

// Elements of a PFA or argument list are taken from the file this many at
// a time: a list of millions must not be held decoded all at once.
constexpr int32_t kElementChunk = 1024;

// Hands the elements of `list` to `take` in order until it returns false:
// from its array when the record was read whole, otherwise from the file
// through `cursor` a chunk at a time, each chunk released before the next
// is read, so that nothing after a refused element is decoded. False when
// `take` stopped or a chunk could not be read (r then holds `read_failure`
// over the cause).
template <typename E, typename Take>
bool each_element(const tk_RecordList &list, tk_ListCursor *cursor, Take take, Reporter &r,
                  const char *read_failure) noexcept {
  if (!cursor) {
    const auto *elements = static_cast<const E *>(list.elements);
    for (int32_t i = 0; elements && i < list.count; ++i)
      if (!take(elements[i])) return false;
    return true;
  }
  int32_t room = cursor->left < kElementChunk ? cursor->left : kElementChunk;
  if (room <= 0) return true;
  E *chunk = alloc_elements<E>(room);
  if (!chunk) {
    r.push(nullptr, "%s", read_failure);
    return false;
  }
  bool whole = true;
  while (whole) {
    InnerSlot inner;
    int32_t got = tk_ListCursorRead(cursor, chunk, room, &inner);
    if (got < 0 || inner) {
      r.push(inner.take(), "%s", read_failure);
      whole = false;
      break;
    }
    if (got == 0) break;
    for (int32_t i = 0; i < got; ++i) {
      if (whole && !take(static_cast<const E &>(chunk[i]))) whole = false;
      record_release(&chunk[i]);
    }
  }
  tk_HeapFree(chunk);
  return whole;
}

}  // namespace

int pfa_nodes_write(tk_TreeFile *file, pm_PFAFile *list, const char *level_name, const DesignTable *table,
                    tk_ErrorReport **slot) noexcept {
  Reporter r("pm_PFANodesWrite", slot);
  auto *first = static_cast<pm_PFAFile *>(tk_ListStart(list));
  int count = tk_ListCount(first);
  auto *elements = alloc_elements<PFAFileRecord>(count);
  if (count > 0 && !elements) {
    r.push(nullptr, "Out of memory writing PFA node %s", level_name);
    return 0;
  }
  int filled = 0;
  for (pm_PFAFile *pfa = first; pfa && filled < count; pfa = next_of(pfa))
    elements[filled++] = PFAFileRecord{string_item(pfa->node.name), pfa->type};
  PFARootRecord record{tk_RecordList{filled, elements}};
  InnerSlot inner;
  tk_TreeObjectWrite(file, ":", level_name, kDesigns[kPFARootDesign].name, TK_WRITE_NEW, &record,
                     table->design[kPFARootDesign], &inner);
  tk_HeapFree(elements);
  if (inner) {
    r.push(inner.take(), "Error saving pfa node");
    return 0;
  }
  for (pm_PFAFile *pfa = first; pfa; pfa = next_of(pfa)) pm_PFAFileSaved(pfa);
  return 1;
}

pm_PFAFile *pfa_root_node_get_values(const PFARootRecord *record, tk_ErrorReport **slot,
                                     tk_ListCursor *cursor) noexcept {
  Reporter r("pm_PFARootNodeGetValues", slot);
  pm_PFAFile *list = nullptr;
  // Loaded nodes are linked in constant time; a name already in the list
  // takes the ordinary append, which refuses it with the usual reports.
  ListAppender files(nullptr, nullptr);
  each_element<PFAFileRecord>(
      record->files, cursor,
      [&](const PFAFileRecord &e) {
        const char *name = e.string.text;
        pm_PFAFile *pfa = pm_PFAFileCreate(name, e.type);
        if (!pfa) {
          r.push(nullptr, "Out of memory creating PFA File %s", name ? name : "(null)");
          return false;
        }
        return append_loaded(pfa, r, "Cannot append new PFA File %s", [&](pm_PFAFile *p, tk_ErrorReport **s) {
          return link_or_append(files, &list, p, [&] {
            list = pm_PFAFileAppend(list, p, s);
            return linked_into(list, as_node(p));
          });
        });
      },
      r, "Error loading root node");
  return list;
}

pm_PFAFile *pfa_nodes_read(tk_TreeFile *file, const char *level_name, const DesignTable *table,
                           tk_ErrorReport **slot) noexcept {
  Reporter r("pm_PFANodesRead", slot);
  ReadBuffer<PFARootRecord> record;
  tk_ListCursor cursor{};
  InnerSlot inner;
  tk_TreeObjectReadHead(file, ":", level_name, record.get(), table->design[kPFARootDesign], &cursor, &inner);
  if (inner) {
    r.push(inner.take(), "Error loading root node");
    return nullptr;
  }
  pm_PFAFile *list = pfa_root_node_get_values(record.get(), &inner, &cursor);
  if (inner) r.push(inner.take(), "Cannot read PFA file nodes");
  return list;
}

int process_node_set_values(const char *directory, pm_Process *process, ProcessWriteRecord *out,
                            tk_ErrorReport **slot) noexcept {
  Reporter r("pm_ProcessNodeSetValues", slot);
  if (!localise_item(directory, process->params, &out->params, r, "Error localising parameter filename") ||
      !localise_item(directory, process->labels, &out->labels, r, "Error localising label filename"))
    return 0;
  ProcessRecord &record = out->record;
  record.name = string_item(process->node.name);
  record.title = string_item(process->title);
  record.params = string_item(out->params);
  record.labels = string_item(out->labels);
  record.suffix = string_item(process->suffix);
  record.output = process->output;
  auto *first = static_cast<pm_Argument *>(tk_ListStart(process->arguments));
  int count = tk_ListCount(first);
  auto *elements = alloc_elements<ArgumentRecord>(count);
  if (count > 0 && !elements) {
    r.push(nullptr, "Out of memory storing the arguments of process %s", process->node.name);
    return 0;
  }
  int filled = 0;
  for (pm_Argument *a = first; a && filled < count; a = next_of(a))
    elements[filled++] = ArgumentRecord{string_item(a->node.name), string_item(a->value), a->type, a->mode, a->hide};
  record.arguments = tk_RecordList{filled, elements};
  return 1;
}

int process_save(tk_TreeFile *file, const char *directory, pm_Process *process, const char *parent,
                 const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_ProcessSave", slot);
  const char *title = process->title ? process->title : "(null)";
  ProcessWriteRecord values;
  InnerSlot inner;
  if (!process_node_set_values(directory, process, &values, &inner)) {
    r.push(inner.take(), "Error saving values for process '%s'", title);
    return 0;
  }
  if (!rewind_and_write(file, parent, process->node.name, kDesigns[kProcessDesign].name, &values.record,
                        table->design[kProcessDesign], &inner) ||
      inner) {
    r.push(inner.take(), "Error saving process '%s'", title);
    return 0;
  }
  pm_ProcessSaved(process);
  return 1;
}

int process_list_save(tk_TreeFile *file, const char *directory, pm_Process *list, const char *level_name,
                      const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_ProcessListSave", slot);
  return save_each(list, r, "Error saving process", [&](pm_Process *process, tk_ErrorReport **inner) {
    return process_save(file, directory, process, level_name, table, inner);
  });
}

namespace {

// Expands a parameter or label file name read from a file; an absent one
// (count 0) stays absent. False with `failure` in r.
bool expand_item(const char *directory, const tk_StringItem &item, OwnedText &out, Reporter &r,
                 const char *failure) noexcept {
  if (item.count <= 0 || !item.text) return true;
  InnerSlot inner;
  out.text = pm_FilenameExpand(directory, item.text, &inner);
  if (!inner && out.text) return true;
  r.push(inner.take(), "%s", failure);
  return false;
}

}  // namespace

pm_Process *process_node_get_values(const char *directory, const ProcessRecord *record, tk_ErrorReport **slot,
                                    tk_ListCursor *cursor) noexcept {
  Reporter r("pm_ProcessNodeGetValues", slot);
  OwnedText params, labels;
  if (!expand_item(directory, record->params, params, r, "Error expanding parameter filename") ||
      !expand_item(directory, record->labels, labels, r, "Error expanding label filename"))
    return nullptr;
  pm_Process *process = pm_ProcessCreate(record->name.text, record->title.text, params.text, labels.text,
                                         record->suffix.text, record->output);
  if (!process) {
    r.push(nullptr, "Out of memory creating process %s", record->name.text ? record->name.text : "(null)");
    return nullptr;
  }
  ListAppender arguments(as_node(process), nullptr);
  bool whole = each_element<ArgumentRecord>(
      record->arguments, cursor,
      [&](const ArgumentRecord &e) {
        pm_Argument *argument = pm_ArgumentCreate(e.name.text, e.value.text, e.type, e.mode, e.hide);
        bool appended = argument && append_loaded(argument, r, "Error reading process arguments",
                                                  [&](pm_Argument *a, tk_ErrorReport **s) {
                                                    return link_or_append(arguments, &process->arguments, a, [&] {
                                                      pm_ProcessAppendArgument(process, a, s);
                                                      return linked_into(process->arguments, as_node(a));
                                                    });
                                                  });
        if (!argument) r.push(nullptr, "Out of memory reading process arguments");
        return appended;
      },
      r, "Error reading process arguments");
  if (!whole) {
    pm_ProcessDestroy(process);
    return nullptr;
  }
  return process;
}

pm_Process *process_load(tk_TreeFile *file, const char *directory, const Listed &listed, const Listed &parent,
                         const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_ProcessLoad", slot);
  ReadBuffer<ProcessRecord> record;
  tk_ListCursor cursor{};
  if (!read_listed(file, parent, listed, record.get(), table->design[kProcessDesign], r,
                   "Error loading process node", &cursor))
    return nullptr;
  InnerSlot inner;
  pm_Process *process = process_node_get_values(directory, record.get(), &inner, &cursor);
  if (inner || !process) {
    pm_ProcessDestroy(process);
    r.push(inner.take(), "Error reading process values");
    return nullptr;
  }
  return process;
}

pm_Process *process_list_load(tk_TreeFile *file, const char *directory, const char *level_name,
                              const DesignTable *table, tk_ErrorReport **slot) noexcept {
  Reporter r("pm_ProcessListLoad", slot);
  pm_Process *list = nullptr;
  ListAppender processes(nullptr, nullptr);
  load_listed(
      file, level_name, "PM_Process", r, "Error reading process nodes", "Error loading process %s",
      "Cannot append new process",
      [&](const Listed &listed, tk_ErrorReport **inner) {
        return process_load(file, directory, listed, level_name, table, inner);
      },
      [&](pm_Process *process, std::string_view stored, tk_ErrorReport **inner) {
        return link_or_append(
            processes, &list, process,
            [&] {
              list = pm_ProcessAppend(list, process, inner);
              return linked_into(list, as_node(process));
            },
            stored);
      });
  return list;
}

}  // namespace pm
