#include "tool_runner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace fs = std::filesystem;

Outcome ToolTest::run(const std::vector<std::string> &args, const std::string &input, std::string cwd) {
  std::vector<std::string> words{KESTRUM_TOOL};
  words.insert(words.end(), args.begin(), args.end());
  return run_program(std::move(words), input, std::move(cwd));
}

Outcome ToolTest::run_program(std::vector<std::string> words, const std::string &input, std::string cwd) {
  if (cwd.empty()) cwd = dir_.string();
  const std::string in_path = path(".stdin"), out_path = path(".stdout"), err_path = path(".stderr");
  WriteBytes(in_path, input);
  std::vector<char *> argv;
  for (std::string &word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    const int in = open(in_path.c_str(), O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        chdir(cwd.c_str()) != 0)
      _exit(127);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  Outcome outcome;
  int status = 0;
  struct rusage usage {};
  if (child > 0 && wait4(child, &status, 0, &usage) == child && WIFEXITED(status)) {
    outcome.status = WEXITSTATUS(status);
    outcome.peak_kb = usage.ru_maxrss;
  }
  outcome.out = ReadBytes(out_path);
  outcome.err = ReadBytes(err_path);
  return outcome;
}

std::string ToolTest::make_demo() {
  const Outcome demo = run({"demo", path("demo")});
  EXPECT_EQ(demo.status, 0) << demo.err;
  return path("demo/survey.kpf");
}
