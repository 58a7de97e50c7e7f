#include "list_kinds.h"

namespace kestrum_test {

namespace {

pm_Node *N(void *record) { return static_cast<pm_Node *>(record); }
std::string S(const char *text) { return text ? text : "(null)"; }

// A rebuild of a data-file list goes through associations: one PFA file per
// name.
void rebuild_files(void *owner, const std::vector<std::string> &names, tk_ErrorReport **slot) {
  pm_PFAFile *pfa = nullptr;
  for (const std::string &name : names) {
    pm_PFAFile *one = pm_PFAFileCreate(name.c_str(), PM_RASTER);
    tk_ErrorReport *refused = nullptr;
    pfa = pm_PFAFileAppend(pfa, one, &refused);
    if (refused) {  // a repeated name: associations are unique too
      tk_ErrorReportDelete(&refused);
      pm_PFAFileDestroy(one);
    }
  }
  pm_SetFileListFromPFA(pfa, owner, slot);
  pm_PFAFileDestroyList(pfa);
}

// The names as the C interface takes them (valid while `names` lives).
std::vector<const char *> Pointers(const std::vector<std::string> &names) {
  std::vector<const char *> pointers;
  for (const std::string &name : names) pointers.push_back(name.c_str());
  return pointers;
}

// What every kind does alike: its record type with the kind's exported
// destroy and rename.
template <typename T, auto Destroy, auto Rename>
class Kind : public ListHolder {
 public:
  void destroy(pm_Node *n) const override { Destroy(As(n)); }
  int rename(pm_Node *n, const char *name, tk_ErrorReport **slot) const override {
    return Rename(As(n), name, slot);
  }

 protected:
  using ListHolder::ListHolder;
  static T *As(pm_Node *n) { return reinterpret_cast<T *>(n); }
};

class Tiles : public Kind<pm_Tile, pm_TileDestroy, pm_TileSetName> {
 public:
  Tiles() : Kind(ListKind::kTiles), p_(pm_ProjectCreate()) {}
  ~Tiles() override { pm_ProjectDestroy(p_); }
  pm_Node *first() const override { return N(p_->tiles); }
  pm_Node *create(const char *name) const override { return N(pm_TileCreate(name)); }
  void append(pm_Node *n, tk_ErrorReport **slot) override {
    pm_ProjectAppendTile(p_, As(n), slot);
  }
  std::vector<std::string> refusal(const std::string &name) const override {
    return {"Cannot append tile " + name + " to project node", "Error appending tile " + name};
  }
  void remove(pm_Node *n) override { pm_TileRemove(As(n)); }
  bool sort() override {
    pm_ProjectSortTiles(p_);
    return true;
  }
  bool rebuild(const std::vector<std::string> &names, tk_ErrorReport **slot) override {
    std::vector<const char *> v = Pointers(names);
    pm_ProjectSetTileList(p_, static_cast<int>(v.size()), v.data(), slot);
    return true;
  }

 private:
  pm_Project *p_;
};

class Samples : public Kind<pm_Sample, pm_SampleDestroy, pm_SampleSetName> {
 public:
  explicit Samples(const std::string &name) : Kind(ListKind::kSamples), t_(pm_TileCreate(name.c_str())) {}
  ~Samples() override { pm_TileDestroy(t_); }
  pm_Node *first() const override { return N(t_->samples); }
  pm_Node *create(const char *name) const override { return N(pm_SampleCreate(name)); }
  void append(pm_Node *n, tk_ErrorReport **slot) override {
    pm_TileAppendSample(t_, As(n), slot);
  }
  std::vector<std::string> refusal(const std::string &name) const override {
    return {"Cannot append sample " + name + " to tile " + S(t_->node.name), "Error appending sample " + name};
  }
  void remove(pm_Node *n) override { pm_SampleRemove(As(n)); }
  bool sort() override {
    pm_TileSortSamples(t_);
    return true;
  }
  bool rebuild(const std::vector<std::string> &names, tk_ErrorReport **slot) override {
    std::vector<const char *> v = Pointers(names);
    pm_TileSetSampleList(t_, static_cast<int>(v.size()), v.data(), slot);
    return true;
  }

 private:
  pm_Tile *t_;
};

// Data files of a project, a tile or a sample, appended through
// pm_ParentAppendFile as hosts and the loader do.
class Files : public Kind<pm_File, pm_FileDestroy, pm_FileSetType> {
 public:
  Files(ListKind kind, const std::string &name) : Kind(kind) {
    if (kind == ListKind::kProjectFiles) owner_ = N(pm_ProjectCreate());
    if (kind == ListKind::kTileFiles) owner_ = N(pm_TileCreate(name.c_str()));
    if (kind == ListKind::kSampleFiles) owner_ = N(pm_SampleCreate(name.c_str()));
  }
  ~Files() override {
    if (kind() == ListKind::kProjectFiles) pm_ProjectDestroy(reinterpret_cast<pm_Project *>(owner_));
    if (kind() == ListKind::kTileFiles) pm_TileDestroy(reinterpret_cast<pm_Tile *>(owner_));
    if (kind() == ListKind::kSampleFiles) pm_SampleDestroy(reinterpret_cast<pm_Sample *>(owner_));
  }
  pm_Node *first() const override {
    if (kind() == ListKind::kProjectFiles) return N(reinterpret_cast<pm_Project *>(owner_)->files);
    if (kind() == ListKind::kTileFiles) return N(reinterpret_cast<pm_Tile *>(owner_)->files);
    return N(reinterpret_cast<pm_Sample *>(owner_)->files);
  }
  pm_Node *create(const char *name) const override { return N(pm_FileCreate(name, "d", 0, nullptr, nullptr)); }
  void append(pm_Node *n, tk_ErrorReport **slot) override {
    pm_ParentAppendFile(owner_, As(n), slot);
  }
  std::vector<std::string> refusal(const std::string &name) const override {
    std::string owner;
    if (kind() == ListKind::kProjectFiles) owner = "Cannot add file to project node";
    if (kind() == ListKind::kTileFiles) owner = "Error adding file " + name + " to tile " + S(owner_->name);
    if (kind() == ListKind::kSampleFiles) owner = "Error adding file " + name + " to sample " + S(owner_->name);
    return {"Cannot append file to parent node", owner, "Error appending file " + name};
  }
  void remove(pm_Node *n) override { pm_FileRemove(As(n)); }
  bool rebuild(const std::vector<std::string> &names, tk_ErrorReport **slot) override {
    rebuild_files(owner_, names, slot);
    return true;
  }

 private:
  pm_Node *owner_ = nullptr;
};

class PFAFiles : public Kind<pm_PFAFile, pm_PFAFileDestroy, pm_PFAFileSetName> {
 public:
  PFAFiles() : Kind(ListKind::kPFAFiles) {}
  ~PFAFiles() override { pm_PFAFileDestroyList(list_); }
  pm_Node *first() const override { return N(list_); }
  pm_Node *create(const char *name) const override { return N(pm_PFAFileCreate(name, PM_VECTOR)); }
  void append(pm_Node *n, tk_ErrorReport **slot) override {
    list_ = pm_PFAFileAppend(list_, As(n), slot);
  }
  std::vector<std::string> refusal(const std::string &name) const override {
    return {"Error appending pfa_file " + name};
  }
  void remove(pm_Node *n) override { list_ = pm_PFAFileRemove(As(n)); }

 private:
  pm_PFAFile *list_ = nullptr;
};

class Processes : public Kind<pm_Process, pm_ProcessDestroy, pm_ProcessSetName> {
 public:
  Processes() : Kind(ListKind::kProcesses) {}
  ~Processes() override { pm_ProcessDestroyList(list_); }
  pm_Node *first() const override { return N(list_); }
  pm_Node *create(const char *name) const override {
    return N(pm_ProcessCreate(name, "title", nullptr, nullptr, "_x", 1));
  }
  void append(pm_Node *n, tk_ErrorReport **slot) override {
    list_ = pm_ProcessAppend(list_, As(n), slot);
  }
  std::vector<std::string> refusal(const std::string &name) const override {
    return {"Error appending process " + name};
  }
  void remove(pm_Node *n) override { list_ = pm_ProcessRemove(As(n)); }

 private:
  pm_Process *list_ = nullptr;
};

class Arguments : public Kind<pm_Argument, pm_ArgumentDestroy, pm_ArgumentSetName> {
 public:
  explicit Arguments(const std::string &name)
      : Kind(ListKind::kArguments), p_(pm_ProcessCreate(name.c_str(), "title", nullptr, nullptr, "_x", 1)) {}
  ~Arguments() override { pm_ProcessDestroy(p_); }
  pm_Node *first() const override { return N(p_->arguments); }
  pm_Node *create(const char *name) const override {
    return N(pm_ArgumentCreate(name, "value", PM_RASTER, PM_STRICT_INPUT, 0));
  }
  void append(pm_Node *n, tk_ErrorReport **slot) override {
    pm_ProcessAppendArgument(p_, As(n), slot);
  }
  std::vector<std::string> refusal(const std::string &name) const override {
    return {"Error appending argument " + name + " to process " + S(p_->node.name), "Error appending argument " + name};
  }
  void remove(pm_Node *n) override { pm_ArgumentRemove(As(n)); }

 private:
  pm_Process *p_;
};

}  // namespace

const char *ListKindName(ListKind kind) {
  switch (kind) {
    case ListKind::kTiles: return "tiles";
    case ListKind::kSamples: return "samples";
    case ListKind::kProjectFiles: return "project files";
    case ListKind::kTileFiles: return "tile files";
    case ListKind::kSampleFiles: return "sample files";
    case ListKind::kPFAFiles: return "PFA files";
    case ListKind::kProcesses: return "processes";
    case ListKind::kArguments: return "arguments";
  }
  return "?";
}

std::unique_ptr<ListHolder> MakeListHolder(ListKind kind, const std::string &owner_name) {
  switch (kind) {
    case ListKind::kTiles: return std::make_unique<Tiles>();
    case ListKind::kSamples: return std::make_unique<Samples>(owner_name);
    case ListKind::kProjectFiles:
    case ListKind::kTileFiles:
    case ListKind::kSampleFiles: return std::make_unique<Files>(kind, owner_name);
    case ListKind::kPFAFiles: return std::make_unique<PFAFiles>();
    case ListKind::kProcesses: return std::make_unique<Processes>();
    case ListKind::kArguments: return std::make_unique<Arguments>(owner_name);
  }
  return nullptr;
}

}  // namespace kestrum_test
