// A tree file the size of a large project: it must stay compact on disk and
// every call must cost in proportion to what it touches.
#include <chrono>
#include <cstdio>
#include <functional>

#include "treefile_fixture.h"

namespace treefile_test {
namespace {

struct FileRecord {
  tk_StringItem type;
  tk_StringItem descriptor;
  double time;
  tk_StringItem verified;
  tk_StringItem comment;
};
struct NamedRecord {
  tk_StringItem name;
  int32_t selection;
};

// A string item viewing `text`, which must outlive the item.
tk_StringItem item(const char *text) {
  return {static_cast<int32_t>(std::strlen(text) + 1), const_cast<char *>(text)};
}
tk_StringItem item(const std::string &&) = delete;  // a temporary would dangle
tk_StringItem item(const std::string &text) { return item(text.c_str()); }

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class TreeFileScale : public TreeFileTest {
 protected:
  // Writes `tiles` tiles of 20 samples of 9 files each (plus the tiles' and
  // samples' own nodes). Returns the text bytes stored: names and strings.
  size_t build(tk_TreeFile *file, int tiles) {
    tk_Dictionary *dictionary = tk_TreeFileGetDictionary(file);
    tk_Design *named = tk_DesignCreate(dictionary, "Named", nullptr, TK_ITEM_STRING, "Name", TK_ITEM_ENUM,
                                       "Selection", "Manual", "Automatic", static_cast<const char *>(nullptr),
                                       TK_ITEM_END);
    tk_Design *data = tk_DesignCreate(dictionary, "Data", nullptr, TK_ITEM_STRING, "Type", TK_ITEM_STRING,
                                      "Descriptor", TK_ITEM_TIME, "Time", TK_ITEM_STRING, "Verified", TK_ITEM_STRING,
                                      "Comment", TK_ITEM_END);
    EXPECT_NE(named, nullptr);
    EXPECT_NE(data, nullptr);
    static const char *types[9] = {"Raster", "Vector", "Text", "Annotation", "AOI", "Mask", "Label", "Stats", "Log"};
    size_t text = 0;
    char buffer[64];
    for (int t = 0; t < tiles; ++t) {
      std::snprintf(buffer, sizeof buffer, "Tile%04d", t);
      std::string tile = buffer;
      NamedRecord tr{item(tile), t % 2};
      EXPECT_TRUE(tk_TreeObjectWrite(file, ":", tile.c_str(), "Named", 4, &tr, named, nullptr));
      text += 2 * tile.size();
      std::string tile_path = "::" + tile;
      for (int s = 0; s < 20; ++s) {
        std::snprintf(buffer, sizeof buffer, "Sample%02d", s);
        std::string sample = buffer;
        NamedRecord sr{item(sample), 0};
        EXPECT_TRUE(tk_TreeObjectWrite(file, tile_path.c_str(), sample.c_str(), "Named", 4, &sr, named, nullptr));
        text += 2 * sample.size();
        std::string sample_path = tile_path + ":" + sample;
        for (const char *type : types) {
          std::string descriptor = "$PROJECT/" + tile + "/" + sample + "/" + type + ".img";
          FileRecord fr{item(type), item(descriptor), 1.7e9 + t * 20 + s, item("Yes"), {0, const_cast<char *>("")}};
          EXPECT_TRUE(tk_TreeObjectWrite(file, sample_path.c_str(), type, "Data", 4, &fr, data, nullptr));
          text += 2 * std::strlen(type) + descriptor.size() + 3;
        }
      }
    }
    return text;
  }
};

// A file of `size` bytes or a little more: designs made by `design` (the
// body of the dictionary after its count) until the size is reached, then
// no nodes.
Bytes file_of_designs(size_t size, const std::function<void(Bytes &, int)> &design) {
  Bytes designs;
  int count = 0;
  while (designs.size() < size) design(designs, count++);
  Bytes out = RawHeader();
  PutVarint(out, static_cast<uint64_t>(count));
  out += designs;
  PutVarint(out, 0);  // no nodes
  return sealed(std::move(out));
}

// The dictionary takes memory in proportion to its bytes in the file,
// whatever the shape of its designs: thousands of items with empty names,
// or enumerations of tens of thousands of empty value names, cost no more
// than a file of the same size made of ordinary nodes.
TEST_F(TreeFileScale, ADictionaryTakesMemoryInProportionToItsBytes) {
  const size_t size = 3 << 20;
  // Each file is written and its bytes dropped before any is measured: a
  // child process starts with what its parent holds.
  const std::vector<std::pair<std::string, std::function<Bytes()>>> shapes = {
      {"4096 items a design", [&] {
         return file_of_designs(size, [](Bytes &out, int d) {
           PutText(out, "D" + std::to_string(d));
           PutVarint(out, 4096);
           for (int i = 0; i < 4096; ++i) {
             PutVarint(out, TK_ITEM_TIME);
             PutText(out, "");
           }
         });
       }},
      {"65536 enumeration values a design", [&] {
         return file_of_designs(size, [](Bytes &out, int d) {
           PutText(out, "E" + std::to_string(d));
           PutVarint(out, 1);
           PutVarint(out, TK_ITEM_ENUM);
           PutText(out, "");
           PutVarint(out, 65536);
           out += Bytes(65536, '\0');  // empty value names
         });
       }},
      {"plain", [&] {
         // One design, nodes with 40-byte texts.
         Bytes plain = RawHeader();
         PutVarint(plain, 1);
         PutText(plain, "Plain");
         PutVarint(plain, 1);
         PutVarint(plain, TK_ITEM_STRING);
         PutText(plain, "Text");
         Bytes nodes;
         uint64_t count = 0;
         for (; nodes.size() < size; ++count) {
           PutVarint(nodes, count + 1);  // a child of the root
           PutVarint(nodes, 0);
           PutText(nodes, "node" + std::to_string(count));
           Bytes record;
           PutVarint(record, 41);
           record += std::string(40, 't');
           PutText(nodes, record);
         }
         PutVarint(plain, count);
         return sealed(plain + nodes);
       }},
  };
  for (const auto &[name, make] : shapes) WriteBytes(path(name), make());
  bool opened = false;
  long plain_peak = peak_kib_of_open(path("plain"), &opened);
  ASSERT_TRUE(opened);
  ASSERT_GT(plain_peak, 0);
  for (const auto &[name, make] : shapes) {
    long peak = peak_kib_of_open(path(name), &opened);
    EXPECT_TRUE(opened) << name;
    EXPECT_LT(peak, plain_peak * 3 / 2) << name << ": KiB at peak, against " << plain_peak
                                        << " for a plain file of the same size";
  }

  // Designs are few in any real dictionary; their count is bounded, so that
  // their bookkeeping stays small too.
  Bytes many = file_of_designs(8 * 4097, [](Bytes &out, int d) {
    PutText(out, std::to_string(d));
    PutVarint(out, 1);
    PutVarint(out, TK_ITEM_TIME);
    PutText(out, "");
  });
  WriteBytes(path("many"), many);
  EXPECT_NE(open_failure("many", "rb").find("too many designs"), std::string::npos);
}

TEST_F(TreeFileScale, SlowAProjectOfFourHundredThousandNodesIsCompactAndQuick) {
  const int tiles = 2000;
  const size_t nodes = tiles * (1 + 20 * 10);
  auto start = std::chrono::steady_clock::now();
  tk_TreeFile *file = tk_TreeFileCreate(path("big.kpf").c_str(), 0, nullptr);
  ASSERT_NE(file, nullptr);
  size_t text = build(file, tiles);
  double write_time = seconds_since(start);
  start = std::chrono::steady_clock::now();
  tk_ErrorReport *report = nullptr;
  ASSERT_TRUE(tk_TreeFileClose(file, &report)) << take_report(report);
  double close_time = seconds_since(start);

  size_t size = std::filesystem::file_size(path("big.kpf"));
  EXPECT_LE(size, text * 3 / 2 + 16 * nodes) << "text " << text << ", nodes " << nodes;

  start = std::chrono::steady_clock::now();
  file = tk_TreeFileOpen(path("big.kpf").c_str(), "rb+", 0, &report, 0);
  ASSERT_NE(file, nullptr) << take_report(report);
  double open_time = seconds_since(start);

  start = std::chrono::steady_clock::now();
  tk_StringList *all = tk_TreeObjectList(file, ":", 0, "Data", nullptr);
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(all->count, tiles * 20 * 9);
  EXPECT_STREQ(all->strings[0], ":Tile0000:Sample00:Raster");
  EXPECT_STREQ(all->strings[all->count - 1], ":Tile1999:Sample19:Log");
  tk_StringListDelete(all, nullptr);
  double list_time = seconds_since(start);

  // Reading and deleting single nodes costs nothing like the whole file.
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000; ++i) {
    tk_StringList *one = tk_TreeObjectList(file, ":Tile1234:Sample07", 0, "Data", nullptr);
    ASSERT_EQ(one->count, 9);
    tk_StringListDelete(one, nullptr);
    FileRecord fr{};
    ASSERT_TRUE(tk_TreeObjectRead(file, ":Tile1234:Sample07", "Stats", 12, &fr,
                                  tk_DictionarySearchByName(tk_TreeFileGetDictionary(file), "Data", nullptr), nullptr));
    tk_HeapFree(fr.type.text);
    tk_HeapFree(fr.descriptor.text);
    tk_HeapFree(fr.verified.text);
  }
  double small_time = seconds_since(start);
  EXPECT_LT(small_time, list_time + 1.0) << "a thousand small calls cost like whole-file listings";

  start = std::chrono::steady_clock::now();
  for (int t = 0; t < tiles; ++t) {
    char name[32];
    std::snprintf(name, sizeof name, ":Tile%04d", t);
    ASSERT_TRUE(tk_TreeObjectDelete(file, ":", name, 17, nullptr));
  }
  double delete_time = seconds_since(start);
  tk_StringList *left = tk_TreeObjectList(file, ":", 0, nullptr, nullptr);
  ASSERT_NE(left, nullptr);
  EXPECT_EQ(left->count, 0);
  tk_StringListDelete(left, nullptr);
  tk_TreeFileAbandon(file);

  RecordProperty("file_bytes", std::to_string(size));
  RecordProperty("text_bytes", std::to_string(text));
  std::printf("nodes %zu, file %zu bytes, text %zu bytes; write %.2fs close %.2fs open %.2fs list %.2fs "
              "1000 small %.3fs delete all %.2fs\n",
              nodes, size, text, write_time, close_time, open_time, list_time, small_time, delete_time);
  EXPECT_LT(write_time + close_time + open_time + list_time + delete_time, 120.0);
}

}  // namespace
}  // namespace treefile_test
