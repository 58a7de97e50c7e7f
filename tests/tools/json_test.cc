// The JSON conversion and project-relative names, in-process.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "json.h"

namespace fs = std::filesystem;
using kcli::Json;

TEST(ProjectRelativeNames, OnlyPathsBeneathTheDirectoryAreRelative) {
  kcli::ProjectPtr project(pm_ProjectCreate());
  const fs::path directory = fs::temp_directory_path() / "kestrum-json-test" / "proj";
  fs::create_directories(directory);
  ASSERT_NE(pm_ProjectSetFilename(project.get(), (directory / "p.kpf").c_str(), nullptr), 0);
  const std::string dir = directory.string();
  EXPECT_EQ(kcli::project_relative(project.get(), dir + "/t1/a.img"), "$PROJECT/t1/a.img");
  // A sibling whose name merely starts with the directory's name is not
  // beneath it.
  EXPECT_EQ(kcli::project_relative(project.get(), dir + "ect2/a.img"), dir + "ect2/a.img");
  EXPECT_EQ(kcli::project_relative(project.get(), "/elsewhere/a.img"), "/elsewhere/a.img");
  EXPECT_EQ(kcli::project_relative(project.get(), ""), "");
  fs::remove_all(directory.parent_path());
}

TEST(ProjectRelativeNames, ExpansionReplacesOnlyTheWholeMarker) {
  EXPECT_EQ(kcli::project_absolute("/data/proj", "$PROJECT/t1/a.img"), "/data/proj/t1/a.img");
  EXPECT_EQ(kcli::project_absolute("/data/proj/", "$PROJECT/t1/a.img"), "/data/proj/t1/a.img");
  EXPECT_EQ(kcli::project_absolute("/data/proj", "$PROJECT"), "/data/proj");
  EXPECT_EQ(kcli::project_absolute("/data/proj", "$PROJECTS/a"), "$PROJECTS/a");
  EXPECT_EQ(kcli::project_absolute("/data/proj", "/abs/a"), "/abs/a");
}

TEST(JsonConversion, NonFiniteTimesAndUnnamedValuesRoundTripInMemory) {
  const Json document = Json::parse(R"({
    "kestrum_project": 1,
    "settings": {"type": "Double_Sampling", "dot_grid": 5, "poly_tool": "Enabled"},
    "files": [{"type": "a", "time": "nan"}, {"type": "b", "time": "-inf"}, {"type": "c", "time": 0.1}],
    "tiles": [], "levels": []})");
  kcli::ProjectPtr project = kcli::project_from_json(document, "/data/proj");
  ASSERT_TRUE(project);
  EXPECT_TRUE(std::isnan(pm_FileGetDate(pm_FileFind(project->files, "a"))));
  EXPECT_EQ(pm_FileGetDate(pm_FileFind(project->files, "b")), -INFINITY);
  EXPECT_EQ(pm_ProjectGetUseDotGrid(project.get()), 5);
  const Json exported = kcli::project_to_json(project.get());
  EXPECT_EQ(exported["files"][0]["time"], "nan");
  EXPECT_EQ(exported["files"][1]["time"], "-inf");
  EXPECT_EQ(exported["files"][2]["time"].dump(), "0.1");
  EXPECT_EQ(exported["settings"]["dot_grid"], 5);
  // Every level is written, also when the document left them out.
  EXPECT_EQ(exported["levels"].size(), 3u);
  kcli::ProjectPtr again = kcli::project_from_json(exported, "/data/proj");
  EXPECT_EQ(kcli::project_to_json(again.get()).dump(), exported.dump());
}

TEST(JsonConversion, ExportKeepsListOrderAndKeyOrder) {
  const Json document = Json::parse(R"({"kestrum_project": 1,
    "tiles": [{"name": "Z"}, {"name": "A"}, {"name": "M"}]})");
  kcli::ProjectPtr project = kcli::project_from_json(document, "/data/proj");
  const Json exported = kcli::project_to_json(project.get());
  EXPECT_EQ(exported["tiles"][0]["name"], "Z");
  EXPECT_EQ(exported["tiles"][2]["name"], "M");
  std::vector<std::string> keys;
  for (const auto &item : exported.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"kestrum_project", "settings", "files", "tiles", "levels"}));
}

TEST(JsonConversion, FailedImportFreesWhatWasBuilt) {
  // Runs under the leak checker: everything built before the bad value at
  // the end must be freed.
  const Json document = Json::parse(R"({"kestrum_project": 1,
    "files": [{"type": "a", "descriptor": "$PROJECT/a"}],
    "tiles": [{"name": "T", "samples": [{"name": "S", "files": [{"type": "f"}]}]}],
    "levels": [{"pfa_files": [{"name": "a"}], "processes": [{"name": "p", "arguments": [{"name": "x"}]},
                {"name": "q", "arguments": [{"name": "y", "hide": "Maybe"}]}]}]})");
  try {
    kcli::project_from_json(document, "/data/proj");
    FAIL() << "the bad value was accepted";
  } catch (const kcli::Failure &failure) {
    EXPECT_STREQ(failure.what(),
                 "bad project JSON at /levels/0/processes/1/arguments/0/hide: unknown value \"Maybe\" "
                 "(expected one of Show, Hide)");
  }
}
