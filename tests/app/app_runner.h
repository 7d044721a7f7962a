#pragma once
// Runs the built `wakeweave` program in a scratch directory and collects what it did.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

struct RunResult {
  int exitCode = -1;  // 128 + the signal when the program was killed
  std::string out, err;
  long maxRssKiB = 0;  // the program's peak resident memory
  // Standard error split into lines (without their newlines).
  std::vector<std::string> ErrLines() const {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }
};

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::filesystem::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary);
  out << text;
}

// A scratch directory, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "wakeweave-app-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a scratch directory");
    dir_ = tmpl;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::filesystem::path Path(const std::string& name) const { return dir_ / name; }
  std::string Scene(const std::string& name, const std::string& json) const {
    WriteFile(Path(name), json);
    return Path(name).string();
  }

  // Runs the program with args; stdout and stderr go through files in the scratch directory. With
  // addressSpace, the program runs under that address-space limit (ulimit -v), set before it starts.
  RunResult RunApp(const std::vector<std::string>& args, std::optional<rlim_t> addressSpace = std::nullopt) const {
    const std::string outFile = (dir_ / ".stdout").string(), errFile = (dir_ / ".stderr").string();
    const std::string exe = std::string(WAKEWEAVE_BINARY_DIR) + "/wakeweave";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    RunResult r;
    // Between fork and exec the child only makes async-signal-safe calls.
    const pid_t pid = fork();
    if (pid == 0) {
      const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
      if (addressSpace) {
        const struct rlimit limit = {*addressSpace, *addressSpace};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
      }
      execve(exe.c_str(), argv.data(), environ);
      _exit(127);
    }
    if (pid < 0) {
      ADD_FAILURE() << "cannot start " << exe;
      return r;
    }
    int status = 0;
    struct rusage usage = {};
    wait4(pid, &status, 0, &usage);
    r.maxRssKiB = usage.ru_maxrss;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(outFile);
    r.err = ReadFile(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return r;
  }

  // Files in the scratch directory other than the scenes a test wrote.
  std::vector<std::string> OutputsExcept(const std::vector<std::string>& keep) const {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      if (std::find(keep.begin(), keep.end(), name) == keep.end()) found.push_back(name);
    }
    return found;
  }

  std::filesystem::path dir_;
};

class AppTest : public ::testing::Test, public ScratchDir {};
