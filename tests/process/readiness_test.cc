// Readiness of a process at the project, a tile or a sample, on real files in
// a directory of the test's own; the command-line text of a process; and
// what a named process of a level hands out (the data file an argument
// stands for at a node, its label file).
//
// The project is the builder's: three tiles of two samples; level 0 kinds
// mosaic/boundary, level 1 image/grid, level 2 plot/notes; every node holds
// a data file of each of its level's kinds whose descriptor points into the
// test's directory, and no file exists until a test provides it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "include/kestrum.h"
#include "owned_records.h"
#include "project_builder.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace {

using kestrum_test::BuildProject;
using kestrum_test::ProjectPtr;
using kestrum_test::ProjectShape;
using kestrum_test::ReportSlot;
using kestrum_test::TempDir;
using Names = std::vector<std::string>;

struct Arg {
  const char *name;
  const char *value;
  pm_ArgumentMode mode = PM_STRICT_INPUT;
  pm_ArgumentHide hide = 0;
};

using kestrum_test::ProcessPtr;

// Arguments named "" are appended under a placeholder name and then made
// nameless, since a list only accepts named nodes.
ProcessPtr MakeProcess(const char *name, const std::vector<Arg> &args) {
  pm_Process *process = pm_ProcessCreate(name, nullptr, nullptr, nullptr, nullptr, 0);
  for (const Arg &a : args) {
    bool nameless = std::string(a.name).empty();
    pm_Argument *argument = pm_ArgumentCreate(nameless ? "placeholder" : a.name, a.value, PM_RASTER, a.mode, a.hide);
    ReportSlot slot;
    pm_ProcessAppendArgument(process, argument, slot.out());
    EXPECT_TRUE(slot.empty()) << slot.text();
    if (nameless) {
      EXPECT_EQ(pm_ArgumentSetName(argument, nullptr, nullptr), 1);
    }
  }
  return ProcessPtr(process);
}

class ReadinessTest : public ::testing::Test {
 protected:
  void SetUp() override { Build(3); }

  void Build(int tiles) {
    shape_.tiles = tiles;
    shape_.data_dir = dir_.path();
    project_.reset(BuildProject(shape_));
  }

  // Creates the file that the data file of `type` at `owner_path` ("" the
  // project, "tile1", "tile1/sample2") points to.
  void Provide(const std::string &owner_path, const char *type) {
    dir_.Touch(owner_path.empty() ? type : owner_path + "/" + type);
  }
  void ProvideInTiles(const std::vector<int> &tiles, const char *type) {
    for (int t : tiles) Provide(kestrum_test::TileName(t), type);
  }
  void ProvideInAllSamples(const char *type) {
    for (int t = 1; t <= shape_.tiles; ++t)
      for (int s = 1; s <= shape_.samples_per_tile; ++s)
        Provide(kestrum_test::TileName(t) + "/" + kestrum_test::SampleName(s), type);
  }

  pm_Project *p() { return project_.get(); }
  pm_Tile *tile(int n) { return pm_TileFindByNumber(p()->tiles, n); }
  pm_Sample *sample(int t, int n) { return pm_SampleFindByNumber(tile(t)->samples, n); }

  // The answer at the node, with the slot checked to be empty: a process
  // that is merely not ready is no error.
  int Ready(pm_Process *process, void *node) {
    int ready = pm_IsProcessReady(p(), process, node, slot_.out());
    EXPECT_TRUE(slot_.empty()) << slot_.text();
    return ready;
  }

  TempDir dir_;
  ProjectShape shape_;
  ProjectPtr project_;
  ReportSlot slot_;
};

TEST_F(ReadinessTest, ProcessWithoutTestedInputsIsReadyEverywhere) {
  ProcessPtr none = MakeProcess("none", {});
  ProcessPtr hidden = MakeProcess("hidden", {{"in", "image", PM_STRICT_INPUT, 1}, {"p", "plot", PM_STRICT_INPUT, 1}});
  ProcessPtr outputs = MakeProcess("outputs", {{"o", "image", PM_STRICT_OUTPUT},
                                               {"e", "plot", PM_EDITABLE_OUTPUT},
                                               {"q", "mosaic", PM_OPTIONAL_OUTPUT},
                                               {"x", "nowhere", PM_STRICT_OUTPUT}});
  for (pm_Process *process : {none.get(), hidden.get(), outputs.get()})
    for (void *node : {static_cast<void *>(p()), static_cast<void *>(tile(1)), static_cast<void *>(sample(2, 2)),
                       static_cast<void *>(nullptr)})
      EXPECT_EQ(Ready(process, node), 1) << process->node.name;
}

TEST_F(ReadinessTest, ProjectLevelInputIsLookedUpInTheProjectFilesForEveryNode) {
  ProcessPtr process = MakeProcess("mosaicker", {{"in", "mosaic", PM_STRICT_INPUT}});
  EXPECT_EQ(Ready(process.get(), p()), 0);
  EXPECT_EQ(Ready(process.get(), tile(2)), 0);
  EXPECT_EQ(Ready(process.get(), sample(3, 1)), 0);
  Provide("", "mosaic");
  EXPECT_EQ(Ready(process.get(), p()), 1);
  EXPECT_EQ(Ready(process.get(), tile(2)), 1);
  EXPECT_EQ(Ready(process.get(), sample(3, 1)), 1);
  EXPECT_EQ(Ready(process.get(), nullptr), 1) << "a null node stands for the project";
}

TEST_F(ReadinessTest, TileInputAtTheProjectNeedsTheFileInEveryTile) {
  ProcessPtr process = MakeProcess("classify", {{"in", "image", PM_STRICT_INPUT}});
  ProvideInTiles({1, 3}, "image");
  EXPECT_EQ(Ready(process.get(), p()), 0) << "tile2 lacks the file";
  EXPECT_EQ(Ready(process.get(), tile(1)), 1);
  EXPECT_EQ(Ready(process.get(), tile(2)), 0);
  EXPECT_EQ(Ready(process.get(), sample(1, 2)), 1) << "a sample looks at its tile's files";
  EXPECT_EQ(Ready(process.get(), sample(2, 2)), 0);
  ProvideInTiles({2}, "image");
  EXPECT_EQ(Ready(process.get(), p()), 1);

  // A tile whose record of the kind is missing altogether.
  pm_FileDestroy(pm_FileFind(tile(2)->files, "image"));
  EXPECT_EQ(Ready(process.get(), p()), 0);
  EXPECT_EQ(Ready(process.get(), tile(2)), 0);
}

TEST_F(ReadinessTest, TileInputAtTheProjectWithoutTilesIsReady) {
  Build(0);
  ProcessPtr process = MakeProcess("classify", {{"in", "image", PM_STRICT_INPUT}, {"p", "plot", PM_STRICT_INPUT}});
  EXPECT_EQ(Ready(process.get(), p()), 1);
}

TEST_F(ReadinessTest, SampleInputNeedsEverySampleOfTheNode) {
  ProcessPtr process = MakeProcess("measure", {{"in", "plot", PM_STRICT_INPUT}});
  Provide("tile1/sample1", "plot");
  Provide("tile1/sample2", "plot");
  Provide("tile2/sample1", "plot");
  EXPECT_EQ(Ready(process.get(), tile(1)), 1);
  EXPECT_EQ(Ready(process.get(), tile(2)), 0);
  EXPECT_EQ(Ready(process.get(), sample(2, 1)), 1);
  EXPECT_EQ(Ready(process.get(), sample(2, 2)), 0);
  EXPECT_EQ(Ready(process.get(), p()), 0);
  ProvideInAllSamples("plot");
  EXPECT_EQ(Ready(process.get(), p()), 1);
  EXPECT_EQ(Ready(process.get(), tile(2)), 1);
}

TEST_F(ReadinessTest, FailedStrictInputEndsTheCheckBeforeLaterInputs) {
  ProcessPtr process =
      MakeProcess("chain", {{"a", "image", PM_STRICT_INPUT}, {"b", "no such kind", PM_STRICT_INPUT}});
  // The second input would be an error, but the first one already failed.
  EXPECT_EQ(Ready(process.get(), tile(1)), 0);
}

TEST_F(ReadinessTest, FileRecordWithoutAnExistingFileIsNotPresent) {
  ProcessPtr process = MakeProcess("classify", {{"in", "image", PM_STRICT_INPUT}});
  pm_FileSetDescriptor(pm_FileFind(tile(1)->files, "image"), nullptr);
  EXPECT_EQ(Ready(process.get(), tile(1)), 0);
  Provide("tile1", "image.tif");
  pm_FileSetDescriptor(pm_FileFind(tile(1)->files, "image"), dir_.Path("tile1/image.tif").c_str());
  EXPECT_EQ(Ready(process.get(), tile(1)), 1);
  pm_FileSetDescriptor(pm_FileFind(tile(1)->files, "image"), dir_.Path("tile1/image.tiff").c_str());
  EXPECT_EQ(Ready(process.get(), tile(1)), 0) << "the descriptor names no file";
}

TEST_F(ReadinessTest, SampleWithoutTileHasNoTileFiles) {
  ProcessPtr process = MakeProcess("classify", {{"in", "image", PM_STRICT_INPUT}});
  ProvideInTiles({1, 2, 3}, "image");
  pm_Sample *loose = pm_SampleCreate("loose");
  EXPECT_EQ(Ready(process.get(), loose), 0);
  pm_SampleDestroy(loose);
}

TEST_F(ReadinessTest, SpecialProcessNeedsOneOptionalInputSomewhere) {
  std::vector<Arg> args{{"in1", "image", PM_OPTIONAL_INPUT}, {"in2", "grid", PM_OPTIONAL_INPUT}};
  ProcessPtr unires = MakeProcess("UniRes", args);
  ProcessPtr finanal = MakeProcess("FINANAL", args);
  ProcessPtr other = MakeProcess("resample", args);
  EXPECT_EQ(Ready(unires.get(), p()), 0) << "neither input in any tile";
  EXPECT_EQ(Ready(finanal.get(), p()), 0);
  EXPECT_EQ(Ready(other.get(), p()), 1) << "other processes ignore optional inputs";
  EXPECT_EQ(Ready(unires.get(), tile(2)), 0);

  ProvideInTiles({2}, "grid");
  EXPECT_EQ(Ready(unires.get(), p()), 1) << "one input in one tile is enough";
  EXPECT_EQ(Ready(finanal.get(), p()), 1);
  EXPECT_EQ(Ready(unires.get(), tile(2)), 1);
  EXPECT_EQ(Ready(unires.get(), tile(1)), 0);
  EXPECT_EQ(Ready(unires.get(), sample(2, 1)), 1);

  ProvideInTiles({1, 2, 3}, "image");
  EXPECT_EQ(Ready(unires.get(), tile(1)), 1);
  EXPECT_EQ(Ready(unires.get(), p()), 1);
}

TEST_F(ReadinessTest, SpecialProcessStillNeedsItsStrictInputs) {
  ProcessPtr process = MakeProcess("unires", {{"opt", "plot", PM_OPTIONAL_INPUT}, {"in", "mosaic", PM_STRICT_INPUT}});
  Provide("tile1/sample1", "plot");
  EXPECT_EQ(Ready(process.get(), p()), 0) << "mosaic is missing";
  Provide("", "mosaic");
  EXPECT_EQ(Ready(process.get(), p()), 1);
  EXPECT_EQ(Ready(process.get(), tile(2)), 0) << "no sample of tile2 has the plot";
}

TEST_F(ReadinessTest, HiddenOptionalInputOfSpecialProcessCountsAsFound) {
  ProcessPtr process =
      MakeProcess("unires", {{"shown", "image", PM_OPTIONAL_INPUT}, {"hidden", "grid", PM_OPTIONAL_INPUT, 1}});
  EXPECT_EQ(Ready(process.get(), p()), 1);
}

TEST_F(ReadinessTest, InputOfAKindNoLevelDefinesIsAnError) {
  ProcessPtr process = MakeProcess("classify", {{"in", "unknown", PM_STRICT_INPUT}});
  EXPECT_EQ(pm_IsProcessReady(p(), process.get(), tile(1), slot_.out()), 0);
  EXPECT_EQ(slot_.messages(), (Names{"Error finding argument value", "Cannot find file type in any level"}));
  EXPECT_EQ(slot_.functions(), (Names{"pm_IsProcessReady", "pm_PFAFileFindLevel"}));
}

TEST_F(ReadinessTest, ExistenceTestThatCannotBeDecidedIsAnError) {
  // A link that points to itself cannot be resolved: whether the file exists
  // is unknown, which is not the same as absent.
  std::string loop = dir_.Path("loop");
  ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
  pm_FileSetDescriptor(pm_FileFind(tile(2)->files, "image"), loop.c_str());
  ProvideInTiles({1}, "image");
  ProcessPtr process = MakeProcess("classify", {{"in", "image", PM_STRICT_INPUT}});
  EXPECT_EQ(pm_IsProcessReady(p(), process.get(), p(), slot_.out()), 0);
  Names messages = slot_.messages();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Cannot check input file");
  EXPECT_EQ(messages[1], "Error check file existance for " + loop);
}

// Counts over many samples: every sample, in any tile and at any place (the
// places around 256 and 512, where a walk that gathers its files
// in batches turns), is counted once, and the first test that cannot be
// decided ends the count with its report wherever it lies.
TEST_F(ReadinessTest, LongSampleListsCountEveryPlaceOnce) {
  shape_.samples_per_tile = 260;
  Build(2);
  // Every sample's plot names one file, so that the test makes few files.
  const std::string present = dir_.Touch("present");
  const std::string missing = dir_.Path("missing");
  const std::string loop = dir_.Path("loop");
  ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
  for (int t : {1, 2})
    for (int n = 1; n <= shape_.samples_per_tile; ++n)
      pm_FileSetDescriptor(pm_FileFind(sample(t, n)->files, "plot"), present.c_str());
  ProcessPtr strict = MakeProcess("classify", {{"in", "plot", PM_STRICT_INPUT}});
  ProcessPtr special = MakeProcess("unires", {{"in", "plot", PM_OPTIONAL_INPUT}});
  EXPECT_EQ(Ready(strict.get(), p()), 1);
  for (int place : {1, 256, 257, 260}) {
    for (int t : {1, 2}) {
      SCOPED_TRACE("tile " + std::to_string(t) + ", sample " + std::to_string(place));
      pm_File *file = pm_FileFind(sample(t, place)->files, "plot");
      pm_FileSetDescriptor(file, missing.c_str());
      EXPECT_EQ(Ready(strict.get(), p()), 0);
      EXPECT_EQ(Ready(strict.get(), tile(t)), 0);
      EXPECT_EQ(Ready(strict.get(), tile(3 - t)), 1);
      EXPECT_EQ(Ready(special.get(), p()), 1);

      pm_FileSetDescriptor(file, loop.c_str());  // a file that cannot be tested
      EXPECT_EQ(pm_IsProcessReady(p(), strict.get(), p(), slot_.out()), 0);
      ASSERT_EQ(slot_.messages().size(), 4u) << slot_.text();
      EXPECT_EQ(slot_.messages()[1], "Error check file existance for " + loop);
      pm_FileSetDescriptor(file, present.c_str());
    }
  }
}

TEST_F(ReadinessTest, MissingProcessOrProjectIsReportedNotCrashed) {
  EXPECT_EQ(pm_IsProcessReady(p(), nullptr, p(), slot_.out()), 0);
  EXPECT_EQ(slot_.messages(), (Names{"No process supplied"}));
  ProcessPtr process = MakeProcess("classify", {{"in", "image", PM_STRICT_INPUT}});
  EXPECT_EQ(pm_IsProcessReady(nullptr, process.get(), tile(1), slot_.out()), 0);
  EXPECT_EQ(slot_.messages(), (Names{"No project supplied"}));
  EXPECT_EQ(slot_.functions(), (Names{"pm_IsProcessReady"}));
  EXPECT_EQ(pm_IsProcessReady(nullptr, process.get(), nullptr, nullptr), 0);
}

TEST_F(ReadinessTest, AskingChangesNothing) {
  kestrum_test::MarkAllUnchanged(p());
  ProcessPtr process = MakeProcess("unires", {{"a", "image", PM_OPTIONAL_INPUT}, {"b", "plot", PM_STRICT_INPUT}});
  Ready(process.get(), p());
  Ready(process.get(), tile(1));
  EXPECT_EQ(pm_ProjectDirty(p()), 0);
}

// The line and the slot of one call; the line is freed here.
std::string Line(const std::vector<Arg> &args, ReportSlot &slot, bool *is_null = nullptr) {
  ProcessPtr process = MakeProcess("run", args);
  char *line = pm_ProcessCommandLine(process.get(), slot.out());
  if (is_null) *is_null = line == nullptr;
  std::string text = line ? line : "";
  tk_HeapFree(line);
  return text;
}

// ---- command lines ------------------------------------------------------------------

TEST(CommandLine, EachShownArgumentAddsItsNameAndDollarValue) {
  ReportSlot slot;
  EXPECT_EQ(Line({{"in", "image"}, {"out", "result"}, {"log", "none"}}, slot), "in $image out $result log $none");
  EXPECT_TRUE(slot.empty());
}

TEST(CommandLine, HiddenArgumentsLeaveNoTrace) {
  ReportSlot slot;
  EXPECT_EQ(Line({{"secret", "key", PM_STRICT_INPUT, 1},
                  {"in", "image"},
                  {"tmp", "scratch", PM_STRICT_OUTPUT, 1},
                  {"out", "result"}},
                 slot),
            "in $image out $result");
}

TEST(CommandLine, ArgumentWithoutValueGivesItsNameAlone) {
  ReportSlot slot;
  EXPECT_EQ(Line({{"verbose", nullptr}}, slot), "verbose");
  EXPECT_EQ(Line({{"verbose", nullptr}, {"in", "image"}, {"quiet", nullptr}}, slot), "verbose in $image quiet");
  EXPECT_TRUE(slot.empty());
}

TEST(CommandLine, ArgumentWithoutNameGivesItsDollarValue) {
  ReportSlot slot;
  EXPECT_EQ(Line({{"in", "image"}, {"", "result"}}, slot), "in $image $result");
  EXPECT_EQ(Line({{"", "result"}, {"log", "none"}}, slot), "$result log $none") << "no blank before the first";
  EXPECT_TRUE(slot.empty());
}

TEST(CommandLine, NoContributingArgumentGivesNullWithoutReport) {
  ReportSlot slot;
  bool is_null = false;
  Line({{"secret", "key", PM_STRICT_INPUT, 1}, {"other", nullptr, PM_STRICT_INPUT, 1}}, slot, &is_null);
  EXPECT_TRUE(is_null);
  EXPECT_TRUE(slot.empty());
  Line({}, slot, &is_null);
  EXPECT_TRUE(is_null);
  Line({{"", nullptr}}, slot, &is_null);
  EXPECT_TRUE(is_null);
  EXPECT_TRUE(slot.empty());
}

TEST(CommandLine, NullProcessIsReported) {
  ReportSlot slot;
  EXPECT_EQ(pm_ProcessCommandLine(nullptr, slot.out()), nullptr);
  EXPECT_EQ(slot.messages(), (Names{"No process"}));
  EXPECT_EQ(slot.functions(), (Names{"pm_ProcessCommandLine"}));
}

// ---- data file and label file of a named process ---------------------------------------
//
// The builder's process "level<L>_process<N>" has arguments "in" (value
// image on level 1, plot on level 2, mosaic on level 0) and "out"; its label
// file is "level<L>_process<N>.lab".

class ProcessLookupTest : public ::testing::Test {
 protected:
  void SetUp() override { project_.reset(BuildProject()); }
  pm_Project *p() { return project_.get(); }
  pm_Tile *tile(int n) { return pm_TileFindByNumber(p()->tiles, n); }

  ProjectPtr project_;
  ReportSlot slot_;
};

TEST_F(ProcessLookupTest, FileIsTakenFromTheNodesOwnFiles) {
  pm_File *file = pm_FileGetFromProcessArg(p(), 1, "level1_process2", "in", tile(2), slot_.out());
  EXPECT_TRUE(slot_.empty()) << slot_.text();
  EXPECT_EQ(file, pm_FileFind(tile(2)->files, "image")) << "the record itself, not a copy";

  pm_Sample *sample = pm_SampleFindByNumber(tile(3)->samples, 2);
  EXPECT_EQ(pm_FileGetFromProcessArg(p(), 2, "level2_process1", "out", sample, slot_.out()),
            pm_FileFind(sample->files, "notes"));
  EXPECT_EQ(pm_FileGetFromProcessArg(p(), 0, "level0_process1", "in", p(), slot_.out()),
            pm_FileFind(p()->files, "mosaic"));
  EXPECT_EQ(pm_FileGetFromProcessArg(p(), 0, "level0_process1", "in", nullptr, slot_.out()),
            pm_FileFind(p()->files, "mosaic"));
  EXPECT_TRUE(slot_.empty());
}

TEST_F(ProcessLookupTest, LevelChoosesOnlyTheProcessList) {
  // A level 1 process asked at the project: the project has no "image" file.
  EXPECT_EQ(pm_FileGetFromProcessArg(p(), 1, "level1_process1", "in", p(), slot_.out()), nullptr);
  EXPECT_EQ(slot_.messages(), (Names{"Cannot find file \"image\" for root node"}));
  // The same message for a tile that lacks the file.
  pm_FileDestroy(pm_FileFind(tile(1)->files, "image"));
  EXPECT_EQ(pm_FileGetFromProcessArg(p(), 1, "level1_process1", "in", tile(1), slot_.out()), nullptr);
  EXPECT_EQ(slot_.messages(), (Names{"Cannot find file \"image\" for root node"}));
  EXPECT_EQ(slot_.functions(), (Names{"pm_FileGetFromProcessArg"}));
}

TEST_F(ProcessLookupTest, EachMissingStepHasItsReport) {
  EXPECT_EQ(pm_FileGetFromProcessArg(p(), 3, "level1_process1", "in", tile(1), slot_.out()), nullptr);
  EXPECT_EQ(slot_.messages(), (Names{"Cannot find process list for level 3"}));
  EXPECT_EQ(pm_FileGetFromProcessArg(p(), 1, "nothing", "in", tile(1), slot_.out()), nullptr);
  EXPECT_EQ(slot_.messages(), (Names{"Cannot find required process \"nothing\""}));
  EXPECT_EQ(pm_FileGetFromProcessArg(p(), 1, "level1_process1", "gone", tile(1), slot_.out()), nullptr);
  EXPECT_EQ(slot_.messages(), (Names{"Cannot find required argument \"gone\" of process \"level1_process1\""}));
  pm_ArgumentSetValue(pm_ProcessFind(p()->process_lists->lists[1], "level1_process1")->arguments, nullptr);
  EXPECT_EQ(pm_FileGetFromProcessArg(p(), 1, "level1_process1", "in", tile(1), slot_.out()), nullptr);
  EXPECT_EQ(slot_.messages(), (Names{"Value not set for argument \"in\" of process \"level1_process1\""}));
  EXPECT_EQ(pm_FileGetFromProcessArg(nullptr, 1, "level1_process1", "in", tile(1), slot_.out()), nullptr);
  EXPECT_EQ(slot_.messages(), (Names{"No project supplied"}));

  pm_ProcessDestroyList(p()->process_lists->lists[2]);
  p()->process_lists->lists[2] = nullptr;
  EXPECT_EQ(pm_FileGetFromProcessArg(p(), 2, "level2_process1", "in", tile(1), slot_.out()), nullptr);
  EXPECT_EQ(slot_.messages(), (Names{"Cannot find process list for level 2"}));
}

TEST_F(ProcessLookupTest, LabelFileIsAFreshCopy) {
  char *labels = pm_LabelFileGetFromProcess(p(), 2, "level2_process2", slot_.out());
  ASSERT_NE(labels, nullptr) << slot_.text();
  pm_Process *process = pm_ProcessFind(p()->process_lists->lists[2], "level2_process2");
  EXPECT_STREQ(labels, process->labels);
  EXPECT_NE(labels, process->labels);
  tk_HeapFree(labels);

  pm_ProcessSetLabels(process, nullptr);
  EXPECT_EQ(pm_LabelFileGetFromProcess(p(), 2, "level2_process2", slot_.out()), nullptr);
  EXPECT_TRUE(slot_.empty()) << "no label file is no error";

  EXPECT_EQ(pm_LabelFileGetFromProcess(p(), -1, "level2_process2", slot_.out()), nullptr);
  EXPECT_EQ(slot_.messages(), (Names{"Cannot find process list for level -1"}));
  EXPECT_EQ(pm_LabelFileGetFromProcess(p(), 2, "level1_process2", slot_.out()), nullptr);
  EXPECT_EQ(slot_.messages(), (Names{"Cannot find required process \"level1_process2\""}));
  EXPECT_EQ(pm_LabelFileGetFromProcess(nullptr, 2, "level2_process2", slot_.out()), nullptr);
  EXPECT_EQ(slot_.messages(), (Names{"No project supplied"}));
  EXPECT_EQ(slot_.functions(), (Names{"pm_LabelFileGetFromProcess"}));
}

}  // namespace
