// Error reports and their chains of causes.
#include <gtest/gtest.h>

#include <string>

#include "toolkit.h"

namespace {

TEST(ErrorReportTest, CreateKeepsEveryFieldAndFormatsTheMessage) {
  tk_ErrorReport *report = tk_ErrorReportCreate("pm_TileAppend", 42, 2, nullptr, "Name \"%s\" in use (%d)", "t1", 3);
  ASSERT_NE(report, nullptr);
  EXPECT_STREQ(tk_ErrorReportGetFunction(report), "pm_TileAppend");
  EXPECT_STREQ(tk_ErrorReportGetMessage(report), "Name \"t1\" in use (3)");
  EXPECT_EQ(tk_ErrorReportGetLine(report), 42);
  EXPECT_EQ(tk_ErrorReportGetSeverity(report), 2);
  EXPECT_EQ(tk_ErrorReportGetCause(report), nullptr);
  tk_ErrorReportDelete(&report);
  EXPECT_EQ(report, nullptr);
}

TEST(ErrorReportTest, NullReportsAndSlotsAreHarmless) {
  EXPECT_EQ(tk_ErrorReportGetMessage(nullptr), nullptr);
  EXPECT_EQ(tk_ErrorReportGetFunction(nullptr), nullptr);
  EXPECT_EQ(tk_ErrorReportGetSeverity(nullptr), 0);
  EXPECT_EQ(tk_ErrorReportGetLine(nullptr), 0);
  EXPECT_EQ(tk_ErrorReportGetCause(nullptr), nullptr);
  EXPECT_EQ(tk_ErrorReportFormatChain(nullptr), nullptr);
  tk_ErrorReportDelete(nullptr);
  tk_ErrorReport *empty = nullptr;
  tk_ErrorReportDelete(&empty);
}

TEST(ErrorReportTest, ChainOwnsItsCausesAndFormatsOutermostFirst) {
  tk_ErrorReport *inner = tk_ErrorReportCreate("pm_NodeAppend", 1, 1, nullptr, "%s", "Name \"t1\" already in use");
  tk_ErrorReport *middle = tk_ErrorReportCreate("pm_TileAppend", 2, 1, inner, "Error appending tile %s", "t1");
  tk_ErrorReport *outer = tk_ErrorReportCreate("pm_ProjectAppendTile", 3, 1, middle, "%s", "Cannot append tile");
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(tk_ErrorReportGetCause(outer), middle);
  EXPECT_EQ(tk_ErrorReportGetCause(middle), inner);
  char *text = tk_ErrorReportFormatChain(outer);
  EXPECT_STREQ(text,
               "pm_ProjectAppendTile: Cannot append tile\n"
               "pm_TileAppend: Error appending tile t1\n"
               "pm_NodeAppend: Name \"t1\" already in use");
  tk_HeapFree(text);
  tk_ErrorReportDelete(&outer);  // frees all three; the leak checker holds us to it
}

TEST(ErrorReportTest, LongChainIsFreedWithoutRecursion) {
  tk_ErrorReport *chain = nullptr;
  for (int i = 0; i < 100000; ++i) chain = tk_ErrorReportCreate("f", i, 1, chain, "level %d", i);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(tk_ErrorReportGetLine(chain), 99999);
  tk_ErrorReportDelete(&chain);
}

}  // namespace
