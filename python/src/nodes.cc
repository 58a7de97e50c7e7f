// kestrum._kestrum: tiles, samples and data files (see nodes.h).
#include "nodes.h"

#include "lists.h"
#include "properties.h"
#include "validation.h"

namespace kpy {

namespace {

// Tiles and samples: adding, rebuilding from names, sorting.
// `check` refuses a name the file could not hold (validation.h).
template <class T, class Owner, class Node>
void bind_tree_list(py::class_<List<T>> &cls, const std::string &kind, int level, Node *(*create)(const char *),
                    void (*append)(Owner *, Node *, tk_ErrorReport **), Node *(*destroy)(Node *),
                    void (Core::*forget)(Node *), void (*set_list)(Owner *, int, const char *const *, tk_ErrorReport **),
                    Node *(*sort)(Owner *), void (*check)(Owner *, Node *, const std::string &)) {
  cls.def(
      "add",
      [create, append, destroy, check](const List<T> &self, const py::object &name) {
        const std::string text = encode(name, "name");
        Owner *owner = static_cast<Owner *>(self.owner_node());
        check(owner, nullptr, text);
        return self.adopt(
            create(text.c_str()), [&](Node *node, tk_ErrorReport **slot) { append(owner, node, slot); }, destroy);
      },
      py::arg("name"), ("Appends a new " + kind + "; kestrum.Error when the name is taken.").c_str());
  cls.def(
      "set_names",
      [forget, set_list, check](const List<T> &self, const py::iterable &names) {
        const std::vector<std::string> wanted = name_list(names);
        std::vector<const char *> pointers;
        for (const std::string &name : wanted) pointers.push_back(name.c_str());
        Owner *owner = static_cast<Owner *>(self.owner_node());
        // Names already in the list are kept as they are; new ones must be
        // names the file can hold.
        for (const std::string &name : wanted)
          if (!T::find(T::first(self), name.c_str())) check(owner, nullptr, name);
        rebuild(
            self, std::set<std::string>(wanted.begin(), wanted.end()),
            [&](void *node) { (self.core.get()->*forget)(static_cast<Node *>(node)); },
            [&](tk_ErrorReport **slot) { set_list(owner, static_cast<int>(pointers.size()), pointers.data(), slot); });
        // A reorder alone marks nothing in the library, but the new order is saved.
        pm_ProjectChanged(self.core->project);
      },
      py::arg("names"),
      ("Makes the " + kind + "s exactly these, in this order: existing ones are kept with what they\n"
       "hold, new ones get a data file per PFA file of level " + std::to_string(level) +
       ", the others are destroyed\n(their handles go stale).").c_str());
  cls.def(
      "sort", [sort](const List<T> &self) { sort(static_cast<Owner *>(self.owner_node())); },
      ("Sorts the " + kind + "s by name (bytes compared).").c_str());
}

void bind_file_list(py::class_<List<FileTraits>> &files) {
  files.def(
      "add",
      [](const List<FileTraits> &self, const py::object &type, const py::object &descriptor, double time,
         const py::object &verified, const py::object &comment, bool strict) {
        const std::string text = encode(type, "type");
        const OptionalText where = encode_optional_path(descriptor, self.core->project);
        const OptionalText check = encode_optional(verified, "verified");
        const OptionalText note = encode_optional(comment, "comment");
        void *owner = self.owner_node();
        check_file_type(self.core->project, owner, nullptr, text, strict);
        return self.adopt(
            pm_FileCreate(text.c_str(), where.c_str(), time, check.c_str(), note.c_str()),
            [&](pm_File *f, tk_ErrorReport **r) { pm_ParentAppendFile(owner, f, r); }, pm_FileDestroy);
      },
      py::arg("type"), py::arg("descriptor") = py::none(), py::arg("time") = 0.0, py::arg("verified") = py::none(),
      py::arg("comment") = py::none(), py::kw_only(), py::arg("strict") = true,
      "Appends a new data file; kestrum.Error when the file type is taken. ValueError for a type\n"
      "no PFA file of the node's level defines (strict=False lets it through, for scripts that\n"
      "repair old projects) or a name the file cannot hold. A relative descriptor is made\n"
      "absolute against the current directory."); 
  files.def(
      "rebuild",
      [](const List<FileTraits> &self) {
        void *owner = self.owner_node();
        const int kind = pm_NodeGetType(owner);
        pm_PFAFile *pfa = pm_PFAFileListGetByType(self.core->project, kind);
        std::set<std::string> kept;
        for (pm_PFAFile *p = pfa; p; p = reinterpret_cast<pm_PFAFile *>(p->node.next)) kept.insert(node_name(p));
        rebuild(
            self, kept, [&](void *node) { self.core->forget(node); },
            [&](tk_ErrorReport **slot) { pm_SetFileListFromPFA(pfa, owner, slot); });
      },
      "Makes the data files one per PFA file of the node's level, in its order, keeping the matching\n"
      "ones with their descriptors and destroying the rest.");
}

}  // namespace

void bind_nodes(py::module_ &m) {
  auto tiles = bind_list<TileTraits>(m, "TileList", "The tiles of a project, in list order; look up by name or index.");
  auto samples = bind_list<SampleTraits>(m, "SampleList", "The samples of a tile, in list order; look up by name or index.");
  auto files = bind_list<FileTraits>(m, "FileList", "The data files of a node, in list order; look up by file type or index.");
  bind_tree_list(tiles, "tile", 1, pm_TileCreate, pm_ProjectAppendTile, pm_TileDestroy, &Core::forget_tile,
                 pm_ProjectSetTileList, pm_ProjectSortTiles, check_tile_name);
  bind_tree_list(samples, "sample", 2, pm_SampleCreate, pm_TileAppendSample, pm_SampleDestroy, &Core::forget_sample,
                 pm_TileSetSampleList, pm_TileSortSamples, check_sample_name);
  bind_file_list(files);

  py::class_<Tile> tile(m, "Tile", "A tile of a project: its samples and data files.");
  bind_handle_basics(tile);
  name_property(
      tile, pm_TileGetName, pm_TileSetName,
      [](const Tile &self, pm_Tile *node, const std::string &name) { check_tile_name(self.core->project, node, name); },
      "The tile's name, unique among its project's tiles.");
  tile.def_property(
      "automatic", [](const Tile &self) { return enum_value(kSelection, pm_TileGetAutomatic(self.get())); },
      [](const Tile &self, const py::object &value) {
        const int32_t selection = enum_arg(value, kSelection, "Tile.automatic");
        pm_TileSetAutomatic(self.get(), selection);
        pm_ProjectChanged(self.core->project);  // saved, but not marked by the library
      },
      "How the tile was selected (Selection).");
  tile.def_property_readonly("samples", [](const Tile &self) {
        self.get();
        return List<SampleTraits>{{self.core, self.node, self.made, 0}};
      }, "The tile's samples.")
      .def_property_readonly("files", [](const Tile &self) {
        self.get();
        return List<FileTraits>{{self.core, self.node, self.made, 1}};
      }, "The tile's data files.")
      .def("__repr__", [](const Tile &self) { return handle_repr(self, "Tile"); });

  py::class_<Sample> sample(m, "Sample", "A sample of a tile: its data files.");
  bind_handle_basics(sample);
  name_property(
      sample, pm_SampleGetName, pm_SampleSetName,
      [](const Sample &, pm_Sample *node, const std::string &name) {
        check_sample_name(reinterpret_cast<pm_Tile *>(node->node.parent), node, name);
      },
      "The sample's name, unique among its tile's samples.");
  sample.def_property(
      "automatic", [](const Sample &self) { return enum_value(kSelection, pm_SampleGetAutomatic(self.get())); },
      [](const Sample &self, const py::object &value) {
        const int32_t selection = enum_arg(value, kSelection, "Sample.automatic");
        pm_SampleSetAutomatic(self.get(), selection);
        pm_ProjectChanged(self.core->project);
      },
      "How the sample was selected (Selection).");
  sample.def_property_readonly("files", [](const Sample &self) {
          self.get();
          return List<FileTraits>{{self.core, self.node, self.made, 2}};
        }, "The sample's data files.")
      .def_property_readonly("tile", [](const Sample &self) { return parent_object(self.core, self.get()->node.parent); },
                             "The tile holding the sample.")
      .def("__repr__", [](const Sample &self) { return handle_repr(self, "Sample"); });

  py::class_<File> file(m, "File", "A data file of the project, a tile or a sample.");
  bind_handle_basics(file);
  file.def_property(
      "type", [](const File &self) { return decode(kcli::text_of(self.get()->node.name)); },
      [](const File &self, const py::object &value) {
        const std::string type = encode(value, "type");
        pm_File *node = self.get();
        if (node->node.parent) check_file_type(self.core->project, node->node.parent, node, type, true);
        kcli::Report report;
        pm_FileSetType(node, type.c_str(), report.slot());
        raise_if(report);
      },
      "The file type: the name of its PFA file, unique among its node's data files. ValueError\n"
      "for a type no PFA file of the node's level defines.");
  text_property(file, "descriptor", &pm_File::descriptor, pm_FileSetDescriptor,
                "Where the file lies on disk (str), or None. Takes os.PathLike too; a relative path is\n"
                "made absolute against the current directory.",
                true);
  text_property(file, "verified", &pm_File::verified, pm_FileSetVerified, "The host's verification text, or None.");
  text_property(file, "comment", &pm_File::comment, pm_FileSetComment, "A free comment, or None.");
  file.def_property(
          "time", [](const File &self) { return pm_FileGetDate(self.get()); },
          [](const File &self, double value) { pm_FileSetDate(self.get(), value); }, "The host's time value.")
      .def_property_readonly("path", [](const File &self) -> py::object {
        return absolute_path(self.core->project, kcli::text_of(self.get()->descriptor));
      }, "The descriptor as an absolute pathlib.Path (\"$PROJECT\" expanded), or None.")
      .def_property_readonly("exists", [](const File &self) {
        kcli::Report report;
        const int present = pm_FileDescriptorExists(self.get(), report.slot());
        raise_if(report);
        return present != 0;
      }, "Whether the descriptor names an existing file (False without a descriptor).")
      .def_property_readonly("parent", [](const File &self) { return parent_object(self.core, self.get()->node.parent); },
                             "The project, tile or sample holding the file.")
      .def("__repr__", [](const File &self) { return handle_repr(self, "File"); });
}

}  // namespace kpy
