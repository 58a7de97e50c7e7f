// Copies of arguments and processes, and building a process with its
// arguments in one call.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "owned_records.h"
#include "report_slot.h"
#include "temp_dir.h"
#include "tree_helpers.h"

namespace {

using namespace kestrum_test;
using Texts = std::vector<std::string>;
namespace fs = std::filesystem;

const char *const kNoMore = nullptr;  // ends the argument groups

pm_Process *TwoArgumentProcess(const char *name) {
  pm_Process *process = pm_ProcessCreate(name, "Title", "p.txt", "l.txt", "_s", 0);
  pm_ProcessAppendArgument(process, pm_ArgumentCreate("in", "dem", PM_RASTER, PM_STRICT_INPUT, 0), nullptr);
  pm_ProcessAppendArgument(process, pm_ArgumentCreate("out", "class", PM_VECTOR, PM_STRICT_OUTPUT, 1), nullptr);
  return process;
}

pm_Process *ListOf(std::initializer_list<pm_Process *> processes) {
  pm_Process *list = nullptr;
  for (pm_Process *p : processes) list = pm_ProcessAppend(list, p, nullptr);
  return list;
}

TEST(ArgumentCopyList, CopiesWholeListInOrderAsParentlessChangedRecords) {
  ProcessPtr process(TwoArgumentProcess("p"));
  for (pm_Node *a = &process->arguments->node; a; a = a->next) SetState(a, kClean);
  ReportSlot slot;
  ArgumentPtr copies(pm_ArgumentCopyList(pm_ArgumentFind(process->arguments, "out"), slot.out()));
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(NamesOf(copies.get()), (Texts{"in", "out"}));
  pm_Argument *out = pm_ArgumentFind(copies.get(), "out");
  EXPECT_EQ(TakeText(pm_ArgumentGetValue(out)), "class");
  EXPECT_EQ(pm_ArgumentGetType(out) * 100 + pm_ArgumentGetMode(out) * 10 + pm_ArgumentGetHide(out), 111);
  EXPECT_EQ(StateOf(out), kChanged);
  EXPECT_EQ(copies->node.parent, nullptr);
  EXPECT_EQ(out->node.parent, nullptr);
  SetState(process.get(), kClean);
  pm_ArgumentDestroy(out);
  EXPECT_EQ(StateOf(process.get()), kClean) << "a copy does not belong to the source's process";
  EXPECT_EQ(pm_ArgumentCopyList(nullptr, slot.out()), nullptr);
  EXPECT_EQ(pm_ArgumentCopy(nullptr), nullptr);
}

TEST(ProcessCopy, CopiesFieldsAndArgumentsThatBelongToTheCopy) {
  ProcessPtr source(TwoArgumentProcess("p"));
  ProcessPtr copy(pm_ProcessCopy(source.get(), nullptr));
  ASSERT_TRUE(copy);
  pm_ProcessSetTitle(source.get(), "changed");
  pm_ArgumentSetValue(source->arguments, "changed");
  EXPECT_EQ(TakeText(pm_ProcessGetTitle(copy.get())), "Title");
  EXPECT_EQ(TakeText(pm_ProcessGetLabels(copy.get())), "l.txt");
  EXPECT_EQ(pm_ProcessGetOutput(copy.get()), 0);
  EXPECT_EQ(NamesOf(copy->arguments), (Texts{"in", "out"}));
  EXPECT_EQ(TakeText(pm_ArgumentGetValue(copy->arguments)), "dem");
  EXPECT_TRUE(IsDetached(copy.get()));
  EXPECT_EQ(pm_ProcessCopy(nullptr, nullptr), nullptr);

  // Regression: the copy's arguments had no parent, so destroying its first
  // argument left the copy's argument list pointer dangling.
  SetState(copy.get(), kClean);
  pm_ArgumentDestroy(copy->arguments);
  EXPECT_EQ(StateOf(copy.get()), kChanged);
  EXPECT_EQ(NamesOf(copy->arguments), (Texts{"out"}));
}

TEST(ProcessCopy, ArgumentCopyFailureStillReturnsTheProcessWithWhatWasCopied) {
  ProcessPtr source(TwoArgumentProcess("p"));
  ForceName(pm_ArgumentFind(source->arguments, "out"), "in");  // a list the API would refuse
  ReportSlot slot;
  ProcessPtr copy(pm_ProcessCopy(source.get(), slot.out()));
  ASSERT_TRUE(copy);
  EXPECT_EQ(NamesOf(copy->arguments), (Texts{"in"}));
  EXPECT_EQ(slot.messages(), (Texts{"Error copying argument list for process p", "Error appending copy of argument in to list",
                                    "Error appending argument in", "Name \"in\" already in use, please use another name"}));
}

TEST(ProcessCopyList, CopiesEveryProcessInOrder) {
  ProcessPtr list(ListOf({TwoArgumentProcess("a"), TwoArgumentProcess("b")}));
  ReportSlot slot;
  ProcessPtr copies(pm_ProcessCopyList(pm_ProcessFind(list.get(), "b"), slot.out()));
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_EQ(NamesOf(copies.get()), (Texts{"a", "b"}));
  EXPECT_NE(copies.get(), list.get());
  EXPECT_EQ(NamesOf(pm_ProcessFind(copies.get(), "b")->arguments), (Texts{"in", "out"}));
  EXPECT_EQ(pm_ProcessCopyList(nullptr, slot.out()), nullptr);
}

TEST(ProcessCopyList, StopsAtAFailedCopyOrAppendAndLeavesItOut) {
  pm_Process *broken = TwoArgumentProcess("b");
  ForceName(pm_ArgumentFind(broken->arguments, "out"), "in");
  ProcessPtr list(ListOf({TwoArgumentProcess("a"), broken, TwoArgumentProcess("c")}));
  ReportSlot slot;
  ProcessPtr copies(pm_ProcessCopyList(list.get(), slot.out()));
  EXPECT_EQ(NamesOf(copies.get()), (Texts{"a"}));
  ASSERT_GE(slot.messages().size(), 2u);
  EXPECT_EQ(slot.messages()[0], "Error copying process b");
  EXPECT_EQ(slot.messages()[1], "Error copying argument list for process b");

  ForceName(pm_ArgumentFindByNumber(broken->arguments, 2), "out");  // copies again, but under a taken name
  ForceName(broken, "a");
  ProcessPtr again(pm_ProcessCopyList(list.get(), slot.out()));
  EXPECT_EQ(NamesOf(again.get()), (Texts{"a"}));
  EXPECT_EQ(slot.messages(), (Texts{"Error appending copy of process a to list", "Error appending process a",
                                    "Name \"a\" already in use, please use another name"}));
}

TEST(ProcessVaCreate, JoinsFilesToTheDirectoryAndAttachesGroupsInOrder) {
  TempDir dir;
  const std::string params_dir = dir.Path("params");
  ReportSlot slot;
  ProcessPtr process(pm_ProcessVaCreate("classify", "Classify", params_dir.c_str(), "c.par", "c.lab", "_c", 1,
                                        slot.out(), "in", "dem", PM_RASTER, PM_STRICT_INPUT, 0, "out", nullptr,
                                        PM_VECTOR, PM_STRICT_OUTPUT, 1, kNoMore));
  ASSERT_TRUE(process);
  EXPECT_TRUE(slot.empty()) << slot.text();
  EXPECT_TRUE(fs::is_directory(params_dir));
  EXPECT_EQ(TakeText(pm_ProcessGetParams(process.get())), params_dir + "/c.par");
  EXPECT_EQ(TakeText(pm_ProcessGetLabels(process.get())), params_dir + "/c.lab");
  EXPECT_EQ(NamesOf(process->arguments), (Texts{"in", "out"}));
  pm_Argument *out = pm_ArgumentFind(process->arguments, "out");
  EXPECT_EQ(pm_ArgumentGetValue(out), nullptr);
  EXPECT_EQ(pm_ArgumentGetType(out) * 100 + pm_ArgumentGetMode(out) * 10 + pm_ArgumentGetHide(out), 111);
  EXPECT_EQ(out->node.parent, &process->node);
}

TEST(ProcessVaCreate, NullDirectoryOrFileNameLeavesThatPathNull) {
  TempDir dir;
  ReportSlot slot;
  ProcessPtr no_dir(pm_ProcessVaCreate("p", nullptr, nullptr, "c.par", "c.lab", nullptr, 1, slot.out(), kNoMore));
  ASSERT_TRUE(no_dir);
  EXPECT_EQ(pm_ProcessGetParams(no_dir.get()), nullptr);
  EXPECT_EQ(pm_ProcessGetLabels(no_dir.get()), nullptr);
  EXPECT_EQ(no_dir->arguments, nullptr);
  ProcessPtr no_labels(pm_ProcessVaCreate("p", nullptr, dir.path().c_str(), "c.par", nullptr, nullptr, 1, slot.out(), kNoMore));
  ASSERT_TRUE(no_labels);
  EXPECT_EQ(TakeText(pm_ProcessGetParams(no_labels.get())), dir.path() + "/c.par");
  EXPECT_EQ(pm_ProcessGetLabels(no_labels.get()), nullptr);
  EXPECT_TRUE(slot.empty());
}

// The refused second "in" is released by the call (the leak check sees it).
TEST(ProcessVaCreate, DuplicateArgumentNameStopsTheGroupsAndKeepsTheFirst) {
  ReportSlot slot;
  ProcessPtr process(pm_ProcessVaCreate("p", nullptr, nullptr, nullptr, nullptr, nullptr, 1, slot.out(), "in", "dem",
                                        0, 0, 0, "in", "ortho", 0, 0, 0, "later", "x", 0, 0, 0, kNoMore));
  ASSERT_TRUE(process);
  EXPECT_EQ(NamesOf(process->arguments), (Texts{"in"}));
  EXPECT_EQ(TakeText(pm_ArgumentGetValue(process->arguments)), "dem");
  ASSERT_GE(slot.messages().size(), 2u);
  EXPECT_EQ(slot.messages()[0], "Error adding argument to process");
  EXPECT_EQ(slot.messages()[1], "Error appending argument in to process p");
}

TEST(ProcessVaCreate, UnusableDirectoryGivesNull) {
  TempDir dir;
  const std::string plain = dir.Touch("plain");
  ReportSlot slot;
  EXPECT_EQ(pm_ProcessVaCreate("p", nullptr, plain.c_str(), "c.par", "c.lab", nullptr, 1, slot.out(), kNoMore), nullptr);
  EXPECT_EQ(slot.functions(), (Texts{"pm_ProcessVaCreate", "pm_DirectoryCat", "pm_DirectoryCreate"}));
  EXPECT_EQ(slot.messages()[0], "Error creating parameter file name");
}

}  // namespace
