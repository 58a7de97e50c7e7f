#include "disk_helpers.h"

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "project_compare.h"

namespace kestrum_test {

std::set<std::string> ListDir(const std::string &directory) {
  std::set<std::string> names;
  if (DIR *dir = opendir(directory.c_str())) {
    while (dirent *entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    closedir(dir);
  }
  return names;
}

std::string ChainText(const tk_ErrorReport *report) {
  if (report == nullptr) return "";
  char *text = tk_ErrorReportFormatChain(report);
  std::string out = text != nullptr ? text : "(unformattable report)";
  tk_HeapFree(text);
  return out;
}

std::string LoadDifferenceFromAll(const std::string &path, const pm_Project *first,
                                  const pm_Project *second, int *which) {
  tk_ErrorReport *report = nullptr;
  pm_Project *loaded = pm_ProjectLoad(path.c_str(), 0, &report);
  std::string out;
  if (loaded == nullptr) {
    out = "load failed: " + (report != nullptr ? ChainText(report) : std::string("no report"));
  } else if (report != nullptr) {
    out = "load succeeded but left a report: " + ChainText(report);
  } else {
    std::string a = ProjectDifference(loaded, first);
    std::string b = second != nullptr ? ProjectDifference(loaded, second) : a;
    if (which != nullptr) *which = a.empty() ? 1 : b.empty() ? 2 : 0;
    if (!a.empty() && !b.empty()) out = second != nullptr ? a + " (and against the other: " + b + ")" : a;
  }
  tk_ErrorReportDelete(&report);
  pm_ProjectDestroy(loaded);
  return out;
}

std::string LoadDifference(const std::string &path, const pm_Project *expected) {
  return LoadDifferenceFromAll(path, expected, nullptr);
}

std::string RunInChild(const std::function<std::string()> &body) {
  int fds[2];
  if (pipe(fds) != 0) return "cannot make a pipe";
  pid_t child = fork();
  if (child < 0) return "cannot fork";
  if (child == 0) {
    close(fds[0]);
    std::string text = body();
    for (size_t done = 0; done < text.size();) {
      ssize_t n = write(fds[1], text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "child died (status " + std::to_string(status) + ") after saying: " + text;
  return text;
}

bool FaultInjectionAvailable() { return tk_FaultInject(0, 0, 0) >= 0; }

}  // namespace kestrum_test
