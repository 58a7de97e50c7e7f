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
// Absent texts are null. Enumerations are written by name, or as a number
// when the value has no name. Import accepts the same document; keys other
// than these are refused (a misspelt key must not pass silently), and keys
// left out take the value of a newly created object.
#include <cmath>
#include <initializer_list>

#include "json.h"

namespace kcli {

namespace {

using Pointer = Json::json_pointer;
constexpr int kFormat = 1;

Json text_or_null(char *text) {
  const std::optional<std::string> value = take_optional(text);
  return value ? Json(*value) : Json(nullptr);
}

Json path_or_null(pm_Project *project, char *text) {
  const std::optional<std::string> value = take_optional(text);
  return value ? Json(project_relative(project, *value)) : Json(nullptr);
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
  const std::string place = where.empty() ? std::string("the top level") : where.to_string();
  throw BadJson("bad project JSON at " + place + ": " + what, chain);
}

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
      if (!known) bad(where_ / item.key(), "unknown key \"" + item.key() + "\"");
    }
  }

  Field field(const char *key) const {
    const auto found = value_.find(key);
    return {found == value_.end() ? nullptr : &*found, where_ / key};
  }

  // A text: a string, or null (absent) when the key holds null or is
  // missing, unless it is required.
  std::optional<std::string> text(const char *key, bool required = false) const {
    const Field f = field(key);
    if (!f.present() || f.value->is_null()) {
      if (required) bad(f.where, f.present() ? "expected a string, found null" : "missing; a string is required");
      return std::nullopt;
    }
    if (!f.value->is_string()) bad(f.where, std::string("expected a string or null, found ") + kind_of(*f.value));
    const std::string &text = f.value->get_ref<const std::string &>();
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
      bad(f.where, "unknown value \"" + name + "\" (expected one of " + known + ")");
    }
    if (f.value->is_number_integer()) {
      const auto number = f.value->get<long long>();
      if (number >= INT32_MIN && number <= INT32_MAX) return static_cast<int32_t>(number);
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
  try {
    return Json::parse(text);
  } catch (const Json::parse_error &error) {
    // Drop the library's "[json.exception.parse_error.101] " tag.
    std::string message = error.what();
    const std::size_t tag_end = message.find("] ");
    if (tag_end != std::string::npos) message.erase(0, tag_end + 2);
    throw Failure("bad JSON in " + source + ": " + message);
  }
}

ProjectPtr project_from_json(const Json &document, const std::string &directory) {
  const Object top(document, Pointer(), {"kestrum_project", "settings", "files", "tiles", "levels"});
  const Field format = top.field("kestrum_project");
  if (!format.present()) bad(format.where, "missing; this key marks a kestrum project document");
  if (!format.value->is_number_integer() || format.value->get<long long>() != kFormat)
    bad(format.where, "unsupported format " + format.value->dump() + " (expected " + std::to_string(kFormat) + ")");

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
