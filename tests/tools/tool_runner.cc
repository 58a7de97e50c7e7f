#include "tool_runner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

void ToolTest::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "kestrum-tool-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  dir_ = pattern;
}

void ToolTest::TearDown() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

std::string ToolTest::read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void ToolTest::write_file(const std::string &path, const std::string &text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
}

Outcome ToolTest::run(const std::vector<std::string> &args, const std::string &input, std::string cwd) {
  std::vector<std::string> words{KESTRUM_TOOL};
  words.insert(words.end(), args.begin(), args.end());
  return run_program(std::move(words), input, std::move(cwd));
}

Outcome ToolTest::run_program(std::vector<std::string> words, const std::string &input, std::string cwd) {
  if (cwd.empty()) cwd = dir_.string();
  const std::string in_path = path(".stdin"), out_path = path(".stdout"), err_path = path(".stderr");
  write_file(in_path, input);
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
  outcome.out = read_file(out_path);
  outcome.err = read_file(err_path);
  return outcome;
}

std::string ToolTest::make_demo() {
  const Outcome demo = run({"demo", path("demo")});
  EXPECT_EQ(demo.status, 0) << demo.err;
  return path("demo/survey.kpf");
}
