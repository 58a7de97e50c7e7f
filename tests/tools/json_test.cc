// The JSON conversion and project-relative names, in-process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "json.h"
#include "scaling.h"
#include "temp_dir.h"

namespace fs = std::filesystem;
using kcli::Json;

TEST(ProjectRelativeNames, OnlyPathsBeneathTheDirectoryAreRelative) {
  kcli::ProjectPtr project(pm_ProjectCreate());
  kestrum_test::TempDir scratch;
  const fs::path directory = fs::path(scratch.path()) / "proj";
  fs::create_directories(directory);
  ASSERT_NE(pm_ProjectSetFilename(project.get(), (directory / "p.kpf").c_str(), nullptr), 0);
  const std::string dir = directory.string();
  EXPECT_EQ(kcli::project_relative(project.get(), dir + "/t1/a.img"), "$PROJECT/t1/a.img");
  // A sibling whose name merely starts with the directory's name is not
  // beneath it.
  EXPECT_EQ(kcli::project_relative(project.get(), dir + "ect2/a.img"), dir + "ect2/a.img");
  EXPECT_EQ(kcli::project_relative(project.get(), "/elsewhere/a.img"), "/elsewhere/a.img");
  EXPECT_EQ(kcli::project_relative(project.get(), ""), "");
}

TEST(ProjectRelativeNames, ExpansionReplacesOnlyTheWholeMarker) {
  EXPECT_EQ(kcli::project_absolute("/data/proj", "$PROJECT/t1/a.img"), "/data/proj/t1/a.img");
  EXPECT_EQ(kcli::project_absolute("/data/proj/", "$PROJECT/t1/a.img"), "/data/proj/t1/a.img");
  EXPECT_EQ(kcli::project_absolute("/data/proj", "$PROJECT"), "/data/proj");
  EXPECT_EQ(kcli::project_absolute("/data/proj", "$PROJECTS/a"), "$PROJECTS/a");
  EXPECT_EQ(kcli::project_absolute("/data/proj", "/abs/a"), "/abs/a");
}

namespace {

// The exported document, parsed.
Json exported_json(pm_Project *project) { return Json::parse(kcli::export_text(project)); }

}  // namespace

TEST(JsonConversion, NonFiniteTimesAndUnnamedValuesRoundTripInMemory) {
  const std::string document = R"({
    "kestrum_project": 1,
    "settings": {"type": "Double_Sampling", "dot_grid": 5, "poly_tool": "Enabled"},
    "files": [{"type": "a", "time": "nan"}, {"type": "b", "time": "-inf"}, {"type": "c", "time": 0.1}],
    "tiles": [], "levels": []})";
  kcli::ProjectPtr project = kcli::import_json(document, "doc", "/data/proj");
  ASSERT_TRUE(project);
  EXPECT_TRUE(std::isnan(pm_FileGetDate(pm_FileFind(project->files, "a"))));
  EXPECT_EQ(pm_FileGetDate(pm_FileFind(project->files, "b")), -INFINITY);
  EXPECT_EQ(pm_ProjectGetUseDotGrid(project.get()), 5);
  const Json exported = exported_json(project.get());
  EXPECT_EQ(exported["files"][0]["time"], "nan");
  EXPECT_EQ(exported["files"][1]["time"], "-inf");
  EXPECT_EQ(exported["files"][2]["time"].dump(), "0.1");
  EXPECT_EQ(exported["settings"]["dot_grid"], 5);
  // Every level is written, also when the document left them out.
  EXPECT_EQ(exported["levels"].size(), 3u);
  kcli::ProjectPtr again = kcli::import_json(exported.dump(), "doc", "/data/proj");
  EXPECT_EQ(exported_json(again.get()), exported);
}

TEST(JsonConversion, ExportKeepsListOrderAndKeyOrder) {
  kcli::ProjectPtr project = kcli::import_json(R"({"kestrum_project": 1,
    "tiles": [{"name": "Z"}, {"name": "A"}, {"name": "M"}]})", "doc", "/data/proj");
  const Json exported = exported_json(project.get());
  EXPECT_EQ(exported["tiles"][0]["name"], "Z");
  EXPECT_EQ(exported["tiles"][2]["name"], "M");
  std::vector<std::string> keys;
  for (const auto &item : exported.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"kestrum_project", "settings", "files", "tiles", "levels"}));
}

TEST(JsonConversion, FailedImportFreesWhatWasBuilt) {
  // Runs under the leak checker: everything built before the bad value at
  // the end must be freed.
  const std::string document = R"({"kestrum_project": 1,
    "files": [{"type": "a", "descriptor": "$PROJECT/a"}],
    "tiles": [{"name": "T", "samples": [{"name": "S", "files": [{"type": "f"}]}]}],
    "levels": [{"pfa_files": [{"name": "a"}], "processes": [{"name": "p", "arguments": [{"name": "x"}]},
                {"name": "q", "arguments": [{"name": "y", "hide": "Maybe"}]}]}]})";
  try {
    kcli::import_json(document, "doc", "/data/proj");
    FAIL() << "the bad value was accepted";
  } catch (const kcli::Failure &failure) {
    EXPECT_STREQ(failure.what(),
                 "bad project JSON at /levels/0/processes/1/arguments/0/hide: unknown value \"Maybe\" "
                 "(expected one of Show, Hide)");
  }
}

namespace {

// The message of the Failure that parsing and importing `text` throws, or
// "" when both succeed.
std::string refusal(const std::string &text) {
  try {
    kcli::import_json(text, "doc.json", "/data/proj");
    return {};
  } catch (const kcli::Failure &failure) {
    return failure.what();
  }
}

// How much longer refusal() takes on `large` than on `plain`, in processor
// time of this thread: the fastest of five runs each after one warm-up,
// taken in turns so that a busy moment of the machine hits both alike. The
// times go to `times` for the failure message.
double time_ratio(const std::string &plain, const std::string &large, std::string &times) {
  refusal(large);
  double best[2] = {1e9, 1e9};
  for (int run = 0; run < 10; ++run) {
    const double start = kestrum_test::ThreadSeconds();
    refusal(run % 2 ? large : plain);
    best[run % 2] = std::min(best[run % 2], kestrum_test::ThreadSeconds() - start);
  }
  times = std::to_string(best[0]) + " s against " + std::to_string(best[1]) + " s";
  return best[1] / std::max(best[0], 50e-6);
}

}  // namespace

TEST(JsonParsing, NestingIsBoundedAndRefusedAtItsPlace) {
  // Far deeper than the stack allows a recursive walk: arrays, objects,
  // mixed, closed or not.
  const std::size_t depth = 100000;
  std::string arrays = R"({"kestrum_project": 1, "tiles": )";
  std::string objects = R"({"kestrum_project": 1, "settings": )";
  std::string mixed = "[";
  for (std::size_t i = 0; i < depth; ++i) {
    arrays += '[';
    objects += R"({"a": )";
    mixed += i % 2 ? "[" : R"({"k~/": )";
  }
  std::string closed = arrays + "1" + std::string(depth, ']') + "}";
  const std::string where_arrays = "bad project JSON at /tiles";
  for (const std::string *text : {&arrays, &closed}) {
    const std::string message = refusal(*text);
    EXPECT_EQ(message.rfind(where_arrays, 0), 0u) << message.substr(0, 200);
    EXPECT_THAT(message, ::testing::EndsWith(": nested deeper than 32 levels"));
    EXPECT_LT(message.size(), 200u);
  }
  EXPECT_THAT(refusal(objects), ::testing::StartsWith("bad project JSON at /settings/a/a/a/"));
  EXPECT_THAT(refusal(mixed), ::testing::StartsWith("bad project JSON at /0/k~0~1/0/k~0~1/"));
  // Every document kestrum writes is far from the bound.
  EXPECT_EQ(refusal(R"({"kestrum_project": 1, "levels": [{"processes": [{"name": "p",
      "arguments": [{"name": {"hex": "ff"}}]}]}]})"), "");
}

TEST(JsonParsing, MessagesQuoteOnlyAShortExcerptOfAValue) {
  // Each bad document carries a megabyte in the offending place; no
  // message may repeat it (the tool escapes what it prints of it).
  const std::string huge = std::string(1 << 20, 'x') + "\\u001b[2J";
  const std::string digits(1 << 18, '9');
  const std::string cases[] = {
      R"({"kestrum_project": 1, ")" + huge + R"(": 1})",
      R"({"kestrum_project": 1, "settings": {"type": ")" + huge + R"("}})",
      R"({"kestrum_project": ")" + huge + R"("})",
      R"({"kestrum_project": 1, "files": [{"type": "a", "time": )" + digits + "e400}]}",
      R"({"kestrum_project": 1, "files": [{"type": ")" + huge + R"(", "time": 1e400}]})",
      R"({"kestrum_project": 1, "tiles": [{"name": ")" + huge + "\x01\"}]}",
      R"({"kestrum_project": 1, "tiles": [{")" + huge + R"(": 1, ")" + huge + R"(": 2}]})",
      R"({"kestrum_project": 1, "tiles": [{"name": ")" + huge + R"("}, {"name": ")" + huge + R"("}]})",
      R"({"kestrum_project": 1, "files": [{"type": {"hex": ")" + huge + R"("}}]})",
      R"({"kestrum_project": 1, "tiles": )" + digits,
  };
  for (const std::string &text : cases) {
    SCOPED_TRACE(text.substr(0, 60));
    const std::string message = refusal(text);
    EXPECT_FALSE(message.empty());
    EXPECT_LT(message.size(), 400u) << message.substr(0, 400);
  }
}

TEST(JsonConversion, AnyBytesRoundTripAndUtf8StaysPlain) {
  // Texts of random bytes (no NUL: the library keeps C strings) in every
  // kind of text the document holds: export, import and export again must
  // give the same bytes, and a text must come back as it went.
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> byte(1, 255), length(1, 24), small(0, 3);
  auto text = [&] {
    std::string out(length(random), ' ');
    for (char &c : out) c = static_cast<char>(byte(random));
    // A third of them valid UTF-8, so that both forms are written.
    if (small(random) == 0) for (char &c : out) c = static_cast<char>(0x20 + (c & 0x5F));
    return out;
  };
  for (int round = 0; round < 40; ++round) {
    kcli::ProjectPtr project(pm_ProjectCreate());
    const std::string tile_name = text(), sample_name = text(), comment = text(), value = text();
    pm_Tile *tile = kcli::append_tile(project.get(), pm_TileCreate(tile_name.c_str()));
    pm_Sample *sample = kcli::append_sample(tile, pm_SampleCreate(sample_name.c_str()));
    kcli::append_file(sample, pm_FileCreate(text().c_str(), ("/data/" + text()).c_str(), 1.5, text().c_str(),
                                            comment.c_str()));
    kcli::Processing processing;
    processing.add_pfa(1, pm_PFAFileCreate(text().c_str(), 2));
    pm_Process *process = pm_ProcessCreate(text().c_str(), text().c_str(), text().c_str(), nullptr,
                                           text().c_str(), 0);
    kcli::append_argument(process, pm_ArgumentCreate(text().c_str(), value.c_str(), 0, 0, 0));
    processing.add_process(2, process);
    processing.apply(project.get());

    const std::string first = kcli::export_text(project.get());
    // Written as it walks the project, the text is byte for byte what the
    // JSON library writes for the same document.
    ASSERT_EQ(Json::parse(first).dump(2) + "\n", first);
    kcli::ProjectPtr again = kcli::import_json(first, "export", "/data/proj");
    ASSERT_EQ(kcli::export_text(again.get()), first);
    EXPECT_EQ(std::string(again->tiles->node.name), tile_name);
    EXPECT_EQ(std::string(again->tiles->samples->node.name), sample_name);
    EXPECT_EQ(kcli::take(pm_FileGetComment(again->tiles->samples->files)), comment);
    EXPECT_EQ(kcli::take(pm_ArgumentGetValue(pm_ProcessListGetByType(again.get(), 2)->arguments)), value);
  }

  // The escape, exactly; a UTF-8 name is a plain string as it always was.
  kcli::ProjectPtr project = kcli::import_json(R"({"kestrum_project": 1,
      "tiles": [{"name": {"hex": "436166E9"}}, {"name": "Caf\u00e9"}]})", "doc", "/data/proj");
  EXPECT_STREQ(project->tiles->node.name, "Caf\xe9");
  const std::string exported = kcli::export_text(project.get());
  EXPECT_THAT(exported, ::testing::HasSubstr("\"name\": {\n        \"hex\": \"436166e9\"\n      },"));
  EXPECT_THAT(exported, ::testing::HasSubstr("\"name\": \"Caf\xc3\xa9\""));
}

TEST(JsonScaling, AnObjectWithManyKeysCostsNoMoreThanManyObjects) {
  // 4N keys in one object against the same keys in 4N objects of one key
  // each: the same bytes, the same strings, only the shape differs. The
  // import refuses the first unknown key, so the cost is the parse and the
  // check for repeated keys; an insert that searched the object would make
  // the one object cost thousands of times more.
  auto document = [](std::size_t keys, bool one_object) {
    std::string text = one_object ? R"({"kestrum_project": 1, "x": {"k": 0)" : R"({"kestrum_project": 1, "x": [{"k": 0})";
    for (std::size_t i = 0; i < keys; ++i) {
      const std::string member = "\"key" + std::to_string(i) + "\": [" + std::to_string(i) + "]";
      text += one_object ? ", " + member : ", {" + member + "}";
    }
    return text + (one_object ? "}}" : "]}");
  };
  const std::size_t n = 40000;
  const std::string many_objects = document(n, false), one_object = document(n, true);
  EXPECT_THAT(refusal(one_object), ::testing::HasSubstr("at /x: unknown key \"x\""));
  std::string times;
  EXPECT_LE(time_ratio(many_objects, one_object, times), 4) << times;
  // Repeated keys are found among many as among few.
  std::string repeated = document(n, true);
  repeated.insert(repeated.size() - 2, R"(, "key7": 0)");
  EXPECT_THAT(refusal(repeated), ::testing::HasSubstr("at /x/key7: the key \"key7\" is given twice"));
}

TEST(JsonScaling, EveryListImportsInLinearTime) {
  // The import appends node after node, which is linear only on the fast paths.
  if (kestrum_test::SlowPathsForced()) GTEST_SKIP() << kestrum_test::kFastPathsOff;
  // N of everything the document lists: tiles, samples of one tile, data
  // files, PFA files, processes and arguments of one process.
  auto document = [](std::size_t n) {
    std::string tiles, samples, files, pfa_files, processes, arguments;
    for (std::size_t i = 0; i < n; ++i) {
      const std::string name = "\"n" + std::to_string(i) + "\"";
      const std::string comma = i ? ", " : "";
      tiles += comma + R"({"name": )" + name + "}";
      samples += comma + R"({"name": )" + name + "}";
      files += comma + R"({"type": "f)" + std::to_string(i) + "\"}";  // a tile's name would not save
      pfa_files += comma + R"({"name": )" + name + "}";
      processes += comma + R"({"name": )" + name + "}";
      arguments += comma + R"({"name": )" + name + "}";
    }
    return R"({"kestrum_project": 1, "files": [)" + files + R"(], "tiles": [{"name": "T", "samples": [)" +
           samples + "]}, " + tiles + R"(], "levels": [{"pfa_files": [)" + pfa_files + R"(]}, {"processes": [)" +
           processes + R"(]}, {"processes": [{"name": "p", "arguments": [)" + arguments + "]}]}]}";
  };
  const std::size_t n = 2500;
  const std::string small = document(n), large = document(4 * n);
  ASSERT_EQ(refusal(large), "");
  std::string times;
  EXPECT_LE(time_ratio(small, large, times), 8) << times;
}

TEST(JsonImport, TheFaultReportedIsTheFirstInReadingOrderWhateverTheKeyOrder) {
  // Documents of the five top-level members in any order, some of them
  // faulty, some with an unknown key or a syntax error besides. The lists
  // are built while the text is parsed, yet the refusal must be the one a
  // reading of the whole document meets first: a syntax error, then an
  // unknown top-level key, then the members in the order format, settings,
  // files, tiles, levels; within a list its first bad element.
  struct Member {
    const char *key, *good, *bad, *message;
  };
  const Member members[] = {
      {"kestrum_project", "1", "2", "at /kestrum_project: unsupported format 2"},
      {"settings", R"({"type": "Single_Sampling"})", R"({"type": "Triple"})", "at /settings/type: unknown value"},
      {"files", R"([{"type": "a"}, {"type": "b"}])", R"([{"type": "a"}, {"type": 5}, {"type": "x", "y": 1}])",
       "at /files/1/type: expected a string or null"},
      {"tiles", R"([{"name": "A", "samples": [{"name": "S"}]}, {"name": "B"}])",
       R"([{"name": "A"}, {"name": "A"}, {"name": "B", "selection": "Maybe"}])", "at /tiles/1/name: cannot add tile A"},
      {"levels", R"([{"pfa_files": [{"name": "a"}]}, {}, {"processes": [{"name": "p"}]}])",
       R"([{"pfa_files": [{"name": 5}]}, {}, {}, {}])", "at /levels/3: there are only three levels"},
  };
  std::mt19937 random(8122026);
  std::string canonical;
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE(round);
    std::vector<int> order{0, 1, 2, 3, 4};
    std::shuffle(order.begin(), order.end(), random);
    const bool unknown = random() % 4 == 0, syntax = random() % 6 == 0;
    std::string text = "{";
    std::string expected;
    if (syntax) expected = "bad JSON in doc.json: parse error";
    else if (unknown) expected = "bad project JSON at /zz: unknown key \"zz\"";
    bool faulty[5] = {};
    for (std::size_t i = 0; i < order.size(); ++i) {
      const Member &member = members[order[i]];
      faulty[order[i]] = random() % 3 == 0;
      text += std::string(i ? ", " : "") + "\"" + member.key + "\": " + (faulty[order[i]] ? member.bad : member.good);
      if (unknown && i == 2) text += R"(, "zz": [1])";
    }
    text += syntax ? ", }" : "}";
    for (int member = 0; member < 5 && expected.empty(); ++member)
      if (faulty[member]) expected = std::string("bad project JSON ") + members[member].message;
    std::string message;
    try {
      kcli::ProjectPtr project = kcli::import_json(text, "doc.json", "/data/proj");
      // Whatever the order of the members, the same project.
      const std::string exported = kcli::export_text(project.get());
      if (canonical.empty()) canonical = exported;
      EXPECT_EQ(exported, canonical) << text;
    } catch (const kcli::Failure &failure) {
      message = failure.what();
    }
    if (expected.empty()) EXPECT_EQ(message, "") << text;
    else EXPECT_THAT(message, ::testing::StartsWith(expected)) << text;
  }
}
