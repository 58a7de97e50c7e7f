// Shared pieces of the tool: report chains, loading and saving, enumeration
// names and addressing nodes by path.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli.h"
#include "out_of_memory.h"

namespace kcli {

void print_failure(std::ostream &err, const Failure &failure) {
  err << "kestrum: " << printable(failure.what()) << "\n";
  std::istringstream lines(failure.chain());
  for (std::string line; std::getline(lines, line);) err << "  " << line << "\n";
}

namespace {

// Code points that are valid but steer the terminal or the layout of lines.
bool steering(char32_t code) {
  return (code >= 0x80 && code <= 0x9f) ||       // C1 controls (CSI, NEL, ...)
         code == 0x061c || code == 0x200e || code == 0x200f ||  // bidirectional marks
         (code >= 0x2028 && code <= 0x202e) ||   // line and paragraph separators, embeddings
         (code >= 0x2066 && code <= 0x2069);     // bidirectional isolates
}

void escape_byte(std::string &out, unsigned char byte) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0f];
}

}  // namespace

std::size_t utf8_length(std::string_view text, char32_t *code) {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    if (code) *code = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t value = 0;
  unsigned char low = 0x80, high = 0xbf;  // the range of the second byte
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
    value = lead & 0x1f;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    value = lead & 0x0f;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(i);
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xbf)) return 0;
    value = (value << 6) | (next & 0x3f);
  }
  if (code) *code = value;
  return length;
}

std::string excerpt(std::string_view text, std::size_t limit) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = std::max<std::size_t>(utf8_length(text.substr(at)), 1);
    if (at + length > limit) break;
    at += length;
  }
  std::string out(text.substr(0, at));
  if (at < text.size()) out += "...";
  return out;
}

std::string shortened(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return std::string(text);
  const std::string head = excerpt(text, limit / 2);  // ends in "..."
  // The tail starts where a character begins, at most limit / 2 bytes before the end.
  std::size_t at = text.size() - limit / 2;
  while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xc0) == 0x80) ++at;
  return head + std::string(text.substr(at));
}

std::string printable(std::string_view text, char quote) {
  std::string out;
  out.reserve(text.size() + (quote ? 2 : 0));
  if (quote) out += quote;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80) {
      char32_t code = 0;
      const std::size_t length = utf8_length(text.substr(i), &code);
      if (length == 0 || steering(code)) {
        for (std::size_t n = 0; n < std::max<std::size_t>(length, 1); ++n)
          escape_byte(out, static_cast<unsigned char>(text[i + n]));
        i += std::max<std::size_t>(length, 1);
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    ++i;
    if (byte == '\\' || (quote && byte == static_cast<unsigned char>(quote))) {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte < 0x20 || byte == 0x7f) {
      escape_byte(out, byte);
    } else {
      out += static_cast<char>(byte);
    }
  }
  if (quote) out += quote;
  return out;
}

std::string counted(std::size_t count, const char *one, const char *many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::vector<std::string> Report::lines() const {
  std::vector<std::string> lines;
  for (const tk_ErrorReport *report = report_; report; report = tk_ErrorReportGetCause(report)) {
    const char *function = tk_ErrorReportGetFunction(report);
    const char *message = tk_ErrorReportGetMessage(report);
    // A report may quote a value of any length (a descriptor of thousands of
    // bytes); each line keeps its start and its end, where the reason is.
    lines.push_back(shortened(std::string(function ? function : "") + ": " + (message ? message : "")));
  }
  return lines;
}

std::string Report::chain() const {
  std::string text;
  for (const std::string &line : lines()) {
    if (!text.empty()) text += '\n';
    text += printable(line);
  }
  return text;
}

void Report::raise_if(const std::string &summary) const {
  if (report_) throw Failure(summary, chain());
}

std::string take(char *text) {
  std::string copy = text ? text : "";
  tk_HeapFree(text);
  return copy;
}

std::optional<std::string> take_optional(char *text) {
  if (!text) return std::nullopt;
  return take(text);
}

ProjectPtr load_project(const std::string &path) {
  return while_doing("loading " + printable(path), [&] {
    Report report;
    ProjectPtr project(pm_ProjectLoad(path.c_str(), 0, report.slot()));
    report.raise_if("cannot load " + path);
    if (!project) throw Failure("cannot load " + path);
    return project;
  });
}

void save_project(pm_Project *project, const std::string &path) {
  while_doing("saving " + printable(path), [&] {
    // The library derives the project's directory from the name it is
    // given; an absolute name keeps that independent of later directory
    // changes.
    const std::string absolute = std::filesystem::absolute(path).lexically_normal().string();
    Report report;
    const int bound = pm_ProjectSetFilename(project, absolute.c_str(), report.slot());
    report.raise_if("cannot use " + path + " as the project file");
    if (!bound) throw Failure("cannot use " + path + " as the project file");
    // Always the whole project into a new file, which takes the place of
    // any old one only once it is complete (links followed, permissions
    // kept, another writer's lock honoured): never a merge into what is
    // there.
    pm_ProjectSaveAs(project, absolute.c_str(), 0, report.slot());
    report.raise_if("cannot save " + path);
  });
}

void refuse_existing(const std::string &path) {
  throw Failure(path + " already exists (use --force to replace it)");
}

namespace {

namespace fs = std::filesystem;

// The new file beside the target until it takes the target's place; removed
// when anything fails before that.
class NewFile {
 public:
  explicit NewFile(const fs::path &target)
      : name_((target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string()) {
    const int fd = mkstemp(name_.data());
    if (fd < 0) throw Failure("cannot write " + target.string() + ": " + std::strerror(errno));
    ::close(fd);
  }
  ~NewFile() {
    if (!name_.empty()) ::unlink(name_.c_str());
  }
  NewFile(const NewFile &) = delete;
  NewFile &operator=(const NewFile &) = delete;
  const std::string &name() const { return name_; }
  void release() { name_.clear(); }

 private:
  std::string name_;
};

// Gives the new file the target's name only while that name is free, so a
// file that appeared since the test for it is still never overwritten: by a
// hard link where the file system has them, else by a rename that refuses
// to replace, else (file systems with neither) by a last look just before
// the rename. The temporary name is gone when it succeeds. Returns 0 or an
// errno value, EEXIST when the name was taken.
int take_free_name(const std::string &fresh, const std::string &target) {
  if (::link(fresh.c_str(), target.c_str()) == 0) {
    ::unlink(fresh.c_str());
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) return errno;
  if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  struct stat existing {};
  if (::lstat(target.c_str(), &existing) == 0) return EEXIST;
  return ::rename(fresh.c_str(), target.c_str()) == 0 ? 0 : errno;
}

void sync_path(const std::string &path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

void write_file(const std::string &path, bool replace, const std::function<void(std::ostream &)> &write) {
  fs::path target = fs::absolute(path);
  std::error_code error;
  if (replace) {
    // A link is followed, as saving a project follows it, so that the file
    // it names is replaced and the link stays.
    const fs::path resolved = fs::weakly_canonical(target, error);
    if (!error) target = resolved;
  }
  const fs::file_status status = fs::symlink_status(target, error);
  mode_t mode = 0;
  if (fs::exists(status)) {
    if (!replace) refuse_existing(path);
    // A device, a pipe or a socket under that name is nobody's output file:
    // renaming over it would destroy it, so it is refused as the library's
    // saves refuse it.
    if (fs::is_directory(status)) throw Failure(path + " is a directory");
    if (!fs::is_regular_file(status)) throw Failure(path + " is not a regular file");
    mode = static_cast<mode_t>(status.permissions() & fs::perms::mask);
  } else {
    mode = ::umask(0);
    ::umask(mode);
    mode = static_cast<mode_t>(0666 & ~mode);
  }
  NewFile fresh(target);
  {
    std::ofstream out(fresh.name(), std::ios::binary | std::ios::trunc);
    write(out);
    out.close();
    if (!out) throw Failure("cannot write " + path);
  }
  if (::chmod(fresh.name().c_str(), mode) != 0 && errno != EPERM)
    throw Failure("cannot write " + path + ": " + std::strerror(errno));
  sync_path(fresh.name(), O_RDONLY);
  if (replace) {
    if (::rename(fresh.name().c_str(), target.c_str()) != 0)
      throw Failure("cannot write " + path + ": " + std::strerror(errno));
    fresh.release();
  } else {
    const int taken = take_free_name(fresh.name(), target.string());
    if (taken == EEXIST) refuse_existing(path);
    if (taken != 0) throw Failure("cannot write " + path + ": " + std::strerror(taken));
    fresh.release();
  }
  sync_path(target.parent_path().string(), O_RDONLY | O_DIRECTORY);
}

std::string value_name(Names names, int value) {
  return value >= 0 && static_cast<std::size_t>(value) < names.size() ? names[value] : std::string();
}

std::vector<NodeRef> all_nodes(pm_Project *project) {
  std::vector<NodeRef> nodes;
  nodes.push_back({"/", 0, project, project->files});
  for (pm_Tile *tile = project->tiles; tile; tile = reinterpret_cast<pm_Tile *>(tile->node.next)) {
    const std::string tile_path = tile->node.name ? tile->node.name : "";
    nodes.push_back({tile_path, 1, tile, tile->files});
    for (pm_Sample *sample = tile->samples; sample;
         sample = reinterpret_cast<pm_Sample *>(sample->node.next)) {
      nodes.push_back({tile_path + "/" + (sample->node.name ? sample->node.name : ""), 2, sample,
                       sample->files});
    }
  }
  return nodes;
}

NodeRef find_node(pm_Project *project, const std::string &path) {
  std::string wanted = path;
  // "/T1" and "T1/" name the same tile as "T1".
  while (wanted.size() > 1 && wanted.back() == '/') wanted.pop_back();
  if (wanted.size() > 1 && wanted.front() == '/') wanted.erase(0, 1);
  if (wanted.empty()) wanted = "/";
  for (const NodeRef &node : all_nodes(project))
    if (node.path == wanted) return node;
  throw Failure("no node " + path + " in the project (use \"/\", \"TILE\" or \"TILE/SAMPLE\")");
}

std::vector<pm_File *> files_of(pm_File *list) {
  std::vector<pm_File *> files;
  for (pm_File *file = list; file; file = reinterpret_cast<pm_File *>(file->node.next))
    files.push_back(file);
  return files;
}

bool file_present(pm_File *file) {
  Report report;
  const int present = pm_FileDescriptorExists(file, report.slot());
  report.raise_if("cannot test whether a data file exists");
  return present != 0;
}

FileCheck check_data_file(pm_File *file) {
  const char *descriptor = file->descriptor;
  if (!descriptor || !*descriptor) return {FileState::kNoDescriptor, {}};
  Report report;
  const int present = pm_FileDescriptorExists(file, report.slot());
  if (report) {
    const std::vector<std::string> lines = report.lines();
    return {FileState::kUntestable, lines.back()};  // the innermost report says why
  }
  return {present ? FileState::kPresent : FileState::kMissing, {}};
}

namespace {
const std::string kMarker = "$PROJECT";
}

std::string project_relative(pm_Project *project, const std::string &path) {
  const std::string directory = take(pm_ProjectGetDirname(project));
  if (path.empty() || directory.empty()) return path;
  const std::string prefix = directory.back() == '/' ? directory : directory + "/";
  if (path.compare(0, prefix.size(), prefix) != 0) return path;
  return kMarker + "/" + path.substr(prefix.size());
}

std::string project_absolute(const std::string &directory, const std::string &name) {
  if (name.compare(0, kMarker.size(), kMarker) != 0) return name;
  std::string rest = name.substr(kMarker.size());
  // "$PROJECTX" is a variable of another name, not the marker.
  if (!rest.empty() && rest.front() != '/') return name;
  std::string base = directory;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + rest;
}

}  // namespace kcli
