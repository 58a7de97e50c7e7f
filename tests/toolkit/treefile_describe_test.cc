// Designs described item by item: what a reader that takes a file's designs
// as they are gets to see, and the release of what a read allocated.
#include <cstddef>
#include <cstring>

#include "treefile_fixture.h"

namespace treefile_test {
namespace {

class TreeFileDescribe : public TreeFileTest {};

std::string name_of(const char *name, size_t length) { return name ? std::string(name, length) : "<null>"; }

TEST_F(TreeFileDescribe, ItemsOffsetsValuesAndElementsMatchTheLayoutOfRecords) {
  tk_TreeFile *file = create_with_designs("described.tree");
  ASSERT_NE(file, nullptr);
  tk_Dictionary *dictionary = tk_TreeFileGetDictionary(file);
  ASSERT_EQ(tk_DictionaryDesignCount(dictionary), 2u);
  EXPECT_EQ(tk_DictionaryDesignAt(dictionary, 0), entry_);
  EXPECT_EQ(tk_DictionaryDesignAt(dictionary, 1), holder_);
  EXPECT_EQ(tk_DictionaryDesignAt(dictionary, 2), nullptr);
  size_t length = 0;
  const char *name = tk_DesignName(holder_, &length);
  EXPECT_EQ(name_of(name, length), "Holder");

  // Where each item lies is where the matching struct keeps it.
  const size_t offsets[] = {offsetof(Holder, title), offsetof(Holder, when), offsetof(Holder, colour),
                            offsetof(Holder, entries)};
  const int kinds[] = {TK_ITEM_STRING, TK_ITEM_TIME, TK_ITEM_ENUM, TK_ITEM_RECORD_LIST};
  ASSERT_EQ(tk_DesignItemCount(holder_), 4u);
  for (size_t i = 0; i < 4; ++i) {
    tk_DesignItem item;
    ASSERT_EQ(tk_DesignItemGet(holder_, i, &item), 1);
    EXPECT_EQ(item.kind, kinds[i]) << i;
    EXPECT_EQ(item.offset, offsets[i]) << i;
  }
  tk_DesignItem colour;
  tk_DesignItemGet(holder_, 2, &colour);
  EXPECT_EQ(name_of(colour.name, colour.name_length), "Colour");
  EXPECT_EQ(colour.value_count, 2u);
  const char *green = tk_DesignItemValue(holder_, 2, 1, &length);
  EXPECT_EQ(name_of(green, length), "Green");
  EXPECT_EQ(tk_DesignItemValue(holder_, 2, 2, &length), nullptr);
  tk_DesignItem entries;
  tk_DesignItemGet(holder_, 3, &entries);
  EXPECT_EQ(entries.element, entry_);

  // Past the end and null: nothing, and no crash.
  tk_DesignItem none;
  EXPECT_EQ(tk_DesignItemGet(holder_, 4, &none), 0);
  EXPECT_EQ(none.name, nullptr);
  EXPECT_EQ(tk_DesignItemGet(nullptr, 0, &none), 0);
  EXPECT_EQ(tk_DesignItemCount(nullptr), 0u);
  EXPECT_EQ(tk_DesignName(nullptr, &length), nullptr);
  EXPECT_EQ(tk_DictionaryDesignCount(nullptr), 0u);
  EXPECT_EQ(tk_DesignItemValue(nullptr, 0, 0, nullptr), nullptr);
  EXPECT_EQ(tk_TreeNodeDesign(nullptr, 1), nullptr);
  EXPECT_EQ(tk_TreeNodeDesign(file, 0), nullptr);  // the root holds no record
  tk_DesignRecordRelease(nullptr, nullptr);
  tk_TreeFileAbandon(file);
}

TEST_F(TreeFileDescribe, ANodeNamesItsDesignAndReleaseFreesEverythingAReadAllocated) {
  tk_TreeFile *file = create_with_designs("release.tree");
  ASSERT_NE(file, nullptr);
  Entry elements[2] = {{{3, const_cast<char *>("ab")}, 1}, {{0, const_cast<char *>("")}, 2}};
  Holder holder{{6, const_cast<char *>("title")}, 1.5, 1, {2, elements}};
  tk_ErrorReport *report = nullptr;
  const int64_t node = tk_TreeNodeWrite(file, 0, "h", "Holder", &holder, holder_, &report);
  ASSERT_GE(node, 0) << take_report(report);
  EXPECT_EQ(tk_TreeNodeDesign(file, node), holder_);

  // Read through the description alone, as a dump does; the sanitizer build
  // reports anything the release leaves behind.
  tk_Design *design = tk_TreeNodeDesign(file, node);
  std::vector<std::max_align_t> record(tk_DesignRecordSize(design) / sizeof(std::max_align_t) + 1);
  ASSERT_EQ(tk_TreeNodeRead(file, node, record.data(), design, &report), 1) << take_report(report);
  tk_DesignItem list;
  tk_DesignItemGet(design, 3, &list);
  tk_RecordList read;
  std::memcpy(&read, reinterpret_cast<unsigned char *>(record.data()) + list.offset, sizeof read);
  ASSERT_EQ(read.count, 2);
  EXPECT_STREQ(static_cast<Entry *>(read.elements)[0].label.text, "ab");
  tk_DesignRecordRelease(design, record.data());
  std::memcpy(&read, reinterpret_cast<unsigned char *>(record.data()) + list.offset, sizeof read);
  EXPECT_EQ(read.elements, nullptr);  // zeroed: a second release is harmless
  tk_DesignRecordRelease(design, record.data());
  tk_TreeFileAbandon(file);
}

}  // namespace
}  // namespace treefile_test
