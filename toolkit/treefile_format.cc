// The whole-file form of a tree file (layout in treefile.h): writing a handle
// out as one image and checking and loading an image into a handle.
//
// Loading trusts nothing: the checksum is compared before anything else is
// parsed, and every count, length, reference and nesting depth is checked
// against the bytes that remain, so a damaged or hostile file gives a report
// and never an over-read or an allocation larger than the file warrants.
#include <array>
#include <cstring>
#include <functional>

#include "treefile.h"

namespace tk::tree {

bool serialize(const tk_TreeFile &file, const std::function<bool(const char *, size_t)> &sink) {
  const Tree &tree = file.tree;
  std::string out;
  out.reserve(kPieceSize + 16 * 1024);
  uint32_t crc = 0;
  ByteWriter w(out);
  // Hands the bytes gathered so far to the sink, summing them on the way.
  auto flush = [&] {
    w.flush();
    crc = crc32c(out.data(), out.size(), crc);
    bool taken = sink(out.data(), out.size());
    out.clear();
    return taken;
  };
  w.bytes(kMagic, sizeof kMagic);
  w.u32(kVersion);
  w.u32(0);
  write_dictionary(file.dictionary, w);
  w.varint(tree.count());
  // Nodes are numbered in the order written; a node refers to its parent by
  // how many numbers back it lies, which keeps the reference short. In
  // pre-order a node's parent is the last node written one level up, so
  // one number per level is all there is to remember.
  std::array<uint32_t, kMaxDepth + 1> number_at_depth{};
  uint32_t next = 0;
  bool taken = true;
  tree.preorder(kRoot, [&](uint32_t i) {
    const Node &n = tree.node(i);
    uint32_t number = next++;
    number_at_depth[n.depth] = number;
    if (i == kRoot || !taken) return;
    w.varint(number - number_at_depth[n.depth - 1]);
    w.varint(n.design);
    w.text(n.name());
    w.varint(n.record_size);
    w.bytes(n.record_data(), n.record_size);
    if (w.size() >= kPieceSize) taken = flush();
  });
  if (!taken || !flush()) return false;
  w.u32(crc);
  w.flush();
  return sink(out.data(), out.size());
}

namespace {

uint32_t le32(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

bool damaged(const ByteReader &in, std::string &error) {
  error = "damaged at offset " + std::to_string(in.failed_at()) + ": " + in.reason();
  return false;
}

// Decodes a record without keeping anything of it: it must hold its
// design's items and end where they do. `check` reads the record alone and
// fails where it is damaged.
bool check_record(const tk_Design &design, ByteReader &check) {
  if (!decode_record(design, check, nullptr)) return false;
  if (check.remaining() != 0) return check.fail("record longer than its design");
  return true;
}

bool read_nodes(ByteReader &in, tk_TreeFile &file) {
  Tree &tree = file.tree;
  const auto &designs = file.dictionary.designs;
  // A node takes at least 6 bytes: parent, design, a one-byte name with its
  // length, a record size and a record of at least one byte. Checking the
  // count against that bounds what is reserved for the nodes by the file's
  // size.
  uint64_t count = 0;
  if (!in.count(&count, 6, "more nodes than the file can hold")) return false;
  if (count >= kNone - 1) return in.fail("too many nodes");
  tree.reserve(static_cast<size_t>(count));
  std::vector<uint32_t> index_of(static_cast<size_t>(count) + 1);
  index_of[0] = kRoot;
  for (uint64_t k = 1; k <= count; ++k) {
    size_t node_at = in.offset();
    uint64_t distance = 0, design = 0, record_size = 0;
    std::string_view name;
    const unsigned char *record = nullptr;
    if (!in.varint(&distance)) return false;
    if (distance == 0 || distance > k) return in.fail_at(node_at, "bad parent reference");
    uint32_t parent = index_of[static_cast<size_t>(k - distance)];
    if (tree.node(parent).depth >= kMaxDepth) return in.fail_at(node_at, "nodes nested too deeply");
    size_t design_at = in.offset();
    if (!in.varint(&design)) return false;
    if (design >= designs.size()) return in.fail_at(design_at, "unknown design");
    size_t name_at = in.offset();
    if (!in.text(&name, kMaxNameSize, "bad node name")) return false;
    if (const char *reason = bad_name_reason(name)) return in.fail_at(name_at, reason);
    HashMemo memo;
    if (tree.find_child(parent, name, &memo) != kNone) return in.fail_at(name_at, "two nodes of one parent share a name");
    if (!in.varint_max(kMaxRecordSize, &record_size, "record too large") ||
        !in.take(static_cast<size_t>(record_size), &record, "record runs past the end of the file"))
      return false;
    if (!file.records_unchecked) {
      ByteReader check(record, static_cast<size_t>(record_size), in.offset() - static_cast<size_t>(record_size));
      if (!check_record(*designs[static_cast<size_t>(design)], check))
        return in.fail_at(check.failed_at(), check.reason());
    }
    // Between the name and the record lies only the record size's varint.
    auto gap = static_cast<uint8_t>(reinterpret_cast<const char *>(record) - (name.data() + name.size()));
    index_of[static_cast<size_t>(k)] =
        tree.add_view(parent, name, gap, static_cast<uint32_t>(design), static_cast<uint32_t>(record_size), &memo);
  }
  if (in.remaining() != 0) return in.fail("unexpected bytes after the last node");
  return true;
}

}  // namespace

bool check_header(const unsigned char *head, size_t available, size_t file_size, std::string &error) {
  if (available < sizeof kMagic || std::memcmp(head, kMagic, sizeof kMagic) != 0) {
    error = "not a project file";
    return false;
  }
  if (available >= 12 && le32(head + 8) != kVersion) {
    error = "unsupported version " + std::to_string(le32(head + 8));
    return false;
  }
  if (file_size < kHeaderSize + kChecksumSize) {
    error = "damaged at offset " + std::to_string(file_size) + ": file ends inside its header";
    return false;
  }
  if (available < kHeaderSize) {
    error = "damaged at offset " + std::to_string(available) + ": file ends inside its header";
    return false;
  }
  if (uint32_t flags = le32(head + 12); flags != 0) {
    error = "unsupported version " + std::to_string(kVersion) + " with flags " + std::to_string(flags);
    return false;
  }
  return true;
}

bool parse(std::unique_ptr<char[]> image, size_t size, tk_TreeFile &file, std::string &error) {
  const auto *bytes = reinterpret_cast<const unsigned char *>(image.get());
  // The tree keeps the image from the start: its nodes view their names and
  // records in place.
  file.tree.keep_image(std::move(image));
  if (!check_header(bytes, size, size, error)) return false;
  if (crc32c(bytes, size - kChecksumSize) != le32(bytes + size - kChecksumSize)) {
    error = "checksum mismatch";
    return false;
  }
  ByteReader in(bytes + kHeaderSize, size - kHeaderSize - kChecksumSize, kHeaderSize);
  if (!read_dictionary(in, file.dictionary) || !read_nodes(in, file)) return damaged(in, error);
  return true;
}

bool check_records(tk_TreeFile &file, std::string &error) {
  if (!file.records_unchecked) return true;
  const Tree &tree = file.tree;
  bool sound = true;
  // Only nodes that view the image were loaded unchecked; written ones were
  // encoded here. Pre-order keeps file order, so the first damage reported
  // is the one parse would have reported had nothing been deleted.
  tree.preorder(kRoot, [&](uint32_t i) {
    const Node &n = tree.node(i);
    if (!sound || i == kRoot || !n.in_image) return;
    ByteReader check(reinterpret_cast<const unsigned char *>(n.record_data()), n.record_size,
                     tree.image_offset(n.record_data()));
    if (!check_record(*file.dictionary.designs[n.design], check)) sound = damaged(check, error);
  });
  if (sound) file.records_unchecked = false;
  return sound;
}

}  // namespace tk::tree
