#include "persist_fixture.h"

#include <gtest/gtest.h>

namespace kestrum_test {

namespace {

std::string take_chain(tk_ErrorReport *&report) {
  char *text = tk_ErrorReportFormatChain(report);
  std::string chain = text ? text : "";
  tk_HeapFree(text);
  tk_ErrorReportDelete(&report);
  return chain;
}

}  // namespace

TreeFile::TreeFile(const std::string &path, const char *mode) {
  tk_ErrorReport *report = nullptr;
  file_ = std::string(mode) == "new" ? tk_TreeFileCreate(path.c_str(), 0, &report)
                                     : tk_TreeFileOpen(path.c_str(), mode, 0, &report, 0);
  if (report) ADD_FAILURE() << "cannot open " << path << ": " << take_chain(report);
}

TreeFile::~TreeFile() { tk_TreeFileAbandon(file_); }

tk_Design *TreeFile::Design(const char *name) const {
  return tk_DictionarySearchByName(dictionary(), name, nullptr);
}

bool TreeFile::Write(const char *parent, const char *name, const char *design, const void *record) {
  tk_ErrorReport *report = nullptr;
  int written = tk_TreeObjectWrite(file_, parent, name, design, TK_WRITE_NEW, record, Design(design), &report);
  if (report) ADD_FAILURE() << "cannot write " << parent << " " << name << ": " << take_chain(report);
  return written == 1;
}

bool TreeFile::Read(const char *parent, const char *name, const char *design, void *record) {
  tk_ErrorReport *report = nullptr;
  int read = tk_TreeObjectRead(file_, parent, name, TK_READ_RECORD, record, Design(design), &report);
  if (report) ADD_FAILURE() << "cannot read " << parent << " " << name << ": " << take_chain(report);
  return read == 1;
}

std::vector<std::string> TreeFile::List(const char *path, const char *design) const {
  tk_ErrorReport *report = nullptr;
  tk_StringList *list = tk_TreeObjectList(file_, path, 0, *design ? design : nullptr, &report);
  if (report) ADD_FAILURE() << "cannot list " << path << ": " << take_chain(report);
  std::vector<std::string> paths;
  for (int i = 0; list && i < list->count; ++i) paths.emplace_back(list->strings[i] ? list->strings[i] : "<null>");
  tk_StringListDelete(list, nullptr);
  return paths;
}

bool TreeFile::Close() {
  tk_ErrorReport *report = nullptr;
  int closed = tk_TreeFileClose(file_, &report);
  file_ = nullptr;
  if (report) ADD_FAILURE() << "cannot close: " << take_chain(report);
  return closed == 1;
}

tk_StringItem Item(const char *text) {
  static char empty[] = "";
  if (!text) return tk_StringItem{0, empty};
  return tk_StringItem{static_cast<int32_t>(std::string(text).size() + 1), const_cast<char *>(text)};
}

std::string TakeItem(tk_StringItem &item) {
  std::string text = item.text ? item.text : "<absent>";
  tk_HeapFree(item.text);
  item = tk_StringItem{0, nullptr};
  return text;
}

std::vector<std::string> NodePaths(const std::string &path, const char *design) {
  TreeFile tree(path, "rb");
  return tree.get() ? tree.List(":", design) : std::vector<std::string>{};
}

}  // namespace kestrum_test
