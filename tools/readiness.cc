// The readiness table: every process of every node's level, whether it may
// run there, and when it may not, which inputs are missing where.
//
// The verdict is always the library's (pm_IsProcessReady). The explanation
// is the tool's own: it looks at the same inputs and lists every one that is
// missing, where the library stops at the first.
#include <algorithm>
#include <iomanip>

#include "json.h"

namespace kcli {

namespace {

std::string tile_path(pm_Tile *tile) { return tile->node.name ? tile->node.name : ""; }

void add_samples(std::vector<Place> &places, pm_Tile *tile) {
  for (pm_Sample *sample = tile->samples; sample; sample = reinterpret_cast<pm_Sample *>(sample->node.next))
    places.push_back({tile_path(tile) + "/" + (sample->node.name ? sample->node.name : ""), sample->files, sample});
}

}  // namespace

std::vector<Place> places_for(pm_Project *project, pm_Level level, const NodeRef &node) {
  std::vector<Place> places;
  if (level == kLevelProject) {
    places.push_back({"/", project->files, project});
  } else if (node.level == level) {
    places.push_back({node.path, node.files, node.node});
  } else if (node.level == kLevelProject) {
    for (pm_Tile *tile = project->tiles; tile; tile = reinterpret_cast<pm_Tile *>(tile->node.next)) {
      if (level == kLevelTile)
        places.push_back({tile_path(tile), tile->files, tile});
      else
        add_samples(places, tile);
    }
  } else if (node.level == kLevelTile && level == kLevelSample) {
    add_samples(places, static_cast<pm_Tile *>(node.node));
  } else if (node.level == kLevelSample && level == kLevelTile) {
    // A sample without a tile has no tile files to look in.
    pm_Node *parent = static_cast<pm_Sample *>(node.node)->node.parent;
    if (parent) places.push_back({tile_path(reinterpret_cast<pm_Tile *>(parent)), reinterpret_cast<pm_Tile *>(parent)->files, parent});
  }
  return places;
}

std::string unnamed_file(const std::string &value, const Place &place, pm_File *file) {
  if (!file) return value + " at " + place.path + ": no data file of that type";
  return value + " at " + place.path + ": the data file names no file";
}

std::optional<MissingInput> missing_input(pm_Project *project, pm_Argument *argument, const std::string &value,
                                          const Place &place) {
  pm_File *file = pm_FileFind(place.files, value.c_str());
  const std::string descriptor = file ? text_of(file->descriptor) : std::string();
  MissingInput missing;
  missing.argument = argument;
  missing.value = value;
  missing.place = place;
  if (descriptor.empty()) {
    missing.lack = file ? Lack::kNoDescriptor : Lack::kNoDataFile;
    missing.text = unnamed_file(value, place, file);
    return missing;
  }
  if (file_present(file)) return std::nullopt;
  missing.lack = Lack::kNotOnDisk;
  missing.path = descriptor;
  missing.stored = project_relative(project, descriptor);
  missing.text = value + " at " + place.path + ": " + missing.stored + " is not on disk";
  return missing;
}

std::string absence(pm_Project *project, const std::string &value, const Place &place) {
  std::optional<MissingInput> missing = missing_input(project, nullptr, value, place);
  return missing ? std::move(missing->text) : std::string();
}

bool special_process(pm_Process *process) {
  for (const char *special : kSpecialProcessNames)
    if (tk_StrEqualNoCase(process->node.name, special)) return true;
  return false;
}

namespace {

// Fills the row's missing inputs.
void explain(pm_Project *project, pm_Process *process, ReadinessRow &row) {
  const NodeRef &node = row.node;
  std::vector<MissingInput> &missing = row.missing;
  std::vector<MissingInput> &optional_missing = row.missing_one_of;
  bool optional_found = false;
  bool optional_seen = false;
  const bool special = special_process(process);
  for (pm_Argument *argument = process->arguments; argument;
       argument = reinterpret_cast<pm_Argument *>(argument->node.next)) {
    const int mode = pm_ArgumentGetMode(argument);
    const bool optional = special && mode == PM_OPTIONAL_INPUT;
    if (optional) optional_seen = true;
    const bool tested = pm_ArgumentGetHide(argument) == 0 && (mode == PM_STRICT_INPUT || optional);
    if (!tested) {
      optional_found = optional_found || optional;  // an untested optional input counts as found
      continue;
    }
    Report report;
    const pm_Level level = pm_PFAFileFindLevel(argument, project->pfa_root, report.slot());
    if (report || level < kLevelProject || level > kLevelSample) continue;  // the library reports this one itself
    const std::string value = text_of(argument->value);
    const std::vector<Place> places = places_for(project, level, node);
    std::vector<MissingInput> absent;
    for (const Place &place : places) {
      std::optional<MissingInput> why = missing_input(project, argument, value, place);
      if (why) absent.push_back(std::move(*why));
    }
    if (optional) {
      // One place holding it is enough for an optional input.
      if (absent.size() < places.size()) optional_found = true;
      if (places.empty()) {
        MissingInput nowhere;
        nowhere.argument = argument;
        nowhere.value = value;
        nowhere.place = Place{"", nullptr, nullptr};
        nowhere.text = value + ": no node to hold it";
        optional_missing.push_back(std::move(nowhere));
      }
      optional_missing.insert(optional_missing.end(), absent.begin(), absent.end());
    } else {
      missing.insert(missing.end(), absent.begin(), absent.end());
    }
  }
  row.lacks_optional = optional_seen && !optional_found;
  if (!row.lacks_optional) optional_missing.clear();
}

}  // namespace

ReadinessRow readiness_row(pm_Project *project, pm_Process *process, const NodeRef &node) {
  ReadinessRow row;
  row.node = node;
  row.handle = process;
  row.process = text_of(process->node.name);
  Report report;
  row.ready = pm_IsProcessReady(project, process, node.node, report.slot()) != 0;
  if (report) {
    row.error = report.lines();
    row.ready = false;
  }
  const std::optional<std::string> line = take_optional(pm_ProcessCommandLine(process, report.slot()));
  row.command = line ? row.process + " " + *line : row.process;
  if (report && row.error.empty()) row.error = report.lines();
  if (!row.ready && row.error.empty()) explain(project, process, row);
  return row;
}

std::vector<ReadinessRow> readiness(pm_Project *project, const std::optional<std::string> &only) {
  std::vector<NodeRef> nodes;
  if (only)
    nodes.push_back(find_node(project, *only));
  else
    nodes = all_nodes(project);
  std::vector<ReadinessRow> rows;
  Progress progress("checking readiness", nodes.size());
  for (const NodeRef &node : nodes) {
    for (pm_Process *process = pm_ProcessListGetByType(project, node.level); process;
         process = reinterpret_cast<pm_Process *>(process->node.next))
      rows.push_back(readiness_row(project, process, node));
    progress.step();
  }
  return rows;
}

int readiness_status(const std::vector<ReadinessRow> &rows) {
  bool all_ready = true;
  for (const ReadinessRow &row : rows) {
    if (!row.error.empty()) return kExitError;
    all_ready = all_ready && row.ready;
  }
  return all_ready ? kExitOk : kExitNegative;
}

int print_readiness(std::ostream &out, const std::vector<ReadinessRow> &rows) {
  std::size_t ready = 0;
  std::size_t errors = 0;
  std::size_t node_width = 4;
  std::size_t process_width = 7;
  for (const ReadinessRow &row : rows) {
    ready += row.ready ? 1 : 0;
    errors += row.error.empty() ? 0 : 1;
    node_width = std::max(node_width, printable(row.node.path).size());
    process_width = std::max(process_width, printable(row.process).size());
  }
  out << "Readiness: " << counted(rows.size(), "check", "checks") << ", " << ready << " ready, "
      << rows.size() - ready - errors << " not ready";
  if (errors) out << ", " << errors << " failed";
  out << "\n";
  if (rows.empty()) {
    out << "  (no processes)\n";
    return kExitOk;
  }
  const int nw = static_cast<int>(node_width) + 2;
  const int pw = static_cast<int>(process_width) + 2;
  out << "  " << std::left << std::setw(nw) << "NODE" << std::setw(6) << "LEVEL" << std::setw(pw)
      << "PROCESS" << std::setw(11) << "STATE" << "COMMAND LINE\n";
  for (const ReadinessRow &row : rows) {
    const char *state = !row.error.empty() ? "error" : row.ready ? "ready" : "not ready";
    out << "  " << std::left << std::setw(nw) << printable(row.node.path) << std::setw(6) << row.node.level
        << std::setw(pw) << printable(row.process) << std::setw(11) << state << printable(row.command) << "\n";
    for (const MissingInput &why : row.missing) out << "      - " << printable(why.text) << "\n";
    if (row.lacks_optional) {
      out << "      - needs one of its optional inputs, and none is present:\n";
      for (const MissingInput &why : row.missing_one_of) out << "          " << printable(why.text) << "\n";
    }
    for (const std::string &line : row.error) out << "      " << printable(line) << "\n";
  }
  return readiness_status(rows);
}

int print_readiness_json(std::ostream &out, const std::string &file, const std::optional<std::string> &only,
                         const std::vector<ReadinessRow> &rows) {
  const auto texts = [](const std::vector<std::string> &lines) {
    Json list = Json::array();
    for (const std::string &line : lines) list.push_back(text_json(line));
    return list;
  };
  const auto inputs = [](const std::vector<MissingInput> &missing) {
    Json list = Json::array();
    for (const MissingInput &input : missing) list.push_back(text_json(input.text));
    return list;
  };
  std::size_t ready = 0, errors = 0;
  Json checks = Json::array();
  for (const ReadinessRow &row : rows) {
    ready += row.ready ? 1 : 0;
    errors += row.error.empty() ? 0 : 1;
    Json check = Json::object();
    check["node"] = text_json(row.node.path);
    check["level"] = row.node.level;
    check["process"] = text_json(row.process);
    check["state"] = !row.error.empty() ? "error" : row.ready ? "ready" : "not_ready";
    check["command"] = text_json(row.command);
    check["missing"] = inputs(row.missing);
    check["missing_one_of"] = inputs(row.missing_one_of);
    check["error"] = texts(row.error);
    checks.push_back(std::move(check));
  }
  Json document = Json::object();
  document["kestrum_ready"] = 1;
  document["file"] = text_json(file);
  document["node"] = only ? text_json(*only) : Json(nullptr);
  Json summary = Json::object();
  summary["checks"] = rows.size();
  summary["ready"] = ready;
  summary["not_ready"] = rows.size() - ready - errors;
  summary["failed"] = errors;
  document["summary"] = std::move(summary);
  document["checks"] = std::move(checks);
  out << document.dump(2) << "\n";
  return readiness_status(rows);
}

}  // namespace kcli
