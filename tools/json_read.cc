// Reading the project's JSON document (its layout is described in json.h)
// and building the project from it.
//
// The parser is driven through its event interface so that reading stays
// linear in the size of the text whatever its shape: objects are filled
// without the ordered map's linear search per key, repeated keys are found
// through a keyed hash, and nesting deeper than any document can need is
// refused before it can exhaust the stack of whatever walks the value later.
#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <new>
#include <unordered_set>

#include "json.h"
#include "name_hash.h"
#include "persist/schema.h"

namespace kcli {

namespace {

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
//
// Each element of an array that is a member of the top-level object is
// offered to `take` as soon as it is complete; an element taken is dropped
// at once (a null keeps its place, so that the array's length still gives
// the place of what follows). The document's long lists are thus never held
// whole, while the checks above see every part of the text.
// The JSON library's destructor takes memory to flatten a container that
// still holds elements, and a destructor that finds none ends the process.
// So a value the importer lets go of is emptied first, bottom-up, here
// (values are at most kMaxDepth deep): what is destroyed afterwards holds
// nothing and takes no memory.
void dismantle(Json &value) noexcept {
  if (value.is_array()) {
    auto &elements = value.get_ref<Json::array_t &>();
    for (Json &element : elements) dismantle(element);
    elements.clear();
  } else if (value.is_object()) {
    auto &members = value.get_ref<Json::object_t &>();
    for (auto &member : members) dismantle(member.second);
    members.clear();
  }
}

// A document that is dismantled before it is destroyed, whichever way the
// import ends.
struct Document {
  Json value;
  Document() = default;
  Document(const Document &) = delete;
  Document &operator=(const Document &) = delete;
  ~Document() { dismantle(value); }
};

// Makes room for one more member of an object. The vector's own growth
// would copy every member (their keys are const, so they cannot move) and
// then destroy the originals, values and all; here the keys are copied first
// (running out of memory then leaves the object as it was) and the values
// swapped over, which takes no memory.
void make_room(Json::object_t &members) {
  if (members.size() < members.capacity()) return;
  auto &old = static_cast<Json::object_t::Container &>(members);
  Json::object_t::Container grown;
  grown.reserve(std::max<std::size_t>(8, old.size() * 2));
  for (const auto &member : old) grown.emplace_back(member.first, Json());
  for (std::size_t i = 0; i < old.size(); ++i) grown[i].second.swap(old[i].second);
  old.swap(grown);
}

class Builder final : public DocumentReader {
 public:
  using Take = std::function<bool(const std::string &key, std::size_t index, const Json &element)>;
  Builder(Json &root, Take take) : root_(root), take_(std::move(take)) {}

  bool null() override { return add(Json(nullptr)); }
  bool boolean(bool value) override { return add(Json(value)); }
  bool number_integer(Json::number_integer_t value) override { return add(Json(value)); }
  bool number_unsigned(Json::number_unsigned_t value) override { return add(Json(value)); }
  bool number_float(Json::number_float_t value, const std::string &) override { return add(Json(value)); }
  bool string(std::string &value) override { return add(Json(std::move(value))); }
  bool binary(Json::binary_t &value) override { return add(Json::binary(std::move(value))); }
  bool start_object(std::size_t) override { return open(Json::object()); }
  bool start_array(std::size_t) override { return open(Json::array()); }
  bool end_object() override { return close(); }
  bool end_array() override { return close(); }

  bool refuse(const std::string &what) override {
    const bool at_key = !frames_.empty() && frames_.back().value->is_object() && !value_due_;
    fail(place(!at_key), what);
    return false;
  }

  bool key(std::string &key) override {
    value_due_ = true;
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
    make_room(members);
    members.Json::object_t::Container::emplace_back(std::move(key), Json());
    return true;
  }

  bool parse_error(std::size_t, const std::string &, const nlohmann::detail::exception &error) override {
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
    value_due_ = false;
    completed();
    return true;
  }

  // Offers the value just completed when it is an element of a top-level
  // member's array.
  void completed() {
    if (frames_.size() != 2 || !frames_[0].value->is_object() || !frames_[1].value->is_array()) return;
    auto &elements = frames_[1].value->get_ref<Json::array_t &>();
    const std::string &key = frames_[0].value->get_ref<const Json::object_t &>().back().first;
    if (take_(key, elements.size() - 1, elements.back())) {
      dismantle(elements.back());
      elements.back() = Json();
    }
  }

  bool open(Json &&container) {
    if (frames_.size() >= kMaxDepth) {
      fail(place(true), "nested deeper than " + std::to_string(kMaxDepth) + " levels");
      return false;
    }
    Json *value = slot();
    *value = std::move(container);
    frames_.push_back({value, nullptr});
    value_due_ = false;
    return true;
  }

  bool close() {
    frames_.pop_back();
    completed();
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
  Take take_;
  std::vector<Frame> frames_;
  bool value_due_ = false;  // a key came, its value not yet
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
  int32_t enumeration(const char *key, Names names) const {
    const Field f = field(key);
    if (!f.present()) return 0;
    if (f.value->is_string()) {
      const std::string &name = f.value->get_ref<const std::string &>();
      for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int32_t>(i);
      std::string known;
      for (const char *candidate : names) known += (known.empty() ? "" : ", ") + std::string(candidate);
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

  // The length of an array member (0 when it is missing).
  std::size_t length(const char *key) const {
    const Field f = field(key);
    if (!f.present()) return 0;
    if (!f.value->is_array()) bad(f.where, std::string("expected an array, found ") + kind_of(*f.value));
    return f.value->size();
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

// The project file keeps a node's children by name alone, whatever their
// kind: a name that would meet another under the same node in the file is
// refused here, where the document still says where it is, rather than by
// the save at the end.
bool root_name(const std::string &name) {
  return std::find(std::begin(kFileRootNames), std::end(kFileRootNames), name) != std::end(kFileRootNames);
}
const char *const kRootNameClash = "the project file keeps this name for a node of its own";

void read_file(const Field &element, void *parent, const std::string &directory) {
  const Object file(*element.value, element.where, {"type", "descriptor", "time", "verified", "comment"});
  const std::optional<std::string> type = file.text("type", true);
  if (static_cast<pm_Node *>(parent)->kind == PM_KIND_PROJECT && type && root_name(*type))
    bad(element.where / "type", kRootNameClash);
  const std::optional<std::string> descriptor = absolute(directory, file.text("descriptor"));
  const double time = file.time("time");
  const std::optional<std::string> verified = file.text("verified");
  const std::optional<std::string> comment = file.text("comment");
  at(element.where, [&] {
    append_file(parent, pm_FileCreate(c_str(type), c_str(descriptor), time, c_str(verified), c_str(comment)));
  });
}

void read_files(const Object &owner, void *parent, const std::string &directory) {
  for (const Field &element : owner.array("files")) read_file(element, parent, directory);
}

pm_Process *read_process(const Field &element, const std::string &directory) {
  const Object fields(*element.value, element.where,
                      {"name", "title", "parameter_file", "label_file", "suffix", "output", "arguments"});
  const std::optional<std::string> name = fields.text("name", true);
  const std::optional<std::string> params = absolute(directory, fields.text("parameter_file"));
  const std::optional<std::string> labels = absolute(directory, fields.text("label_file"));
  pm_Process *process =
      pm_ProcessCreate(c_str(name), c_str(fields.text("title")), c_str(params), c_str(labels),
                       c_str(fields.text("suffix")), fields.enumeration("output", pm::kOutputNames));
  if (!process) throw std::bad_alloc();
  try {
    for (const Field &item : fields.array("arguments")) {
      const Object argument(*item.value, item.where, {"name", "value", "type", "mode", "hide"});
      const std::optional<std::string> argument_name = argument.text("name", true);
      const std::optional<std::string> value = argument.text("value");
      const int32_t type = argument.enumeration("type", pm::kPFATypeNames);
      const int32_t mode = argument.enumeration("mode", pm::kModeNames);
      const int32_t hide = argument.enumeration("hide", pm::kHideNames);
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

void read_tile(const Field &tile_field, pm_Project *project, const std::string &directory) {
  const Object tile_plan(*tile_field.value, tile_field.where, {"name", "selection", "files", "samples"});
  const std::optional<std::string> name = tile_plan.text("name", true);
  const int32_t selection = tile_plan.enumeration("selection", pm::kSelectionNames);
  if (root_name(*name)) bad(tile_field.where / "name", kRootNameClash);
  pm_Tile *tile = nullptr;
  at(tile_field.where / "name", [&] { tile = append_tile(project, pm_TileCreate(name->c_str())); });
  pm_TileSetAutomatic(tile, selection);
  read_files(tile_plan, tile, directory);
  for (const Field &sample_field : tile_plan.array("samples")) {
    const Object sample_plan(*sample_field.value, sample_field.where, {"name", "selection", "files"});
    const std::optional<std::string> sample_name = sample_plan.text("name", true);
    const int32_t sample_selection = sample_plan.enumeration("selection", pm::kSelectionNames);
    if (pm_FileFind(tile->files, sample_name->c_str()))
      bad(sample_field.where / "name", "a data file of this tile has the same name; the project file cannot hold both");
    pm_Sample *sample = nullptr;
    at(sample_field.where / "name", [&] { sample = append_sample(tile, pm_SampleCreate(sample_name->c_str())); });
    pm_SampleSetAutomatic(sample, sample_selection);
    read_files(sample_plan, sample, directory);
  }
}

void read_level(pm_Level level, const Field &level_field, Processing &processing, const std::string &directory) {
  const Object level_entry(*level_field.value, level_field.where, {"pfa_files", "processes"});
  for (const Field &pfa_field : level_entry.array("pfa_files")) {
    const Object pfa(*pfa_field.value, pfa_field.where, {"name", "type"});
    const std::optional<std::string> name = pfa.text("name", true);
    const int32_t type = pfa.enumeration("type", pm::kPFATypeNames);
    at(pfa_field.where, [&] { processing.add_pfa(level, pm_PFAFileCreate(name->c_str(), type)); });
  }
  for (const Field &process_field : level_entry.array("processes")) {
    pm_Process *process = read_process(process_field, directory);
    at(process_field.where, [&] { processing.add_process(level, process); });
  }
}

// Builds the project from the parts of a document as the parser completes
// them: each element of "files", "tiles" and "levels" as soon as it is
// whole, the rest once the document is. A fault found on the way is kept,
// not thrown: the parse goes on, since a syntax error anywhere is what a
// document that does not parse is refused for. Of the faults, the one
// reported is the one that reading the finished document in order would meet
// first: the top level's own keys, the format, the settings, then the lists
// in that order and each list in its own order. Within a list that is its
// first faulty element, built after exactly the elements before it; the
// lists build into separate parts of the project, so the order in which
// they arrive changes nothing.
class Importer {
  // Tiles and project data files arrive in either order, so a tile that
  // bears a project data file's name is looked for once both lists are in.
  static void refuse_tiles_named_like_files(pm_Project *project) {
    std::unordered_set<std::string_view> files;
    for (pm_File *file = project->files; file; file = reinterpret_cast<pm_File *>(file->node.next))
      if (file->node.name) files.insert(file->node.name);
    std::size_t index = 0;
    for (pm_Tile *tile = project->tiles; tile; tile = reinterpret_cast<pm_Tile *>(tile->node.next), ++index)
      if (tile->node.name && files.count(tile->node.name))
        bad(Pointer() / "tiles" / index / "name",
            "a project data file has the same name; the project file cannot hold both");
  }

 public:
  explicit Importer(std::string directory) : directory_(std::move(directory)), project_(pm_ProjectCreate()) {
    if (!project_) throw std::bad_alloc();
  }

  // An element of a top-level list; false when `key` is not one.
  bool take(const std::string &key, std::size_t index, const Json &element) {
    const auto list = std::find(std::begin(kLists), std::end(kLists), key) - std::begin(kLists);
    if (list == std::size(kLists)) return false;
    // After a fault in this list no later element can be the one reported;
    // a fourth level is refused whatever the first three hold.
    if (faults_[list] || (key == "levels" && index >= 3)) return true;
    const Field field{&element, Pointer() / key / index};
    try {
      if (key == "files") read_file(field, project_.get(), directory_);
      else if (key == "tiles") read_tile(field, project_.get(), directory_);
      else read_level(static_cast<pm_Level>(index), field, processing_, directory_);
    } catch (const BadJson &fault) {
      faults_[list] = fault;
    }
    return true;
  }

  // The project, once the whole document has parsed; its taken lists hold
  // nulls.
  ProjectPtr finish(const Json &document) {
    const Object top(document, Pointer(), {"kestrum_project", "settings", "files", "tiles", "levels"});
    const Field format = top.field("kestrum_project");
    if (!format.present()) bad(format.where, "missing; this key marks a kestrum project document");
    const Json &number = *format.value;
    if (!number.is_number()) bad(format.where, std::string("expected the number 1, found ") + kind_of(number));
    if (!number.is_number_integer() || number != Json(kJsonFormat))
      bad(format.where, "unsupported format " + number.dump() + " (expected " + std::to_string(kJsonFormat) + ")");

    pm_Project *p = project_.get();
    const Field settings_field = top.field("settings");
    if (settings_field.present()) {
      const Object settings(*settings_field.value, settings_field.where, {"type", "dot_grid", "poly_tool"});
      pm_ProjectSetType(p, settings.enumeration("type", pm::kProjectTypeNames));
      pm_ProjectSetUseDotGrid(p, settings.enumeration("dot_grid", pm::kSwitchNames));
      pm_ProjectSetUsePolyTool(p, settings.enumeration("poly_tool", pm::kSwitchNames));
    }
    for (std::size_t list = 0; list < std::size(kLists); ++list) {
      const std::size_t length = top.length(kLists[list]);
      if (list == 2 && length > kLevelCount)
        bad(Pointer() / "levels" / kLevelCount, "there are only three levels (project, tiles, samples)");
      // The tiles built are those before the list's first fault, so a clash
      // among them comes first in the document.
      if (list == 1) refuse_tiles_named_like_files(p);
      if (faults_[list]) throw *faults_[list];
    }
    processing_.apply(p);
    return std::move(project_);
  }

 private:
  static constexpr const char *kLists[] = {"files", "tiles", "levels"};

  std::string directory_;
  ProjectPtr project_;
  Processing processing_;
  std::optional<BadJson> faults_[std::size(kLists)];
};

// Builds the project from what `read` hands the builder: a parse of the
// text, or a walk of values in memory.
template <class Read>
ProjectPtr import_with(Read read, const std::string &source, const std::string &directory) {
  Importer importer(directory);
  Document document;
  Builder builder(document.value, [&importer](const std::string &key, std::size_t index, const Json &element) {
    return importer.take(key, index, element);
  });
  if (read(builder)) return importer.finish(document.value);
  if (builder.fault()) throw *builder.fault();
  throw Failure("bad JSON in " + source + ": " + builder.syntax());
}

template <class Input>
ProjectPtr import_from(Input &&input, const std::string &source, const std::string &directory) {
  return import_with([&input](Builder &builder) { return Json::sax_parse(std::forward<Input>(input), &builder); },
                     source, directory);
}


}  // namespace

ProjectPtr import_json(std::istream &in, const std::string &source, const std::string &directory) {
  return import_from(in, source, directory);
}

ProjectPtr import_json(const std::string &text, const std::string &source, const std::string &directory) {
  return import_from(text, source, directory);
}

ProjectPtr import_document(const std::function<bool(DocumentReader &)> &walk, const std::string &directory) {
  return import_with([&walk](Builder &builder) { return walk(builder); }, "the document", directory);
}

}  // namespace kcli
