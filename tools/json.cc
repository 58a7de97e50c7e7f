// The project as JSON (see json.h).
//
// Document layout, every key always present on export:
//   { "kestrum_project": 1,
//     "settings": { "type", "dot_grid", "poly_tool" },
//     "files":  [ data file ],
//     "tiles":  [ { "name", "selection", "files": [...], "samples": [
//                   { "name", "selection", "files": [...] } ] } ],
//     "levels": [ three times { "pfa_files": [ { "name", "type" } ],
//                 "processes": [ { "name", "title", "parameter_file",
//                   "label_file", "suffix", "output", "arguments": [
//                   { "name", "value", "type", "mode", "hide" } ] } ] } ] }
//   data file: { "type", "descriptor", "time", "verified", "comment" }
// Absent texts are null. A text that is not UTF-8 (JSON strings can only
// hold UTF-8) is written as {"hex": "..."}: its bytes as lower-case hex
// digits, two per byte; every other text is a plain string. Enumerations
// are written by name, or as a number when the value has no name. Import
// accepts the same document; keys other than these are refused (a misspelt
// key must not pass silently), and so are keys given twice; keys left out
// take the value of a newly created object.
//
// The parser is driven through its event interface so that reading stays
// linear in the size of the text whatever its shape: objects are filled
// without the ordered map's linear search per key, repeated keys are found
// through a keyed hash, and nesting deeper than any document can need is
// refused before it can exhaust the stack of whatever walks the value later.
#include <cmath>
#include <initializer_list>
#include <unordered_set>

#include "json.h"
#include "name_hash.h"

namespace kcli {

namespace {

constexpr int kFormat = 1;
// Deeper than any document needs (seven levels, eight with a hex text).
constexpr std::size_t kMaxDepth = 32;
// How many bytes of a key or value a message quotes.
constexpr std::size_t kQuoted = 40;

// A place in the document, as a JSON pointer ("/tiles/0/name").
class Pointer {
 public:
  Pointer operator/(const std::string &key) const {
    Pointer deeper = *this;
    deeper.tokens_.push_back(key);
    return deeper;
  }
  Pointer operator/(std::size_t index) const { return *this / std::to_string(index); }
  bool empty() const { return tokens_.empty(); }
  void push(std::string token) { tokens_.push_back(std::move(token)); }

  // The pointer for a message: each token escaped as pointers escape it,
  // and shortened like any quoted text.
  std::string text() const {
    if (tokens_.empty()) return "the top level";
    std::string out;
    for (const std::string &token : tokens_) {
      out += '/';
      for (const char c : excerpt(token, kQuoted)) {
        if (c == '~') out += "~0";
        else if (c == '/') out += "~1";
        else out += c;
      }
    }
    return out;
  }

 private:
  std::vector<std::string> tokens_;
};

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

}  // namespace

Json text_json(const std::string &text) {
  if (is_utf8(text)) return Json(text);
  std::string hex;
  hex.reserve(text.size() * 2);
  for (const char c : text) {
    hex += kHexDigits[static_cast<unsigned char>(c) >> 4];
    hex += kHexDigits[static_cast<unsigned char>(c) & 15];
  }
  Json escaped = Json::object();
  escaped["hex"] = std::move(hex);
  return escaped;
}

namespace {

Json text_or_null(char *text) {
  const std::optional<std::string> value = take_optional(text);
  return value ? text_json(*value) : Json(nullptr);
}

Json path_or_null(pm_Project *project, char *text) {
  const std::optional<std::string> value = take_optional(text);
  return value ? text_json(project_relative(project, *value)) : Json(nullptr);
}

Json enumeration(const std::string &name, int value) { return name.empty() ? Json(value) : Json(name); }

// JSON has no NaN or infinity; they travel as the strings "nan", "inf" and
// "-inf" so that a time value never turns into null on the way out.
Json time_value(double time) {
  if (std::isnan(time)) return "nan";
  if (std::isinf(time)) return time > 0 ? "inf" : "-inf";
  return time;
}

Json files_json(pm_Project *project, pm_File *list) {
  Json files = Json::array();
  for (pm_File *file : files_of(list)) {
    Json entry = Json::object();
    entry["type"] = text_or_null(pm_FileGetType(file));
    entry["descriptor"] = path_or_null(project, pm_FileGetDescriptor(file));
    entry["time"] = time_value(pm_FileGetDate(file));
    entry["verified"] = text_or_null(pm_FileGetVerified(file));
    entry["comment"] = text_or_null(pm_FileGetComment(file));
    files.push_back(std::move(entry));
  }
  return files;
}

Json process_json(pm_Project *project, pm_Process *process) {
  Json entry = Json::object();
  entry["name"] = text_or_null(pm_ProcessGetName(process));
  entry["title"] = text_or_null(pm_ProcessGetTitle(process));
  entry["parameter_file"] = path_or_null(project, pm_ProcessGetParams(process));
  entry["label_file"] = path_or_null(project, pm_ProcessGetLabels(process));
  entry["suffix"] = text_or_null(pm_ProcessGetSuffix(process));
  entry["output"] = enumeration(output_name(pm_ProcessGetOutput(process)), pm_ProcessGetOutput(process));
  Json arguments = Json::array();
  for (pm_Argument *argument = process->arguments; argument;
       argument = reinterpret_cast<pm_Argument *>(argument->node.next)) {
    Json item = Json::object();
    item["name"] = text_or_null(pm_ArgumentGetName(argument));
    item["value"] = text_or_null(pm_ArgumentGetValue(argument));
    item["type"] = enumeration(pfa_type_name(pm_ArgumentGetType(argument)), pm_ArgumentGetType(argument));
    item["mode"] = enumeration(mode_name(pm_ArgumentGetMode(argument)), pm_ArgumentGetMode(argument));
    item["hide"] = enumeration(hide_name(pm_ArgumentGetHide(argument)), pm_ArgumentGetHide(argument));
    arguments.push_back(std::move(item));
  }
  entry["arguments"] = std::move(arguments);
  return entry;
}

// ---- Reading -------------------------------------------------------------------

// A fault of the document itself, already naming its place.
class BadJson : public Failure {
 public:
  using Failure::Failure;
};

[[noreturn]] void bad(const Pointer &where, const std::string &what, const std::string &chain = {}) {
  throw BadJson("bad project JSON at " + where.text() + ": " + what, chain);
}

// A key or text as a message quotes it: shortened and in quotes.
std::string in_quotes(const std::string &text) { return "\"" + excerpt(text, kQuoted) + "\""; }

// Builds the value from the parser's events (see the top of this file).
class Builder {
 public:
  explicit Builder(Json &root) : root_(root) {}

  bool null() { return add(Json(nullptr)); }
  bool boolean(bool value) { return add(Json(value)); }
  bool number_integer(Json::number_integer_t value) { return add(Json(value)); }
  bool number_unsigned(Json::number_unsigned_t value) { return add(Json(value)); }
  bool number_float(Json::number_float_t value, const std::string &) { return add(Json(value)); }
  bool string(std::string &value) { return add(Json(std::move(value))); }
  bool binary(Json::binary_t &value) { return add(Json::binary(std::move(value))); }
  bool start_object(std::size_t) { return open(Json::object()); }
  bool start_array(std::size_t) { return open(Json::array()); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }

  bool key(std::string &key) {
    Frame &frame = frames_.back();
    auto &members = frame.value->get_ref<Json::object_t &>();
    bool repeated = false;
    if (frame.keys) {
      repeated = !frame.keys->insert(key).second;
    } else {
      for (const auto &member : members) repeated = repeated || member.first == key;
      // Past a handful of keys, a hashed set keeps this constant per key.
      if (!repeated && members.size() >= 8) {
        frame.keys = std::make_unique<KeySet>();
        for (const auto &member : members) frame.keys->insert(member.first);
        frame.keys->insert(key);
      }
    }
    if (repeated) {
      Pointer where = place(false);
      where.push(key);
      fail(where, "the key " + in_quotes(key) + " is given twice");
      return false;
    }
    // The value follows; its slot is made now so that it has its place.
    // Keys are known to be new, so the map's search on insert is skipped.
    members.Json::object_t::Container::emplace_back(std::move(key), Json());
    return true;
  }

  bool parse_error(std::size_t, const std::string &, const nlohmann::detail::exception &error) {
    // A number too large for a double: the place says more than the
    // parser's text, which repeats the number whole.
    if (error.id == 406) {
      fail(place(true), "number out of range");
      return false;
    }
    // The parser's text without its "[json.exception.parse_error.101] "
    // tag, and with only the start of the token it read last: that may be
    // a whole string of the document.
    std::string message = error.what();
    const std::size_t tag_end = message.find("] ");
    if (tag_end != std::string::npos) message.erase(0, tag_end + 2);
    const std::string last_read = "; last read: ";
    const std::size_t token = message.find(last_read);
    if (token == std::string::npos) {
      syntax_ = excerpt(message, 200);
    } else {
      syntax_ = excerpt(std::string_view(message).substr(0, token), 200) + last_read +
                excerpt(std::string_view(message).substr(token + last_read.size()), kQuoted);
    }
    return false;
  }

  // What stopped the parse: a fault at a place, or a syntax error.
  const std::optional<BadJson> &fault() const { return fault_; }
  const std::string &syntax() const { return syntax_; }

 private:
  using KeySet = std::unordered_set<std::string, tk::NameHash, std::equal_to<>>;
  struct Frame {
    Json *value;
    std::unique_ptr<KeySet> keys;  // an object's keys, once it has many
  };

  // The slot for the next value: the root, a new element, or the member
  // whose key came last.
  Json *slot() {
    if (frames_.empty()) return &root_;
    Json &parent = *frames_.back().value;
    if (parent.is_array()) {
      auto &elements = parent.get_ref<Json::array_t &>();
      elements.emplace_back();
      return &elements.back();
    }
    return &parent.get_ref<Json::object_t &>().back().second;
  }

  bool add(Json &&value) {
    *slot() = std::move(value);
    return true;
  }

  bool open(Json &&container) {
    if (frames_.size() >= kMaxDepth) {
      fail(place(true), "nested deeper than " + std::to_string(kMaxDepth) + " levels");
      return false;
    }
    Json *value = slot();
    *value = std::move(container);
    frames_.push_back({value, nullptr});
    return true;
  }

  bool close() {
    frames_.pop_back();
    return true;
  }

  // The place of the open containers; with `next`, also the place that the
  // next value of the innermost one takes.
  Pointer place(bool next) const {
    Pointer where;
    for (std::size_t i = 0; i < frames_.size(); ++i) {
      const Json &value = *frames_[i].value;
      const bool innermost = i + 1 == frames_.size();
      if (innermost && !next) break;
      if (value.is_array()) {
        where.push(std::to_string(value.size() - (innermost ? 0 : 1)));
      } else if (!value.empty()) {
        where.push(value.get_ref<const Json::object_t &>().back().first);
      }
    }
    return where;
  }

  void fail(const Pointer &where, const std::string &what) {
    fault_.emplace("bad project JSON at " + where.text() + ": " + what);
  }

  Json &root_;
  std::vector<Frame> frames_;
  std::optional<BadJson> fault_;
  std::string syntax_;
};

const char *kind_of(const Json &value) { return value.type_name(); }

// A member of an object being read: its value (null when absent) and where
// it stands.
struct Field {
  const Json *value;
  Pointer where;
  bool present() const { return value != nullptr; }
};

// An object whose keys are checked against the ones it may hold.
class Object {
 public:
  Object(const Json &value, Pointer where, std::initializer_list<const char *> keys)
      : value_(value), where_(std::move(where)) {
    if (!value.is_object()) bad(where_, std::string("expected an object, found ") + kind_of(value));
    for (const auto &item : value.items()) {
      bool known = false;
      for (const char *key : keys) known = known || item.key() == key;
      if (!known) bad(where_ / item.key(), "unknown key " + in_quotes(item.key()));
    }
  }

  Field field(const char *key) const {
    const auto found = value_.find(key);
    return {found == value_.end() ? nullptr : &*found, where_ / key};
  }

  // A text: a string or {"hex": "..."}, or null (absent) when the key
  // holds null or is missing, unless it is required.
  std::optional<std::string> text(const char *key, bool required = false) const {
    const Field f = field(key);
    if (!f.present() || f.value->is_null()) {
      if (required) bad(f.where, f.present() ? "expected a string, found null" : "missing; a string is required");
      return std::nullopt;
    }
    std::string text;
    if (f.value->is_object()) {
      text = from_hex(Object(*f.value, f.where, {"hex"}).field("hex"));
    } else if (f.value->is_string()) {
      text = f.value->get_ref<const std::string &>();
    } else {
      bad(f.where, std::string("expected a string or null, found ") + kind_of(*f.value));
    }
    // The library keeps texts as C strings: an embedded NUL would cut them.
    if (text.find('\0') != std::string::npos) bad(f.where, "a text may not contain a NUL character");
    return text;
  }

  // An enumeration: one of `names`, or a whole number that fits 32 bits.
  int32_t enumeration(const char *key, const std::vector<std::string> &names) const {
    const Field f = field(key);
    if (!f.present()) return 0;
    if (f.value->is_string()) {
      const std::string &name = f.value->get_ref<const std::string &>();
      for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int32_t>(i);
      std::string known;
      for (const std::string &candidate : names) known += (known.empty() ? "" : ", ") + candidate;
      bad(f.where, "unknown value " + in_quotes(name) + " (expected one of " + known + ")");
    }
    if (f.value->is_number_unsigned()) {
      const auto number = f.value->get<Json::number_unsigned_t>();
      if (number <= static_cast<Json::number_unsigned_t>(INT32_MAX)) return static_cast<int32_t>(number);
      bad(f.where, "number out of range");
    }
    if (f.value->is_number_integer()) {
      const auto number = f.value->get<Json::number_integer_t>();
      if (number >= INT32_MIN && number <= INT32_MAX) return static_cast<int32_t>(number);
      bad(f.where, "number out of range");
    }
    // A whole number too large for the parser's integers arrives as a
    // floating-point number.
    if (f.value->is_number_float()) {
      const double number = f.value->get<double>();
      if (number == std::trunc(number) && (number < INT32_MIN || number > INT32_MAX))
        bad(f.where, "number out of range");
    }
    bad(f.where, std::string("expected a name or a whole number, found ") + kind_of(*f.value));
  }

  double time(const char *key) const {
    const Field f = field(key);
    if (!f.present()) return 0.0;
    if (f.value->is_number()) return f.value->get<double>();
    if (f.value->is_string()) {
      const std::string &text = f.value->get_ref<const std::string &>();
      if (text == "nan") return std::nan("");
      if (text == "inf") return INFINITY;
      if (text == "-inf") return -INFINITY;
    }
    bad(f.where, "expected a number (or \"nan\", \"inf\", \"-inf\")");
  }

  // The elements of an array member (none when it is missing), each with
  // its place.
  std::vector<Field> array(const char *key) const {
    const Field f = field(key);
    std::vector<Field> elements;
    if (!f.present()) return elements;
    if (!f.value->is_array()) bad(f.where, std::string("expected an array, found ") + kind_of(*f.value));
    for (std::size_t i = 0; i < f.value->size(); ++i) elements.push_back({&(*f.value)[i], f.where / i});
    return elements;
  }

 private:
  // The bytes of {"hex": "..."}: two hex digits per byte, either case.
  static std::string from_hex(const Field &f) {
    if (!f.present() || !f.value->is_string()) bad(f.where, "expected a string of hex digits");
    const std::string &digits = f.value->get_ref<const std::string &>();
    if (digits.size() % 2 != 0) bad(f.where, "expected two hex digits per byte");
    auto digit = [&](char c) {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      bad(f.where, "expected a string of hex digits");
    };
    std::string bytes;
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); i += 2)
      bytes += static_cast<char>(digit(digits[i]) * 16 + digit(digits[i + 1]));
    return bytes;
  }

  const Json &value_;
  Pointer where_;
};

// Runs one step of building; a library refusal is reported at `where`.
template <class Step>
void at(const Pointer &where, Step step) {
  try {
    step();
  } catch (const BadJson &) {
    throw;
  } catch (const Failure &failure) {
    bad(where, failure.what(), failure.chain());
  }
}

const char *c_str(const std::optional<std::string> &text) { return text ? text->c_str() : nullptr; }

std::optional<std::string> absolute(const std::string &directory, const std::optional<std::string> &name) {
  if (!name) return std::nullopt;
  return project_absolute(directory, *name);
}

void read_files(const Object &owner, void *parent, const std::string &directory) {
  for (const Field &element : owner.array("files")) {
    const Object file(*element.value, element.where, {"type", "descriptor", "time", "verified", "comment"});
    const std::optional<std::string> type = file.text("type", true);
    const std::optional<std::string> descriptor = absolute(directory, file.text("descriptor"));
    const double time = file.time("time");
    const std::optional<std::string> verified = file.text("verified");
    const std::optional<std::string> comment = file.text("comment");
    at(element.where, [&] {
      append_file(parent, pm_FileCreate(c_str(type), c_str(descriptor), time, c_str(verified), c_str(comment)));
    });
  }
}

pm_Process *read_process(const Field &element, const std::string &directory) {
  const Object fields(*element.value, element.where,
                      {"name", "title", "parameter_file", "label_file", "suffix", "output", "arguments"});
  const std::optional<std::string> name = fields.text("name", true);
  const std::optional<std::string> params = absolute(directory, fields.text("parameter_file"));
  const std::optional<std::string> labels = absolute(directory, fields.text("label_file"));
  pm_Process *process =
      pm_ProcessCreate(c_str(name), c_str(fields.text("title")), c_str(params), c_str(labels),
                       c_str(fields.text("suffix")), fields.enumeration("output", output_names()));
  if (!process) bad(element.where, "out of memory");
  try {
    for (const Field &item : fields.array("arguments")) {
      const Object argument(*item.value, item.where, {"name", "value", "type", "mode", "hide"});
      const std::optional<std::string> argument_name = argument.text("name", true);
      const std::optional<std::string> value = argument.text("value");
      const int32_t type = argument.enumeration("type", pfa_type_names());
      const int32_t mode = argument.enumeration("mode", mode_names());
      const int32_t hide = argument.enumeration("hide", hide_names());
      at(item.where, [&] {
        append_argument(process, pm_ArgumentCreate(c_str(argument_name), c_str(value), type, mode, hide));
      });
    }
  } catch (...) {
    pm_ProcessDestroy(process);
    throw;
  }
  return process;
}

}  // namespace

Json project_to_json(pm_Project *project) {
  Json document = Json::object();
  document["kestrum_project"] = kFormat;
  Json settings = Json::object();
  settings["type"] = enumeration(project_type_name(pm_ProjectGetType(project)), pm_ProjectGetType(project));
  settings["dot_grid"] = enumeration(switch_name(pm_ProjectGetUseDotGrid(project)), pm_ProjectGetUseDotGrid(project));
  settings["poly_tool"] =
      enumeration(switch_name(pm_ProjectGetUsePolyTool(project)), pm_ProjectGetUsePolyTool(project));
  document["settings"] = std::move(settings);
  document["files"] = files_json(project, project->files);
  Json tiles = Json::array();
  for (pm_Tile *tile = project->tiles; tile; tile = reinterpret_cast<pm_Tile *>(tile->node.next)) {
    Json entry = Json::object();
    entry["name"] = text_or_null(pm_TileGetName(tile));
    entry["selection"] = enumeration(selection_name(pm_TileGetAutomatic(tile)), pm_TileGetAutomatic(tile));
    entry["files"] = files_json(project, tile->files);
    Json samples = Json::array();
    for (pm_Sample *sample = tile->samples; sample; sample = reinterpret_cast<pm_Sample *>(sample->node.next)) {
      Json item = Json::object();
      item["name"] = text_or_null(pm_SampleGetName(sample));
      item["selection"] = enumeration(selection_name(pm_SampleGetAutomatic(sample)), pm_SampleGetAutomatic(sample));
      item["files"] = files_json(project, sample->files);
      samples.push_back(std::move(item));
    }
    entry["samples"] = std::move(samples);
    tiles.push_back(std::move(entry));
  }
  document["tiles"] = std::move(tiles);
  Json levels = Json::array();
  for (pm_Level level = 0; level < 3; ++level) {
    Json entry = Json::object();
    Json pfa_files = Json::array();
    for (pm_PFAFile *pfa = pm_PFAFileListGetByType(project, level); pfa;
         pfa = reinterpret_cast<pm_PFAFile *>(pfa->node.next)) {
      Json item = Json::object();
      item["name"] = text_or_null(pm_PFAFileGetName(pfa));
      item["type"] = enumeration(pfa_type_name(pm_PFAFileGetType(pfa)), pm_PFAFileGetType(pfa));
      pfa_files.push_back(std::move(item));
    }
    entry["pfa_files"] = std::move(pfa_files);
    Json processes = Json::array();
    for (pm_Process *process = pm_ProcessListGetByType(project, level); process;
         process = reinterpret_cast<pm_Process *>(process->node.next))
      processes.push_back(process_json(project, process));
    entry["processes"] = std::move(processes);
    levels.push_back(std::move(entry));
  }
  document["levels"] = std::move(levels);
  return document;
}

std::string export_text(pm_Project *project) { return project_to_json(project).dump(2) + "\n"; }

Json parse_json(const std::string &text, const std::string &source) {
  Json document;
  Builder builder(document);
  if (Json::sax_parse(text, &builder)) return document;
  if (builder.fault()) throw *builder.fault();
  throw Failure("bad JSON in " + source + ": " + builder.syntax());
}

ProjectPtr project_from_json(const Json &document, const std::string &directory) {
  const Object top(document, Pointer(), {"kestrum_project", "settings", "files", "tiles", "levels"});
  const Field format = top.field("kestrum_project");
  if (!format.present()) bad(format.where, "missing; this key marks a kestrum project document");
  const Json &number = *format.value;
  if (!number.is_number()) bad(format.where, std::string("expected the number 1, found ") + kind_of(number));
  if (!number.is_number_integer() || number != Json(kFormat))
    bad(format.where, "unsupported format " + number.dump() + " (expected " + std::to_string(kFormat) + ")");

  ProjectPtr project(pm_ProjectCreate());
  if (!project) throw Failure("out of memory");
  pm_Project *p = project.get();
  const Field settings_field = top.field("settings");
  if (settings_field.present()) {
    const Object settings(*settings_field.value, settings_field.where, {"type", "dot_grid", "poly_tool"});
    pm_ProjectSetType(p, settings.enumeration("type", project_type_names()));
    pm_ProjectSetUseDotGrid(p, settings.enumeration("dot_grid", switch_names()));
    pm_ProjectSetUsePolyTool(p, settings.enumeration("poly_tool", switch_names()));
  }
  read_files(top, p, directory);

  const std::vector<Field> tiles = top.array("tiles");
  Progress progress("importing", tiles.size());
  for (const Field &tile_field : tiles) {
    const Object tile_plan(*tile_field.value, tile_field.where, {"name", "selection", "files", "samples"});
    const std::optional<std::string> name = tile_plan.text("name", true);
    const int32_t selection = tile_plan.enumeration("selection", selection_names());
    pm_Tile *tile = nullptr;
    at(tile_field.where / "name", [&] { tile = append_tile(p, pm_TileCreate(name->c_str())); });
    pm_TileSetAutomatic(tile, selection);
    read_files(tile_plan, tile, directory);
    for (const Field &sample_field : tile_plan.array("samples")) {
      const Object sample_plan(*sample_field.value, sample_field.where, {"name", "selection", "files"});
      const std::optional<std::string> sample_name = sample_plan.text("name", true);
      const int32_t sample_selection = sample_plan.enumeration("selection", selection_names());
      pm_Sample *sample = nullptr;
      at(sample_field.where / "name",
         [&] { sample = append_sample(tile, pm_SampleCreate(sample_name->c_str())); });
      pm_SampleSetAutomatic(sample, sample_selection);
      read_files(sample_plan, sample, directory);
    }
    progress.step();
  }

  Processing processing;
  const std::vector<Field> levels = top.array("levels");
  if (levels.size() > 3) bad(levels[3].where, "there are only three levels (project, tiles, samples)");
  for (std::size_t level = 0; level < levels.size(); ++level) {
    const Object level_entry(*levels[level].value, levels[level].where, {"pfa_files", "processes"});
    for (const Field &pfa_field : level_entry.array("pfa_files")) {
      const Object pfa(*pfa_field.value, pfa_field.where, {"name", "type"});
      const std::optional<std::string> name = pfa.text("name", true);
      const int32_t type = pfa.enumeration("type", pfa_type_names());
      at(pfa_field.where, [&] {
        processing.add_pfa(static_cast<pm_Level>(level), pm_PFAFileCreate(name->c_str(), type));
      });
    }
    for (const Field &process_field : level_entry.array("processes")) {
      pm_Process *process = read_process(process_field, directory);
      at(process_field.where, [&] { processing.add_process(static_cast<pm_Level>(level), process); });
    }
  }
  processing.apply(p);
  return project;
}

}  // namespace kcli
