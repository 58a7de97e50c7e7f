#include "raw_tree_file.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "file_seal.h"

namespace kestrum_test {

void PutU32(std::string &out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

void PutVarint(std::string &out, uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

void PutText(std::string &out, std::string_view text) {
  PutVarint(out, text.size());
  out.append(text);
}

std::string RawHeader() {
  std::string out = "KSTMTREE";
  PutU32(out, 1);
  PutU32(out, 0);
  return out;
}

std::string RawTreeFile::Bytes() const {
  std::string out = RawHeader();
  PutVarint(out, designs.size());
  for (const RawDesign &design : designs) {
    PutText(out, design.name);
    PutVarint(out, design.items.size());
    for (const RawItem &item : design.items) {
      PutVarint(out, static_cast<uint64_t>(item.kind));
      PutText(out, item.name);
      if (item.kind == kRawEnumeration) {
        PutVarint(out, item.values.size());
        for (const std::string &value : item.values) PutText(out, value);
      } else if (item.kind == kRawList) {
        PutVarint(out, item.element);
      }
    }
  }
  PutVarint(out, nodes.size());
  for (uint64_t k = 1; k <= nodes.size(); ++k) {
    const RawNode &node = nodes[k - 1];
    PutVarint(out, k - node.parent);
    PutVarint(out, node.design);
    PutText(out, node.name);
    PutVarint(out, node.record.size());
    out += node.record;
  }
  out.append(4, '\0');
  ResealProjectFile(out);
  return out;
}

std::vector<RawDesign> ProjectDesigns() {
  const std::vector<std::string> types{"Raster", "Vector", "Text", "Annotation", "AOI"};
  const std::vector<std::string> switches{"Disabled", "Enabled"};
  const std::vector<std::string> selection{"Manual", "Automatic"};
  const RawItem name{kRawText, "Name", {}, 0};
  return {
      {"PM_Root",
       {{kRawEnumeration, "Project_Type", {"Single_Sampling", "Double_Sampling"}, 0},
        {kRawEnumeration, "Dot_Grid_Analysis", switches, 0},
        {kRawEnumeration, "Poly_Tool_Analysis", switches, 0}}},
      {"PM_Tile", {name, {kRawEnumeration, "Selection", selection, 0}}},
      {"PM_Sample", {name, {kRawEnumeration, "Selection", selection, 0}}},
      {"PM_File",
       {{kRawText, "Type", {}, 0},
        {kRawText, "Descriptor", {}, 0},
        {kRawTime, "Time", {}, 0},
        {kRawText, "Verified", {}, 0},
        {kRawText, "Comment", {}, 0}}},
      {"PM_PFAFile", {{kRawText, "String", {}, 0}, {kRawEnumeration, "Type", types, 0}}},
      {"PM_PFA_Root", {{kRawList, "Files", {}, 4}}},
      {"PM_Argument",
       {name,
        {kRawText, "Value", {}, 0},
        {kRawEnumeration, "Type", types, 0},
        {kRawEnumeration, "Mode",
         {"Strict_Input", "Strict_Output", "Optional_Input", "Optional_Output", "Editable_Output"}, 0},
        {kRawEnumeration, "Hide", {"Show", "Hide"}, 0}}},
      {"PM_Process",
       {name,
        {kRawText, "Title", {}, 0},
        {kRawText, "Parameter File", {}, 0},
        {kRawText, "Label File", {}, 0},
        {kRawText, "File Suffix", {}, 0},
        {kRawEnumeration, "Output", {"Request", "Generate"}, 0},
        {kRawList, "Arguments", {}, 6}}},
  };
}

std::string RawFileGenerator::Text() {
  static const char *const kPieces[] = {
      "\x1b[2J", "\x1b]0;title\x07", "\r", "\n", "\nkestrum: FAKE", "\rFAKE", "\t", "\x7f", "\x01", "\x08",
      "\\", "\"", "\xff", "\xc0\x80", "\x80", "\xe2\x82", "\xed\xa0\x80", "\xc2\x9b", "\xe2\x80\xae",
      "\xe2\x80\xa8", "\xc3\xa9", "\xe6\x97\xa5", "\xf0\x9f\x99\x82", "a", "T1", " ", "$PROJECT/x", "::"};
  std::string text;
  const int pieces = Below(5);
  for (int i = 0; i < pieces; ++i) {
    if (Below(3) == 0)
      text += static_cast<char>(1 + Below(31));
    else
      text += kPieces[Below(static_cast<int>(std::size(kPieces)))];
  }
  return text;
}

std::string RawFileGenerator::Name() {
  std::string name = Text();
  for (char &c : name)
    if (c == ':') c = '_';
  return name.empty() ? "n" : name;
}

void RawFileGenerator::PutRecord(std::string &out, const std::vector<RawDesign> &designs, uint64_t design,
                                 int depth) {
  for (const RawItem &item : designs[design].items) {
    switch (item.kind) {
      case kRawText:
        if (Below(4) == 0) {
          PutVarint(out, 0);
        } else {
          const std::string text = Text();
          PutVarint(out, text.size() + 1);
          out += text;
        }
        break;
      case kRawEnumeration: {
        const auto value = static_cast<int32_t>(Below(static_cast<int>(item.values.size()) + 4) - 2);
        PutVarint(out, (static_cast<uint32_t>(value) << 1) ^ static_cast<uint32_t>(value >> 31));
        break;
      }
      case kRawTime:
        if (Below(2) == 0) {
          const int64_t whole = Below(2000001) - 1000000;
          PutVarint(out, 2 * ((static_cast<uint64_t>(whole) << 1) ^ static_cast<uint64_t>(whole >> 63)));
        } else {
          static const double kOdd[] = {0.5, -1e300, std::numeric_limits<double>::quiet_NaN(),
                                        std::numeric_limits<double>::infinity(), 1e16 + 2};
          const double value = kOdd[Below(static_cast<int>(std::size(kOdd)))];
          uint64_t bits = 0;
          std::memcpy(&bits, &value, sizeof bits);
          PutVarint(out, 1);
          for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(bits >> (8 * i)));
        }
        break;
      case kRawList: {
        const int count = Below(depth < 2 ? 4 : 2);
        PutVarint(out, static_cast<uint64_t>(count));
        for (int i = 0; i < count; ++i) PutRecord(out, designs, item.element, depth + 1);
        break;
      }
      default:
        break;
    }
  }
}

std::string RawFileGenerator::Record(const std::vector<RawDesign> &designs, uint64_t design) {
  std::string record;
  PutRecord(record, designs, design, 0);
  return record;
}

RawItem RawFileGenerator::RandomItem(uint64_t design) {
  static const int kKinds[] = {kRawText, kRawEnumeration, kRawTime, kRawList};
  RawItem item;
  item.kind = kKinds[Below(4)];
  item.name = Below(2) ? Text() : "Item";
  // A list's element design must be an earlier one; the first design can
  // hold none.
  if (item.kind == kRawList && design == 0) item.kind = kRawText;
  if (item.kind == kRawList) item.element = static_cast<uint64_t>(Below(static_cast<int>(design)));
  if (item.kind == kRawEnumeration)
    for (int i = Below(4); i > 0; --i) item.values.push_back(Text());
  return item;
}

void RawFileGenerator::Mutate(std::vector<RawDesign> &designs, bool broken, bool *well_formed) {
  const auto d = static_cast<uint64_t>(Below(static_cast<int>(designs.size())));
  std::vector<RawItem> &items = designs[d].items;
  RawItem &one = items[static_cast<size_t>(Below(static_cast<int>(items.size())))];
  switch (Below(7)) {
    case 0:  // a text and a list take each other's place: the record keeps its size
      if (one.kind == kRawText && d > 0) {
        one.kind = kRawList;
        one.element = static_cast<uint64_t>(Below(static_cast<int>(d)));
      } else if (one.kind == kRawList) {
        one.kind = kRawText;
      }
      break;
    case 1:  // lists wherever texts sit
      for (RawItem &item : items)
        if (item.kind == kRawText && d > 0) {
          item.kind = kRawList;
          item.element = static_cast<uint64_t>(Below(static_cast<int>(d)));
        }
      break;
    case 2:  // a time where a text sits, a text where an enumeration sits, ...
      one.kind = one.kind == kRawText ? kRawTime : one.kind == kRawEnumeration ? kRawText : kRawEnumeration;
      one.values = {"Only"};
      break;
    case 3:  // an element design with other items
      for (RawDesign &design : designs)
        for (RawItem &item : design.items)
          if (item.kind == kRawList) {
            RawDesign &element = designs[item.element];
            element.items.clear();
            for (int i = 1 + Below(4); i > 0; --i) element.items.push_back(RandomItem(item.element));
          }
      break;
    case 4:  // every item of one design of a random kind
      for (RawItem &item : items) item = RandomItem(d);
      break;
    case 5:  // enumerations renamed, emptied or grown, items renamed
      one.name = Text();
      if (one.kind == kRawEnumeration) {
        one.values.clear();
        for (int i = Below(6); i > 0; --i) one.values.push_back(Text());
      }
      break;
    default: {  // a design kestrum does not know
      RawDesign foreign{Name() + "#" + std::to_string(designs.size()), {}};  // a name no other design has
      for (int i = 1 + Below(5); i > 0; --i) foreign.items.push_back(RandomItem(designs.size()));
      designs.push_back(std::move(foreign));
      break;
    }
  }
  // Last, so that no later mutation mends it: what the toolkit must refuse.
  if (!broken) return;
  *well_formed = false;
  RawItem &bad = designs[d].items.front();
  if (Below(2) == 0) {
    bad.kind = kRawList;
    bad.element = d + static_cast<uint64_t>(Below(3));  // itself or a later design
  } else {
    bad.kind = 7;
  }
}

RawTreeFile RawFileGenerator::MutatedProjectFile(bool *well_formed) {
  RawTreeFile file;
  file.designs = ProjectDesigns();
  *well_formed = true;
  for (int i = 1 + Below(3); i > 0; --i) Mutate(file.designs, i == 1 && Below(8) == 0, well_formed);
  if (!*well_formed) {
    // Records cannot follow a design the toolkit refuses; the dictionary is
    // what is under test.
    file.nodes.push_back({0, 0, "Project", std::string(3, '\0')});
    return file;
  }
  std::vector<int> depth{0};
  const int count = 4 + Below(12);
  for (int k = 1; k <= count; ++k) {
    uint64_t parent = static_cast<uint64_t>(Below(k));
    while (depth[parent] >= 4) parent = 0;
    const auto design = static_cast<uint64_t>(Below(static_cast<int>(file.designs.size())));
    // The number makes the name unique among its siblings.
    file.nodes.push_back({parent, design, Name() + std::to_string(k), Record(file.designs, design)});
    depth.push_back(depth[parent] + 1);
  }
  return file;
}

}  // namespace kestrum_test
