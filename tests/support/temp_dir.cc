#include "temp_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace kestrum_test {

TempDir::TempDir() : TempDir(std::filesystem::temp_directory_path().string()) {}

TempDir::TempDir(const std::string &parent) {
  std::string pattern = parent + "/kestrum-test-XXXXXX";
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

std::string ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return in.bad() ? std::string() : bytes;
}

bool WriteBytes(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    out.open(path, std::ios::binary | std::ios::trunc);
  }
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

bool WriteNewFile(const std::string &path, const std::string &bytes) {
  unlink(path.c_str());
  return WriteBytes(path, bytes);
}

}  // namespace kestrum_test
