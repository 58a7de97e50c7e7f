// Damaged project files: every byte of a few small valid files flipped in
// turn, and every shorter length. Each load must fail with a report and give
// no project; nothing may crash, hang or leak (the sanitizer build watches).
//
// A flipped byte trips the checksum first. To reach the parser behind it the
// same flips are also tried with the checksum made right again ("resealed"):
// then a load may also succeed (a changed letter of a name is still a valid
// file), but what loads must be a sound project that saves and loads back
// equal.
#include <gtest/gtest.h>

#include <string>

#include "disk_helpers.h"
#include "file_seal.h"
#include "project_builder.h"
#include "project_compare.h"
#include "report_slot.h"
#include "temp_dir.h"

namespace kestrum_test {
namespace {

class DamagedFile : public ::testing::TestWithParam<FullShape> {
 protected:
  void SetUp() override {
    path_ = dir_.Path("site.kpr");
    ProjectPtr project(BuildFullProject(path_, GetParam()));
    ASSERT_TRUE(project);
    ReportSlot slot;
    pm_ProjectSave(project.get(), 0, slot.out());
    ASSERT_TRUE(slot.empty()) << slot.text();
    original_ = ReadBytes(path_);
    ASSERT_GT(original_.size(), 20u);
    EXPECT_EQ(LoadDifference(path_, project.get()), "") << "the undamaged file must load";
  }

  // Loads `bytes`; true when the load failed cleanly with a report.
  bool LoadFails(const std::string &bytes, const std::string &what) {
    EXPECT_TRUE(WriteNewFile(path_, bytes));
    ReportSlot slot;
    ProjectPtr loaded(pm_ProjectLoad(path_.c_str(), 0, slot.out()));
    if (loaded != nullptr) {
      EXPECT_TRUE(slot.empty()) << what << ": loaded with a report " << slot.text();
      return false;
    }
    EXPECT_FALSE(slot.empty()) << what << ": failed without a report";
    EXPECT_GE(slot.functions().size(), 2u) << what << ": " << slot.text();
    return true;
  }

  TempDir dir_;
  std::string path_, original_;
};

TEST_P(DamagedFile, EveryFlippedByteIsRefused) {
  for (size_t i = 0; i < original_.size(); ++i) {
    for (unsigned char mask : {0x01, 0x80, 0xFF}) {
      std::string bytes = original_;
      bytes[i] = static_cast<char>(bytes[i] ^ mask);
      ASSERT_TRUE(LoadFails(bytes, "byte " + std::to_string(i) + " ^ " + std::to_string(mask)));
    }
  }
}

TEST_P(DamagedFile, EveryTruncationIsRefused) {
  for (size_t length = 0; length < original_.size(); ++length)
    ASSERT_TRUE(LoadFails(original_.substr(0, length), "cut to " + std::to_string(length) + " bytes"));
  ASSERT_TRUE(LoadFails(original_ + std::string(1, '\0'), "one byte appended"));
  ASSERT_TRUE(LoadFails(original_ + original_, "the file twice"));
}

TEST_P(DamagedFile, ResealedDamageIsRefusedOrLoadsAsSoundProject) {
  std::string copy = dir_.Path("copy.kpr");
  int refused = 0, loaded = 0;
  for (size_t i = 0; i + 4 < original_.size(); ++i) {
    for (unsigned char mask : {0x01, 0x80, 0xFF}) {
      std::string bytes = original_;
      bytes[i] = static_cast<char>(bytes[i] ^ mask);
      ResealProjectFile(bytes);
      ASSERT_TRUE(WriteNewFile(path_, bytes));
      std::string what = "byte " + std::to_string(i) + " ^ " + std::to_string(mask);
      ReportSlot slot;
      ProjectPtr project(pm_ProjectLoad(path_.c_str(), 0, slot.out()));
      if (project == nullptr) {
        ASSERT_FALSE(slot.empty()) << what << ": failed without a report";
        ++refused;
        continue;
      }
      ++loaded;
      ASSERT_TRUE(slot.empty()) << what << ": " << slot.text();
      ASSERT_EQ(ProjectStructureProblem(project.get()), "") << what;
      // What loads must save and come back the same. Saving flushes to disk,
      // which is slow, so only a spread of the loaded variants is saved.
      if (loaded % 40 != 1) continue;
      pm_ProjectSaveAs(project.get(), copy.c_str(), 0, slot.out());
      ASSERT_TRUE(slot.empty()) << what << ": a loaded project cannot be saved: " << slot.text();
      ASSERT_EQ(LoadDifference(copy, project.get()), "") << what;
    }
  }
  // Both must happen: names and texts can change, structure must not.
  EXPECT_GT(refused, 0);
  EXPECT_GT(loaded, 0);
  std::printf("resealed flips: %d refused, %d loaded\n", refused, loaded);
}

FullShape Shape(int tiles, int samples, int files, int processes, int arguments) {
  FullShape shape;
  shape.tiles = tiles;
  shape.samples = samples;
  shape.files = files;
  shape.processes = processes;
  shape.arguments = arguments;
  return shape;
}

INSTANTIATE_TEST_SUITE_P(SmallFiles, DamagedFile,
                         testing::Values(Shape(0, 0, 0, 0, 0), Shape(1, 1, 1, 1, 1), Shape(2, 1, 2, 1, 2)),
                         [](const testing::TestParamInfo<FullShape> &info) {
                           return "Tiles" + std::to_string(info.param.tiles) + "Files" +
                                  std::to_string(info.param.files);
                         });

}  // namespace
}  // namespace kestrum_test
