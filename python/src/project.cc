// kestrum._kestrum: the Project class (see project.h).
#include "project.h"

#include "conversion.h"
#include "lists.h"
#include "moved_data.h"
#include "processing.h"
#include "validation.h"

namespace kpy {

void bind_project(py::module_ &m) {
  py::class_<Project> project(m, "Project",
                              "A kestrum project: tiles with samples, data files at every node, and the\n"
                              "processing model in three levels. Project() is a new empty project;\n"
                              "Project.load(path) reads a project file.");
  project.def(py::init([]() { return wrap_new(pm_ProjectCreate()); }))
      .def_static("load", [](const py::object &path) {
        const std::string name = encode_path(path);
        kcli::Report report;
        pm_Project *loaded = pm_ProjectLoad(name.c_str(), 0, report.slot());
        if (!loaded) {
          raise_if(report, name, false);
          throw std::bad_alloc();
        }
        return wrap_new(loaded);
      }, py::arg("path"), "Reads a project file; kestrum.Error with the library's chain when it does not load.")
      .def_static("from_dict", &import_dict, py::arg("document"), py::arg("path") = py::none(),
      "Builds a project from what to_dict() gives (the JSON of `kestrum export`). With a path, the\n"
      "project is bound to that file (not yet written) and \"$PROJECT/...\" names are made\n"
      "absolute under its directory; without, under the current directory.")
      .def("to_dict", [](const Project &self) { return export_dict(self.get()); },
           "The project as `kestrum export` writes it, as Python values.")
      .def("save", [](const Project &self) {
        kcli::Report report;
        pm_ProjectSave(self.get(), 0, report.slot());
        if (!report) return;
        const std::string filename = kcli::text_of(self.get()->filename);
        if (filename.empty()) raise_if(report);
        raise_if(report, filename, true);
      }, "Writes the project to its own file; kestrum.Error when it has none or the write fails.")
      .def("save_as", [](const Project &self, const py::object &path) {
        const std::string name = encode_path(path);
        const bool was_dirty = pm_ProjectDirty(self.get()) != 0;
        kcli::Report report;
        pm_ProjectSaveAs(self.get(), name.c_str(), 0, report.slot());
        raise_if(report, name, true);
        // The copy is written, but the project's own file is as old as before.
        if (was_dirty) pm_ProjectChanged(self.get());
      }, py::arg("path"), "Writes the whole project into another file; the project keeps its own file.")
      .def_property_readonly("dirty", [](const Project &self) { return pm_ProjectDirty(self.get()) != 0; },
                             "Whether the project has changes its own file does not have.")
      .def_property_readonly("name", [](const Project &self) -> py::object {
                               const char *name = self.get()->node.name;
                               return name ? py::object(decode(name)) : py::object(py::none());
                             },
                             "The project's name (from its file name), or None.")
      .def_property(
          "filename",
          [](const Project &self) -> py::object {
            const char *filename = self.get()->filename;
            return filename ? py::object(decode(filename)) : py::object(py::none());
          },
          [](const Project &self, const py::object &path) {
            const std::string name = encode_path(path);
            kcli::Report report;
            pm_ProjectSetFilename(self.get(), name.c_str(), report.slot());
            raise_if(report, name, true);
          },
          "The project's own file (absolute), or None.")
      .def_property(
          "type", [](const Project &self) { return enum_value(kProjectType, pm_ProjectGetType(self.get())); },
          [](const Project &self, const py::object &value) {
            pm_ProjectSetType(self.get(), enum_arg(value, kProjectType, "Project.type"));
          },
          "Single or double sampling (ProjectType).")
      .def_property(
          "use_dot_grid", [](const Project &self) { return enum_value(kSwitch, pm_ProjectGetUseDotGrid(self.get())); },
          [](const Project &self, const py::object &value) {
            pm_ProjectSetUseDotGrid(self.get(), enum_arg(value, kSwitch, "Project.use_dot_grid"));
          },
          "The dot-grid analysis switch (Switch).")
      .def_property(
          "use_poly_tool", [](const Project &self) { return enum_value(kSwitch, pm_ProjectGetUsePolyTool(self.get())); },
          [](const Project &self, const py::object &value) {
            pm_ProjectSetUsePolyTool(self.get(), enum_arg(value, kSwitch, "Project.use_poly_tool"));
          },
          "The polygon-tool analysis switch (Switch).")
      .def_property_readonly("tiles", [](const Project &self) { return List<TileTraits>{{self.core, nullptr, 0, 0}}; },
                             "The project's tiles.")
      .def_property_readonly("files", [](const Project &self) { return List<FileTraits>{{self.core, nullptr, 0, 0}}; },
                             "The project's own data files.")
      .def_property_readonly("levels", [](const Project &self) {
        return py::make_tuple(Level{self.core, 0}, Level{self.core, 1}, Level{self.core, 2});
      }, "The three levels of the processing model.")
      .def("__eq__", [](const Project &a, const py::object &b) {
        return py::isinstance<Project>(b) && b.cast<const Project &>().core == a.core;
      })
      .def("__hash__", [](const Project &self) { return std::hash<const void *>()(self.core.get()); })
      .def("__repr__", [](const Project &self) {
        const char *text = self.get()->node.name;
        py::object name = text ? py::object(decode(text)) : py::object(py::none());
        return "<kestrum.Project " + py::repr(name).cast<std::string>() + ">";
      });
  project.def("readiness", [](const Project &self) { return readiness(self.core); },
              "Every process at every node of its level, in one pass, as `kestrum ready` checks them:\n"
              "a list of kestrum.Readiness(process, node, ready, missing), missing as Process.missing\n"
              "gives it. kestrum.Error when a test cannot be made.");
  bind_validation(project);
  bind_relink(project, m);
}

}  // namespace kpy
