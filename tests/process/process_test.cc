// Process and argument records: defaults, accessors, attaching arguments and
// what destroying them does to their process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "owned_records.h"
#include "report_slot.h"
#include "tree_helpers.h"

namespace {

using namespace kestrum_test;
using Texts = std::vector<std::string>;

// A process with arguments of the given names (each its own value) attached.
pm_Process *ProcessWith(const char *name, std::initializer_list<const char *> argument_names) {
  pm_Process *process = pm_ProcessCreate(name, nullptr, nullptr, nullptr, nullptr, 1);
  for (const char *arg : argument_names) {
    ReportSlot slot;
    pm_ProcessAppendArgument(process, pm_ArgumentCreate(arg, arg, 0, 0, 0), slot.out());
    EXPECT_TRUE(slot.empty()) << slot.text();
  }
  return process;
}

TEST(Process, ClearReleasesEverythingAndInitializeRestoresDefaults) {
  ProcessPtr process(ProcessWith("p", {"in", "out"}));
  pm_ProcessSetTitle(process.get(), "Classify");
  pm_ProcessSetOutput(process.get(), 0);
  pm_ProcessClear(process.get());
  pm_ProcessClear(process.get());  // a second clear finds nothing left to free
  SetState(process.get(), kClean);
  pm_ProcessInitialize(process.get());
  EXPECT_EQ(pm_ProcessGetOutput(process.get()), 1);
  EXPECT_EQ(pm_ProcessGetTitle(process.get()), nullptr);
  EXPECT_EQ(StateOf(process.get()), kChanged);
  EXPECT_EQ(process->arguments, nullptr);
}

TEST(ProcessAppendArgument, AttachesWithoutMarkingAndRefusesDuplicateLeavingBothAsTheyWere) {
  ProcessPtr process(ProcessWith("p", {"in", "out"}));
  SetState(process.get(), kClean);
  pm_Argument *head = process->arguments;
  EXPECT_EQ(pm_ArgumentFind(head, "out")->node.parent, &process->node);
  EXPECT_EQ(StateOf(process.get()), kClean);
  ArgumentPtr duplicate(pm_ArgumentCreate("in", "other", 0, 0, 0));
  ReportSlot slot;
  pm_ProcessAppendArgument(process.get(), duplicate.get(), slot.out());
  EXPECT_EQ(slot.messages(), (Texts{"Error appending argument in to process p", "Error appending argument in",
                                    "Name \"in\" already in use, please use another name"}));
  EXPECT_EQ(slot.functions(), (Texts{"pm_ProcessAppendArgument", "pm_ArgumentAppend", "pm_NodeAppend"}));
  EXPECT_EQ(process->arguments, head);
  EXPECT_EQ(NamesOf(process->arguments), (Texts{"in", "out"}));
  EXPECT_TRUE(IsDetached(duplicate.get()));

  pm_ProcessAppendArgument(nullptr, duplicate.get(), slot.out());
  pm_ProcessAppendArgument(process.get(), nullptr, slot.out());
  EXPECT_TRUE(slot.empty());
  EXPECT_TRUE(IsDetached(duplicate.get()));
}

TEST(ArgumentDestroy, KeepsTheProcessListPointerValidAndMarksTheProcess) {
  ProcessPtr process(ProcessWith("p", {"a", "b", "c"}));
  SetState(process.get(), kClean);
  pm_Argument *rest = pm_ArgumentDestroy(process->arguments);
  EXPECT_EQ(StateOf(process.get()), kChanged);
  EXPECT_EQ(process->arguments, rest);
  pm_ArgumentDestroy(pm_ArgumentFind(process->arguments, "c"));
  EXPECT_EQ(NamesOf(process->arguments), (Texts{"b"}));
  EXPECT_EQ(pm_ArgumentDestroy(process->arguments), nullptr);
  EXPECT_EQ(process->arguments, nullptr);
}

TEST(ArgumentFindByValue, EarliestProcessThenEarliestArgumentWins) {
  pm_Process *first = ProcessWith("first", {});
  pm_ProcessAppendArgument(first, pm_ArgumentCreate("a1", "roads", 0, 0, 0), nullptr);
  pm_ProcessAppendArgument(first, pm_ArgumentCreate("a2", "dem", 0, 0, 0), nullptr);
  pm_ProcessAppendArgument(first, pm_ArgumentCreate("a3", "dem", 0, 0, 0), nullptr);
  pm_Process *second = ProcessWith("second", {});
  pm_ProcessAppendArgument(second, pm_ArgumentCreate("b1", "roads", 0, 0, 0), nullptr);
  pm_ProcessAppendArgument(second, pm_ArgumentCreate("b2", "ortho", 0, 0, 0), nullptr);
  ProcessPtr list(pm_ProcessAppend(pm_ProcessAppend(nullptr, first, nullptr), second, nullptr));

  auto found = [](pm_Process *from, const char *value) {
    return TakeText(pm_ArgumentGetName(pm_ArgumentFindByValue(from, value)));
  };
  EXPECT_EQ(found(second, "roads"), "a1") << "the search starts at the list's first process";
  EXPECT_EQ(found(list.get(), "dem"), "a2");
  EXPECT_EQ(found(list.get(), "ortho"), "b2");
  EXPECT_EQ(found(list.get(), "Roads"), "<null>");
  EXPECT_EQ(pm_ArgumentFindByValue(list.get(), nullptr), nullptr);
  EXPECT_EQ(pm_ArgumentFindByValue(nullptr, "dem"), nullptr);
}

}  // namespace
