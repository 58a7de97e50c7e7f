#include "temp_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <system_error>

namespace kestrum_test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrum-test-XXXXXX").string();
  if (mkdtemp(pattern.data())) {
    path_ = pattern;
  } else {
    ADD_FAILURE() << "cannot create a temporary directory from " << pattern;
  }
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Touch(const std::string &relative) const {
  std::filesystem::path file = Path(relative);
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  std::ofstream out(file);
  if (!out) ADD_FAILURE() << "cannot create " << file;
  return file.string();
}

}  // namespace kestrum_test
