// The command line of processes the other tests do not write by hand: random
// argument lists checked against the rule in words (the pieces, each name and
// each "$value" of a shown argument, joined by single blanks), and how the
// time grows with the number of arguments.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "include/kestrum.h"
#include "owned_records.h"
#include "scaling.h"

namespace {

using kestrum_test::ProcessPtr;

struct Piece {
  std::string name;   // empty: the argument has no name
  std::string value;  // empty with has_value false: no value
  bool has_value = false;
  bool hidden = false;
};

ProcessPtr MakeProcess(const std::vector<Piece> &args) {
  pm_Process *process = pm_ProcessCreate("run", nullptr, nullptr, nullptr, nullptr, 0);
  int n = 0;
  for (const Piece &a : args) {
    // A list holds only named nodes: a nameless argument is named, appended, then unnamed.
    const std::string name = a.name.empty() ? "unnamed" + std::to_string(n++) : a.name;
    pm_Argument *argument = pm_ArgumentCreate(name.c_str(), a.has_value ? a.value.c_str() : nullptr, PM_RASTER,
                                              PM_STRICT_INPUT, a.hidden ? 1 : 0);
    tk_ErrorReport *report = nullptr;
    pm_ProcessAppendArgument(process, argument, &report);
    EXPECT_EQ(report, nullptr);
    tk_ErrorReportDelete(&report);
    if (a.name.empty()) {
      EXPECT_EQ(pm_ArgumentSetName(argument, nullptr, nullptr), 1);
    }
  }
  return ProcessPtr(process);
}

// The rule in words, written independently of the library's walk.
std::string Expected(const std::vector<Piece> &args, bool *none) {
  std::string line;
  *none = true;
  const auto add = [&](const std::string &piece) {
    if (!*none) line += ' ';
    line += piece;
    *none = false;
  };
  for (const Piece &a : args) {
    if (a.hidden) continue;
    if (!a.name.empty()) add(a.name);
    if (a.has_value) add("$" + a.value);
  }
  return line;
}

TEST(CommandLineRule, RandomArgumentListsGiveTheirPiecesJoinedByBlanks) {
  std::mt19937 random(2316);
  const auto word = [&](int max) {
    std::string text;
    for (int i = std::uniform_int_distribution<int>(0, max)(random); i > 0; --i)
      text += static_cast<char>('a' + std::uniform_int_distribution<int>(0, 25)(random));
    return text;
  };
  for (int round = 0; round < 400; ++round) {
    std::vector<Piece> args(static_cast<size_t>(std::uniform_int_distribution<int>(0, 8)(random)));
    int n = 0;
    bool nameless = false;  // a list holds at most one nameless node
    for (Piece &a : args) {
      const bool unnamed = !nameless && random() % 4 == 0;
      nameless = nameless || unnamed;
      a.name = unnamed ? std::string() : word(6) + "_" + std::to_string(n++);
      a.has_value = random() % 3 != 0;
      if (a.has_value) a.value = word(5);  // an empty value gives a lone "$"
      a.hidden = random() % 5 == 0;
    }
    bool none = false;
    const std::string expected = Expected(args, &none);
    ProcessPtr process = MakeProcess(args);
    tk_ErrorReport *report = nullptr;
    char *line = pm_ProcessCommandLine(process.get(), &report);
    EXPECT_EQ(report, nullptr);
    EXPECT_EQ(line == nullptr, none) << "round " << round;
    if (line) {
      EXPECT_EQ(line, expected) << "round " << round;
    }
    tk_HeapFree(line);
    tk_ErrorReportDelete(&report);
  }
}

TEST(CommandLineRule, SixteenTimesTheArgumentsCostsAboutSixteenTimesAsMuch) {
  const auto process_of = [](int n) {
    std::vector<Piece> args(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) args[static_cast<size_t>(i)] = {"arg" + std::to_string(i), "value", true, false};
    return MakeProcess(args);
  };
  ProcessPtr small = process_of(1000);
  ProcessPtr large = process_of(16000);
  const auto line_of = [](pm_Process *process) { return [process](int) { tk_HeapFree(pm_ProcessCommandLine(process, nullptr)); }; };
  line_of(large.get())(0);  // the heap grows to its peak before anything is timed
  const double small_seconds = std::max(kestrum_test::QuickestSeconds(1000, line_of(small.get())), 50e-6);
  const double large_seconds = kestrum_test::QuickestSeconds(16000, line_of(large.get()));
  EXPECT_LE(large_seconds / small_seconds, 20.0);
}

}  // namespace
