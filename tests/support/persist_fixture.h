// Helpers for the tests of project files: an open tree file that a test can
// inspect or doctor with the toolkit directly, raw string items and node
// listings (whole-file bytes: ReadBytes of temp_dir.h).
//
//   kestrum_test::TreeFile tree(path, "rb+");
//   pm::NamedRecord tile{kestrum_test::Item("twin"), 0};
//   tree.Write(":", "other", "PM_Tile", &tile);
//   tree.Close();
#ifndef KESTRUM_TEST_PERSIST_FIXTURE_H
#define KESTRUM_TEST_PERSIST_FIXTURE_H

#include <string>
#include <vector>

#include "include/kestrum.h"

namespace kestrum_test {

class TreeFile {
 public:
  // mode "rb" or "rb+" opens an existing file, "new" creates one; a failure
  // fails the test and leaves get() null.
  TreeFile(const std::string &path, const char *mode);
  ~TreeFile();  // abandons whatever was not closed
  TreeFile(const TreeFile &) = delete;
  TreeFile &operator=(const TreeFile &) = delete;

  tk_TreeFile *get() const noexcept { return file_; }
  tk_Dictionary *dictionary() const noexcept { return tk_TreeFileGetDictionary(file_); }
  // The design of that name in the file's dictionary, or null.
  tk_Design *Design(const char *name) const;
  // Writes a node with the file's design of that name; false (with the
  // reason as a test failure) when the toolkit refuses.
  bool Write(const char *parent, const char *name, const char *design, const void *record);
  // Reads a node into a record of the design's size; false when refused.
  bool Read(const char *parent, const char *name, const char *design, void *record);
  // Paths of the nodes of `design` beneath `path` ("" design: every node).
  std::vector<std::string> List(const char *path, const char *design = "") const;
  // Writes the file to disk and closes it.
  bool Close();

 private:
  tk_TreeFile *file_ = nullptr;
};

// A string item for writing: count length + 1, or 0 for null.
tk_StringItem Item(const char *text);
// The text of a read string item ("<absent>" for none), freeing it.
std::string TakeItem(tk_StringItem &item);

// Every node path of the file, in file order (one open and close).
std::vector<std::string> NodePaths(const std::string &path, const char *design = "");

}  // namespace kestrum_test

#endif
