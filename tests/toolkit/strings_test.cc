// Strings, formatted strings and string lists.
#include <gtest/gtest.h>

#include <string>

#include "toolkit.h"

namespace {

TEST(StringsTest, SprintfFormatsShortAndLongTexts) {
  tk_ErrorReport *report = nullptr;
  char *text = tk_Sprintf(0, "%s%c%s", &report, "/data", '/', "a.img");
  EXPECT_EQ(report, nullptr);
  EXPECT_STREQ(text, "/data/a.img");
  tk_HeapFree(text);

  std::string long_text(10000, 'x');
  text = tk_Sprintf(0, "<%s>", &report, long_text.c_str());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), "<" + long_text + ">");
  tk_HeapFree(text);
}

TEST(StringsTest, SprintfWithoutFormatReportsAndGivesNull) {
  tk_ErrorReport *report = nullptr;
  EXPECT_EQ(tk_Sprintf(0, nullptr, &report), nullptr);
  ASSERT_NE(report, nullptr);
  EXPECT_STREQ(tk_ErrorReportGetFunction(report), "tk_Sprintf");
  tk_ErrorReportDelete(&report);
  EXPECT_EQ(tk_Sprintf(0, nullptr, nullptr), nullptr);  // null slot: report discarded
}

TEST(StringsTest, CaseInsensitiveEqualityNeedsSameLength) {
  EXPECT_TRUE(tk_StrEqualNoCase("Root Files", "ROOT files"));
  EXPECT_FALSE(tk_StrEqualNoCase("Tile", "Tiles"));
  EXPECT_FALSE(tk_StrEqualNoCase("Tiles", "Tile"));
  EXPECT_TRUE(tk_StrEqualNoCase(nullptr, nullptr));
  EXPECT_FALSE(tk_StrEqualNoCase(nullptr, ""));
}

TEST(StringsTest, CompareIsBytewiseWithNullFirst) {
  EXPECT_LT(tk_TextCompare("abc", "abd"), 0);
  EXPECT_GT(tk_TextCompare("b", "abc"), 0);
  EXPECT_EQ(tk_TextCompare("same", "same"), 0);
  EXPECT_LT(tk_TextCompare("Z", "a"), 0);          // case counts
  EXPECT_GT(tk_TextCompare("\xC3\xA9", "z"), 0);   // bytes compare unsigned
  EXPECT_LT(tk_TextCompare(nullptr, ""), 0);
  EXPECT_GT(tk_TextCompare("", nullptr), 0);
  EXPECT_EQ(tk_TextCompare(nullptr, nullptr), 0);
  EXPECT_EQ(tk_TextCompareN("/data/proj/a", "/data/proj", 10), 0);
  EXPECT_NE(tk_TextCompareN("/data/pro", "/data/proj", 10), 0);
  EXPECT_EQ(tk_TextLength("four"), 4u);
  EXPECT_EQ(tk_TextLength(nullptr), 0u);
}

TEST(StringListTest, NullListStartsANewOneAndNullEntriesAreKept) {
  tk_ErrorReport *report = nullptr;
  tk_StringList *list = tk_StringListAppend(nullptr, "first", &report);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(tk_StringListAppend(list, nullptr, &report), list);
  EXPECT_EQ(tk_StringListAppend(list, "third", &report), list);
  EXPECT_EQ(report, nullptr);
  ASSERT_EQ(list->count, 3);
  EXPECT_STREQ(list->strings[0], "first");
  EXPECT_EQ(list->strings[1], nullptr);
  EXPECT_STREQ(list->strings[2], "third");
  tk_StringListDelete(list, &report);
  EXPECT_EQ(report, nullptr);
  tk_StringListDelete(nullptr, nullptr);
}

TEST(StringListTest, GrowsToManyEntriesKeepingOrderAndCopies) {
  tk_StringList *list = nullptr;
  for (int i = 0; i < 1000; ++i) {
    std::string text = "entry " + std::to_string(i);
    list = tk_StringListAppend(list, text.c_str(), nullptr);
    ASSERT_NE(list, nullptr);
  }
  ASSERT_EQ(list->count, 1000);
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(std::string(list->strings[i]), "entry " + std::to_string(i));
  tk_StringListDelete(list, nullptr);
}

}  // namespace
