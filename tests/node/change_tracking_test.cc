// Change tracking: the flags of single records, the list and container walks,
// the whole project, and which editing operations mark what.
#include <gtest/gtest.h>

#include <string>

#include "include/kestrum.h"
#include "project_builder.h"
#include "report_slot.h"
#include "temp_dir.h"
#include "tree_helpers.h"

namespace {

using kestrum_test::BuildProject;
using kestrum_test::MarkAllUnchanged;
using kestrum_test::ProjectPtr;
using kestrum_test::ProjectShape;
using kestrum_test::ReportSlot;
using kestrum_test::State;
using kestrum_test::StateOf;
using kestrum_test::kChanged;
using kestrum_test::kClean;

constexpr State kChangedSaved{1, 1};

// A clean project of the builder's default shape.
ProjectPtr CleanProject(ProjectShape shape = ProjectShape()) {
  ProjectPtr project(BuildProject(shape));
  MarkAllUnchanged(project.get());
  return project;
}

pm_Tile *Tile(pm_Project *p, int n) { return pm_TileFindByNumber(p->tiles, n); }
pm_Sample *Sample(pm_Project *p, int tile, int n) { return pm_SampleFindByNumber(Tile(p, tile)->samples, n); }

// ---- single records ----------------------------------------------------------

// The same four operations exist for every kind of node; one typed test runs
// them all through the four states of the change record.
template <typename T>
struct Kind;
// The four marks of a kind, by the kind's exported name.
#define KIND_MARKS(Name)                                \
  static constexpr auto dirty = pm_##Name##Dirty;       \
  static constexpr auto changed = pm_##Name##Changed;   \
  static constexpr auto unchanged = pm_##Name##Unchanged; \
  static constexpr auto saved = pm_##Name##Saved;       \
  static void Destroy(pm_##Name *n) { pm_##Name##Destroy(n); }
template <>
struct Kind<pm_Tile> {
  static pm_Tile *Make() { return pm_TileCreate("t"); }
  KIND_MARKS(Tile)
};
template <>
struct Kind<pm_Sample> {
  static pm_Sample *Make() { return pm_SampleCreate("s"); }
  KIND_MARKS(Sample)
};
template <>
struct Kind<pm_File> {
  static pm_File *Make() { return pm_FileCreate("image", "a.tif", 0, nullptr, nullptr); }
  KIND_MARKS(File)
};
template <>
struct Kind<pm_PFAFile> {
  static pm_PFAFile *Make() { return pm_PFAFileCreate("image", PM_RASTER); }
  KIND_MARKS(PFAFile)
};
template <>
struct Kind<pm_Process> {
  static pm_Process *Make() { return pm_ProcessCreate("p", "title", nullptr, nullptr, nullptr, 0); }
  KIND_MARKS(Process)
};
template <>
struct Kind<pm_Argument> {
  static pm_Argument *Make() { return pm_ArgumentCreate("in", "image", PM_RASTER, PM_STRICT_INPUT, 0); }
  KIND_MARKS(Argument)
};
#undef KIND_MARKS

template <typename T>
class SingleRecordTest : public ::testing::Test {};
using NodeKinds = ::testing::Types<pm_Tile, pm_Sample, pm_File, pm_PFAFile, pm_Process, pm_Argument>;
TYPED_TEST_SUITE(SingleRecordTest, NodeKinds);

TYPED_TEST(SingleRecordTest, MarksMoveThroughTheFourStatesAndOnlyChangedUnsavedIsDirty) {
  using K = Kind<TypeParam>;
  TypeParam *n = K::Make();
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(StateOf(n), kChanged) << "a new record starts dirty";
  EXPECT_EQ(K::dirty(n), 1);

  K::saved(n);
  EXPECT_EQ(StateOf(n), kChangedSaved) << "saving keeps changed";
  EXPECT_EQ(K::dirty(n), 0);

  K::unchanged(n);
  EXPECT_EQ(StateOf(n), kClean);
  EXPECT_EQ(K::dirty(n), 0);

  K::saved(n);
  EXPECT_EQ(StateOf(n), (State{0, 1}));
  EXPECT_EQ(K::dirty(n), 0);

  K::changed(n);
  EXPECT_EQ(StateOf(n), kChanged) << "changing clears saved";
  EXPECT_EQ(K::dirty(n), 1);
  K::Destroy(n);
}

TYPED_TEST(SingleRecordTest, NullRecordIsIgnoredAndNeverDirty) {
  using K = Kind<TypeParam>;
  EXPECT_EQ(K::dirty(nullptr), 0);
  K::changed(nullptr);
  K::unchanged(nullptr);
  K::saved(nullptr);
}

TEST(SingleRecord, ProcessSavedMarksEveryArgumentOfTheProcess) {
  pm_Process *process = Kind<pm_Process>::Make();
  pm_ProcessAppendArgument(process, pm_ArgumentCreate("a", "x", 0, PM_STRICT_INPUT, 0), nullptr);
  pm_ProcessAppendArgument(process, pm_ArgumentCreate("b", "y", 0, PM_STRICT_OUTPUT, 0), nullptr);
  pm_ProcessSaved(process);
  EXPECT_EQ(StateOf(process), kChangedSaved);
  for (pm_Argument *a = process->arguments; a; a = reinterpret_cast<pm_Argument *>(a->node.next))
    EXPECT_EQ(StateOf(a), kChangedSaved) << a->node.name;
  EXPECT_EQ(pm_ProcessListDirty(process), 0);
  pm_ProcessSaved(nullptr);
  pm_ProcessDestroy(process);
}

TEST(SingleRecord, ProjectSavedMarksProjectAndPfaRootButNothingBelow) {
  ProjectPtr p(BuildProject());
  pm_ProjectSaved(p.get());
  EXPECT_EQ(StateOf(p.get()), kChangedSaved);
  EXPECT_EQ(StateOf(p->pfa_root), kChangedSaved);
  EXPECT_EQ(pm_TileDirty(Tile(p.get(), 1)), 1);
  EXPECT_EQ(pm_FileDirty(p->files), 1);
  EXPECT_EQ(pm_PFAFileDirty(p->pfa_root->lists[1]), 1);
  EXPECT_EQ(pm_ProcessDirty(p->process_lists->lists[2]), 1);
  EXPECT_EQ(pm_ProjectDirty(p.get()), 1) << "the dirty tiles keep the project dirty";
  pm_ProjectSaved(nullptr);
  pm_ProjectChanged(nullptr);
}

// ---- lists ---------------------------------------------------------------------

TEST(ListDirty, NullListsAreNeverDirty) {
  EXPECT_EQ(pm_TileListDirty(nullptr), 0);
  EXPECT_EQ(pm_SampleListDirty(nullptr), 0);
  EXPECT_EQ(pm_FileListDirty(nullptr), 0);
  EXPECT_EQ(pm_PFAFileListDirty(nullptr), 0);
  EXPECT_EQ(pm_ProcessListDirty(nullptr), 0);
  EXPECT_EQ(pm_ArgumentListDirty(nullptr), 0);
  EXPECT_EQ(pm_ProcessListsDirty(nullptr), 0);
  EXPECT_EQ(pm_ProcFilesDirty(nullptr), 0);
  EXPECT_EQ(pm_ProjectDirty(nullptr), 0);
}

TEST(ListDirty, CleanSampleHoldingDirtyFileMakesEveryEnclosingListDirty) {
  ProjectPtr p = CleanProject();
  EXPECT_EQ(pm_ProjectDirty(p.get()), 0);
  pm_Sample *sample = Sample(p.get(), 3, 2);
  pm_FileChanged(pm_FileFindByNumber(sample->files, 2));
  EXPECT_EQ(pm_SampleDirty(sample), 0);
  EXPECT_EQ(pm_SampleListDirty(Tile(p.get(), 3)->samples), 1);
  EXPECT_EQ(pm_SampleListDirty(Tile(p.get(), 2)->samples), 0);
  EXPECT_EQ(pm_TileListDirty(p->tiles), 1);
  EXPECT_EQ(pm_ProjectDirty(p.get()), 1);
}

TEST(ListDirty, TileListSeesTilesTheirSamplesAndTheirFiles) {
  ProjectPtr p = CleanProject();
  EXPECT_EQ(pm_TileListDirty(p->tiles), 0);
  pm_TileChanged(Tile(p.get(), 3));
  EXPECT_EQ(pm_TileListDirty(p->tiles), 1);
  pm_TileUnchanged(Tile(p.get(), 3));
  pm_SampleChanged(Sample(p.get(), 2, 2));
  EXPECT_EQ(pm_TileListDirty(p->tiles), 1);
  pm_SampleUnchanged(Sample(p.get(), 2, 2));
  pm_FileChanged(Tile(p.get(), 2)->files);
  EXPECT_EQ(pm_TileListDirty(p->tiles), 1);
  EXPECT_EQ(pm_TileListDirty(Tile(p.get(), 3)), 1) << "any element stands for the whole list";
}

TEST(ListDirty, ProcessListSeesArgumentsAndFlatListsSeeTheirNodes) {
  ProjectPtr p = CleanProject();
  pm_Process *level1 = p->process_lists->lists[1];
  EXPECT_EQ(pm_ProcessListDirty(level1), 0);
  pm_ArgumentChanged(pm_ArgumentFindByNumber(pm_ProcessFindByNumber(level1, 2)->arguments, 2));
  EXPECT_EQ(pm_ProcessListDirty(level1), 1);
  EXPECT_EQ(pm_ProcessListsDirty(p->process_lists), 1);
  EXPECT_EQ(pm_ArgumentListDirty(pm_ProcessFindByNumber(level1, 2)->arguments), 1);
  EXPECT_EQ(pm_ArgumentListDirty(level1->arguments), 0);
  EXPECT_EQ(pm_FileListDirty(p->files), 0);
  pm_FileChanged(pm_FileFindByNumber(p->files, 2));
  EXPECT_EQ(pm_FileListDirty(p->files), 1);
}

TEST(ListUnchanged, ClearsEveryElementAndEverythingBelowFromAnyElement) {
  ProjectPtr p(BuildProject());
  pm_TileListUnchanged(Tile(p.get(), 2));
  for (pm_Tile *t = p->tiles; t; t = reinterpret_cast<pm_Tile *>(t->node.next)) {
    EXPECT_EQ(StateOf(t), kClean);
    EXPECT_EQ(pm_FileListDirty(t->files), 0);
    EXPECT_EQ(pm_SampleListDirty(t->samples), 0);
  }
  EXPECT_EQ(pm_FileListDirty(p->files), 1) << "the project's own files are not part of the tiles list";

  pm_Process *level2 = p->process_lists->lists[2];
  pm_ProcessListUnchanged(pm_ProcessFindByNumber(level2, 2));
  EXPECT_EQ(pm_ProcessListDirty(level2), 0);
  EXPECT_EQ(StateOf(level2->arguments), kClean);

  pm_ProcessListsUnchanged(p->process_lists);
  EXPECT_EQ(pm_ProcessListsDirty(p->process_lists), 0);
  pm_TileListUnchanged(nullptr);
  pm_ProcessListsUnchanged(nullptr);
}

// ---- the PFA root ----------------------------------------------------------------

TEST(ProcFiles, DirtyNeedsBothItsOwnRecordAndADirtyPfaFile) {
  ProjectPtr p = CleanProject();
  pm_ProcFiles *root = p->pfa_root;
  pm_PFAFile *extra = pm_PFAFileCreate("extra", PM_AOI);
  root->lists[2] = pm_PFAFileAppend(root->lists[2], extra, nullptr);
  EXPECT_EQ(pm_PFAFileListDirty(root->lists[2]), 1);
  EXPECT_EQ(pm_ProcFilesDirty(root), 0) << "a clean root with a dirty PFA file";
  EXPECT_EQ(pm_ProjectDirty(p.get()), 0);

  pm_ProcFilesChanged(root);
  EXPECT_EQ(StateOf(root), kChanged);
  EXPECT_EQ(pm_ProcFilesDirty(root), 1);
  EXPECT_EQ(pm_ProjectDirty(p.get()), 1);

  pm_PFAFileUnchanged(extra);
  EXPECT_EQ(pm_ProcFilesDirty(root), 0) << "a dirty root with clean lists";

  pm_PFAFileChanged(extra);
  pm_ProcFilesSaved(root);
  EXPECT_EQ(StateOf(root), kChangedSaved);
  EXPECT_EQ(pm_ProcFilesDirty(root), 0);

  pm_ProcFilesChanged(nullptr);
  pm_ProcFilesSaved(nullptr);
  pm_ProcFilesUnchanged(nullptr);
}

TEST(ProcFiles, UnchangedClearsRootAndAllThreeLevels) {
  ProjectPtr p(BuildProject());
  pm_ProcFilesUnchanged(p->pfa_root);
  EXPECT_EQ(StateOf(p->pfa_root), kClean);
  for (pm_PFAFile *level : p->pfa_root->lists) EXPECT_EQ(pm_PFAFileListDirty(level), 0);
}

// ---- the whole project -------------------------------------------------------------

TEST(ProjectDirty, FreshProjectIsDirtyUntilUnchangedAndAgainAfterChanged) {
  pm_Project *empty = pm_ProjectCreate();
  EXPECT_EQ(pm_ProjectDirty(empty), 1);
  pm_ProjectUnchanged(empty);
  EXPECT_EQ(pm_ProjectDirty(empty), 0);
  pm_ProjectChanged(empty);
  EXPECT_EQ(pm_ProjectDirty(empty), 1);
  pm_ProjectDestroy(empty);

  ProjectPtr full(BuildProject());
  EXPECT_EQ(pm_ProjectDirty(full.get()), 1);
  pm_ProjectUnchanged(full.get());
  EXPECT_EQ(pm_ProjectDirty(full.get()), 0);
  EXPECT_EQ(StateOf(full.get()), kClean);
  EXPECT_EQ(StateOf(full->pfa_root), kClean);
  EXPECT_EQ(StateOf(Sample(full.get(), 3, 2)->files), kClean);
  EXPECT_EQ(StateOf(full->process_lists->lists[2]->arguments), kClean);
  pm_ProjectUnchanged(nullptr);
}

// Each part the project walks is enough on its own, in the order the walk
// takes them: the project's own record, tiles, files, PFA root, processes.
TEST(ProjectDirty, EachPartOfTheWalkAloneMakesTheProjectDirty) {
  ProjectPtr p = CleanProject();
  pm_ProjectChanged(p.get());
  // The walk ends at the project's own record: the containers are never
  // looked at, so a project without them still answers.
  pm_ProcFiles *root = p->pfa_root;
  pm_ProcessLists *lists = p->process_lists;
  p->pfa_root = nullptr;
  p->process_lists = nullptr;
  EXPECT_EQ(pm_ProjectDirty(p.get()), 1);
  p->pfa_root = root;
  p->process_lists = lists;
  pm_ProjectUnchanged(p.get());

  pm_SampleChanged(Sample(p.get(), 1, 1));
  EXPECT_EQ(pm_ProjectDirty(p.get()), 1);
  pm_ProjectUnchanged(p.get());

  pm_FileChanged(pm_FileFindByNumber(p->files, 2));
  EXPECT_EQ(pm_ProjectDirty(p.get()), 1);
  pm_ProjectUnchanged(p.get());

  pm_ProcFilesChanged(p->pfa_root);
  pm_PFAFileChanged(p->pfa_root->lists[0]);
  EXPECT_EQ(pm_ProjectDirty(p.get()), 1);
  pm_ProjectUnchanged(p.get());

  pm_ArgumentChanged(pm_ProcessFindByNumber(p->process_lists->lists[2], 2)->arguments);
  EXPECT_EQ(pm_ProjectDirty(p.get()), 1);
  pm_ProjectUnchanged(p.get());
  EXPECT_EQ(pm_ProjectDirty(p.get()), 0);
}

// ---- what editing marks -------------------------------------------------------------

TEST(EditMarks, RenamesMarkTheRenamedNodeOnlyAndRefusalsMarkNothing) {
  ProjectPtr p = CleanProject();
  pm_Tile *tile = Tile(p.get(), 1);
  pm_Sample *sample = Sample(p.get(), 1, 1);
  pm_File *file = tile->files;
  pm_PFAFile *pfa = p->pfa_root->lists[1];
  pm_Process *process = p->process_lists->lists[1];
  pm_Argument *argument = process->arguments;
  ReportSlot slot;

  EXPECT_EQ(pm_TileSetName(tile, "tile2", slot.out()), 0);
  EXPECT_EQ(pm_ProjectDirty(p.get()), 0) << "a refused rename marks nothing";

  EXPECT_EQ(pm_TileSetName(tile, "north", slot.out()), 1);
  EXPECT_EQ(pm_SampleSetName(sample, "plot9", slot.out()), 1);
  EXPECT_EQ(pm_FileSetType(file, "ortho", slot.out()), 1);
  EXPECT_EQ(pm_PFAFileSetName(pfa, "ortho", slot.out()), 1);
  EXPECT_EQ(pm_ProcessSetName(process, "resample", slot.out()), 1);
  EXPECT_EQ(pm_ArgumentSetName(argument, "input", slot.out()), 1);
  for (const pm_Node *n : {&tile->node, &sample->node, &file->node, &pfa->node, &process->node, &argument->node})
    EXPECT_EQ((State{n->state->changed, n->state->saved}), kChanged) << n->name;
  EXPECT_EQ(StateOf(p.get()), kClean);
  EXPECT_EQ(StateOf(Tile(p.get(), 2)), kClean);
}

TEST(EditMarks, SortMarksOnlyTheNodesMovedBack) {
  ProjectShape shape;
  shape.tiles = 0;
  ProjectPtr p = CleanProject(shape);
  for (const char *name : {"c", "a", "b"}) pm_ProjectAppendTile(p.get(), pm_TileCreate(name), nullptr);
  pm_ProjectUnchanged(p.get());
  pm_ProjectSortTiles(p.get());
  EXPECT_EQ(StateOf(pm_TileFind(p->tiles, "c")), kChanged);
  EXPECT_EQ(StateOf(pm_TileFind(p->tiles, "a")), kClean);
  EXPECT_EQ(StateOf(pm_TileFind(p->tiles, "b")), kClean);
  EXPECT_EQ(StateOf(p.get()), kClean);
}

TEST(EditMarks, RemovingOrDestroyingTreeNodesMarksTheirParent) {
  ProjectPtr p = CleanProject();
  pm_Tile *removed = Tile(p.get(), 1);
  pm_TileRemove(removed);
  EXPECT_EQ(StateOf(p.get()), kChanged);
  EXPECT_EQ(StateOf(removed), kClean) << "the removed node itself is not marked";
  pm_TileDestroy(removed);

  pm_Tile *tile = Tile(p.get(), 1);
  pm_SampleDestroy(tile->samples);
  EXPECT_EQ(StateOf(tile), kChanged);
  pm_Sample *sample = tile->samples;
  pm_FileDestroyList(sample->files);
  sample->files = nullptr;
  EXPECT_EQ(StateOf(sample), kChanged);

  pm_Process *process = p->process_lists->lists[0];
  pm_ArgumentDestroy(pm_ArgumentFindByNumber(process->arguments, 2));
  EXPECT_EQ(StateOf(process), kChanged);
}

// Runs `edit` on `record` made clean first and expects it marked changed.
template <typename T, typename Edit>
void ExpectEditMarks(T *record, Edit edit, const char *what) {
  *record->node.state = pm_ChangeState{0, 0};
  edit();
  EXPECT_EQ(StateOf(record), kChanged) << what;
}

TEST(EditMarks, SettersMarkTheirRecord) {
  kestrum_test::TempDir dir;
  ProjectPtr p = CleanProject();
  pm_Project *pr = p.get();
  ExpectEditMarks(pr, [&] { pm_ProjectSetType(pr, 1); }, "type");
  ExpectEditMarks(pr, [&] { pm_ProjectSetUseDotGrid(pr, 1); }, "dot grid");
  ExpectEditMarks(pr, [&] { pm_ProjectSetUsePolyTool(pr, 1); }, "poly tool");
  std::string filename = dir.Path("survey.kpj");
  ExpectEditMarks(pr, [&] { EXPECT_EQ(pm_ProjectSetFilename(pr, filename.c_str(), nullptr), 1); }, "file name");
  pm_ProjectUnchanged(pr);
  EXPECT_EQ(pm_ProjectSetFilename(pr, nullptr, nullptr), 0);
  EXPECT_EQ(StateOf(pr), kClean) << "a file name that is not set marks nothing";

  pm_File *f = p->files;
  ExpectEditMarks(f, [&] { pm_FileSetDescriptor(f, "x.tif"); }, "descriptor");
  ExpectEditMarks(f, [&] { pm_FileSetDate(f, 5); }, "date");
  ExpectEditMarks(f, [&] { pm_FileSetVerified(f, "ok"); }, "verified");
  ExpectEditMarks(f, [&] { pm_FileSetComment(f, "c"); }, "comment");

  pm_Process *x = p->process_lists->lists[2];
  ExpectEditMarks(x, [&] { pm_ProcessSetTitle(x, "t"); }, "title");
  ExpectEditMarks(x, [&] { pm_ProcessSetParams(x, "p"); }, "params");
  ExpectEditMarks(x, [&] { pm_ProcessSetLabels(x, "l"); }, "labels");
  ExpectEditMarks(x, [&] { pm_ProcessSetSuffix(x, "s"); }, "suffix");
  ExpectEditMarks(x, [&] { pm_ProcessSetOutput(x, 1); }, "output");

  pm_Argument *a = x->arguments;
  ExpectEditMarks(a, [&] { pm_ArgumentSetValue(a, "v"); }, "value");
  ExpectEditMarks(a, [&] { pm_ArgumentSetType(a, 2); }, "argument type");
  ExpectEditMarks(a, [&] { pm_ArgumentSetMode(a, 3); }, "mode");
  ExpectEditMarks(a, [&] { pm_ArgumentSetHide(a, 1); }, "hide");

  pm_PFAFile *pfa = p->pfa_root->lists[0];
  ExpectEditMarks(pfa, [&] { pm_PFAFileSetType(pfa, PM_AOI); }, "PFA type");
}

TEST(EditMarks, AutomaticFlagAppendsAndUnownedRemovalsMarkNothing) {
  ProjectPtr p = CleanProject();
  pm_TileSetAutomatic(Tile(p.get(), 1), 1);
  pm_SampleSetAutomatic(Sample(p.get(), 1, 1), 1);
  EXPECT_EQ(pm_ProjectDirty(p.get()), 0);

  pm_Process *process = p->process_lists->lists[0];
  pm_Argument *argument = pm_ArgumentFindByNumber(process->arguments, 2);
  process->arguments = pm_ArgumentRemove(argument);
  pm_PFAFile *pfa = pm_PFAFileFindByNumber(p->pfa_root->lists[0], 2);
  p->pfa_root->lists[0] = pm_PFAFileRemove(pfa);
  pm_Process *second = pm_ProcessFindByNumber(process, 2);
  p->process_lists->lists[0] = pm_ProcessRemove(second);
  EXPECT_EQ(pm_ProjectDirty(p.get()), 0);
  EXPECT_EQ(StateOf(process), kClean);
  pm_ArgumentDestroy(argument);
  pm_PFAFileDestroy(pfa);
  pm_ProcessDestroy(second);

  pm_Tile *tile = pm_TileCreate("new");
  pm_ProjectAppendTile(p.get(), tile, nullptr);
  EXPECT_EQ(pm_ProjectDirty(p.get()), 1) << "dirty through the new tile";
  EXPECT_EQ(StateOf(p.get()), kClean) << "the owner itself is not marked";
  pm_TileSetName(tile, "new", nullptr);  // refused, marks nothing either
  pm_TileUnchanged(tile);

  pm_TileAppendSample(tile, pm_SampleCreate("s"), nullptr);
  pm_ProjectAppendFile(p.get(), pm_FileCreate("extra", nullptr, 0, nullptr, nullptr), nullptr);
  EXPECT_EQ(StateOf(tile), kClean);
  EXPECT_EQ(StateOf(p.get()), kClean);
}

TEST(EditMarks, MovingAFileBetweenOwnersKeepsItsFlagsAndMarksOnlyTheFormerOwner) {
  ProjectPtr p = CleanProject();
  pm_Tile *from = Tile(p.get(), 1);
  pm_Sample *to = Sample(p.get(), 2, 1);
  pm_File *file = from->files;
  pm_FileRemove(file);
  pm_SampleAppendFile(to, file, nullptr);
  EXPECT_EQ(StateOf(file), kClean);
  EXPECT_EQ(StateOf(to), kClean);
  EXPECT_EQ(StateOf(from), kChanged);
}

TEST(EditMarks, ApplyingNewProcessingContainersMarksNothing) {
  ProjectPtr p = CleanProject();
  pm_ProcFiles *root = pm_ProcFilesCreate();
  pm_ProcessLists *lists = pm_ProcessListsCreate();
  pm_ProcFilesUnchanged(root);
  pm_ProjectTypesApply(p.get(), root, lists);
  EXPECT_EQ(StateOf(p.get()), kClean);
  EXPECT_EQ(pm_ProjectDirty(p.get()), 0);
}

}  // namespace
