// Copying one data file for a pack: the cheapest way the file systems allow,
// checked, and never a half-written file under the final name.
#ifndef KESTRUM_TOOLS_COPY_DATA_FILE_H
#define KESTRUM_TOOLS_COPY_DATA_FILE_H

#include <cstdint>
#include <string>

namespace kcli {

struct CopiedFile {
  std::uint64_t bytes = 0;
  bool linked = false;  // a hard link was made instead of a copy
};

// Copies the regular file `source` (a link is followed) to `target`, whose
// directory exists: a clone of its blocks where the file system can share
// them, else copy_file_range, else reads and writes. With `link`, a hard
// link to the source instead where the file system allows one (the same
// file system, links permitted), else a copy. The bytes go to a new name
// beside the target that replaces it only once complete and of the
// source's size; its permissions and times are the source's. Throws
// Failure naming the file; the target is then as it was.
CopiedFile copy_data_file(const std::string &source, const std::string &target, bool link);

}  // namespace kcli

#endif
