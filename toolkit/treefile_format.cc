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
#include <optional>

#include "name_hash.h"
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
  // A file of this toolkit needs no more than what it reads to be saved
  // into: the write version is stored as 0, "the same".
  w.u32(kReadVersion);
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

// Finds two children of one parent that share a name while the nodes of a
// file opened for reading are read, without giving its large parents the
// tables that a lookup by name would use (Tree::index_on_demand): such a
// file is walked by number, and tables built only to be thrown away would
// cost a good part of the reading.
//
// A writer writes nodes in pre-order, so the children of a parent come
// while it lies on the path from the root to the node being read: one
// table of names per depth, for the parent at that depth, covers them. A
// parent with at most the tree's scan limit of children has its few
// siblings compared instead. Files may give a parent children after another
// parent of its depth took its table; such a parent gets the tree's own
// table, so every name is still compared with all its siblings' at a
// bounded cost.
class SiblingNames {
 public:
  explicit SiblingNames(Tree &tree) : tree_(tree) {}

  // The child of `parent` named `name`, or kNone. For kNone, `added` must
  // follow with the node then made.
  uint32_t find(uint32_t parent, std::string_view name) {
    pending_ = nullptr;
    memo_ = HashMemo{};
    const uint32_t children = tree_.child_count(parent);
    if (children < tree_.scan_limit() || tree_.indexed(parent)) return tree_.find_child(parent, name, &memo_);
    const size_t depth = tree_.node(parent).depth;
    if (levels_.size() <= depth) levels_.resize(depth + 1);
    Level &level = levels_[depth];
    if (level.parent != parent) {
      if (children > tree_.scan_limit()) {
        // Back to a parent whose names another parent's took over.
        tree_.index_children(parent);
        return tree_.find_child(parent, name, &memo_);
      }
      start(level, parent);
    }
    const uint32_t h = hash(name);
    const size_t mask = level.slots.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      const Slot &s = level.slots[i];
      if (s.node == kNone) break;
      if (s.hash == h && tree_.node(s.node).name() == name) return s.node;
    }
    grow(level, level.count + 1);
    pending_ = &level;
    pending_hash_ = h;
    return kNone;
  }

  // What `find` learnt for the add of the child it did not find.
  const HashMemo *memo() const { return &memo_; }
  void added(uint32_t node) {
    if (pending_) insert(*pending_, node, pending_hash_);
  }

 private:
  struct Slot {
    uint32_t node = kNone;
    uint32_t hash = 0;
  };
  // The names of one parent's children: linear probing in a power of two
  // of slots, at most half full.
  struct Level {
    uint32_t parent = kNone;
    uint32_t count = 0;
    std::vector<Slot> slots;
  };

  static uint32_t hash(std::string_view name) {
    uint64_t h = name_hash(name);
    return static_cast<uint32_t>(h ^ (h >> 32));
  }

  // Hands the level to `parent` with the children it has. Clearing costs
  // at most a few slots for every name the level took since it was last
  // cleared: a level grown large by one parent is given back, not cleared,
  // for one with fewer children.
  void start(Level &level, uint32_t parent) {
    if (level.slots.size() > 64 && level.slots.size() > 4 * static_cast<size_t>(level.count) + 64) {
      std::vector<Slot>().swap(level.slots);
    } else {
      std::fill(level.slots.begin(), level.slots.end(), Slot{});
    }
    level.parent = parent;
    level.count = 0;
    grow(level, tree_.child_count(parent) + 1);
    for (uint32_t c = tree_.node(parent).first; c != kNone; c = tree_.node(c).next)
      insert(level, c, hash(tree_.node(c).name()));
  }

  static void grow(Level &level, size_t entries) {
    size_t size = level.slots.empty() ? 32 : level.slots.size();
    while (size < 2 * entries) size *= 2;
    if (size == level.slots.size()) return;
    std::vector<Slot> old(size);
    old.swap(level.slots);
    const size_t mask = size - 1;
    for (const Slot &s : old) {
      if (s.node == kNone) continue;
      size_t i = s.hash & mask;
      while (level.slots[i].node != kNone) i = (i + 1) & mask;
      level.slots[i] = s;
    }
  }

  static void insert(Level &level, uint32_t node, uint32_t h) {
    const size_t mask = level.slots.size() - 1;
    size_t i = h & mask;
    while (level.slots[i].node != kNone) i = (i + 1) & mask;
    level.slots[i] = Slot{node, h};
    ++level.count;
  }

  Tree &tree_;
  std::vector<Level> levels_;  // by the depth of the parent
  Level *pending_ = nullptr;
  uint32_t pending_hash_ = 0;
  HashMemo memo_;
};

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
  // A file opened for reading keeps no tables it does not need.
  std::optional<SiblingNames> siblings;
  if (file.mode == tk_TreeFile::Mode::read) {
    tree.index_on_demand();
    siblings.emplace(tree);
  }
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
    const HashMemo *known = &memo;
    if (siblings) {
      if (siblings->find(parent, name) != kNone) return in.fail_at(name_at, "two nodes of one parent share a name");
      known = siblings->memo();
    } else if (tree.find_child(parent, name, &memo) != kNone) {
      return in.fail_at(name_at, "two nodes of one parent share a name");
    }
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
    uint32_t added =
        tree.add_view(parent, name, gap, static_cast<uint32_t>(design), static_cast<uint32_t>(record_size), known);
    index_of[static_cast<size_t>(k)] = added;
    if (siblings) siblings->added(added);
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
  if (available >= 12 && le32(head + 8) != kReadVersion) {
    const uint32_t version = le32(head + 8);
    error = "unsupported version " + std::to_string(version);
    if (version > kReadVersion)
      error += ": written by a newer kestrum, and this one reads version " + std::to_string(kReadVersion);
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
  // Every write version is readable: it only tells who may save into the
  // file (tk_TreeFileOpen refuses "rb+" for one it does not know).
  return true;
}

uint32_t read_version(const unsigned char *head) { return le32(head + 8); }

uint32_t write_version(const unsigned char *head) {
  const uint32_t stored = le32(head + 12);
  return stored == 0 ? read_version(head) : stored;
}

bool StreamCheck::take(const unsigned char *piece, size_t size, std::string &error) {
  if (at_ == 0) {
    if (!check_header(piece, size, size_, error)) return false;
    // The design count opens the body and each design takes at least 5
    // bytes (as read_dictionary counts them).
    ByteReader in(piece + kHeaderSize, size - kHeaderSize, kHeaderSize);
    const uint64_t body = size_ - kHeaderSize - kChecksumSize;
    uint64_t designs = 0;
    if (!in.varint(&designs)) return damaged(in, error);
    if (designs > kMaxDesigns) {
      in.fail_at(kHeaderSize, "too many designs");
      return damaged(in, error);
    }
    if (designs * 5 > body) {
      in.fail_at(kHeaderSize, "more designs than the file can hold");
      return damaged(in, error);
    }
  }
  const size_t end = size_ - kChecksumSize;  // where the checksummed bytes end
  const size_t summed = at_ < end ? std::min(size, end - at_) : 0;
  crc_ = crc32c(piece, summed, crc_);
  for (size_t i = summed; i < size; ++i) trailer_[at_ + i - end] = piece[i];
  at_ += size;
  return true;
}

bool StreamCheck::finish(std::string &error) const {
  if (at_ != size_ || crc_ != le32(trailer_)) {
    error = "checksum mismatch";
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
  if (!read_dictionary(in, file.dictionary) || !read_nodes(in, file)) {
    // A reader whose reads check the records reports what checking them
    // here would have: a damaged record before this damage comes first.
    if (file.mode == tk_TreeFile::Mode::read && file.records_unchecked && !check_records(file, error)) return false;
    return damaged(in, error);
  }
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
    if (!sound || i == kRoot || !n.in_image || n.record_checked) return;
    ByteReader check(reinterpret_cast<const unsigned char *>(n.record_data()), n.record_size,
                     tree.image_offset(n.record_data()));
    if (!check_record(*file.dictionary.designs[n.design], check)) sound = damaged(check, error);
  });
  if (sound) file.records_unchecked = false;
  return sound;
}

}  // namespace tk::tree
