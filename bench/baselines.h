// What the same work costs without the library: the project file's bytes
// written with plain write calls and one fsync and read back with plain
// reads, a plain loop of stat calls, and the same records in SQLite.
#pragma once
#include <string>
#include <vector>

#include "generator.h"

namespace bench {

std::string read_whole_file(const std::string &path);
void raw_write(const std::string &path, const std::string &bytes);
size_t raw_read(const std::string &path);
int stat_loop(const std::vector<std::string> &paths);  // how many exist
void sqlite_write(const std::string &path, const std::vector<Record> &records);
size_t sqlite_read(const std::string &path, std::vector<Record> *out);

}  // namespace bench
