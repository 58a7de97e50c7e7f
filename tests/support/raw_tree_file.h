// Tree files written byte by byte from a description, for tests and fuzz
// seeds that need files the toolkit would never write itself: designs of
// any items under any name (kestrum's own with their kinds swapped, lists
// where texts sit, foreign designs), records of any values, names of any
// bytes, and nestings of any depth.
//
//   kestrum_test::RawFileGenerator generate(seed);
//   bool well_formed = false;
//   std::string bytes = generate.MutatedProjectFile(&well_formed).Bytes();
//
// The format is the one the README describes (version 1); Bytes() seals
// the file with the right checksum.
#ifndef KESTRUM_TEST_RAW_TREE_FILE_H
#define KESTRUM_TEST_RAW_TREE_FILE_H

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum_test {

// Item kinds as the file stores them (the toolkit's TK_ITEM_ numbers).
constexpr int kRawText = 520;
constexpr int kRawEnumeration = 3;
constexpr int kRawTime = 14;
constexpr int kRawList = 513;

struct RawItem {
  int kind = kRawText;
  std::string name;
  std::vector<std::string> values;  // of an enumeration
  uint64_t element = 0;             // of a list: the position of its element design
};

struct RawDesign {
  std::string name;
  std::vector<RawItem> items;
};

struct RawNode {
  uint64_t parent = 0;  // the parent's number: 0 the root, nodes count from 1 in order
  uint64_t design = 0;  // position in the dictionary
  std::string name;
  std::string record;   // the record as the file stores it
};

struct RawTreeFile {
  std::vector<RawDesign> designs;
  std::vector<RawNode> nodes;
  // Header, dictionary, nodes and checksum.
  std::string Bytes() const;
};

// The pieces of the format: a little-endian 32-bit number, a varint, a
// text (its length as a varint, then its bytes), and the 16-byte header of
// a version 1 file.
void PutU32(std::string &out, uint32_t value);
void PutVarint(std::string &out, uint64_t value);
void PutText(std::string &out, std::string_view text);
std::string RawHeader();

// The eight designs of a project file as kestrum registers them.
std::vector<RawDesign> ProjectDesigns();

// Random contents from a seed: the same seed gives the same files.
class RawFileGenerator {
 public:
  explicit RawFileGenerator(uint32_t seed) : rng_(seed) {}

  // A text of 0 to 12 bytes, most of them ones a terminal would act on or a
  // decoder would trip over: control bytes, DEL, backslashes and quotes,
  // invalid UTF-8, C1 controls and bidirectional marks, mixed with letters
  // and valid multi-byte characters. Never a NUL byte.
  std::string Text();
  // A node name: a Text() that is not empty and holds no ':'.
  std::string Name();
  // A record of `designs[design]` with random values: absent and present
  // texts, enumeration values in and out of range, whole and fractional
  // times (NaN and infinities too), lists of up to three elements.
  std::string Record(const std::vector<RawDesign> &designs, uint64_t design);
  // kestrum's designs after one to three mutations (kinds swapped where the
  // sizes stay, lists where texts sit, element designs changed or given
  // other items, items of random kinds, enumerations renamed, a foreign
  // design added), with nodes of every design nested up to four deep under
  // hostile names. Now and then the mutation is one the toolkit must refuse
  // on opening (an element design that is not an earlier one, an unknown
  // kind); `well_formed` tells which.
  RawTreeFile MutatedProjectFile(bool *well_formed);
  int Below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(rng_); }

 private:
  // One mutation; with `broken`, then one the toolkit must refuse.
  void Mutate(std::vector<RawDesign> &designs, bool broken, bool *well_formed);
  RawItem RandomItem(uint64_t design);
  void PutRecord(std::string &out, const std::vector<RawDesign> &designs, uint64_t design, int depth);

  std::mt19937 rng_;
};

}  // namespace kestrum_test

#endif
