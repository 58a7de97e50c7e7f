// The open tree file: its handle, and the whole-file format.
//
// A tree file is read whole when it is opened and written whole when it is
// closed; in between every change is made in memory. The file format
// (version 1; all numbers little-endian, varints 7 bits a byte, low first):
//
//   offset 0   8 bytes  magic "KSTMTREE"
//   offset 8   u32      read version (1): a reader that does not know it
//                       refuses the file
//   offset 12  u32      write version, 0 meaning the same as the read
//                       version: a writer that does not know it reads the
//                       file but never saves into it
//   offset 16           the dictionary (treefile_dictionary.cc)
//                       varint node count, not counting the root; then per
//                       node, numbered from 1 in file order (the root is 0):
//                         varint distance back to the parent (1 .. own number)
//                         varint design position
//                         text   node name (1 .. 4096 bytes, no ':')
//                         varint record size, then the record
//                           (treefile_dictionary.h)
//   end - 4    u32      CRC-32C of every byte before it
//
// Nodes are written in pre-order, so a parent always precedes its children
// and siblings appear in the order they were added.
#ifndef KESTRUM_TOOLKIT_TREEFILE_H
#define KESTRUM_TOOLKIT_TREEFILE_H

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "toolkit.h"
#include "treefile_dictionary.h"
#include "treefile_tree.h"

struct tk_TreeFile {
  enum class Mode { read, update, create };

  std::string path;  // absolute, as given (symbolic links not resolved)
  Mode mode = Mode::read;
  int lock_fd = -1;  // holds the writer's lock from open to close; -1 when none
  // The lock file beside a file being created, while this handle holds it
  // (treefile_io.cc); empty when none.
  std::string creation_lock;
  bool changed = false;
  // The versions of the header the file was opened with (tk_TreeFileVersions);
  // a new file has today's.
  uint32_t read_version = 1;
  uint32_t write_version = 1;
  // Opened with TK_OPEN_CHECK_RECORDS_LATER or _ON_READ: the records of the
  // nodes that view the loaded image have not been checked yet, unless a
  // read has checked them (check_records).
  bool records_unchecked = false;
  uint32_t position = tk::tree::kRoot;  // the node of the last seek
  // The node that a path from the root last resolved to, kept until the
  // next removal: writes and reads come in runs under one parent.
  mutable std::string last_path;
  mutable uint32_t last_node = tk::tree::kNone;
  mutable uint64_t last_removals = 0;
  std::string scratch;  // a record being encoded
  // The designs that walks over nodes by number asked for by name last: a
  // walk asks for the same few at every step (a sample's files, then the
  // next sample).
  mutable std::array<const tk_Design *, 4> recent_designs{};
  tk_Dictionary dictionary;
  tk::tree::Tree tree;
};

namespace tk::tree {

constexpr char kMagic[8] = {'K', 'S', 'T', 'M', 'T', 'R', 'E', 'E'};
// The versions this toolkit reads and writes. A change that an older
// reader would misread raises the read version; one that it would read
// correctly but lose when it saves (a new item in a design, nodes it does
// not know where it rewrites) raises only the write version.
constexpr uint32_t kReadVersion = 1;
constexpr uint32_t kWriteVersion = 1;
constexpr size_t kHeaderSize = 16;
constexpr size_t kChecksumSize = 4;

// The file image of the handle's dictionary and tree, handed to `sink` in
// pieces of about kPieceSize bytes as it is made, so that writing a file
// never holds a second copy of it in memory. Stops and returns false as
// soon as the sink returns false.
constexpr size_t kPieceSize = 256 * 1024;
bool serialize(const tk_TreeFile &file, const std::function<bool(const char *, size_t)> &sink);

// Whether `file` takes changes; otherwise false with a report in
// `function`'s name.
bool writable(const tk_TreeFile *file, const char *function, tk_ErrorReport **slot);

// Writes a new child `name` of node `at` holding `record` (see
// tk_TreeObjectWrite) and returns its number, or kNone with a report in
// `function`'s name that names the parent as `parent`. Nothing changes on
// failure. Throws std::bad_alloc.
uint32_t write_record(tk_TreeFile &file, uint32_t at, const char *name, const char *design_name, const void *record,
                      tk_Design *design, const char *function, const char *parent, tk_ErrorReport **slot);

// Decodes node `found` into the caller's `record` of `design` (which must
// equal the node's own), leaving the record untouched on failure. Reports
// are in `function`'s name and name the node as `name` under `parent`.
// With `cursor`, the record's first record-list item is left in the file
// for tk_ListCursorRead (see tk_TreeObjectReadHead).
int read_record(const tk_TreeFile &file, uint32_t found, void *record, tk_Design *design, const char *function,
                const char *parent, const char *name, tk_ErrorReport **slot, tk_ListCursor *cursor = nullptr);
// tk_ListCursorRead.
int32_t read_elements(tk_ListCursor *cursor, void *elements, int32_t max, tk_ErrorReport **slot);

// Checks the header: the first `available` bytes of a file of `file_size`
// bytes (all 16 when the file has them). Returns false with `error` set to a
// reason as parse gives it, so that a file that is no tree file is refused
// before the rest of it is read.
bool check_header(const unsigned char *head, size_t available, size_t file_size, std::string &error);
// The read and write versions of a header that check_header accepted (a
// stored write version of 0 stands for the read version).
uint32_t read_version(const unsigned char *head);
uint32_t write_version(const unsigned char *head);

// A whole file checked as it is read, piece by piece, in memory of a piece:
// for a file too large to hold before it is known to be sound. The first
// piece (the header and the start of the body) is checked at once against
// the file's size, so that a body whose first count cannot fit is refused
// before the rest is read; the checksum is checked at the end. Errors read
// as parse gives them.
class StreamCheck {
 public:
  explicit StreamCheck(size_t file_size) : size_(file_size) {}
  // The next `size` bytes of the file, from its start on; the first piece
  // holds the header and at least 16 bytes of the body.
  bool take(const unsigned char *piece, size_t size, std::string &error);
  // After the last piece: whether the checksum matches.
  bool finish(std::string &error) const;

 private:
  size_t size_;
  size_t at_ = 0;
  uint32_t crc_ = 0;
  unsigned char trailer_[kChecksumSize] = {};
};

// Parses a file image into the handle's (empty) dictionary and tree, which
// take the image over. Returns false with `error` set to a reason that
// starts with "not a project file", "unsupported version", "checksum
// mismatch" or "damaged at offset N".
// With the handle's records_unchecked set, the records are left for
// check_records.
bool parse(std::unique_ptr<char[]> image, size_t size, tk_TreeFile &file, std::string &error);

// Checks the records that parse left unchecked, of the nodes still in the
// tree, as parse would have; the first damaged one in file order fails it
// with `error` set as parse sets it. Afterwards nothing is left unchecked.
bool check_records(tk_TreeFile &file, std::string &error);

}  // namespace tk::tree

#endif
