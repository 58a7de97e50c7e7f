// Designs, dictionaries and records of the tree file: layout, comparison,
// and every item kind surviving a write, a close and a read.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "treefile_fixture.h"

namespace treefile_test {
namespace {

class TreeFileRecords : public TreeFileTest {};

TEST_F(TreeFileRecords, RecordsAreLaidOutLikeTheMatchingCStruct) {
  tk_Dictionary *dictionary = tk_DictionaryCreate();
  tk_Design *entry = nullptr, *holder = nullptr;
  add_designs(dictionary, &entry, &holder);
  EXPECT_EQ(tk_DesignRecordSize(entry), sizeof(Entry));
  EXPECT_EQ(tk_DesignRecordSize(holder), sizeof(Holder));
  tk_ErrorReport *report = nullptr;
  tk_Design *times = tk_DesignCreate(dictionary, "Times", &report, TK_ITEM_ENUM, "A", static_cast<const char *>(nullptr),
                                     TK_ITEM_TIME, "T", TK_ITEM_ENUM, "B", static_cast<const char *>(nullptr), TK_ITEM_END);
  ASSERT_NE(times, nullptr) << take_report(report);
  struct Times {
    int32_t a;
    double t;
    int32_t b;
  };
  EXPECT_EQ(tk_DesignRecordSize(times), sizeof(Times));
  EXPECT_EQ(tk_DesignRecordSize(nullptr), 0u);
  tk_DictionaryDelete(dictionary);
}

TEST_F(TreeFileRecords, DesignCreateRefusesBadItemListsAndDuplicates) {
  tk_Dictionary *dictionary = tk_DictionaryCreate();
  tk_Dictionary *other = tk_DictionaryCreate();
  tk_Design *entry = nullptr, *holder = nullptr;
  add_designs(dictionary, &entry, &holder);
  tk_Design *foreign = tk_DesignCreate(other, "Foreign", nullptr, TK_ITEM_TIME, "T", TK_ITEM_END);
  ASSERT_NE(foreign, nullptr);

  tk_ErrorReport *report = nullptr;
  EXPECT_EQ(tk_DesignCreate(dictionary, "Entry", &report, TK_ITEM_TIME, "T", TK_ITEM_END), nullptr);
  EXPECT_NE(take_report(report).find("already exists"), std::string::npos);
  EXPECT_EQ(tk_DesignCreate(dictionary, "Empty", &report, TK_ITEM_END), nullptr);
  EXPECT_NE(take_report(report), "");
  EXPECT_EQ(tk_DesignCreate(dictionary, "Odd", &report, 77, "X", TK_ITEM_END), nullptr);
  EXPECT_NE(take_report(report).find("unknown kind 77"), std::string::npos);
  EXPECT_EQ(tk_DesignCreate(dictionary, "Nameless", &report, TK_ITEM_TIME, static_cast<const char *>(nullptr),
                            TK_ITEM_END),
            nullptr);
  EXPECT_NE(take_report(report), "");
  EXPECT_EQ(tk_DesignCreate(dictionary, "Cross", &report, TK_ITEM_RECORD_LIST, "L", foreign, TK_ITEM_END), nullptr);
  EXPECT_NE(take_report(report).find("same dictionary"), std::string::npos);
  EXPECT_EQ(tk_DesignCreate(dictionary, "", &report, TK_ITEM_TIME, "T", TK_ITEM_END), nullptr);
  EXPECT_NE(take_report(report), "");
  EXPECT_EQ(tk_DesignCreate(nullptr, "X", &report, TK_ITEM_TIME, "T", TK_ITEM_END), nullptr);
  EXPECT_NE(take_report(report), "");

  // Nothing refused was registered, and a missing design is no failure.
  EXPECT_EQ(tk_DictionarySearchByName(dictionary, "Cross", &report), nullptr);
  EXPECT_EQ(report, nullptr);
  EXPECT_EQ(tk_DictionarySearchByName(nullptr, "Entry", &report), nullptr);
  EXPECT_EQ(tk_DictionarySearchByName(dictionary, "Entry", nullptr), entry);
  tk_DictionaryDelete(dictionary);
  tk_DictionaryDelete(other);
}

TEST_F(TreeFileRecords, RecordListsNestOnlyToALimitedDepth) {
  tk_Dictionary *dictionary = tk_DictionaryCreate();
  tk_Design *inner = tk_DesignCreate(dictionary, "L0", nullptr, TK_ITEM_TIME, "T", TK_ITEM_END);
  int depth = 1;
  tk_ErrorReport *report = nullptr;
  for (; inner && depth < 100; ++depth) {
    std::string name = "L";
    name += std::to_string(depth);
    tk_Design *next = tk_DesignCreate(dictionary, name.c_str(), &report, TK_ITEM_RECORD_LIST, "E", inner, TK_ITEM_END);
    if (!next) break;
    inner = next;
  }
  EXPECT_EQ(depth, 16);  // sixteen levels are accepted, the seventeenth refused
  EXPECT_NE(take_report(report).find("too deeply"), std::string::npos);
  tk_DictionaryDelete(dictionary);
}

TEST_F(TreeFileRecords, DesignEqualComparesItemsValuesAndElementsRecursively) {
  auto build = [](tk_Dictionary *d, const char *value, const char *element_item) {
    tk_Design *element = tk_DesignCreate(d, "El", nullptr, TK_ITEM_STRING, element_item, TK_ITEM_END);
    return tk_DesignCreate(d, "Top", nullptr, TK_ITEM_ENUM, "E", "A", value, static_cast<const char *>(nullptr),
                           TK_ITEM_RECORD_LIST, "L", element, TK_ITEM_END);
  };
  tk_Dictionary *a = tk_DictionaryCreate(), *b = tk_DictionaryCreate(), *c = tk_DictionaryCreate(),
                *d = tk_DictionaryCreate();
  tk_Design *ta = build(a, "B", "S"), *tb = build(b, "B", "S"), *tc = build(c, "C", "S"), *td = build(d, "B", "X");
  EXPECT_TRUE(tk_DesignEqual(ta, tb));
  EXPECT_TRUE(tk_DesignEqual(ta, ta));
  EXPECT_FALSE(tk_DesignEqual(ta, tc));  // an enumeration value name differs
  EXPECT_FALSE(tk_DesignEqual(ta, td));  // an item of the element design differs
  EXPECT_FALSE(tk_DesignEqual(ta, tk_DictionarySearchByName(a, "El", nullptr)));
  EXPECT_FALSE(tk_DesignEqual(ta, nullptr));
  tk_Design *swapped = tk_DesignCreate(b, "Swapped", nullptr, TK_ITEM_TIME, "T", TK_ITEM_STRING, "S", TK_ITEM_END);
  tk_Design *ordered = tk_DesignCreate(c, "Swapped", nullptr, TK_ITEM_STRING, "S", TK_ITEM_TIME, "T", TK_ITEM_END);
  EXPECT_FALSE(tk_DesignEqual(swapped, ordered));  // same items, other order
  for (tk_Dictionary *x : {a, b, c, d}) tk_DictionaryDelete(x);
}

TEST_F(TreeFileRecords, EveryItemKindSurvivesCloseAndReopen) {
  tk_TreeFile *file = create_with_designs("kinds.kpf");
  ASSERT_NE(file, nullptr);
  char label0[] = "first";
  char label1[] = "";
  Entry elements[3] = {{{6, label0}, 2}, {{1, label1}, -7}, {{0, nullptr}, 99}};
  char title[] = "Holder title";
  const double when = 1718000000.123456789;
  Holder h{{13, title}, when, 5, {3, elements}};
  tk_ErrorReport *report = nullptr;
  ASSERT_TRUE(tk_TreeObjectWrite(file, ":", "H", "Holder", TK_WRITE_NEW, &h, holder_, &report)) << take_report(report);
  Holder bare{{0, const_cast<char *>("")}, -0.0, INT32_MIN, {0, nullptr}};
  ASSERT_TRUE(tk_TreeObjectWrite(file, ":", "Bare", "Holder", TK_WRITE_NEW, &bare, holder_, &report))
      << take_report(report);
  ASSERT_TRUE(tk_TreeFileClose(file, &report)) << take_report(report);

  file = open("kinds.kpf", "rb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(tk_DesignRecordSize(holder_), sizeof(Holder));
  Holder got{};
  ASSERT_TRUE(tk_TreeObjectRead(file, ":", "H", TK_READ_RECORD, &got, holder_, &report)) << take_report(report);
  EXPECT_EQ(got.title.count, 13);
  EXPECT_STREQ(got.title.text, "Holder title");
  EXPECT_EQ(std::memcmp(&got.when, &when, sizeof when), 0);  // all eight bytes
  EXPECT_EQ(got.colour, 5);  // out of the two value names, kept as given
  ASSERT_EQ(got.entries.count, 3);
  auto *e = static_cast<Entry *>(got.entries.elements);
  EXPECT_EQ(e[0].label.count, 6);
  EXPECT_STREQ(e[0].label.text, "first");
  EXPECT_EQ(e[0].colour, 2);
  EXPECT_EQ(e[1].label.count, 1);  // present but empty stays present
  ASSERT_NE(e[1].label.text, nullptr);
  EXPECT_STREQ(e[1].label.text, "");
  EXPECT_EQ(e[1].colour, -7);
  EXPECT_EQ(e[2].label.count, 0);  // absent stays absent
  EXPECT_EQ(e[2].label.text, nullptr);
  EXPECT_EQ(e[2].colour, 99);
  for (int i = 0; i < 3; ++i) tk_HeapFree(e[i].label.text);
  tk_HeapFree(e);
  tk_HeapFree(got.title.text);

  Holder none{};
  ASSERT_TRUE(tk_TreeObjectRead(file, ":", "Bare", TK_READ_RECORD, &none, holder_, &report)) << take_report(report);
  EXPECT_EQ(none.title.count, 0);
  EXPECT_EQ(none.title.text, nullptr);
  EXPECT_TRUE(std::signbit(none.when));  // negative zero keeps its sign bit
  EXPECT_EQ(none.colour, INT32_MIN);
  EXPECT_EQ(none.entries.count, 0);
  EXPECT_EQ(none.entries.elements, nullptr);
  tk_TreeFileAbandon(file);
}

// A list read by its head and then a part at a time gives exactly the
// elements of the whole read, whatever the part size; a record without a
// list leaves nothing to take, and a cursor whose node is gone is refused.
TEST_F(TreeFileRecords, AListTakenAPartAtATimeEqualsTheWholeRead) {
  tk_TreeFile *file = create_with_designs("parts.kpf");
  ASSERT_NE(file, nullptr);
  const int count = 2500;
  std::vector<std::string> labels(count);
  std::vector<Entry> elements(count);
  for (int i = 0; i < count; ++i) {
    labels[i] = std::string(static_cast<size_t>(i % 5), 'a') + std::to_string(i);
    char *text = i % 7 == 3 ? nullptr : labels[i].data();
    elements[i] = Entry{{text ? static_cast<int32_t>(labels[i].size() + 1) : 0, text}, i % 3 - 1};
  }
  char title[] = "many";
  Holder h{{5, title}, 12.5, 1, {count, elements.data()}};
  tk_ErrorReport *report = nullptr;
  ASSERT_TRUE(tk_TreeObjectWrite(file, ":", "H", "Holder", TK_WRITE_NEW, &h, holder_, &report)) << take_report(report);
  ASSERT_EQ(write_entry(file, ":", "E", "plain"), "");

  for (int32_t part : {1, 7, 1024, count + 1}) {
    Holder head{};
    tk_ListCursor cursor{};
    ASSERT_TRUE(tk_TreeObjectReadHead(file, ":", "H", &head, holder_, &cursor, &report)) << take_report(report);
    EXPECT_STREQ(head.title.text, "many");
    EXPECT_EQ(head.when, 12.5);
    EXPECT_EQ(head.entries.count, count);
    EXPECT_EQ(head.entries.elements, nullptr);
    tk_HeapFree(head.title.text);
    std::vector<Entry> buffer(static_cast<size_t>(part));
    int taken = 0;
    for (int32_t got; (got = tk_ListCursorRead(&cursor, buffer.data(), part, &report)) > 0;) {
      for (int32_t k = 0; k < got; ++k, ++taken) {
        const Entry &e = buffer[static_cast<size_t>(k)];
        EXPECT_EQ(e.label.count, elements[taken].label.count) << taken;
        EXPECT_STREQ(e.label.text, elements[taken].label.text) << taken;
        EXPECT_EQ(e.colour, elements[taken].colour) << taken;
        tk_HeapFree(e.label.text);
      }
    }
    EXPECT_EQ(report, nullptr) << take_report(report);
    EXPECT_EQ(taken, count) << part;
  }

  // Without a list, by number: nothing to take.
  Entry plain{};
  tk_ListCursor none{};
  ASSERT_TRUE(tk_TreeNodeReadHead(file, tk_TreeNodeFind(file, ":E"), &plain, entry_, &none, &report))
      << take_report(report);
  tk_HeapFree(plain.label.text);
  Entry one{};
  EXPECT_EQ(tk_ListCursorRead(&none, &one, 1, &report), 0);

  Holder head{};
  tk_ListCursor cursor{};
  ASSERT_TRUE(tk_TreeNodeReadHead(file, tk_TreeNodeFind(file, ":H"), &head, holder_, &cursor, &report))
      << take_report(report);
  tk_HeapFree(head.title.text);
  ASSERT_TRUE(tk_TreeObjectDelete(file, ":", ":H", TK_DELETE_TREE, &report)) << take_report(report);
  EXPECT_EQ(tk_ListCursorRead(&cursor, &one, 1, &report), -1);
  EXPECT_NE(take_report(report).find("The node of the list is gone"), std::string::npos);
  EXPECT_EQ(tk_ListCursorRead(nullptr, &one, 1, &report), -1);
  EXPECT_NE(take_report(report).find("No cursor given"), std::string::npos);
  tk_TreeFileAbandon(file);
}

TEST_F(TreeFileRecords, EveryTimeKeepsItsExactBitPattern) {
  tk_TreeFile *file = tk_TreeFileCreate(path("times.kpf").c_str(), 0, nullptr);
  ASSERT_NE(file, nullptr);
  tk_Design *t = tk_DesignCreate(tk_TreeFileGetDictionary(file), "T", nullptr, TK_ITEM_TIME, "When", TK_ITEM_END);
  const double two53 = 9007199254740992.0;
  std::vector<double> times = {0.0,   -0.0,       1.0,          -1.0,      1718000000.0, 1718000000.25,
                               two53, -two53,     two53 + 2,    -two53 - 2, 1e300,        -1e-310,
                               0.1,   HUGE_VAL,   -HUGE_VAL,    std::nan("0x5"), 4503599627370495.5};
  std::vector<uint64_t> bits(times.size());
  for (size_t i = 0; i < times.size(); ++i) {
    std::memcpy(&bits[i], &times[i], sizeof(double));
    std::string name = "t";
    name += std::to_string(i);
    ASSERT_TRUE(tk_TreeObjectWrite(file, ":", name.c_str(), "T", 4, &times[i], t, nullptr));
  }
  ASSERT_TRUE(tk_TreeFileClose(file, nullptr));
  file = tk_TreeFileOpen(path("times.kpf").c_str(), "rb", 0, nullptr, 0);
  ASSERT_NE(file, nullptr);
  t = tk_DictionarySearchByName(tk_TreeFileGetDictionary(file), "T", nullptr);
  for (size_t i = 0; i < times.size(); ++i) {
    std::string name = "t";
    name += std::to_string(i);
    double got = 42;
    ASSERT_TRUE(tk_TreeObjectRead(file, ":", name.c_str(), 12, &got, t, nullptr));
    uint64_t got_bits;
    std::memcpy(&got_bits, &got, sizeof got);
    EXPECT_EQ(got_bits, bits[i]) << "time " << times[i];
  }
  tk_TreeFileAbandon(file);
}

TEST_F(TreeFileRecords, AStringCountBoundsWhatIsStoredAndBadCountsAreRefused) {
  tk_TreeFile *file = create_with_designs("counts.kpf");
  ASSERT_NE(file, nullptr);
  char unterminated[4] = {'a', 'b', 'c', 'd'};  // no NUL: the count must bound the copy
  Entry e{{4, unterminated}, 0};
  tk_ErrorReport *report = nullptr;
  ASSERT_TRUE(tk_TreeObjectWrite(file, ":", "Short", "Entry", TK_WRITE_NEW, &e, entry_, &report)) << take_report(report);
  EXPECT_EQ(read_label(file, ":", "Short", entry_), "abc");

  Entry negative{{-3, unterminated}, 0};
  EXPECT_FALSE(tk_TreeObjectWrite(file, ":", "Neg", "Entry", TK_WRITE_NEW, &negative, entry_, &report));
  EXPECT_NE(take_report(report).find("negative count"), std::string::npos);
  Entry missing{{5, nullptr}, 0};
  EXPECT_FALSE(tk_TreeObjectWrite(file, ":", "Null", "Entry", TK_WRITE_NEW, &missing, entry_, &report));
  EXPECT_NE(take_report(report), "");
  Holder h{{0, nullptr}, 0, 0, {2, nullptr}};
  EXPECT_FALSE(tk_TreeObjectWrite(file, ":", "NoList", "Holder", TK_WRITE_NEW, &h, holder_, &report));
  EXPECT_NE(take_report(report), "");
  Holder neg_list{{0, nullptr}, 0, 0, {-1, nullptr}};
  EXPECT_FALSE(tk_TreeObjectWrite(file, ":", "NegList", "Holder", TK_WRITE_NEW, &neg_list, holder_, &report));
  EXPECT_NE(take_report(report), "");
  // None of the refused records left a node behind.
  EXPECT_EQ(list(file, ":", nullptr), std::vector<std::string>{":Short"});
  tk_TreeFileAbandon(file);
}

TEST_F(TreeFileRecords, ReadingWithAnotherDesignIsRefusedAndAnEqualOneAccepted) {
  tk_TreeFile *file = create_with_designs("designs.kpf");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(write_entry(file, ":", "E", "x"), "");
  Holder h{};
  tk_ErrorReport *report = nullptr;
  EXPECT_FALSE(tk_TreeObjectRead(file, ":", "E", TK_READ_RECORD, &h, holder_, &report));
  EXPECT_NE(take_report(report).find("holds a Entry record, not a Holder record"), std::string::npos);
  EXPECT_EQ(h.title.text, nullptr);  // the buffer was not touched

  // A reader's own dictionary with the same designs reads the file's records.
  tk_Dictionary *mine = tk_DictionaryCreate();
  tk_Design *my_entry = nullptr, *my_holder = nullptr;
  add_designs(mine, &my_entry, &my_holder);
  EXPECT_EQ(read_label(file, ":", "E", my_entry), "x");

  // A design of the same name with fewer items (an older reader's) reads
  // the records by item name, but never writes; one whose item is of
  // another kind does neither.
  tk_Dictionary *differs = tk_DictionaryCreate();
  tk_Design *fewer = tk_DesignCreate(differs, "Entry", nullptr, TK_ITEM_STRING, "Label", TK_ITEM_END);
  EXPECT_EQ(read_label(file, ":", "E", fewer), "x");
  EXPECT_TRUE(tk_DesignReads(entry_, fewer));
  EXPECT_FALSE(tk_DesignReads(fewer, entry_));
  EXPECT_NE(write_entry(file, ":", "F", "y", 0, fewer), "");
  tk_Dictionary *other = tk_DictionaryCreate();
  tk_Design *odd = tk_DesignCreate(other, "Entry", nullptr, TK_ITEM_STRING, "Label", TK_ITEM_TIME, "Colour",
                                   TK_ITEM_END);
  EXPECT_NE(read_label(file, ":", "E", odd).find("not a Entry record"), std::string::npos);
  EXPECT_NE(write_entry(file, ":", "F", "y", 0, odd), "");
  tk_DictionaryDelete(other);
  // The equal design from the reader's dictionary may be used to write.
  EXPECT_EQ(write_entry(file, ":", "G", "z", 0, my_entry), "");
  EXPECT_EQ(read_label(file, ":", "G", entry_), "z");
  // A design name that contradicts the handle is refused.
  EXPECT_NE(write_entry(file, ":", "H", "z", 0, entry_, "Holder"), "");
  tk_DictionaryDelete(mine);
  tk_DictionaryDelete(differs);
  tk_TreeFileAbandon(file);
}

TEST_F(TreeFileRecords, DesignsPersistWithTheFileAndAFileDictionaryIsNotFreedByDelete) {
  tk_TreeFile *file = create_with_designs("dict.kpf");
  ASSERT_NE(file, nullptr);
  tk_DictionaryDelete(tk_TreeFileGetDictionary(file));  // must not free what the file owns
  ASSERT_TRUE(tk_TreeFileClose(file, nullptr));
  file = open("dict.kpf", "rb");
  ASSERT_NE(file, nullptr);
  ASSERT_NE(entry_, nullptr);
  ASSERT_NE(holder_, nullptr);
  tk_Dictionary *mine = tk_DictionaryCreate();
  tk_Design *my_entry = nullptr, *my_holder = nullptr;
  add_designs(mine, &my_entry, &my_holder);
  EXPECT_TRUE(tk_DesignEqual(holder_, my_holder));
  EXPECT_TRUE(tk_DesignEqual(entry_, my_entry));
  // A file open for reading takes no new designs.
  tk_ErrorReport *report = nullptr;
  EXPECT_EQ(tk_DesignCreate(tk_TreeFileGetDictionary(file), "New", &report, TK_ITEM_TIME, "T", TK_ITEM_END), nullptr);
  EXPECT_NE(take_report(report).find("reading only"), std::string::npos);
  tk_DictionaryDelete(mine);
  tk_TreeFileAbandon(file);
}

}  // namespace
}  // namespace treefile_test
