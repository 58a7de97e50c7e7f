// Damaged and hostile tree files: whatever the bytes, opening gives either a
// file whose every record reads back or a report naming the file and the
// damage, never a crash, an over-read or an unbounded allocation (the
// sanitizer build checks the last two).
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "treefile_fixture.h"

namespace treefile_test {
namespace {

class TreeFileDamage : public TreeFileTest {
 protected:
  // A small file using every item kind, nested nodes and a record list.
  Bytes good_file() {
    tk_TreeFile *file = create_with_designs("good.kpf");
    EXPECT_NE(file, nullptr);
    EXPECT_EQ(write_entry(file, ":", "T", "tile"), "");
    EXPECT_EQ(write_entry(file, ":T", "S", nullptr, 7), "");
    char label[] = "el";
    Entry elements[2] = {{{3, label}, 1}, {{0, nullptr}, -2}};
    char title[] = "t";
    Holder h{{2, title}, 12.5, 1, {2, elements}};
    EXPECT_TRUE(tk_TreeObjectWrite(file, ":T:S", "F", "Holder", TK_WRITE_NEW, &h, holder_, nullptr));
    EXPECT_TRUE(tk_TreeFileClose(file, nullptr));
    return ReadBytes(path("good.kpf"));
  }

  // Opens `bytes` as a file. Returns "" when it opened, after reading every
  // node with every design that might fit; otherwise the report.
  // With TK_OPEN_CHECK_RECORDS_ON_READ as `flags`, the records no read
  // reached are checked last, and their report is the answer.
  std::string try_open(const Bytes &bytes, int flags = 0) {
    WriteBytes(path("test.kpf"), bytes);
    tk_ErrorReport *report = nullptr;
    tk_TreeFile *file = tk_TreeFileOpen(path("test.kpf").c_str(), "rb", 0, &report, flags);
    if (!file) {
      std::string text = take_report(report);
      return text.empty() ? "(failed without a report)" : text;
    }
    tk_Dictionary *dictionary = tk_TreeFileGetDictionary(file);
    std::vector<tk_Design *> designs = {tk_DictionarySearchByName(dictionary, "Entry", nullptr),
                                        tk_DictionarySearchByName(dictionary, "Holder", nullptr), mine_entry_,
                                        mine_holder_};
    for (const std::string &node : list(file, ":", nullptr)) {
      size_t colon = node.rfind(':');
      std::string parent = colon == 0 ? ":" : node.substr(0, colon);
      std::string name = node.substr(colon + 1);
      for (tk_Design *design : designs) {
        if (!design) continue;
        std::vector<unsigned char> record(tk_DesignRecordSize(design));
        if (!tk_TreeObjectRead(file, parent.c_str(), name.c_str(), 12, record.data(), design, &report)) {
          take_report(report);
          continue;
        }
        if (design == designs[0] || design == mine_entry_) {
          Entry e;
          std::memcpy(&e, record.data(), sizeof e);
          tk_HeapFree(e.label.text);
        } else {
          Holder h;
          std::memcpy(&h, record.data(), sizeof h);
          auto *elements = static_cast<Entry *>(h.entries.elements);
          for (int i = 0; i < h.entries.count; ++i) tk_HeapFree(elements[i].label.text);
          tk_HeapFree(elements);
          tk_HeapFree(h.title.text);
        }
      }
    }
    std::string unread;
    if (flags != 0 && !tk_TreeFileCheckRecords(file, &report)) unread = take_report(report);
    tk_TreeFileAbandon(file);
    return unread;
  }

  void SetUp() override {
    TreeFileTest::SetUp();
    mine_ = tk_DictionaryCreate();
    add_designs(mine_, &mine_entry_, &mine_holder_);
  }
  void TearDown() override {
    tk_DictionaryDelete(mine_);
    TreeFileTest::TearDown();
  }

  tk_Dictionary *mine_ = nullptr;
  tk_Design *mine_entry_ = nullptr;
  tk_Design *mine_holder_ = nullptr;
};

// One design "D" with a string item "S".
Bytes one_string_design() {
  Bytes d;
  PutVarint(d, 1);
  PutText(d, "D");
  PutVarint(d, 1);
  PutVarint(d, TK_ITEM_STRING);
  PutText(d, "S");
  return d;
}

// A node of design 0 named `name`, `distance` numbers after its parent,
// holding the string `text`.
Bytes string_node(uint64_t distance, const std::string &name, const std::string &text) {
  Bytes n;
  PutVarint(n, distance);
  PutVarint(n, 0);
  PutText(n, name);
  PutVarint(n, text.size() + 1);  // the record: its count byte and the text
  PutVarint(n, text.size() + 1);
  n += text;
  return n;
}

TEST_F(TreeFileDamage, TheFormatIsLittleEndianVarintsSealedByCrc32c) {
  tk_TreeFile *file = tk_TreeFileCreate(path("pin.kpf").c_str(), 0, nullptr);
  ASSERT_NE(file, nullptr);
  tk_Design *d = tk_DesignCreate(tk_TreeFileGetDictionary(file), "D", nullptr, TK_ITEM_STRING, "S", TK_ITEM_END);
  ASSERT_NE(d, nullptr);
  char hi[] = "hi";
  tk_StringItem s{3, hi};
  ASSERT_TRUE(tk_TreeObjectWrite(file, ":", "N", "D", 4, &s, d, nullptr));
  ASSERT_TRUE(tk_TreeObjectWrite(file, ":N", "M", "D", 4, &s, d, nullptr));
  ASSERT_TRUE(tk_TreeFileClose(file, nullptr));
  Bytes expected = RawHeader() + one_string_design();
  PutVarint(expected, 2);
  expected += string_node(1, "N", "hi") + string_node(1, "M", "hi");
  EXPECT_EQ(ReadBytes(path("pin.kpf")), sealed(expected));
  // The known CRC-32C check value, so the checksum is the standard one.
  EXPECT_EQ(crc32c("123456789", 9), 0xE3069283u);
}

TEST_F(TreeFileDamage, BadHeadersAreReportedByKind) {
  Bytes good = good_file();
  EXPECT_NE(try_open("").find("not a project file"), std::string::npos);
  EXPECT_NE(try_open("plain text, not a tree file").find("not a project file"), std::string::npos);
  Bytes v2 = good;
  v2[8] = 2;
  EXPECT_NE(try_open(v2).find("unsupported version 2: written by a newer kestrum"), std::string::npos);
  Bytes v0 = good;
  v0[8] = 0;
  EXPECT_NE(try_open(v0).find("unsupported version 0"), std::string::npos);
  Bytes flipped = good;
  flipped[20] ^= 0x40;
  std::string message = try_open(flipped);
  EXPECT_NE(message.find("checksum mismatch"), std::string::npos);
  EXPECT_NE(message.find(path("test.kpf")), std::string::npos) << "the report names the file";
  EXPECT_EQ(try_open(good), "");
}

TEST_F(TreeFileDamage, EveryTruncationIsReported) {
  Bytes good = good_file();
  for (size_t size = 0; size < good.size(); ++size) {
    Bytes cut = good.substr(0, size);
    EXPECT_NE(try_open(cut), "") << "truncated to " << size;
    // Resealed, the cut reaches the parser, which must notice it too.
    if (size >= 20) {
      EXPECT_NE(try_open(sealed(good.substr(0, size - 4))), "") << "resealed at " << size;
    }
  }
}

TEST_F(TreeFileDamage, EveryFlippedByteIsReportedOrHarmless) {
  Bytes good = good_file();
  for (size_t i = 0; i < good.size(); ++i) {
    for (unsigned char mask : {0x01, 0x80, 0xFF}) {
      Bytes bad = good;
      bad[i] = static_cast<char>(bad[i] ^ mask);
      EXPECT_NE(try_open(bad), "") << "byte " << i << " ^ " << int(mask);
      // With a matching checksum the parser sees the damage itself: it either
      // refuses the file or yields one whose every record can be read.
      std::string message = try_open(resealed(bad));
      if (!message.empty() && i >= 16 && i < good.size() - 4) {
        EXPECT_NE(message.find("damaged at offset"), std::string::npos) << message;
      }
    }
  }
}

TEST_F(TreeFileDamage, HugeCountsAndLengthsAreRefusedBeforeAnyAllocation) {
  const uint64_t huge = uint64_t{1} << 60;
  auto damaged = [&](const Bytes &body) { return try_open(sealed(RawHeader() + body)); };
  Bytes designs;
  PutVarint(designs, huge);
  EXPECT_NE(damaged(designs).find("damaged at offset 16: more designs"), std::string::npos);

  Bytes items;
  PutVarint(items, 1);
  PutText(items, "D");
  PutVarint(items, huge);
  EXPECT_NE(damaged(items).find("more items"), std::string::npos);

  Bytes values;
  PutVarint(values, 1);
  PutText(values, "D");
  PutVarint(values, 1);
  PutVarint(values, TK_ITEM_ENUM);
  PutText(values, "E");
  PutVarint(values, huge);
  EXPECT_NE(damaged(values).find("more enumeration values"), std::string::npos);

  Bytes long_name;
  PutVarint(long_name, 1);
  PutVarint(long_name, huge);  // a design name longer than the file
  EXPECT_NE(damaged(long_name).find("bad design name"), std::string::npos);

  Bytes nodes = one_string_design();
  PutVarint(nodes, huge);
  EXPECT_NE(damaged(nodes).find("more nodes"), std::string::npos);

  auto record_of_size = [&](uint64_t size) {
    Bytes record = one_string_design();
    PutVarint(record, 1);
    PutVarint(record, 1);
    PutVarint(record, 0);
    PutText(record, "N");
    PutVarint(record, size);
    return damaged(record + "\x01");
  };
  EXPECT_NE(record_of_size(huge).find("record too large"), std::string::npos);
  EXPECT_NE(record_of_size(1 << 20).find("record runs past"), std::string::npos);

  Bytes text = one_string_design();
  PutVarint(text, 1);
  Bytes node;
  PutVarint(node, 1);
  PutVarint(node, 0);
  PutText(node, "N");
  Bytes rec;
  PutVarint(rec, uint64_t{1} << 30);  // a string longer than its record
  rec += "xy";
  PutVarint(node, rec.size());
  node += rec;
  EXPECT_NE(damaged(text + node).find("string runs past"), std::string::npos);

  // A record list claiming two billion elements in a few bytes.
  Bytes list_design;
  PutVarint(list_design, 2);
  PutText(list_design, "E");
  PutVarint(list_design, 1);
  PutVarint(list_design, TK_ITEM_TIME);
  PutText(list_design, "T");
  PutText(list_design, "L");
  PutVarint(list_design, 1);
  PutVarint(list_design, TK_ITEM_RECORD_LIST);
  PutText(list_design, "Items");
  PutVarint(list_design, 0);
  PutVarint(list_design, 1);
  PutVarint(list_design, 1);
  PutVarint(list_design, 1);
  PutText(list_design, "N");
  Bytes list_record;
  PutVarint(list_record, 2000000000);
  list_record += Bytes(16, '\0');
  PutVarint(list_design, list_record.size());
  EXPECT_NE(damaged(list_design + list_record).find("more list elements"), std::string::npos);
}

TEST_F(TreeFileDamage, StructuralDamageIsReportedWithItsOffset) {
  auto with_nodes = [&](const std::vector<Bytes> &nodes) {
    Bytes body = one_string_design();
    PutVarint(body, nodes.size());
    for (const Bytes &n : nodes) body += n;
    return try_open(sealed(RawHeader() + body));
  };
  // 16 header bytes and 8 of dictionary: the node count is at 24, the
  // first node at 25.
  EXPECT_EQ(with_nodes({string_node(1, "A", "a"), string_node(1, "B", "b")}), "");
  EXPECT_NE(with_nodes({string_node(0, "A", "a")}).find("damaged at offset 25: bad parent reference"),
            std::string::npos);
  EXPECT_NE(with_nodes({string_node(2, "A", "a")}).find("bad parent reference"), std::string::npos);
  EXPECT_NE(with_nodes({string_node(1, "A", "a"), string_node(2, "A", "b")}).find("share a name"), std::string::npos);
  EXPECT_NE(with_nodes({string_node(1, "A:B", "a")}).find("may not contain ':'"), std::string::npos);
  EXPECT_NE(with_nodes({string_node(1, "", "a")}).find("may not be empty"), std::string::npos);
  EXPECT_NE(with_nodes({string_node(1, std::string("A\0B", 3), "a")}).find("bad node name"), std::string::npos);
  Bytes nul_text = string_node(1, "A", std::string("a\0b", 3));
  EXPECT_NE(with_nodes({nul_text}).find("NUL"), std::string::npos);
  Bytes other_design = string_node(1, "A", "a");
  other_design[1] = 5;
  EXPECT_NE(with_nodes({other_design}).find("unknown design"), std::string::npos);
  Bytes trailing = string_node(1, "A", "a");
  trailing[4] = 3;  // the record claims one byte more than its item takes
  trailing += 'x';
  EXPECT_NE(with_nodes({trailing}).find("record longer than its design"), std::string::npos);
  Bytes extra = one_string_design();
  PutVarint(extra, 0);
  extra += "junk";
  EXPECT_NE(try_open(sealed(RawHeader() + extra)).find("unexpected bytes"), std::string::npos);
  Bytes overlong = one_string_design();
  overlong += Bytes(11, '\x80');  // a varint that never ends within ten bytes
  EXPECT_NE(try_open(sealed(RawHeader() + overlong)).find("damaged at offset 24"), std::string::npos);
}

// Children of one parent must have distinct names in whatever order the
// nodes come: a writer gives them in pre-order, but a file may give a parent
// more children after other parents of its depth had theirs. Random files
// of a few wide parents with their children interleaved, each child named
// after its place among its siblings (so that cousins share names), and in
// every other file one child given the name of an earlier sibling: reading
// and updating both refuse exactly those, and every node of the others is
// found by its path.
TEST_F(TreeFileDamage, SiblingsSharingANameAreFoundInAnyOrderOfNodes) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 200; ++round) {
    const bool planted = round % 2 == 1;
    const uint64_t count = 12 + random() % 120;
    const uint64_t twin = 1 + random() % count;  // the node that repeats a sibling's name, when planted
    std::vector<uint64_t> children(count + 1, 0);
    Bytes body = one_string_design();
    PutVarint(body, count);
    bool repeated = false;
    for (uint64_t k = 1; k <= count; ++k) {
      // Nodes 1 to 3 hang under the root; later ones mostly under one of
      // the first four, now and then under any earlier node.
      uint64_t parent = k <= 3 ? 0 : random() % 4 ? random() % 4 : random() % k;
      uint64_t place = children[parent]++;
      if (planted && k >= twin && !repeated && place > 0) {
        place = random() % place;
        repeated = true;
      }
      body += string_node(k - parent, "c" + std::to_string(place), "x");
    }
    const Bytes bytes = sealed(RawHeader() + body);
    const std::string read = try_open(bytes);
    WriteBytes(path("update.kpf"), bytes);
    tk_ErrorReport *report = nullptr;
    tk_TreeFile *file = tk_TreeFileOpen(path("update.kpf").c_str(), "rb+", 0, &report, 0);
    const std::string update = file ? "" : take_report(report);
    tk_TreeFileAbandon(file);
    if (repeated) {
      EXPECT_NE(read.find("share a name"), std::string::npos) << round << ": " << read;
      EXPECT_NE(update.find("share a name"), std::string::npos) << round << ": " << update;
    } else {
      EXPECT_EQ(read, "") << round;
      EXPECT_EQ(update, "") << round;
    }
  }
}

// Designs of a few items are decoded from a laid-out copy of their items,
// larger ones from their compact form: random designs of 1 to 150 texts,
// enumerations and times, each with a node of random values, read back
// item by item what the file holds, whichever way they are decoded.
TEST_F(TreeFileDamage, RecordsOfDesignsOfAnySizeReadBackWhatTheFileHolds) {
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    const int items = 1 + static_cast<int>(random() % 150);
    std::vector<int> kinds;
    Bytes body;
    PutVarint(body, 1);
    PutText(body, "D");
    PutVarint(body, items);
    for (int i = 0; i < items; ++i) {
      const int kind = std::vector<int>{TK_ITEM_STRING, TK_ITEM_ENUM, TK_ITEM_TIME}[random() % 3];
      kinds.push_back(kind);
      PutVarint(body, kind);
      PutText(body, "i" + std::to_string(i));
      if (kind == TK_ITEM_ENUM) PutVarint(body, 0);
    }
    // Values: texts of 0 to 5 letters or absent, enumeration values
    // zigzagged, times as whole numbers.
    Bytes record;
    std::vector<std::string> texts(items);
    std::vector<int64_t> numbers(items);
    for (int i = 0; i < items; ++i) {
      if (kinds[i] == TK_ITEM_STRING) {
        const int length = static_cast<int>(random() % 7) - 1;  // -1: absent
        texts[i] = length < 0 ? "<absent>" : std::string(static_cast<size_t>(length), static_cast<char>('a' + i % 26));
        PutVarint(record, length < 0 ? 0 : static_cast<uint64_t>(length) + 1);
        if (length > 0) record += texts[i];
      } else {
        numbers[i] = static_cast<int64_t>(random() % 2001) - 1000;
        const uint64_t zigzag = (static_cast<uint64_t>(numbers[i]) << 1) ^ static_cast<uint64_t>(numbers[i] >> 63);
        PutVarint(record, kinds[i] == TK_ITEM_TIME ? zigzag << 1 : zigzag);
      }
    }
    PutVarint(body, 1);
    PutVarint(body, 1);
    PutVarint(body, 0);
    PutText(body, "N");
    PutText(body, record);
    WriteBytes(path("sized.kpf"), sealed(RawHeader() + body));
    tk_ErrorReport *report = nullptr;
    tk_TreeFile *file = tk_TreeFileOpen(path("sized.kpf").c_str(), "rb", 0, &report, 0);
    ASSERT_NE(file, nullptr) << take_report(report);
    tk_Design *design = tk_DictionarySearchByName(tk_TreeFileGetDictionary(file), "D", nullptr);
    std::vector<unsigned char> buffer(tk_DesignRecordSize(design));
    ASSERT_TRUE(tk_TreeNodeRead(file, tk_TreeNodeFind(file, ":N"), buffer.data(), design, &report)) << take_report(report);
    for (int i = 0; i < items; ++i) {
      tk_DesignItem item;
      ASSERT_TRUE(tk_DesignItemGet(design, static_cast<size_t>(i), &item));
      const unsigned char *field = buffer.data() + item.offset;
      if (kinds[i] == TK_ITEM_STRING) {
        tk_StringItem text;
        std::memcpy(&text, field, sizeof text);
        EXPECT_EQ(text.text ? std::string(text.text) : "<absent>", texts[i]) << round << " item " << i;
      } else if (kinds[i] == TK_ITEM_ENUM) {
        int32_t value;
        std::memcpy(&value, field, sizeof value);
        EXPECT_EQ(value, numbers[i]) << round << " item " << i;
      } else {
        double value;
        std::memcpy(&value, field, sizeof value);
        EXPECT_EQ(value, static_cast<double>(numbers[i])) << round << " item " << i;
      }
    }
    tk_DesignRecordRelease(design, buffer.data());
    tk_TreeFileAbandon(file);
  }
}

// A writer that opens with TK_OPEN_CHECK_RECORDS_LATER never has the
// records it deletes decoded; whatever it keeps is refused as opening would
// refuse it, by the check, by a read and by the close, which then writes
// nothing.
// A reader whose reads check the records must end with the report that
// checking everything at opening gives: at opening for damage there, else
// from the check of what no read reached; never a damaged file that passes.
TEST_F(TreeFileDamage, RecordsCheckedOnReadReportWhatOpeningWould) {
  auto damage_of = [](const std::string &report) {
    size_t at = report.find("damaged at offset");
    return at == std::string::npos ? report : report.substr(at);
  };
  const Bytes good = good_file();
  for (size_t i = 16; i + 4 < good.size(); ++i) {
    std::vector<Bytes> variants = {sealed(good.substr(0, i))};
    for (unsigned char mask : {0x01, 0x80, 0xFF}) {
      Bytes bad = good;
      bad[i] = static_cast<char>(bad[i] ^ mask);
      variants.push_back(resealed(bad));
    }
    for (const Bytes &variant : variants)
      EXPECT_EQ(damage_of(try_open(variant, TK_OPEN_CHECK_RECORDS_ON_READ)), damage_of(try_open(variant)))
          << "damage at byte " << i;
  }
}

TEST_F(TreeFileDamage, RecordsCheckedLaterAreCheckedForWhatTheWriterKeeps) {
  const std::string name = path("later.kpf");
  auto open_later = [&](const char *mode, std::string *failure = nullptr) {
    tk_ErrorReport *report = nullptr;
    tk_TreeFile *f = tk_TreeFileOpen(name.c_str(), mode, 0, &report, TK_OPEN_CHECK_RECORDS_LATER);
    std::string text = take_report(report);
    if (failure) *failure = text;
    else EXPECT_NE(f, nullptr) << text;
    return f;
  };
  auto damage_of = [](const std::string &report) {
    size_t at = report.find("damaged at offset");
    return at == std::string::npos ? "(no damage reported in: " + report + ")" : report.substr(at);
  };
  Bytes trailing = string_node(2, "A", "a");  // under the root
  trailing[4] = 3;  // the record claims one byte more than its item takes
  trailing += 'x';
  Bytes cut = string_node(2, "A", "abc");
  cut[4] = 2;  // the record ends inside its string
  cut.resize(cut.size() - 2);
  for (const Bytes &bad : {trailing, cut}) {
    Bytes body = one_string_design();
    PutVarint(body, 3);
    body += string_node(1, "K", "k") + bad + string_node(2, "B", "b");  // B lies under K
    const Bytes file = sealed(RawHeader() + body);
    WriteBytes(name, file);
    const std::string refused = damage_of(open_failure("later.kpf", "rb+"));

    tk_ErrorReport *report = nullptr;
    tk_TreeFile *f = open_later("rb+");
    ASSERT_NE(f, nullptr);
    tk_Design *d = tk_DictionarySearchByName(tk_TreeFileGetDictionary(f), "D", nullptr);
    ASSERT_TRUE(tk_TreeObjectDelete(f, ":", "A", TK_DELETE_TREE, &report)) << take_report(report);
    EXPECT_TRUE(tk_TreeFileCheckRecords(f, &report)) << take_report(report);
    EXPECT_EQ(read_label(f, ":K", "B", d), "b");
    ASSERT_TRUE(tk_TreeFileClose(f, &report)) << take_report(report);
    f = open("later.kpf", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(list(f, ":", nullptr), (std::vector<std::string>{":K", ":K:B"}));
    tk_TreeFileAbandon(f);

    WriteBytes(name, file);
    f = open_later("rb+");
    ASSERT_NE(f, nullptr);
    d = tk_DictionarySearchByName(tk_TreeFileGetDictionary(f), "D", nullptr);
    EXPECT_FALSE(tk_TreeFileCheckRecords(f, &report));
    EXPECT_EQ(damage_of(take_report(report)), refused);
    EXPECT_NE(read_label(f, ":", "A", d).find("is damaged"), std::string::npos);
    EXPECT_EQ(write_entry(f, ":K", "C", "c", 0, nullptr, "D"), "") << "writing needs no check";
    EXPECT_FALSE(tk_TreeFileClose(f, &report));
    std::string closed = take_report(report);
    EXPECT_NE(closed.find("Cannot write " + name + ": " + refused), std::string::npos) << closed;
    EXPECT_EQ(ReadBytes(name), file) << "nothing was written";
  }
  std::string failure;
  EXPECT_EQ(open_later("rb", &failure), nullptr);
  EXPECT_NE(failure.find("unsupported flags"), std::string::npos) << "only a writer leaves records unchecked";
}

TEST_F(TreeFileDamage, DeepNestingOfNodesAndDesignsIsRefused) {
  auto chain = [&](int depth) {
    Bytes body = one_string_design();
    PutVarint(body, depth);
    for (int i = 0; i < depth; ++i) body += string_node(1, "n", "");
    return try_open(sealed(RawHeader() + body));
  };
  EXPECT_EQ(chain(255), "");
  EXPECT_NE(chain(256).find("nested too deeply"), std::string::npos);
  EXPECT_NE(chain(100000).find("nested too deeply"), std::string::npos);

  auto designs = [&](int depth) {
    Bytes body;
    PutVarint(body, depth);
    PutText(body, "D0");
    PutVarint(body, 1);
    PutVarint(body, TK_ITEM_TIME);
    PutText(body, "T");
    for (int i = 1; i < depth; ++i) {
      PutText(body, std::string("D").append(std::to_string(i)));
      PutVarint(body, 1);
      PutVarint(body, TK_ITEM_RECORD_LIST);
      PutText(body, "L");
      PutVarint(body, i - 1);
    }
    PutVarint(body, 0);
    return try_open(sealed(RawHeader() + body));
  };
  EXPECT_EQ(designs(16), "");
  EXPECT_NE(designs(17).find("too deeply"), std::string::npos);
  // An element design may only be one defined before it.
  Bytes forward;
  PutVarint(forward, 1);
  PutText(forward, "D");
  PutVarint(forward, 1);
  PutVarint(forward, TK_ITEM_RECORD_LIST);
  PutText(forward, "L");
  PutVarint(forward, 0);  // itself
  PutVarint(forward, 0);
  EXPECT_NE(try_open(sealed(RawHeader() + forward)).find("unknown element design"), std::string::npos);
}

}  // namespace
}  // namespace treefile_test
