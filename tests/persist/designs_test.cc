// The record designs a file must hold before the library reads or writes a
// record of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "persist_fixture.h"
#include "project_builder.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

using Strings = std::vector<std::string>;
const char *const kEnd = nullptr;

// The designs up to PM_PFA_Root as the library registers them, written out
// here independently; `root_values` names the project types.
void RegisterFirstSix(tk_Dictionary *d, const char *single = "Single_Sampling") {
  tk_DesignCreate(d, "PM_Root", nullptr, TK_ITEM_ENUM, "Project_Type", single, "Double_Sampling", kEnd,
                  TK_ITEM_ENUM, "Dot_Grid_Analysis", "Disabled", "Enabled", kEnd, TK_ITEM_ENUM,
                  "Poly_Tool_Analysis", "Disabled", "Enabled", kEnd, TK_ITEM_END);
  for (const char *name : {"PM_Tile", "PM_Sample"})
    tk_DesignCreate(d, name, nullptr, TK_ITEM_STRING, "Name", TK_ITEM_ENUM, "Selection", "Manual", "Automatic",
                    kEnd, TK_ITEM_END);
  tk_DesignCreate(d, "PM_File", nullptr, TK_ITEM_STRING, "Type", TK_ITEM_STRING, "Descriptor", TK_ITEM_TIME, "Time",
                  TK_ITEM_STRING, "Verified", TK_ITEM_STRING, "Comment", TK_ITEM_END);
  tk_Design *pfa = tk_DesignCreate(d, "PM_PFAFile", nullptr, TK_ITEM_STRING, "String", TK_ITEM_ENUM, "Type",
                                   "Raster", "Vector", "Text", "Annotation", "AOI", kEnd, TK_ITEM_END);
  tk_DesignCreate(d, "PM_PFA_Root", nullptr, TK_ITEM_RECORD_LIST, "Files", pfa, TK_ITEM_END);
}

// A file whose dictionary holds the first six designs and nothing else.
std::string FileWithDesigns(const TempDir &dir, const char *single) {
  std::string path = dir.Path("foreign.qdx");
  TreeFile tree(path, "new");
  RegisterFirstSix(tree.dictionary(), single);
  EXPECT_TRUE(tree.Close());
  return path;
}

TEST(Designs, FileLackingArgumentDesignCannotBeLoadedNorSavedInto) {
  TempDir dir;
  std::string path = FileWithDesigns(dir, "Single_Sampling");
  ReportSlot slot;
  EXPECT_EQ(pm_ProjectLoad(path.c_str(), 0, slot.out()), nullptr);
  EXPECT_EQ(slot.messages(), (Strings{"Error reading dexil designs", "Error reading design PM_Argument from QDX file",
                                      "Cannot find object PM_Argument in file"}));
  EXPECT_EQ(slot.functions(), (Strings{"pm_ProjectLoad", "pm_DesginsRead", "pm_DesignGet"}));

  std::string before = ReadBytes(path);
  ProjectPtr project(BuildProject());
  ASSERT_EQ(pm_ProjectSetFilename(project.get(), path.c_str(), slot.out()), 1);
  pm_ProjectSave(project.get(), 0, slot.out());
  EXPECT_EQ(slot.messages().front(), "Error reading dexil designs");
  EXPECT_EQ(ReadBytes(path), before);
}

TEST(Designs, DesignThatDiffersFromTheLibrarysIsRefused) {
  TempDir dir;
  std::string path = FileWithDesigns(dir, "Single");
  ReportSlot slot;
  EXPECT_EQ(pm_ProjectLoad(path.c_str(), 0, slot.out()), nullptr);
  EXPECT_EQ(slot.messages(), (Strings{"Error reading dexil designs", "Error reading design PM_Root from QDX file",
                                      "Design PM_Root in file does not match: its item \"Project_Type\" names its "
                                      "values unlike this kestrum"}));
}

TEST(Designs, SaveAsRegistersDesignsThatTheNextLoadAccepts) {
  TempDir dir;
  std::string path = dir.Path("new.qdx");
  ProjectPtr project(BuildProject());
  ReportSlot slot;
  pm_ProjectSaveAs(project.get(), path.c_str(), 0, slot.out());
  ASSERT_TRUE(slot.empty()) << slot.text();
  {
    // The designs of a file this test registers itself match the library's.
    TreeFile tree(path, "rb");
    tk_Dictionary *mine = tk_DictionaryCreate();
    RegisterFirstSix(mine);
    for (const char *name : {"PM_Root", "PM_Tile", "PM_Sample", "PM_File", "PM_PFAFile", "PM_PFA_Root"})
      EXPECT_TRUE(tk_DesignEqual(tree.Design(name), tk_DictionarySearchByName(mine, name, nullptr))) << name;
    tk_DictionaryDelete(mine);
  }
  ProjectPtr loaded(pm_ProjectLoad(path.c_str(), 0, slot.out()));
  EXPECT_TRUE(loaded) << slot.text();
}

}  // namespace
}  // namespace kestrum_test
