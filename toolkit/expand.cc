// Variable expansion of texts and the making of absolute paths.
//
// Expansion refuses rather than guesses: a variable that is not defined is an
// error, never an empty string, so that a path made from it cannot silently
// point somewhere else (for instance "$DATA/x" turning into "/x").
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "io.h"
#include "toolkit.h"
#include "toolkit_internal.h"

namespace {

constexpr const char *kExpand = "tk_StringExpand";

bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Appends the value of variable `name` to `out`; false with a report when it
// has none.
bool append_variable(std::string &out, const std::string &name, const char *text, tk_ErrorReport **slot) {
  if (name == "PROJECT") {  // reserved: the project's own directory
    out += '.';
    return true;
  }
  const char *value = std::getenv(name.c_str());
  if (!value) {
    tk::report(slot, kExpand, "Variable %s is not defined (expanding \"%s\")", name.c_str(), text);
    return false;
  }
  out += value;
  return true;
}

char *string_expand(const char *text, tk_ErrorReport **slot) {
  if (!text) {
    tk::report(slot, kExpand, "No text given");
    return nullptr;
  }
  std::string out;
  const char *p = text;
  while (*p) {
    if (*p != '$') {
      out += *p++;
      continue;
    }
    ++p;
    if (*p == '$') {
      out += '$';
      ++p;
      continue;
    }
    std::string name;
    if (*p == '{') {
      const char *close = std::strchr(p + 1, '}');
      if (!close) {
        tk::report(slot, kExpand, "Missing \"}\" after \"${\" in \"%s\"", text);
        return nullptr;
      }
      name.assign(p + 1, close);
      bool valid = !name.empty();
      for (char c : name) valid = valid && is_name_char(c);
      if (!valid) {
        tk::report(slot, kExpand, "Invalid variable name \"%s\" in \"%s\"", name.c_str(), text);
        return nullptr;
      }
      p = close + 1;
    } else {
      const char *start = p;
      while (is_name_char(*p)) ++p;
      if (p == start) {  // a '$' that starts no name stands for itself
        out += '$';
        continue;
      }
      name.assign(start, p);
    }
    if (!append_variable(out, name, text, slot)) return nullptr;
  }
  return tk::hand_out(out, kExpand, slot);
}

// The current directory, or "" when it cannot be had (removed, or outside
// this process's root, where Linux gives a path that is not absolute).
std::string current_directory() {
  std::vector<char> buffer(256);
  for (;;) {
    if (tk::io::getcwd(buffer.data(), buffer.size())) {
      std::string cwd = buffer.data();
      return cwd.starts_with('/') ? cwd : std::string();
    }
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

char *path_expand(const char *path) {
  std::string whole;
  if (path[0] != '/') {
    whole = current_directory();
    if (whole.empty()) return nullptr;
    whole += '/';
  }
  whole += path;
  std::vector<std::string_view> kept;
  std::string_view rest = whole;
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(part);
  }
  std::string out;
  for (std::string_view part : kept) {
    out += '/';
    out += part;
  }
  return tk::hand_out(out.empty() ? "/" : out, "tk_PathExpand", nullptr);
}

}  // namespace

extern "C" {

TK_API char *tk_StringExpand(const char *text, tk_ErrorReport **slot) {
  if (slot) *slot = nullptr;
  return tk::guarded(kExpand, slot, [&] { return string_expand(text, slot); });
}

TK_API char *tk_PathExpand(const char *path, int flags, int reserved) {
  (void)flags;
  (void)reserved;
  if (!path) return nullptr;
  return tk::guarded("tk_PathExpand", nullptr, [&] { return path_expand(path); });
}

}  // extern "C"
