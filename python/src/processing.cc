// kestrum._kestrum: the processing model and readiness (see processing.h).
#include "processing.h"

#include "lists.h"
#include "properties.h"
#include "validation.h"

namespace kpy {

namespace {

// The project, a tile or a sample (None: the project) as the place a
// readiness test looks at.
kcli::NodeRef node_ref(const CorePtr &core, const py::object &node) {
  kcli::NodeRef ref;
  if (node.is_none()) {
    ref = {"/", 0, core->project, core->project->files};
  } else if (py::isinstance<Project>(node)) {
    const Project &project = node.cast<const Project &>();
    if (project.core != core) throw py::value_error("the node belongs to another project");
    ref = {"/", 0, core->project, core->project->files};
  } else if (py::isinstance<Tile>(node)) {
    const Tile &tile = node.cast<const Tile &>();
    if (tile.core != core) throw py::value_error("the node belongs to another project");
    pm_Tile *raw = tile.get();
    ref = {node_name(raw), 1, raw, raw->files};
  } else if (py::isinstance<Sample>(node)) {
    const Sample &sample = node.cast<const Sample &>();
    if (sample.core != core) throw py::value_error("the node belongs to another project");
    pm_Sample *raw = sample.get();
    std::string path = raw->node.parent ? node_name(raw->node.parent) + "/" : "";
    ref = {path + node_name(raw), 2, raw, raw->files};
  } else {
    throw py::type_error("node must be the project, a tile or a sample");
  }
  return ref;
}

// A row of readiness with the handles it names stamped now, before any
// Python object is made: making objects may run a finalizer that frees
// nodes, and a handle stamped later would take a freed node for a live one.
struct StampedRow {
  const kcli::ReadinessRow *row;
  Process process;
  Handle node;                      // the node the row is about
  std::vector<Argument> arguments;  // of row->missing, then of row->missing_one_of
  std::vector<Handle> places;
  std::vector<int> place_kinds;
};

StampedRow stamp(const CorePtr &core, const kcli::ReadinessRow &row) {
  StampedRow stamped{&row, handle<Process>(core, row.handle), handle<Handle>(core, row.node.node), {}, {}, {}};
  auto add = [&](const kcli::MissingInput &input) {
    stamped.arguments.push_back(handle<Argument>(core, input.argument));
    stamped.places.push_back(handle<Handle>(core, input.place.node));
    stamped.place_kinds.push_back(input.place.node ? pm_NodeGetType(input.place.node) : -1);
  };
  for (const kcli::MissingInput &input : row.missing) add(input);
  if (row.lacks_optional)
    for (const kcli::MissingInput &input : row.missing_one_of) add(input);
  return stamped;
}

py::object place_object(const CorePtr &core, const Handle &place, int kind) {
  switch (kind) {
    case PM_KIND_PROJECT: return py::cast(Project{core});
    case PM_KIND_TILE: return py::cast(Tile{place});
    case PM_KIND_SAMPLE: return py::cast(Sample{place});
    default: return py::none();
  }
}

// The row's missing inputs as kestrum.Missing objects.
py::list missing_objects(const CorePtr &core, const StampedRow &stamped) {
  static const char *const kReasons[] = {"NOT_ON_DISK", "NO_DATA_FILE", "NO_DESCRIPTOR"};
  py::module_ results = py::module_::import("kestrum._results");
  py::object make = results.attr("Missing");
  py::object reason = results.attr("Reason");
  py::list missing;
  std::size_t i = 0;
  auto add = [&](const kcli::MissingInput &input) {
    const bool on_disk = input.lack == kcli::Lack::kNotOnDisk;
    missing.append(make(py::cast(stamped.arguments[i]), place_object(core, stamped.places[i], stamped.place_kinds[i]),
                        on_disk ? absolute_path(core->project, input.path) : py::none(),
                        on_disk ? py::object(decode(input.stored)) : py::none(),
                        reason.attr(kReasons[static_cast<int>(input.lack)]), decode(input.text)));
    ++i;
  };
  for (const kcli::MissingInput &input : stamped.row->missing) add(input);
  if (stamped.row->lacks_optional)
    for (const kcli::MissingInput &input : stamped.row->missing_one_of) add(input);
  return missing;
}

void bind_level_lists(py::class_<List<PFAFileTraits>> &pfa_files, py::class_<List<ProcessTraits>> &processes,
                      py::class_<List<ArgumentTraits>> &arguments) {
  pfa_files.def(
      "add",
      [](const List<PFAFileTraits> &self, const py::object &name, const py::object &format) {
        const std::string text = encode(name, "name");
        const int32_t type = enum_arg(format, kFormat, "PFAFile.format");
        check_pfa_name(text);
        pm_PFAFile **head = PFAFileTraits::head(self);
        if (!head) throw ReportError("the project has no PFA root");
        PFAFile made = self.adopt(
            pm_PFAFileCreate(text.c_str(), type),
            [&](pm_PFAFile *p, tk_ErrorReport **r) {
              pm_PFAFile *first = pm_PFAFileAppend(*head, p, r);
              if (first) *head = first;
            },
            pm_PFAFileDestroy);
        // The library counts a new PFA file only while the root is marked.
        pm_ProcFilesChanged(self.core->project->pfa_root);
        return made;
      },
      py::arg("name"), py::arg("format"), "Appends a new PFA file; kestrum.Error when the name is taken.");

  processes.def(
      "add",
      [](const List<ProcessTraits> &self, const py::object &name, const py::object &title, const py::object &params,
         const py::object &labels, const py::object &suffix, const py::object &output) {
        const std::string text = encode(name, "name");
        const OptionalText t = encode_optional(title, "title"), p = encode_optional_path(params, self.core->project),
                           l = encode_optional_path(labels, self.core->project), s = encode_optional(suffix, "suffix");
        const int32_t out = enum_arg(output, kOutput, "Process.output");
        check_process_name(text);
        pm_Process **head = ProcessTraits::head(self);
        if (!head) throw ReportError("the project has no process lists");
        return self.adopt(
            pm_ProcessCreate(text.c_str(), t.c_str(), p.c_str(), l.c_str(), s.c_str(), out),
            [&](pm_Process *process, tk_ErrorReport **r) {
              pm_Process *first = pm_ProcessAppend(*head, process, r);
              if (first) *head = first;
            },
            pm_ProcessDestroy);
      },
      py::arg("name"), py::arg("title") = py::none(), py::arg("params") = py::none(), py::arg("labels") = py::none(),
      py::arg("suffix") = py::none(), py::arg("output") = 0,
      "Appends a new process; kestrum.Error when the name is taken.");

  arguments.def(
      "add",
      [](const List<ArgumentTraits> &self, const py::object &name, const py::object &value, const py::object &format,
         const py::object &mode, const py::object &hide) {
        const std::string text = encode(name, "name");
        const OptionalText v = encode_optional(value, "value");
        const int32_t f = enum_arg(format, kFormat, "Argument.format"), md = enum_arg(mode, kMode, "Argument.mode"),
                      h = enum_arg(hide, kHide, "Argument.hide");
        pm_Process *process = static_cast<pm_Process *>(self.owner_node());
        return self.adopt(
            pm_ArgumentCreate(text.c_str(), v.c_str(), f, md, h),
            [&](pm_Argument *a, tk_ErrorReport **r) { pm_ProcessAppendArgument(process, a, r); }, pm_ArgumentDestroy);
      },
      py::arg("name"), py::arg("value") = py::none(), py::arg("format") = 0, py::arg("mode") = 0, py::arg("hide") = 0,
      "Appends a new argument; kestrum.Error when the name is taken.");
}

}  // namespace

py::list readiness(const CorePtr &core) {
  std::vector<kcli::ReadinessRow> rows;
  for (const kcli::NodeRef &node : kcli::all_nodes(core->project))
    for (pm_Process *p = pm_ProcessListGetByType(core->project, node.level); p;
         p = reinterpret_cast<pm_Process *>(p->node.next)) {
      rows.push_back(kcli::readiness_row(core->project, p, node));
      if (!rows.back().error.empty()) throw from_lines(rows.back().error);
    }
  std::vector<StampedRow> stamped;
  stamped.reserve(rows.size());
  for (const kcli::ReadinessRow &row : rows) stamped.push_back(stamp(core, row));
  py::object make = py::module_::import("kestrum._results").attr("Readiness");
  py::list result;
  for (const StampedRow &row : stamped)
    result.append(make(py::cast(row.process), place_object(core, row.node, row.row->node.level), row.row->ready,
                       missing_objects(core, row)));
  return result;
}

void bind_processing(py::module_ &m) {
  auto pfa_files = bind_list<PFAFileTraits>(m, "PFAFileList", "The PFA files of a level, in list order; look up by name or index.");
  auto processes = bind_list<ProcessTraits>(m, "ProcessList", "The processes of a level, in list order; look up by name or index.");
  auto arguments = bind_list<ArgumentTraits>(m, "ArgumentList", "The arguments of a process, in list order; look up by name or index.");
  bind_level_lists(pfa_files, processes, arguments);

  py::class_<PFAFile> pfa(m, "PFAFile", "A kind of data file that every node of a level carries.");
  bind_handle_basics(pfa);
  name_property(
      pfa, pm_PFAFileGetName, pm_PFAFileSetName,
      [](const PFAFile &, pm_PFAFile *, const std::string &name) { check_pfa_name(name); },
      "The PFA file's name: the file type of its data files.");
  enum_property(pfa, "format", kFormat, pm_PFAFileGetType, pm_PFAFileSetType, "What its files hold (Format).");
  pfa.def("__repr__", [](const PFAFile &self) { return handle_repr(self, "PFAFile"); });

  py::class_<Process> process(m, "Process", "A process of a level with its arguments.");
  bind_handle_basics(process);
  name_property(
      process, pm_ProcessGetName, pm_ProcessSetName,
      [](const Process &, pm_Process *, const std::string &name) { check_process_name(name); },
      "The process's name, unique in its level.");
  text_property(process, "title", &pm_Process::title, pm_ProcessSetTitle, "The title shown to the user, or None.");
  text_property(process, "params", &pm_Process::params, pm_ProcessSetParams,
                "The parameter file, or None (os.PathLike too; stored absolute).", true);
  text_property(process, "labels", &pm_Process::labels, pm_ProcessSetLabels,
                "The label file, or None (os.PathLike too; stored absolute).", true);
  text_property(process, "suffix", &pm_Process::suffix, pm_ProcessSetSuffix, "The file suffix, or None.");
  enum_property(process, "output", kOutput, pm_ProcessGetOutput, pm_ProcessSetOutput,
                "Whether it requests or generates its output (Output).");
  process
      .def_property_readonly("arguments", [](const Process &self) {
        self.get();
        return List<ArgumentTraits>{{self.core, self.node, self.made, 0}};
      }, "The process's arguments.")
      .def_property_readonly("command_line", [](const Process &self) {
        kcli::Report report;
        py::object line = take_text(pm_ProcessCommandLine(self.get(), report.slot()));
        raise_if(report);
        return line;
      }, "The argument part of its command line (\"in $photo out $segments\"), or None when no\n"
         "argument contributes.")
      .def("ready", [](const Process &self, const py::object &node) {
        const kcli::NodeRef place = node_ref(self.core, node);
        kcli::Report report;
        const int ready = pm_IsProcessReady(self.core->project, self.get(), place.node, report.slot());
        raise_if(report);
        return ready != 0;
      }, py::arg("node") = py::none(),
      "Whether the process may run at the node (the project, a tile or a sample; None is the\n"
      "project): every shown strict input exists on disk. kestrum.Error when that cannot be told.")
      .def("missing", [](const Process &self, const py::object &node) {
        const kcli::NodeRef place = node_ref(self.core, node);
        const kcli::ReadinessRow row = kcli::readiness_row(self.core->project, self.get(), place);
        if (!row.error.empty()) throw from_lines(row.error);
        return missing_objects(self.core, stamp(self.core, row));
      }, py::arg("node") = py::none(),
      "Why the process is not ready at the node: each missing input as a kestrum.Missing, with\n"
      "the argument, the node it was looked for at, the path (absolute), the form the file\n"
      "stores and the reason; str() of each is the line `kestrum ready` prints (\"photo at T3:\n"
      "$PROJECT/tiles/T3/photo.img is not on disk\"). Empty when it is ready.")
      .def("__repr__", [](const Process &self) { return handle_repr(self, "Process"); });

  py::class_<Argument> argument(m, "Argument", "An argument of a process.");
  bind_handle_basics(argument);
  name_property(
      argument, pm_ArgumentGetName, pm_ArgumentSetName, [](const Argument &, pm_Argument *, const std::string &) {},
      "The argument's name, unique in its process.");
  text_property(argument, "value", &pm_Argument::value, pm_ArgumentSetValue, "The PFA file it stands for, or None.");
  enum_property(argument, "format", kFormat, pm_ArgumentGetType, pm_ArgumentSetType, "What its files hold (Format).");
  enum_property(argument, "mode", kMode, pm_ArgumentGetMode, pm_ArgumentSetMode, "Input or output (Mode).");
  enum_property(argument, "hide", kHide, pm_ArgumentGetHide, pm_ArgumentSetHide, "Whether hosts show it (Hide).");
  argument
      .def_property_readonly("process", [](const Argument &self) { return parent_object(self.core, self.get()->node.parent); },
                             "The process it belongs to.")
      .def("__repr__", [](const Argument &self) { return handle_repr(self, "Argument"); });

  py::class_<Level>(m, "Level", "A level of the processing model: 0 the project, 1 tiles, 2 samples.")
      .def_readonly("index", &Level::index, "0, 1 or 2.")
      .def_property_readonly("pfa_files", [](const Level &self) { return List<PFAFileTraits>{{self.core, nullptr, 0, self.index}}; },
                             "The level's PFA files.")
      .def_property_readonly("processes", [](const Level &self) { return List<ProcessTraits>{{self.core, nullptr, 0, self.index}}; },
                             "The level's processes.")
      .def("__repr__", [](const Level &self) { return "<kestrum.Level " + std::to_string(self.index) + ">"; });
}

}  // namespace kpy
