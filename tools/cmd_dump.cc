// `kestrum dump FILE`: the raw node tree of a project file with each node's
// design and record, read straight through the toolkit's tree-file calls and
// not through the project model, so that it shows what is on disk even when
// the project would not load.
//
// Dump is what one reaches for when a file is damaged or foreign, so it
// assumes nothing about the designs it finds: every record is read through
// the design the file itself gives its node, and every item is printed by
// the kind that design gives it, from where the toolkit laid it out. A
// design that differs from kestrum's is shown as it is, never read through
// kestrum's layout. Nodes are visited by number and shown by name with an
// indent for their depth, so no path is built per node and a deep chain of
// long names costs no more than the file holds.
#include <CLI/CLI.hpp>

#include <cstddef>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "persist/schema.h"

namespace kcli {

namespace {

std::string design_name(const tk_Design *design) {
  std::size_t length = 0;
  const char *name = tk_DesignName(design, &length);
  return printable(std::string_view(name ? name : "", length));
}

const char *kind_name(int kind) {
  switch (kind) {
    case TK_ITEM_STRING: return "text";
    case TK_ITEM_ENUM: return "enumeration";
    case TK_ITEM_TIME: return "time";
    case TK_ITEM_RECORD_LIST: return "list";
    default: return "item";
  }
}

std::vector<tk_DesignItem> items_of(const tk_Design *design) {
  std::vector<tk_DesignItem> items(tk_DesignItemCount(design));
  for (std::size_t i = 0; i < items.size(); ++i) tk_DesignItemGet(design, i, &items[i]);
  return items;
}

// "Name text, Selection enumeration of 2, Arguments list of PM_Argument".
void print_design(std::ostream &out, const tk_Design *design) {
  out << "  " << design_name(design) << ": " << counted(tk_DesignRecordSize(design), "byte", "bytes") << ";";
  const char *separator = " ";
  for (const tk_DesignItem &item : items_of(design)) {
    out << separator << printable(std::string_view(item.name, item.name_length)) << " " << kind_name(item.kind);
    if (item.kind == TK_ITEM_ENUM) out << " of " << item.value_count;
    if (item.kind == TK_ITEM_RECORD_LIST) out << " of " << design_name(item.element);
    separator = ", ";
  }
  out << "\n";
}

template <typename T>
T field(const unsigned char *record, const tk_DesignItem &item) {
  T value;
  std::memcpy(&value, record + item.offset, sizeof value);
  return value;
}

// The items of one record on the current line, " Name=value" each; a list
// shows its count here and its elements on the lines that follow.
void print_items(std::ostream &out, const tk_Design *design, const unsigned char *record) {
  const std::vector<tk_DesignItem> items = items_of(design);
  for (std::size_t i = 0; i < items.size(); ++i) {
    const tk_DesignItem &item = items[i];
    out << " " << printable(std::string_view(item.name, item.name_length)) << "=";
    switch (item.kind) {
      case TK_ITEM_STRING: {
        const auto text = field<tk_StringItem>(record, item);
        out << (text.text ? printable(text.text, '"') : std::string("null"));
        break;
      }
      case TK_ITEM_ENUM: {
        const auto value = field<int32_t>(record, item);
        std::size_t length = 0;
        const char *name = value >= 0 ? tk_DesignItemValue(design, i, static_cast<std::size_t>(value), &length)
                                      : nullptr;
        if (name)
          out << printable(std::string_view(name, length));
        else
          out << value << "(unnamed)";
        break;
      }
      case TK_ITEM_TIME: {
        std::ostringstream text;
        text.precision(17);
        text << field<double>(record, item);
        out << text.str();
        break;
      }
      case TK_ITEM_RECORD_LIST:
      {
        // A damaged file may give any count, a negative one too: shown as it is.
        const int32_t count = field<tk_RecordList>(record, item).count;
        out << count << (count == 1 ? " record" : " records");
      }
        break;
      default:
        out << "(kind " << item.kind << ")";
        break;
    }
  }
  out << "\n";
}

// The elements of the record's lists, one line each, nested lists beneath
// their element.
void print_elements(std::ostream &out, const tk_Design *design, const unsigned char *record,
                    const std::string &indent) {
  for (const tk_DesignItem &item : items_of(design)) {
    if (item.kind != TK_ITEM_RECORD_LIST) continue;
    const auto list = field<tk_RecordList>(record, item);
    const auto *elements = static_cast<const unsigned char *>(list.elements);
    const std::size_t size = tk_DesignRecordSize(item.element);
    for (int32_t n = 0; elements && n < list.count; ++n) {
      const unsigned char *element = elements + static_cast<std::size_t>(n) * size;
      out << indent << "    [" << n + 1 << "] " << design_name(item.element);
      print_items(out, item.element, element);
      print_elements(out, item.element, element, indent + "    ");
    }
  }
}

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

// A buffer for one record at a time, aligned for any item, that frees what
// a read left in it whatever happens while it is printed.
class RecordBuffer {
 public:
  unsigned char *take(const tk_Design *design) {
    release();
    words_.assign(tk_DesignRecordSize(design) / sizeof(std::max_align_t) + 1, std::max_align_t{});
    design_ = design;
    return reinterpret_cast<unsigned char *>(words_.data());
  }
  void release() {
    if (design_) tk_DesignRecordRelease(design_, words_.data());
    design_ = nullptr;
  }
  ~RecordBuffer() { release(); }

 private:
  std::vector<std::max_align_t> words_;
  const tk_Design *design_ = nullptr;
};

void print_node(std::ostream &out, tk_TreeFile *file, int64_t node, std::size_t depth, RecordBuffer &buffer) {
  const std::string indent(2 * depth, ' ');
  std::size_t length = 0;
  const char *name = tk_TreeNodeName(file, node, &length);
  tk_Design *design = tk_TreeNodeDesign(file, node);
  out << indent << printable(std::string_view(name ? name : "", length)) << "  [" << design_name(design) << "]";
  unsigned char *record = buffer.take(design);
  Report report;
  if (!tk_TreeNodeRead(file, node, record, design, report.slot())) {
    out << " (unreadable)\n";
    std::istringstream lines(report.chain());
    for (std::string line; std::getline(lines, line);) out << indent << "    " << line << "\n";
    buffer.release();
    return;
  }
  print_items(out, design, record);
  print_elements(out, design, record, indent);
  buffer.release();
}

}  // namespace

int dump_file(const std::string &path, std::ostream &out) {
  TreeFile file(path);
  tk_Dictionary *dictionary = tk_TreeFileGetDictionary(file.get());
  out << printable(path) << "\n";
  uint32_t read = 0, write = 0;
  if (!tk_TreeFileVersions(file.get(), &read, &write))
    out << "format: read version " << read << ", write version " << write
        << " (written by a newer kestrum: this one reads it but does not save into it)\n";
  out << "designs:\n";
  const std::size_t designs = tk_DictionaryDesignCount(dictionary);
  for (std::size_t i = 0; i < designs; ++i) print_design(out, tk_DictionaryDesignAt(dictionary, i));
  // The listing notes any design of a project file that the file lacks.
  for (const pm::Design &design : pm::kDesigns)
    if (!tk_DictionarySearchByName(dictionary, design.name, nullptr)) out << "  " << design.name << ": absent\n";
  out << "nodes:\n";
  RecordBuffer buffer;
  each_node(file.get(), [&](int64_t node, std::size_t depth) { print_node(out, file.get(), node, depth, buffer); });
  return kExitOk;
}

void add_dump_command(CLI::App &app, Command &selected) {
  auto file = std::make_shared<std::string>();
  CLI::App *command =
      app.add_subcommand("dump", "Print the raw node tree of a project file with designs and records (debugging)");
  command->add_option("FILE", *file, "Project file")->required();
  command->callback([&selected, file] {
    selected = [file](std::ostream &out, std::ostream &) { return dump_file(*file, out); };
  });
}

}  // namespace kcli
