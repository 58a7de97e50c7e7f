// Shared fixture for the tree-file tests: a scratch directory, whole-file
// byte access, report capture, and a small set of designs shaped like the
// ones kestrum stores (strings, enumerations, a time and record lists).
#ifndef KESTRUM_TESTS_TREEFILE_FIXTURE_H
#define KESTRUM_TESTS_TREEFILE_FIXTURE_H

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file_seal.h"
#include "peak_memory.h"
#include "raw_tree_file.h"
#include "temp_dir.h"
#include "toolkit/toolkit.h"

namespace treefile_test {

using Bytes = std::string;

using kestrum_test::ReadBytes;
using kestrum_test::WriteBytes;

// The whole chain of a report as text, freeing the report.
inline std::string take_report(tk_ErrorReport *&report) {
  if (!report) return "";
  char *text = tk_ErrorReportFormatChain(report);
  std::string result = text ? text : "";
  tk_HeapFree(text);
  tk_ErrorReportDelete(&report);
  return result;
}

inline uint32_t crc32c(const Bytes &bytes, size_t size) { return kestrum_test::BitwiseCrc32c(bytes.data(), size); }

using kestrum_test::PutText;
using kestrum_test::PutU32;
using kestrum_test::PutVarint;
using kestrum_test::RawHeader;

// The peak resident memory (KiB) of a child process that opens `path` for
// reading, and whether it opened; -1 when the child failed.
inline long peak_kib_of_open(const std::string &path, bool *opened) {
  return kestrum_test::PeakKibOf(
      [&] {
        tk_TreeFile *file = tk_TreeFileOpen(path.c_str(), "rb", 0, nullptr, 0);
        if (file) tk_TreeFileAbandon(file);
        return file != nullptr;
      },
      opened);
}

// Appends the checksum that seals `body`.
inline Bytes sealed(Bytes body) {
  PutU32(body, crc32c(body, body.size()));
  return body;
}

// Replaces the last four bytes by the checksum of what precedes them.
inline Bytes resealed(Bytes file) {
  if (file.size() < 4) return file;
  file.resize(file.size() - 4);
  return sealed(std::move(file));
}

// Records of the designs below, laid out as the toolkit lays them out.
struct Entry {
  tk_StringItem label;
  int32_t colour;
};
struct Holder {
  tk_StringItem title;
  double when;
  int32_t colour;
  tk_RecordList entries;
};

class TreeFileTest : public ::testing::Test {
 protected:
  void TearDown() override { tk_FaultInject(0, 0, 0); }

  std::string path(const std::string &name) const { return dir_.Path(name); }

  // Every entry of the scratch directory, for checking that no temporary
  // file was left behind.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Registers "Entry" (a string and an enumeration) and "Holder" (a string,
  // a time, an enumeration and a list of Entry) in `dictionary`.
  static void add_designs(tk_Dictionary *dictionary, tk_Design **entry, tk_Design **holder) {
    tk_ErrorReport *report = nullptr;
    *entry = tk_DesignCreate(dictionary, "Entry", &report, TK_ITEM_STRING, "Label", TK_ITEM_ENUM, "Colour", "Red",
                             "Green", "Blue", static_cast<const char *>(nullptr), TK_ITEM_END);
    ASSERT_NE(*entry, nullptr) << take_report(report);
    *holder = tk_DesignCreate(dictionary, "Holder", &report, TK_ITEM_STRING, "Title", TK_ITEM_TIME, "When",
                              TK_ITEM_ENUM, "Colour", "Red", "Green", static_cast<const char *>(nullptr),
                              TK_ITEM_RECORD_LIST, "Entries", *entry, TK_ITEM_END);
    ASSERT_NE(*holder, nullptr) << take_report(report);
  }

  // A new file at `name` with the two designs; the handle stays open.
  tk_TreeFile *create_with_designs(const std::string &name) {
    tk_ErrorReport *report = nullptr;
    tk_TreeFile *file = tk_TreeFileCreate(path(name).c_str(), 0, &report);
    EXPECT_NE(file, nullptr) << take_report(report);
    if (file) add_designs(tk_TreeFileGetDictionary(file), &entry_, &holder_);
    return file;
  }

  tk_TreeFile *open(const std::string &name, const char *mode) {
    tk_ErrorReport *report = nullptr;
    tk_TreeFile *file = tk_TreeFileOpen(path(name).c_str(), mode, 0, &report, 0);
    EXPECT_NE(file, nullptr) << take_report(report);
    if (file) {
      tk_Dictionary *dictionary = tk_TreeFileGetDictionary(file);
      entry_ = tk_DictionarySearchByName(dictionary, "Entry", nullptr);
      holder_ = tk_DictionarySearchByName(dictionary, "Holder", nullptr);
    }
    return file;
  }

  // The message of a failed open of `name`, or "" when it opened.
  std::string open_failure(const std::string &name, const char *mode) {
    tk_ErrorReport *report = nullptr;
    tk_TreeFile *file = tk_TreeFileOpen(path(name).c_str(), mode, 0, &report, 0);
    if (file) {
      tk_TreeFileAbandon(file);
      return "";
    }
    std::string text = take_report(report);
    return text.empty() ? "(failed without a report)" : text;
  }

  // Writes an Entry node; returns the report text ("" on success).
  static std::string write_entry(tk_TreeFile *file, const char *parent, const char *name, const char *label,
                                 int32_t colour = 0, tk_Design *design = nullptr, const char *design_name = "Entry") {
    Entry e{{label ? static_cast<int32_t>(std::strlen(label) + 1) : 0, const_cast<char *>(label ? label : "")},
            colour};
    tk_ErrorReport *report = nullptr;
    int ok = tk_TreeObjectWrite(file, parent, name, design_name, TK_WRITE_NEW, &e, design, &report);
    std::string text = take_report(report);
    if (!ok && text.empty()) return "(failed without a report)";
    return ok ? "" : text;
  }

  // Reads an Entry node's label ("<absent>" for an absent one, "<error: ...>"
  // when the read fails).
  static std::string read_label(tk_TreeFile *file, const char *parent, const char *name, tk_Design *design) {
    Entry e{};
    tk_ErrorReport *report = nullptr;
    if (!tk_TreeObjectRead(file, parent, name, TK_READ_RECORD, &e, design, &report))
      return "<error: " + take_report(report) + ">";
    std::string label = e.label.text ? e.label.text : "<absent>";
    tk_HeapFree(e.label.text);
    return label;
  }

  static std::vector<std::string> list(tk_TreeFile *file, const char *path, const char *design_name) {
    tk_ErrorReport *report = nullptr;
    tk_StringList *names = tk_TreeObjectList(file, path, 0, design_name, &report);
    std::vector<std::string> result;
    if (!names) {
      result.push_back("<error: " + take_report(report) + ">");
      return result;
    }
    for (int i = 0; i < names->count; ++i) result.push_back(names->strings[i]);
    tk_StringListDelete(names, nullptr);
    return result;
  }

  kestrum_test::TempDir dir_;
  tk_Design *entry_ = nullptr;
  tk_Design *holder_ = nullptr;
};

// Tree files on disk: a small closed file to work on, and its status.
class TreeFileDisk : public TreeFileTest {
 protected:
  // A closed file "f.kpf" holding the designs and node A.
  void make_file(const std::string &name = "f.kpf") {
    tk_TreeFile *file = create_with_designs(name);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(write_entry(file, ":", "A", "a"), "");
    tk_ErrorReport *report = nullptr;
    ASSERT_TRUE(tk_TreeFileClose(file, &report)) << take_report(report);
  }
  struct stat stat_of(const std::string &name) {
    struct stat st {};
    EXPECT_EQ(::stat(path(name).c_str(), &st), 0);
    return st;
  }
};

}  // namespace treefile_test

#endif
