// Appending with unique names: what is linked, what is refused, the report
// chain of a refusal, and what an append leaves unmarked.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "list_kinds.h"
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

// What a list is made of: each node with its name, links and parent.
std::string LinksOf(const pm_Node *first) {
  std::string links;
  char line[160];
  for (const pm_Node *n = first; n; n = n->next) {
    std::snprintf(line, sizeof line, "%p %s next %p prev %p parent %p\n", static_cast<const void *>(n),
                  n->name ? n->name : "<none>", static_cast<const void *>(n->next), static_cast<const void *>(n->prev),
                  static_cast<const void *>(n->parent));
    links += line;
  }
  return links;
}

// A node still linked into a list (or still owned) must not be spliced into
// another: for every kind, appending a node that sits anywhere in a list of
// any length to a second list of its kind is refused with a report, and both
// lists stay exactly as they were. The name check comes first: when the
// target list already holds the name (its own list always does), the
// refusal is the name's, as it always was. The
// owners are destroyed at the end, so a list left sharing nodes shows up as
// a double free in the sanitizer build.
TEST(NodeAppend, NodeStillInAListIsRefusedAndBothListsStayAsTheyWere) {
  std::mt19937 random(1313);
  int refusals = 0;
  for (int round = 0; round < 400; ++round) {
    ListKind kind = kAllListKinds[random() % std::size(kAllListKinds)];
    auto from = MakeListHolder(kind, "A");
    auto to = MakeListHolder(kind, "B");
    // Lists of 1 to 40 nodes, so that long lists (indexed) and short ones
    // (walked) both take part; the first appends also fill the indexes.
    int from_length = 1 + static_cast<int>(random() % 40);
    int to_length = static_cast<int>(random() % 40);
    for (int i = 0; i < from_length; ++i) from->append(from->create(("n" + std::to_string(i)).c_str()), nullptr);
    for (int i = 0; i < to_length; ++i) to->append(to->create(("m" + std::to_string(i)).c_str()), nullptr);
    pm_Node *moving = from->first();
    for (int steps = static_cast<int>(random() % from_length); steps > 0; --steps) moving = moving->next;
    // A process or PFA file alone in its list has neither links nor a
    // parent: nothing tells it from a detached node.
    bool unowned = kind == ListKind::kPFAFiles || kind == ListKind::kProcesses;
    if (unowned && from_length == 1) continue;
    // Sometimes into its own list, sometimes next to a node of its name.
    bool own = random() % 8 == 0;
    bool twin = own || random() % 4 == 0;
    if (twin && !own) to->append(to->create(moving->name), nullptr);
    ListHolder &target = own ? *from : *to;

    const std::string name = moving->name;
    const auto from_before = LinksOf(from->first());
    const auto to_before = LinksOf(to->first());
    ReportSlot slot;
    target.append(moving, slot.out());
    SCOPED_TRACE(std::string(ListKindName(kind)) + " round " + std::to_string(round));
    EXPECT_EQ(LinksOf(from->first()), from_before);
    EXPECT_EQ(LinksOf(to->first()), to_before);
    Strings expected = target.refusal(name);
    expected.push_back(twin ? "Name \"" + name + "\" already in use, please use another name"
                            : "Node \"" + name + "\" is still in a list; remove it first");
    EXPECT_EQ(slot.messages(), expected);
    ASSERT_FALSE(slot.functions().empty());
    EXPECT_EQ(slot.functions().back(), "pm_NodeAppend");
    ++refusals;
  }
  EXPECT_GT(refusals, 300);
}

}  // namespace
}  // namespace kestrum_test
