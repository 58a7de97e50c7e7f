// PFA files, the per-level containers, type names, lists by type, copies and
// the level that defines a name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "owned_records.h"
#include "report_slot.h"
#include "tree_helpers.h"

namespace {

using namespace kestrum_test;
using Texts = std::vector<std::string>;

pm_PFAFile *PFAList(std::initializer_list<std::pair<const char *, pm_PFAType>> entries) {
  pm_PFAFile *list = nullptr;
  for (const auto &[name, type] : entries) list = pm_PFAFileAppend(list, pm_PFAFileCreate(name, type), nullptr);
  return list;
}

Texts Strings(const tk_StringList *list) {
  Texts out;
  for (int i = 0; list && i < list->count; ++i) out.emplace_back(list->strings[i] ? list->strings[i] : "<null>");
  return out;
}


TEST(Containers, ClearEmptiesEveryLevelAndProcFilesReadsChanged) {
  ProcFilesPtr root(pm_ProcFilesCreate());
  pm_ProcessLists *lists = pm_ProcessListsCreate();
  ASSERT_TRUE(root && lists);
  EXPECT_EQ((State{root->state->changed, root->state->saved}), kChanged);
  for (int level = 0; level < 3; ++level) {
    EXPECT_EQ(root->lists[level], nullptr);
    EXPECT_EQ(lists->lists[level], nullptr);
    root->lists[level] = PFAList({{"a", 0}, {"b", 1}});
    lists->lists[level] = pm_ProcessCreate("p", nullptr, nullptr, nullptr, nullptr, 1);
    pm_ProcessAppendArgument(lists->lists[level], pm_ArgumentCreate("in", "a", 0, 0, 0), nullptr);
  }
  root->state->changed = 0;
  pm_ProcFilesClear(root.get());
  pm_ProcessListsClear(lists);
  for (int level = 0; level < 3; ++level) EXPECT_TRUE(!root->lists[level] && !lists->lists[level]);
  EXPECT_EQ(root->state->changed, 1);
  root->lists[1] = PFAList({{"freed by destroy", 0}});
  lists->lists[2] = pm_ProcessCreate("freed by destroy", nullptr, nullptr, nullptr, nullptr, 1);
  pm_ProcessListsDestroy(lists);
  pm_ProcFilesDestroy(nullptr);
  pm_ProcessListsDestroy(nullptr);
}

TEST(PFATypeEvaluate, ExactUpperCaseNamesOnly) {
  const Texts names = {"RASTER", "VECTOR", "TEXT", "ANNOTATION", "AOI"};
  ReportSlot slot;
  for (size_t type = 0; type < names.size(); ++type) {
    EXPECT_EQ(pm_PFATypeEvaluate(names[type].c_str(), slot.out()), static_cast<pm_PFAType>(type));
    EXPECT_TRUE(slot.empty()) << names[type];
  }
  for (const char *text : {"aoi", "Raster", "RASTER "}) {
    EXPECT_EQ(pm_PFATypeEvaluate(text, slot.out()), PM_AOI);
    EXPECT_EQ(slot.messages(), (Texts{std::string("Cannot match type string\"") + text + "\""}));
    EXPECT_EQ(slot.functions(), (Texts{"pm_PFATypeEvaluate"}));
  }
  EXPECT_EQ(pm_PFATypeEvaluate(nullptr, slot.out()), PM_AOI);
  EXPECT_FALSE(slot.empty());
}

TEST(PFAFileGetTypeString, OneUpperCaseNameOrNullOutsideTheTypes) {
  PFAPtr pfa(pm_PFAFileCreate("notes", PM_ANNOTATION));
  ReportSlot slot;
  StringListPtr annotation(pm_PFAFileGetTypeString(pfa.get(), slot.out()));
  EXPECT_EQ(Strings(annotation.get()), (Texts{"ANNOTATION"}));
  StringListPtr raster(pm_PFAFileGetTypeString(nullptr, slot.out()));
  EXPECT_EQ(Strings(raster.get()), (Texts{"RASTER"}));
  for (pm_PFAType bad : {7, -1}) {
    pm_PFAFileSetType(pfa.get(), bad);
    EXPECT_EQ(pm_PFAFileGetTypeString(pfa.get(), slot.out()), nullptr);
  }
  EXPECT_TRUE(slot.empty());
}

TEST(PFAFileGetListByType, AppendsMatchingNamesInListOrder) {
  PFAPtr list(PFAList({{"dem", 0}, {"roads", 1}, {"ortho", 0}}));
  ReportSlot slot;
  StringListPtr names(pm_PFAFileGetListByType(nullptr, pm_PFAFileFind(list.get(), "ortho"), 0, slot.out()));
  EXPECT_EQ(Strings(names.get()), (Texts{"dem", "ortho"}));
  EXPECT_EQ(pm_PFAFileGetListByType(names.get(), list.get(), 1, slot.out()), names.get());
  EXPECT_EQ(pm_PFAFileGetListByType(names.get(), list.get(), 4, slot.out()), names.get());
  EXPECT_EQ(Strings(names.get()), (Texts{"dem", "ortho", "roads"}));
  EXPECT_EQ(pm_PFAFileGetListByType(nullptr, nullptr, 0, slot.out()), nullptr);
  EXPECT_TRUE(slot.empty());
}

TEST(PFAListCopy, FreshChangedCopiesInOrderUpToADuplicateName) {
  PFAPtr list(PFAList({{"dem", 0}, {"roads", 1}, {"ortho", 0}}));
  SetState(pm_PFAFileFind(list.get(), "roads"), kClean);
  ReportSlot slot;
  PFAPtr copy(pm_PFAListCopy(pm_PFAFileFind(list.get(), "roads"), slot.out()));
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(NamesOf(copy.get()), (Texts{"dem", "roads", "ortho"}));
  pm_PFAFile *roads = pm_PFAFileFind(copy.get(), "roads");
  EXPECT_NE(roads, pm_PFAFileFind(list.get(), "roads"));
  EXPECT_EQ(pm_PFAFileGetType(roads), PM_VECTOR);
  EXPECT_EQ(StateOf(roads), kChanged);
  EXPECT_EQ(pm_PFAListCopy(nullptr, slot.out()), nullptr);

  ForceName(pm_PFAFileFind(list.get(), "roads"), "dem");
  PFAPtr partial(pm_PFAListCopy(list.get(), slot.out()));
  EXPECT_EQ(NamesOf(partial.get()), (Texts{"dem"}));
  EXPECT_EQ(slot.messages(), (Texts{"Cannot append PFA file to list", "Error appending pfa_file dem",
                                    "Name \"dem\" already in use, please use another name"}));
}

TEST(PFAFileFindLevel, LowestDefiningLevelWinsAndMissingNameIsReported) {
  ProcFilesPtr root(pm_ProcFilesCreate());
  root->lists[0] = PFAList({{"site", 0}});
  root->lists[1] = PFAList({{"dem", 0}, {"plot", 2}});
  root->lists[2] = PFAList({{"plot", 2}, {"photo", 0}});
  ArgumentPtr argument(pm_ArgumentCreate("in", "plot", 0, 0, 0));
  ReportSlot slot;
  auto level_of = [&](const char *value) {
    pm_ArgumentSetValue(argument.get(), value);
    return pm_PFAFileFindLevel(argument.get(), root.get(), slot.out());
  };
  EXPECT_EQ(level_of("plot"), 1);
  EXPECT_EQ(level_of("site"), 0);
  EXPECT_EQ(level_of("photo"), 2);
  EXPECT_TRUE(slot.empty());
  EXPECT_EQ(level_of("Photo"), -1);
  EXPECT_EQ(slot.messages(), (Texts{"Cannot find file type in any level"}));
  EXPECT_EQ(slot.functions(), (Texts{"pm_PFAFileFindLevel"}));
  EXPECT_EQ(pm_PFAFileFindLevel(nullptr, root.get(), slot.out()), -1);
  EXPECT_FALSE(slot.empty());
  EXPECT_EQ(pm_PFAFileFindLevel(argument.get(), nullptr, slot.out()), -1);
  EXPECT_FALSE(slot.empty());
}

}  // namespace
