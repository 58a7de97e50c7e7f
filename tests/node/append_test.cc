// Appending with unique names: what is linked, what is refused, the report
// chain of a refusal, and what an append leaves unmarked.
#include <gtest/gtest.h>

#include "report_slot.h"
#include "tree_helpers.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

TEST(NodeAppend, FirstNodeBecomesTheWholeList) {
  TilePtr tile(pm_TileCreate("T"));
  pm_Sample *sample = pm_SampleCreate("s1");
  ReportSlot slot;
  pm_TileAppendSample(tile.get(), sample, slot.out());
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(tile->samples, sample);
  EXPECT_EQ(sample->node.parent, &tile->node);
  EXPECT_EQ(pm_SampleGetNumber(sample), 1);
  EXPECT_EQ(pm_SampleGetPosition(sample), 1);
}

TEST(NodeAppend, NewNodesGoToTheEndAndTheOwnerKeepsTheFirst) {
  TilePtr tile(TileWithSamples("T", {"s1", "s2", "s3"}));
  EXPECT_EQ(NamesOf(tile->samples), (Strings{"s1", "s2", "s3"}));
  EXPECT_EQ(tile->samples->node.prev, nullptr);
  for (pm_Node *n = &tile->samples->node; n; n = n->next) EXPECT_EQ(n->parent, &tile->node);
}

TEST(NodeAppend, DuplicateNameIsRefusedWithThreeChainedReports) {
  TilePtr tile(TileWithSamples("T", {"s1", "s2"}));
  pm_Sample *first = tile->samples;
  SamplePtr twin(pm_SampleCreate("s2"));
  ReportSlot slot;
  pm_TileAppendSample(tile.get(), twin.get(), slot.out());

  EXPECT_EQ(slot.messages(), (Strings{"Cannot append sample s2 to tile T", "Error appending sample s2",
                                      "Name \"s2\" already in use, please use another name"}));
  EXPECT_EQ(slot.functions(), (Strings{"pm_TileAppendSample", "pm_SampleAppend", "pm_NodeAppend"}));
  EXPECT_EQ(slot.severities(), (std::vector<int>{1, 1, 1}));
  // The owner keeps exactly the list it had; the refused node stays the
  // caller's, detached.
  EXPECT_EQ(tile->samples, first);
  EXPECT_EQ(NamesOf(tile->samples), (Strings{"s1", "s2"}));
  EXPECT_TRUE(IsDetached(twin.get()));
}

TEST(NodeAppend, NamesThatDifferOnlyInCaseAreDifferentNames) {
  TilePtr tile(TileWithSamples("T", {"Sample1"}));
  ReportSlot slot;
  pm_TileAppendSample(tile.get(), pm_SampleCreate("sample1"), slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(NamesOf(tile->samples), (Strings{"Sample1", "sample1"}));
  EXPECT_EQ(pm_SampleFind(tile->samples, "sample1"), pm_SampleFindByNumber(tile->samples, 2));
  EXPECT_EQ(pm_SampleFind(tile->samples, "SAMPLE1"), nullptr);
}

TEST(NodeAppend, NamelessNodeIsNeitherLinkedNorReported) {
  TilePtr tile(TileWithSamples("T", {"s1"}));
  pm_Sample *first = tile->samples;
  SamplePtr nameless(pm_SampleCreate(nullptr));
  ReportSlot slot;
  pm_TileAppendSample(tile.get(), nameless.get(), slot.out());
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(tile->samples, first);
  EXPECT_EQ(pm_SampleGetNumber(tile->samples), 1);
  // Not linked, so it must not claim the tile as its parent either.
  EXPECT_TRUE(IsDetached(nameless.get()));
}

TEST(NodeAppend, NullOwnerOrNodeDoesNothing) {
  TilePtr tile(pm_TileCreate("T"));
  SamplePtr sample(pm_SampleCreate("s"));
  ReportSlot slot;
  pm_TileAppendSample(nullptr, sample.get(), slot.out());
  EXPECT_TRUE(slot.empty());
  EXPECT_TRUE(IsDetached(sample.get()));
  pm_TileAppendSample(tile.get(), nullptr, slot.out());
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(tile->samples, nullptr);
}

TEST(NodeAppend, MarksNeitherTheOwnerNorTheNode) {
  TilePtr tile(pm_TileCreate("T"));
  SetState(tile.get(), kClean);
  pm_Sample *sample = pm_SampleCreate("s");
  pm_TileAppendSample(tile.get(), sample, nullptr);
  EXPECT_EQ(StateOf(tile.get()), kClean);
  EXPECT_EQ(StateOf(sample), kChanged);  // dirty since its creation

  SetState(sample, kClean);
  pm_TileAppendFile(tile.get(), pm_FileCreate("image", nullptr, 0, nullptr, nullptr), nullptr);
  pm_SampleAppendFile(sample, pm_FileCreate("plot", nullptr, 0, nullptr, nullptr), nullptr);
  EXPECT_EQ(StateOf(tile.get()), kClean);
  EXPECT_EQ(StateOf(sample), kClean);
}

// A refusal reported into a null slot must still free its whole chain (the
// sanitizer build reports a leak otherwise) and change nothing.
TEST(NodeAppend, RefusalIntoANullSlotChangesNothing) {
  TilePtr tile(TileWithSamples("T", {"s1"}));
  SamplePtr twin(pm_SampleCreate("s1"));
  pm_TileAppendSample(tile.get(), twin.get(), nullptr);
  EXPECT_EQ(pm_SampleGetNumber(tile->samples), 1);
  EXPECT_TRUE(IsDetached(twin.get()));
}

// The slot is cleared on entry: a report the caller left there from an
// earlier call must not look like a failure of this one.
TEST(NodeAppend, SuccessClearsAReportLeftInTheSlot) {
  TilePtr tile(TileWithSamples("T", {"s1"}));
  SamplePtr twin(pm_SampleCreate("s1"));
  tk_ErrorReport *earlier = nullptr;
  pm_TileAppendSample(tile.get(), twin.get(), &earlier);
  ASSERT_NE(earlier, nullptr);
  tk_ErrorReport *slot = earlier;
  pm_TileAppendSample(tile.get(), pm_SampleCreate("s2"), &slot);
  EXPECT_EQ(slot, nullptr);
  tk_ErrorReportDelete(&earlier);
}

TEST(NodeAppend, MovingANodeKeepsItsContentsAndState) {
  TilePtr from(TileWithSamples("A", {"s1", "s2"}));
  TilePtr to(TileWithSamples("B", {"s9"}));
  pm_Sample *moving = pm_SampleFind(from->samples, "s1");
  pm_SampleAppendFile(moving, pm_FileCreate("plot", "p", 0, nullptr, nullptr), nullptr);
  pm_SampleSetAutomatic(moving, 1);
  SetState(moving, kClean);

  pm_SampleRemove(moving);
  ReportSlot slot;
  pm_TileAppendSample(to.get(), moving, slot.out());
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(NamesOf(from->samples), (Strings{"s2"}));
  EXPECT_EQ(NamesOf(to->samples), (Strings{"s9", "s1"}));
  EXPECT_EQ(moving->node.parent, &to->node);
  EXPECT_EQ(StateOf(moving), kClean);
  EXPECT_EQ(pm_SampleGetAutomatic(moving), 1);
  EXPECT_EQ(NamesOf(moving->files), (Strings{"plot"}));
}

}  // namespace
}  // namespace kestrum_test
