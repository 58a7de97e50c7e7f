// Writing the project's JSON document (its layout is described in json.h):
// one walk of the project that hands the document to a Writer, value by
// value, and the writer of its text.
#include <charconv>
#include <cmath>
#include <sstream>

#include "json.h"
#include "persist/schema.h"

namespace kcli {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Whether JSON can carry `text` as a string: UTF-8 without overlong forms,
// surrogates or anything above U+10FFFF.
bool is_utf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8_length(text.substr(at));
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// The bytes of a text as lower-case hex digits, two a byte.
std::string hex_of(const std::string &text) {
  std::string hex;
  hex.reserve(text.size() * 2);
  for (const char c : text) {
    hex += kHexDigits[static_cast<unsigned char>(c) >> 4];
    hex += kHexDigits[static_cast<unsigned char>(c) & 15];
  }
  return hex;
}

// Writes the document as it walks the project, in the layout that
// nlohmann's dump(2) gives a document of the same values: two-space indent,
// ": " after a key, "{}" and "[]" for empty containers, strings escaped as
// that library escapes them. Nothing of the document is held but a chunk of
// text on its way out, so an export costs the loaded project and no more.
class TextWriter final : public Writer {
 public:
  explicit TextWriter(std::ostream &out) : out_(out) { buffer_.reserve(kChunk + 1024); }

  void begin_object() override { open('{'); }
  void end_object() override { close('}'); }
  void begin_array() override { open('['); }
  void end_array() override { close(']'); }

  // Starts the next member of the open object; its value follows.
  void key(std::string_view name) override {
    item();
    string(name);
    buffer_ += ": ";
  }
  // Starts the next element of the open array; its value follows.
  void element() override { item(); }

  void null() override { buffer_ += "null"; }
  void number(long long value) override {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    buffer_.append(digits, end);
  }
  // The library's own shortest form that reads back as the same double.
  void number(double value) override {
    char digits[64];
    const char *end = nlohmann::detail::to_chars(digits, digits + sizeof digits, value);
    buffer_.append(digits, static_cast<std::size_t>(end - digits));
  }

  // A JSON string. The caller has made sure it is UTF-8; quote, backslash
  // and control bytes are escaped, nothing else (DEL and every other code
  // point pass as they are).
  void string(std::string_view text) override {
    buffer_ += '"';
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto byte = static_cast<unsigned char>(text[i]);
      if (byte >= 0x20 && byte != '"' && byte != '\\') continue;
      buffer_.append(text.substr(plain, i - plain));
      plain = i + 1;
      switch (byte) {
        case '"': buffer_ += "\\\""; break;
        case '\\': buffer_ += "\\\\"; break;
        case '\b': buffer_ += "\\b"; break;
        case '\f': buffer_ += "\\f"; break;
        case '\n': buffer_ += "\\n"; break;
        case '\r': buffer_ += "\\r"; break;
        case '\t': buffer_ += "\\t"; break;
        default:
          buffer_ += "\\u00";
          buffer_ += kHexDigits[byte >> 4];
          buffer_ += kHexDigits[byte & 15];
      }
    }
    buffer_.append(text.substr(plain));
    buffer_ += '"';
    if (buffer_.size() >= kChunk) flush();
  }

  // The document ends with a line feed; everything still held goes out.
  void finish() {
    buffer_ += '\n';
    flush();
  }

 private:
  static constexpr std::size_t kChunk = 1 << 16;

  void open(char bracket) {
    buffer_ += bracket;
    counts_.push_back(0);
  }
  void close(char bracket) {
    const bool empty = counts_.back() == 0;
    counts_.pop_back();
    if (!empty) {
      buffer_ += '\n';
      buffer_.append(2 * counts_.size(), ' ');
    }
    buffer_ += bracket;
  }
  void item() {
    buffer_ += counts_.back()++ == 0 ? "\n" : ",\n";
    buffer_.append(2 * counts_.size(), ' ');
    if (buffer_.size() >= kChunk) flush();
  }
  void flush() {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
  }

  std::ostream &out_;
  std::string buffer_;
  std::vector<std::size_t> counts_;  // members or elements so far, per open container
};

// A text as a string, or as {"hex": "..."} when it is not UTF-8; null when
// absent.
void write_text(Writer &out, const std::optional<std::string> &text) {
  if (!text) return out.null();
  if (is_utf8(*text)) return out.string(*text);
  out.begin_object();
  out.key("hex");
  out.string(hex_of(*text));
  out.end_object();
}

void write_path(Writer &out, pm_Project *project, const std::optional<std::string> &value) {
  write_text(out, value ? std::optional<std::string>(project_relative(project, *value)) : std::nullopt);
}

// An enumeration by name, or as a number when the value has no name.
void write_enumeration(Writer &out, Names names, int value) {
  const std::string name = value_name(names, value);
  if (name.empty()) return out.number(static_cast<long long>(value));
  out.string(name);
}

// JSON has no NaN or infinity; they travel as the strings "nan", "inf" and
// "-inf" so that a time value never turns into null on the way out.
void write_time(Writer &out, double time) {
  if (std::isnan(time)) return out.string("nan");
  if (std::isinf(time)) return out.string(time > 0 ? "inf" : "-inf");
  out.number(time);
}

void write_files(Writer &out, pm_Project *project, pm_File *list) {
  out.begin_array();
  for (pm_File *file = list; file; file = reinterpret_cast<pm_File *>(file->node.next)) {
    out.element();
    out.begin_object();
    out.key("type");
    write_text(out, optional_text(file->node.name));
    out.key("descriptor");
    write_path(out, project, optional_text(file->descriptor));
    out.key("time");
    write_time(out, pm_FileGetDate(file));
    out.key("verified");
    write_text(out, optional_text(file->verified));
    out.key("comment");
    write_text(out, optional_text(file->comment));
    out.end_object();
  }
  out.end_array();
}

void write_process(Writer &out, pm_Project *project, pm_Process *process) {
  out.begin_object();
  out.key("name");
  write_text(out, optional_text(process->node.name));
  out.key("title");
  write_text(out, optional_text(process->title));
  out.key("parameter_file");
  write_path(out, project, optional_text(process->params));
  out.key("label_file");
  write_path(out, project, optional_text(process->labels));
  out.key("suffix");
  write_text(out, optional_text(process->suffix));
  out.key("output");
  write_enumeration(out, pm::kOutputNames, pm_ProcessGetOutput(process));
  out.key("arguments");
  out.begin_array();
  for (pm_Argument *argument = process->arguments; argument;
       argument = reinterpret_cast<pm_Argument *>(argument->node.next)) {
    out.element();
    out.begin_object();
    out.key("name");
    write_text(out, optional_text(argument->node.name));
    out.key("value");
    write_text(out, optional_text(argument->value));
    out.key("type");
    write_enumeration(out, pm::kPFATypeNames, pm_ArgumentGetType(argument));
    out.key("mode");
    write_enumeration(out, pm::kModeNames, pm_ArgumentGetMode(argument));
    out.key("hide");
    write_enumeration(out, pm::kHideNames, pm_ArgumentGetHide(argument));
    out.end_object();
  }
  out.end_array();
  out.end_object();
}

// The members a tile and a sample share, in the order both write them.
void write_member_head(Writer &out, pm_Project *project, const std::optional<std::string> &name,
                       pm_Selection selection, pm_File *files) {
  out.key("name");
  write_text(out, name);
  out.key("selection");
  write_enumeration(out, pm::kSelectionNames, selection);
  out.key("files");
  write_files(out, project, files);
}

}  // namespace

void write_json(pm_Project *project, std::ostream &stream) {
  TextWriter out(stream);
  write_json(project, out);
  out.finish();
}

void write_json(pm_Project *project, Writer &out) {
  out.begin_object();
  out.key("kestrum_project");
  out.number(static_cast<long long>(kJsonFormat));
  out.key("settings");
  out.begin_object();
  out.key("type");
  write_enumeration(out, pm::kProjectTypeNames, pm_ProjectGetType(project));
  out.key("dot_grid");
  write_enumeration(out, pm::kSwitchNames, pm_ProjectGetUseDotGrid(project));
  out.key("poly_tool");
  write_enumeration(out, pm::kSwitchNames, pm_ProjectGetUsePolyTool(project));
  out.end_object();
  out.key("files");
  write_files(out, project, project->files);
  out.key("tiles");
  out.begin_array();
  for (pm_Tile *tile = project->tiles; tile; tile = reinterpret_cast<pm_Tile *>(tile->node.next)) {
    out.element();
    out.begin_object();
    write_member_head(out, project, optional_text(tile->node.name), pm_TileGetAutomatic(tile), tile->files);
    out.key("samples");
    out.begin_array();
    for (pm_Sample *sample = tile->samples; sample; sample = reinterpret_cast<pm_Sample *>(sample->node.next)) {
      out.element();
      out.begin_object();
      write_member_head(out, project, optional_text(sample->node.name), pm_SampleGetAutomatic(sample), sample->files);
      out.end_object();
    }
    out.end_array();
    out.end_object();
  }
  out.end_array();
  out.key("levels");
  out.begin_array();
  for (pm_Level level = kLevelProject; level < kLevelCount; ++level) {
    out.element();
    out.begin_object();
    out.key("pfa_files");
    out.begin_array();
    for (pm_PFAFile *pfa = pm_PFAFileListGetByType(project, level); pfa;
         pfa = reinterpret_cast<pm_PFAFile *>(pfa->node.next)) {
      out.element();
      out.begin_object();
      out.key("name");
      write_text(out, optional_text(pfa->node.name));
      out.key("type");
      write_enumeration(out, pm::kPFATypeNames, pm_PFAFileGetType(pfa));
      out.end_object();
    }
    out.end_array();
    out.key("processes");
    out.begin_array();
    for (pm_Process *process = pm_ProcessListGetByType(project, level); process;
         process = reinterpret_cast<pm_Process *>(process->node.next)) {
      out.element();
      write_process(out, project, process);
    }
    out.end_array();
    out.end_object();
  }
  out.end_array();
  out.end_object();
}

std::string export_text(pm_Project *project) {
  std::ostringstream text;
  write_json(project, text);
  return text.str();
}

Json text_json(const std::string &text) {
  if (is_utf8(text)) return Json(text);
  Json escaped = Json::object();
  escaped["hex"] = hex_of(text);
  return escaped;
}

Json project_to_json(pm_Project *project) { return Json::parse(export_text(project)); }


}  // namespace kcli
