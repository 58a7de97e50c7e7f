// What a hostile project file can do to the tool's text output: names that
// would drive the terminal or fake lines, designs that lie about their
// records, and nestings that would multiply memory.
#include <sstream>

#include "cli.h"
#include "raw_tree_file.h"
#include "tool_runner.h"

using ::testing::HasSubstr;
using kestrum_test::RawFileGenerator;
using kestrum_test::RawTreeFile;

namespace {

// The code point of the valid UTF-8 sequence at text[i] and its length, or
// length 0 for bytes that are no valid UTF-8. Written apart from the tool's
// own decoder so that the two do not share a mistake.
std::size_t decode(const std::string &text, std::size_t i, char32_t *code) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = at(i);
  const std::size_t length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : lead >> 3 == 30 ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  char32_t value = length == 1 ? lead : lead & (0x7f >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((at(i + k) & 0xc0) != 0x80) return 0;
    value = value << 6 | (at(i + k) & 0x3f);
  }
  static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) return 0;
  *code = value;
  return length;
}

// Why `text` could drive a terminal or fake a line ("" when it cannot): a
// control byte other than the line feeds that end lines, DEL, bytes that
// are no UTF-8, C1 controls, line separators or bidirectional controls; or
// a line that starts with what a hostile name tried to put there.
std::string unsafe(const std::string &text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t code = 0;
    const std::size_t length = decode(text, i, &code);
    if (length == 0) return "no UTF-8 at byte " + std::to_string(i);
    if ((code < 0x20 && code != '\n') || (code >= 0x7f && code <= 0x9f) || code == 0x061c || code == 0x200e ||
        code == 0x200f || (code >= 0x2028 && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069))
      return "code point " + std::to_string(static_cast<uint32_t>(code)) + " at byte " + std::to_string(i);
    i += length;
  }
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    if (line.compare(start, 4, "FAKE") == 0 || line.compare(start, 13, "kestrum: FAKE") == 0)
      return "a faked line: " + line;
  }
  return "";
}

// The bytes printable() stood for; "<bad escape>" when the text is no
// sequence of its escapes.
std::string unescape(const std::string &text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return "<bad escape>";
    switch (text[i]) {
      case '\\': out += '\\'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x':
        if (i + 2 >= text.size()) return "<bad escape>";
        out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
        break;
      default: return "<bad escape>";
    }
  }
  return out;
}

}  // namespace

TEST(PrintableText, IsLosslessAndLeavesNothingATerminalActsOn) {
  using kcli::printable;
  EXPECT_EQ(printable("a\\b"), "a\\\\b");
  EXPECT_EQ(printable("\x1b[2J\r\n\t\x7f"), "\\x1b[2J\\r\\n\\t\\x7f");
  EXPECT_EQ(printable("caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x99\x82"), "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x99\x82");
  // Bytes that are no UTF-8: stray, truncated, overlong, surrogate, too large.
  EXPECT_EQ(printable("\xff\x80"), "\\xff\\x80");
  EXPECT_EQ(printable("\xe2\x82x"), "\\xe2\\x82x");
  EXPECT_EQ(printable("\xc0\x80\xed\xa0\x80\xf4\x90\x80\x80"), "\\xc0\\x80\\xed\\xa0\\x80\\xf4\\x90\\x80\\x80");
  // Valid, but steering: a C1 CSI, a line separator, a right-to-left override.
  EXPECT_EQ(printable("\xc2\x9b\xe2\x80\xa8\xe2\x80\xae"), "\\xc2\\x9b\\xe2\\x80\\xa8\\xe2\\x80\\xae");
  EXPECT_EQ(printable("say \"hi\"", '"'), "\"say \\\"hi\\\"\"");

  // Every byte pair, and hostile texts: the result is safe and says exactly
  // which bytes it stands for.
  std::vector<std::string> texts;
  for (int a = 1; a < 256; ++a)
    for (int b = 1; b < 256; b += 3) texts.push_back({static_cast<char>(a), static_cast<char>(b)});
  RawFileGenerator generate(7);
  for (int i = 0; i < 3000; ++i) texts.push_back(generate.Text() + generate.Text());
  for (const std::string &text : texts) {
    const std::string shown = printable(text);
    ASSERT_EQ(unsafe(shown), "") << shown;
    ASSERT_EQ(shown.find('\n'), std::string::npos) << shown;
    ASSERT_EQ(unescape(shown), text) << shown;
  }
}

using HostileNames = ToolTest;

// Names holding every control byte and every kind of bad or steering UTF-8
// reach show, ready, check, dump and the error chains; none of them may pass
// a raw byte or start a line of its own.
TEST_F(HostileNames, NoCommandPrintsARawControlByteOrAFakedLine) {
  std::vector<std::string> names;
  for (int b = 1; b < 0x20; ++b) names.push_back("T" + std::to_string(b) + static_cast<char>(b) + "FAKE");
  for (const char *odd : {"\x7f", "\xff", "\xc0\x80", "\xe2\x82", "\xc2\x9b", "\xe2\x80\xae", "\\", "\n   FAKE"})
    names.push_back(std::string("T") + std::to_string(names.size()) + odd + "\nFAKE");
  const std::string kind = "caf\xc3\xa9\xe6\x97\xa5";  // valid UTF-8 stays as it is

  kcli::ProjectPtr project(pm_ProjectCreate());
  kcli::Processing processing;
  processing.add_pfa(1, pm_PFAFileCreate(kind.c_str(), PM_RASTER));
  for (const std::string &name : names) {
    pm_Tile *tile = kcli::append_tile(project.get(), pm_TileCreate(name.c_str()));
    kcli::append_sample(tile, pm_SampleCreate(name.c_str()));
    kcli::append_file(tile, pm_FileCreate(kind.c_str(), ("/nowhere/" + name).c_str(), 0.0, name.c_str(), name.c_str()));
    processing.add_pfa(2, pm_PFAFileCreate(name.c_str(), PM_TEXT));
  }
  // names[b - 1] holds the byte b.
  const std::string &escape = names[0x1b - 1], &line_feed = names['\n' - 1], &carriage_return = names['\r' - 1];
  tk_ErrorReport *report = nullptr;
  pm_Process *process = pm_ProcessVaCreate(line_feed.c_str(), carriage_return.c_str(), "/nowhere", escape.c_str(),
                                           names[8].c_str(), names[1].c_str(), 1, &report,
                                           static_cast<const char *>(nullptr));
  ASSERT_EQ(report, nullptr);
  kcli::append_argument(process, pm_ArgumentCreate(names[31].c_str(), kind.c_str(), PM_RASTER, PM_STRICT_INPUT, 0));
  processing.add_process(1, process);
  processing.apply(project.get());
  const std::string file = path(escape + ".kpf");
  try {
    kcli::save_project(project.get(), file);
  } catch (const kcli::Failure &failure) {
    FAIL() << failure.what() << "\n" << failure.chain();
  }

  std::vector<Outcome> outcomes;
  for (const char *command : {"show", "ready", "check", "dump"}) outcomes.push_back(run({command, file}));
  outcomes.push_back(run({"ready", file, "--node", line_feed}));
  outcomes.push_back(run({"show", path(carriage_return + "/" + line_feed + ".kpf")}));  // no such file: a chain
  EXPECT_EQ(outcomes[0].status, 0) << outcomes[0].err;
  EXPECT_EQ(outcomes[3].status, 0) << outcomes[3].err;
  EXPECT_EQ(outcomes.back().status, 2);
  for (const Outcome &outcome : outcomes) {
    EXPECT_EQ(unsafe(outcome.out), "") << outcome.out;
    EXPECT_EQ(unsafe(outcome.err), "") << outcome.err;
  }
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_THAT(outcomes[i].out, HasSubstr("T27\\x1bFAKE")) << i;
    EXPECT_THAT(outcomes[i].out, HasSubstr(kind)) << i;
  }
  EXPECT_THAT(outcomes.back().err, HasSubstr("T13\\rFAKE/T10\\nFAKE.kpf"));
}

using DumpDesigns = ToolTest;

// Whatever designs a file gives, dump decodes each record as that design
// says, item by item, or refuses a dictionary the toolkit will not open;
// it never reads a record through a layout of its own. The sanitizer build
// catches any read or free it should not make.
TEST_F(DumpDesigns, EveryDesignIsDecodedAsTheFileDescribesItOrRefused) {
  int decoded = 0;
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    RawFileGenerator generate(seed);
    bool well_formed = false;
    const RawTreeFile raw = generate.MutatedProjectFile(&well_formed);
    const std::string file = path("mutant.kpf");
    WriteBytes(file, raw.Bytes());
    std::ostringstream out;
    std::string failure;
    int status = 2;
    try {
      status = kcli::dump_file(file, out);
    } catch (const kcli::Failure &error) {
      failure = std::string(error.what()) + "\n" + error.chain();
    }
    ASSERT_EQ(status, well_formed ? 0 : 2) << "seed " << seed << ": " << failure;
    if (!well_formed) {
      EXPECT_THAT(failure, HasSubstr("cannot open")) << seed;
      EXPECT_THAT(failure, HasSubstr("tk_TreeFileOpen: ")) << seed;
      continue;
    }
    ++decoded;
    const std::string text = out.str();
    ASSERT_EQ(unsafe(text), "") << "seed " << seed << "\n" << text;
    // One line per node below "nodes:", besides the lines of list elements.
    std::size_t node_lines = 0;
    std::istringstream lines(text.substr(text.find("\nnodes:\n") + 8));
    for (std::string line; std::getline(lines, line);)
      node_lines += line.find_first_not_of(' ') == std::string::npos || line[line.find_first_not_of(' ')] != '[';
    EXPECT_EQ(node_lines, raw.nodes.size()) << "seed " << seed << "\n" << text;
    // Now and then through the binary, with the commands that load the
    // project beside it: an answer, never a crash.
    if (seed % 50 == 0) {
      EXPECT_EQ(run({"dump", file}).status, 0) << seed;
      for (const char *command : {"check", "show"}) {
        const Outcome outcome = run({command, file});
        EXPECT_TRUE(outcome.status >= 0 && outcome.status <= 2) << command << " " << seed << outcome.err;
        EXPECT_EQ(unsafe(outcome.out + outcome.err), "") << command << " " << seed;
      }
    }
  }
  EXPECT_GT(decoded, 120);
}

using DumpMemory = ToolTest;

// Memory follows the file, not the depth at which its names lie: a chain of
// 254 nodes with 4,096-byte names and 300 leaves at its foot against the
// same nodes side by side under the root (the same bytes but the parent
// references).
TEST_F(DumpMemory, DeepChainOfLongNamesCostsWhatTheSameNodesSideBySideCost) {
  // Tiles without a name, as a project file's designs have them.
  RawTreeFile deep, flat;
  deep.designs = flat.designs = kestrum_test::ProjectDesigns();
  const uint64_t tile = 1;
  const std::string record(2, '\0');
  for (uint64_t k = 1; k <= 254; ++k) {
    const std::string name = std::to_string(k) + std::string(4090, 'n');
    deep.nodes.push_back({k - 1, tile, name, record});
    flat.nodes.push_back({0, tile, name, record});
  }
  for (int leaf = 0; leaf < 300; ++leaf) {
    deep.nodes.push_back({254, tile, "leaf" + std::to_string(leaf), record});
    flat.nodes.push_back({0, tile, "leaf" + std::to_string(leaf), record});
  }
  WriteBytes(path("deep.kpf"), deep.Bytes());
  WriteBytes(path("flat.kpf"), flat.Bytes());
  const Outcome deep_dump = run({"dump", path("deep.kpf")});
  const Outcome flat_dump = run({"dump", path("flat.kpf")});
  ASSERT_EQ(deep_dump.status, 0) << deep_dump.err;
  ASSERT_EQ(flat_dump.status, 0) << flat_dump.err;
  EXPECT_THAT(deep_dump.out, HasSubstr(std::string(2 * 255, ' ') + "leaf299  [PM_Tile] Name=null Selection=Manual"));
  EXPECT_LT(deep_dump.peak_kb, 2 * flat_dump.peak_kb) << deep_dump.peak_kb << " KiB against " << flat_dump.peak_kb;
}
