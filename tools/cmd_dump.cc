// `kestrum dump FILE`: the raw node tree of a project file with each node's
// design and record, read straight through the toolkit's tree-file calls and
// not through the project model, so that it shows what is on disk even when
// the project would not load.
//
// The toolkit does not describe a design's items, so the eight designs of a
// project file are described here; a design whose record size differs from
// what this description gives is shown by name and size only, never decoded.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

#include "cli.h"

namespace kcli {

namespace {

enum class ItemKind { Text, Enumeration, Time, Records };

struct ItemLayout {
  const char *name;
  ItemKind kind;
  std::vector<std::string> values;  // value names of an enumeration
  const char *element = nullptr;    // element design of a record list
};

struct DesignLayout {
  const char *name;
  std::vector<ItemLayout> items;
};

const std::vector<DesignLayout> &designs() {
  static const std::vector<std::string> type_values{"Raster", "Vector", "Text", "Annotation", "AOI"};
  static const std::vector<DesignLayout> all{
      {"PM_Root",
       {{"Project_Type", ItemKind::Enumeration, {"Single_Sampling", "Double_Sampling"}},
        {"Dot_Grid_Analysis", ItemKind::Enumeration, {"Disabled", "Enabled"}},
        {"Poly_Tool_Analysis", ItemKind::Enumeration, {"Disabled", "Enabled"}}}},
      {"PM_Tile", {{"Name", ItemKind::Text, {}}, {"Selection", ItemKind::Enumeration, {"Manual", "Automatic"}}}},
      {"PM_Sample", {{"Name", ItemKind::Text, {}}, {"Selection", ItemKind::Enumeration, {"Manual", "Automatic"}}}},
      {"PM_File",
       {{"Type", ItemKind::Text, {}},
        {"Descriptor", ItemKind::Text, {}},
        {"Time", ItemKind::Time, {}},
        {"Verified", ItemKind::Text, {}},
        {"Comment", ItemKind::Text, {}}}},
      {"PM_PFAFile", {{"String", ItemKind::Text, {}}, {"Type", ItemKind::Enumeration, type_values}}},
      {"PM_PFA_Root", {{"Files", ItemKind::Records, {}, "PM_PFAFile"}}},
      {"PM_Argument",
       {{"Name", ItemKind::Text, {}},
        {"Value", ItemKind::Text, {}},
        {"Type", ItemKind::Enumeration, type_values},
        {"Mode", ItemKind::Enumeration,
         {"Strict_Input", "Strict_Output", "Optional_Input", "Optional_Output", "Editable_Output"}},
        {"Hide", ItemKind::Enumeration, {"Show", "Hide"}}}},
      {"PM_Process",
       {{"Name", ItemKind::Text, {}},
        {"Title", ItemKind::Text, {}},
        {"Parameter File", ItemKind::Text, {}},
        {"Label File", ItemKind::Text, {}},
        {"File Suffix", ItemKind::Text, {}},
        {"Output", ItemKind::Enumeration, {"Request", "Generate"}},
        {"Arguments", ItemKind::Records, {}, "PM_Argument"}}},
  };
  return all;
}

const DesignLayout *layout_named(const char *name) {
  for (const DesignLayout &layout : designs())
    if (std::strcmp(layout.name, name) == 0) return &layout;
  return nullptr;
}

// Items lie in order with their natural alignment, as the toolkit lays them.
std::size_t size_of(ItemKind kind) {
  switch (kind) {
    case ItemKind::Text: return sizeof(tk_StringItem);
    case ItemKind::Enumeration: return sizeof(int32_t);
    case ItemKind::Time: return sizeof(double);
    case ItemKind::Records: return sizeof(tk_RecordList);
  }
  return 0;
}

std::size_t align_of(ItemKind kind) {
  switch (kind) {
    case ItemKind::Text: return alignof(tk_StringItem);
    case ItemKind::Enumeration: return alignof(int32_t);
    case ItemKind::Time: return alignof(double);
    case ItemKind::Records: return alignof(tk_RecordList);
  }
  return 1;
}

std::vector<std::size_t> offsets(const DesignLayout &layout, std::size_t *size) {
  std::vector<std::size_t> result;
  std::size_t at = 0;
  std::size_t widest = 1;
  for (const ItemLayout &item : layout.items) {
    const std::size_t align = align_of(item.kind);
    widest = std::max(widest, align);
    at = (at + align - 1) / align * align;
    result.push_back(at);
    at += size_of(item.kind);
  }
  *size = (at + widest - 1) / widest * widest;
  return result;
}

std::string quote(const char *text) {
  std::string out = "\"";
  for (const char *c = text; *c; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += *c;
    } else if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    } else {
      out += *c;
    }
  }
  return out + "\"";
}

// Prints the record's items and frees what reading it allocated (its texts
// and element arrays, recursively).
void print_and_release(std::ostream &out, const DesignLayout &layout, unsigned char *record,
                       const std::string &indent) {
  std::size_t size = 0;
  const std::vector<std::size_t> at = offsets(layout, &size);
  std::vector<std::string> nested;
  for (std::size_t i = 0; i < layout.items.size(); ++i) {
    const ItemLayout &item = layout.items[i];
    unsigned char *field = record + at[i];
    out << " " << item.name << "=";
    switch (item.kind) {
      case ItemKind::Text: {
        tk_StringItem text;
        std::memcpy(&text, field, sizeof text);
        if (!text.text) {
          out << "null";
        } else {
          out << quote(text.text);
          // A count that does not match the text is worth seeing here.
          if (static_cast<std::size_t>(text.count) != std::strlen(text.text) + 1) out << "(count " << text.count << ")";
        }
        tk_HeapFree(text.text);
        break;
      }
      case ItemKind::Enumeration: {
        int32_t value;
        std::memcpy(&value, field, sizeof value);
        if (value >= 0 && static_cast<std::size_t>(value) < item.values.size())
          out << item.values[static_cast<std::size_t>(value)];
        else
          out << value << "(unnamed)";
        break;
      }
      case ItemKind::Time: {
        double time;
        std::memcpy(&time, field, sizeof time);
        std::ostringstream text;
        text.precision(17);
        text << time;
        out << text.str();
        break;
      }
      case ItemKind::Records: {
        tk_RecordList list;
        std::memcpy(&list, field, sizeof list);
        out << list.count << " records";
        const DesignLayout *element = layout_named(item.element);
        std::size_t element_size = 0;
        offsets(*element, &element_size);
        std::ostringstream lines;
        for (int32_t n = 0; list.elements && n < list.count; ++n) {
          lines << indent << "    [" << n + 1 << "] " << element->name;
          print_and_release(lines, *element, static_cast<unsigned char *>(list.elements) + n * element_size,
                            indent + "    ");
        }
        nested.push_back(lines.str());
        tk_HeapFree(list.elements);
        break;
      }
    }
  }
  out << "\n";
  for (const std::string &lines : nested) out << lines;
}

struct DumpNode {
  std::string path;    // as listed
  std::string parent;  // parent path, without a trailing ':'
  std::string name;
  const DesignLayout *layout;
  tk_Design *design;
};

class TreeFile {
 public:
  explicit TreeFile(const std::string &path) {
    Report report;
    file_ = tk_TreeFileOpen(path.c_str(), "rb", 0, report.slot(), 0);
    report.raise_if("cannot open " + path);
    if (!file_) throw Failure("cannot open " + path);
  }
  ~TreeFile() { tk_TreeFileAbandon(file_); }
  TreeFile(const TreeFile &) = delete;
  TreeFile &operator=(const TreeFile &) = delete;
  tk_TreeFile *get() const { return file_; }

 private:
  tk_TreeFile *file_ = nullptr;
};

std::string path_part(const std::string &path, int selector) {
  Report report;
  std::string part = take(tk_NodePathPart(path.c_str(), selector, -1, report.slot()));
  report.raise_if("cannot split the node path " + path);
  return part;
}

std::vector<DumpNode> list_nodes(tk_TreeFile *file, const DesignLayout &layout, tk_Design *design) {
  Report report;
  tk_StringList *list = tk_TreeObjectList(file, ":", 0, layout.name, report.slot());
  std::vector<DumpNode> nodes;
  for (int i = 0; list && i < list->count; ++i) {
    if (!list->strings[i]) continue;
    const std::string path = list->strings[i];
    DumpNode node{path, path_part(path, TK_NODE_PARENT), path_part(path, TK_NODE_NAME), &layout, design};
    if (node.parent.size() > 1 && node.parent.back() == ':') node.parent.pop_back();
    nodes.push_back(std::move(node));
  }
  tk_StringListDelete(list, nullptr);
  report.raise_if(std::string("cannot list the nodes of design ") + layout.name);
  return nodes;
}

void print_node(std::ostream &out, tk_TreeFile *file, const DumpNode &node, const std::string &indent) {
  out << indent << node.name << "  [" << node.layout->name << "]";
  std::size_t size = 0;
  offsets(*node.layout, &size);
  if (size != tk_DesignRecordSize(node.design)) {
    out << " (" << tk_DesignRecordSize(node.design) << " bytes, layout not understood)\n";
    return;
  }
  std::vector<unsigned char> record(size);
  Report report;
  tk_TreeEntrySeek(file, TK_SEEK_ROOT, nullptr, report.slot());
  if (!report)
    tk_TreeObjectRead(file, node.parent.c_str(), node.name.c_str(), TK_READ_RECORD, record.data(), node.design,
                      report.slot());
  if (report) {
    out << " (unreadable)\n";
    std::istringstream lines(report.chain());
    for (std::string line; std::getline(lines, line);) out << indent << "    " << line << "\n";
    return;
  }
  print_and_release(out, *node.layout, record.data(), indent);
}

int run_dump(const std::string &path, std::ostream &out) {
  TreeFile file(path);
  tk_Dictionary *dictionary = tk_TreeFileGetDictionary(file.get());
  std::vector<DumpNode> nodes;
  out << path << "\n" << "designs:\n";
  for (const DesignLayout &layout : designs()) {
    Report report;
    tk_Design *design = tk_DictionarySearchByName(dictionary, layout.name, report.slot());
    report.raise_if(std::string("cannot search the dictionary for ") + layout.name);
    out << "  " << layout.name;
    if (!design) {
      out << ": absent\n";
      continue;
    }
    out << ": " << tk_DesignRecordSize(design) << " bytes\n";
    for (DumpNode &node : list_nodes(file.get(), layout, design)) nodes.push_back(std::move(node));
  }
  // Children by parent path; within a parent in design order, then in the
  // order the file lists them.
  std::map<std::string, std::vector<const DumpNode *>> children;
  for (const DumpNode &node : nodes) children[node.parent].push_back(&node);
  out << "nodes:\n";
  std::map<std::string, bool> shown;
  std::function<void(const std::string &, const std::string &)> walk = [&](const std::string &parent,
                                                                           const std::string &indent) {
    if (shown[parent]) return;  // a path listed twice must not loop
    shown[parent] = true;
    for (const DumpNode *node : children[parent]) {
      print_node(out, file.get(), *node, indent);
      walk(node->path, indent + "  ");
    }
  };
  walk(":", "  ");
  // Nodes whose parent is no listed node would otherwise go unseen.
  for (const auto &[parent, list] : children) {
    if (shown[parent]) continue;
    out << "  (under " << parent << ")\n";
    walk(parent, "    ");
  }
  return kExitOk;
}

}  // namespace

void add_dump_command(CLI::App &app, Command &selected) {
  auto file = std::make_shared<std::string>();
  CLI::App *command =
      app.add_subcommand("dump", "Print the raw node tree of a project file with designs and records (debugging)");
  command->add_option("FILE", *file, "Project file")->required();
  command->callback([&selected, file] {
    selected = [file](std::ostream &out, std::ostream &) { return run_dump(*file, out); };
  });
}

}  // namespace kcli
