// The shared operations as the processing model's kinds see them: PFA files,
// processes and arguments, whose lists the host holds itself.
#include <gtest/gtest.h>

#include "report_slot.h"
#include "tree_helpers.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;

pm_Process *NewProcess(const char *name) { return pm_ProcessCreate(name, nullptr, nullptr, nullptr, nullptr, 0); }
pm_Argument *NewArgument(const char *name) { return pm_ArgumentCreate(name, "image", PM_RASTER, PM_STRICT_INPUT, 0); }

TEST(OtherKinds, KindIsNoneForEveryProcessingRecord) {
  pm_PFAFile *pfa = pm_PFAFileCreate("image", PM_RASTER);
  pm_Process *process = NewProcess("p");
  pm_Argument *argument = NewArgument("a");
  EXPECT_EQ(pm_NodeGetType(pfa), PM_KIND_NONE);
  EXPECT_EQ(pm_NodeGetType(process), PM_KIND_NONE);
  EXPECT_EQ(pm_NodeGetType(argument), PM_KIND_NONE);
  pm_PFAFileDestroy(pfa);
  pm_ProcessDestroy(process);
  pm_ArgumentDestroy(argument);
}

TEST(OtherKinds, PFAFileAppendRefusesDuplicateWithTwoReports) {
  pm_PFAFile *list = pm_PFAFileAppend(nullptr, pm_PFAFileCreate("image", PM_RASTER), nullptr);
  pm_PFAFile *twin = pm_PFAFileCreate("image", PM_VECTOR);
  ReportSlot slot;
  EXPECT_EQ(pm_PFAFileAppend(list, twin, slot.out()), list);
  EXPECT_EQ(slot.messages(),
            (Strings{"Error appending pfa_file image", "Name \"image\" already in use, please use another name"}));
  EXPECT_EQ(slot.functions(), (Strings{"pm_PFAFileAppend", "pm_NodeAppend"}));
  EXPECT_TRUE(IsDetached(twin));
  EXPECT_EQ(pm_PFAFileGetNumber(list), 1);
  pm_PFAFileDestroy(twin);
  pm_PFAFileDestroyList(list);
}

TEST(OtherKinds, ProcessAppendLinksWithoutAParentAndRefusesDuplicates) {
  pm_Process *list = pm_ProcessAppend(nullptr, NewProcess("p1"), nullptr);
  list = pm_ProcessAppend(list, NewProcess("p2"), nullptr);
  EXPECT_EQ(NamesOf(list), (Strings{"p1", "p2"}));
  EXPECT_EQ(pm_ProcessFindByNumber(list, 2)->node.parent, nullptr);

  pm_Process *twin = NewProcess("p2");
  ReportSlot slot;
  EXPECT_EQ(pm_ProcessAppend(list, twin, slot.out()), list);
  EXPECT_EQ(slot.messages(),
            (Strings{"Error appending process p2", "Name \"p2\" already in use, please use another name"}));
  EXPECT_EQ(slot.functions(), (Strings{"pm_ProcessAppend", "pm_NodeAppend"}));
  pm_ProcessDestroy(twin);
  pm_ProcessDestroyList(list);
}

TEST(OtherKinds, ArgumentAppendChainsTheArgumentStepReport) {
  pm_Process *process = NewProcess("p");
  pm_ProcessAppendArgument(process, NewArgument("in"), nullptr);
  pm_Argument *twin = NewArgument("in");
  ReportSlot slot;
  pm_ProcessAppendArgument(process, twin, slot.out());
  Strings messages = slot.messages();
  ASSERT_EQ(messages.size(), 3u) << slot.text();
  EXPECT_EQ(messages[1], "Error appending argument in");
  EXPECT_EQ(messages[2], "Name \"in\" already in use, please use another name");
  EXPECT_EQ(slot.functions(), (Strings{"pm_ProcessAppendArgument", "pm_ArgumentAppend", "pm_NodeAppend"}));
  EXPECT_EQ(pm_ArgumentGetNumber(process->arguments), 1);
  pm_ArgumentDestroy(twin);
  pm_ProcessDestroy(process);
}

TEST(OtherKinds, RenameReportsNameTheKind) {
  pm_PFAFile *pfas = pm_PFAFileAppend(nullptr, pm_PFAFileCreate("image", PM_RASTER), nullptr);
  pm_Process *processes = pm_ProcessAppend(nullptr, NewProcess("p"), nullptr);
  pm_Argument *argument = NewArgument("a");
  ReportSlot slot;
  EXPECT_EQ(pm_PFAFileSetName(pfas, "image", slot.out()), 0);
  EXPECT_EQ(slot.messages().front(), "Error changing PFA file name to image");
  EXPECT_EQ(slot.functions(), (Strings{"pm_PFAFileSetName", "pm_NodeSetName"}));
  EXPECT_EQ(pm_ProcessSetName(processes, "p", slot.out()), 0);
  EXPECT_EQ(slot.messages().front(), "Error changing process name to p");
  EXPECT_EQ(pm_ArgumentSetName(argument, "a", slot.out()), 0);
  EXPECT_EQ(slot.messages(),
            (Strings{"Error changing argument name to a", "Name \"a\" already in use, please use another name"}));
  EXPECT_EQ(pm_ProcessSetName(processes, "q", slot.out()), 1);
  EXPECT_TRUE(slot.empty());
  pm_ArgumentDestroy(argument);
  pm_ProcessDestroyList(processes);
  pm_PFAFileDestroyList(pfas);
}

TEST(OtherKinds, RemovingPFAFilesAndProcessesMarksNothing) {
  pm_PFAFile *pfas = pm_PFAFileAppend(nullptr, pm_PFAFileCreate("a", PM_RASTER), nullptr);
  pfas = pm_PFAFileAppend(pfas, pm_PFAFileCreate("b", PM_RASTER), nullptr);
  pm_PFAFile *a = pfas;
  pm_PFAFile *b = pm_PFAFileFind(pfas, "b");
  SetState(a, kClean);
  SetState(b, kClean);
  EXPECT_EQ(pm_PFAFileRemove(a), b);
  EXPECT_TRUE(IsDetached(a));
  EXPECT_EQ(StateOf(a), kClean);
  EXPECT_EQ(StateOf(b), kClean);
  EXPECT_EQ(pm_PFAFileRemove(b), nullptr);
  pm_PFAFileDestroy(a);
  pm_PFAFileDestroy(b);

  pm_Process *processes = pm_ProcessAppend(nullptr, NewProcess("p1"), nullptr);
  processes = pm_ProcessAppend(processes, NewProcess("p2"), nullptr);
  pm_Process *p2 = pm_ProcessFind(processes, "p2");
  SetState(processes, kClean);
  EXPECT_EQ(pm_ProcessRemove(p2), processes);
  EXPECT_EQ(StateOf(processes), kClean);
  pm_ProcessDestroy(p2);
  pm_ProcessDestroyList(processes);
}

// An argument knows its process, so removing the process's first argument
// must move the process on to the rest; removal marks nothing.
TEST(OtherKinds, RemovingTheFirstArgumentKeepsTheProcessOnTheRest) {
  pm_Process *process = NewProcess("p");
  pm_ProcessAppendArgument(process, NewArgument("in"), nullptr);
  pm_ProcessAppendArgument(process, NewArgument("out"), nullptr);
  pm_Argument *in = process->arguments;
  SetState(process, kClean);
  EXPECT_EQ(pm_ArgumentRemove(in), pm_ArgumentFind(process->arguments, "out"));
  EXPECT_EQ(NamesOf(process->arguments), (Strings{"out"}));
  EXPECT_TRUE(IsDetached(in));
  EXPECT_EQ(StateOf(process), kClean);
  pm_ArgumentDestroy(in);
  pm_ProcessDestroy(process);
}

}  // namespace
}  // namespace kestrum_test
