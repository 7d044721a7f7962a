// Ctrl-C at a terminal while the command records particles: the bar is drawn, Cancel is pressed, the
// command stops soon after, says so on one line and writes nothing.
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <chrono>
#include <cstring>

#include "app_runner.h"

namespace {

// Long enough to record that the interrupt surely comes mid-way: 40 000 particles over 400 frames.
const char* kLongRecording = R"({"animationRange": [0, 400], "nodes": [
  {"name": "PF Source 001", "object": {"type": "particles", "interface": "flow", "events": ["Event 001"],
     "emitter": {"start": 0, "stop": 400, "rate": 100, "life": 100, "speed": 1, "spread": 30, "seed": 7}}},
  {"name": "Ribbon001", "object": {"type": "circle", "radius": 1}, "modifiers": [{"class": "Wakeweave",
     "params": {"pb_particle_trails_b": true, "pb_particle_node": "PF Source 001"}}]}]})";

struct TerminalRun {
  int exitCode = -1;
  std::string screen;       // everything the program wrote to the terminal
  bool sawBar = false;      // the bar was on the screen before Ctrl-C
  double stopSeconds = -1;  // from Ctrl-C to the program's exit
};

// Runs the program with a pseudo-terminal as its controlling terminal and standard streams; types Ctrl-C
// once the screen shows a percentage.
TerminalRun RunAtTerminalAndInterrupt(const std::vector<std::string>& args) {
  TerminalRun run;
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
    return run;
  }
  const std::string slaveName = ptsname(master);
  const std::string exe = std::string(WAKEWEAVE_BINARY_DIR) + "/wakeweave";
  std::vector<char*> argv{const_cast<char*>(exe.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    const int slave = open(slaveName.c_str(), O_RDWR);
    if (slave < 0 || ioctl(slave, TIOCSCTTY, 0) != 0) _exit(126);
    dup2(slave, 0), dup2(slave, 1), dup2(slave, 2);
    signal(SIGINT, SIG_DFL);
    execve(exe.c_str(), argv.data(), environ);
    _exit(127);
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(120);
  std::optional<Clock::time_point> interruptedAt;
  int status = 0;
  bool exited = false;
  while (!exited && Clock::now() < deadline) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
      char buf[4096];
      const ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) run.screen.append(buf, size_t(n));
    }
    if (!interruptedAt && run.screen.find('%') != std::string::npos) {
      run.sawBar = true;
      const char ctrlC = 0x03;  // the terminal's interrupt character: SIGINT to the program
      if (write(master, &ctrlC, 1) == 1) interruptedAt = Clock::now();
    }
    exited = waitpid(pid, &status, WNOHANG) == pid;
  }
  if (!exited) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "the program did not end";
  }
  // What it wrote last, after its exit.
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN)) break;
    char buf[4096];
    const ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;
    run.screen.append(buf, size_t(n));
  }
  close(master);
  if (interruptedAt) run.stopSeconds = std::chrono::duration<double>(Clock::now() - *interruptedAt).count();
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

std::vector<std::string> LinesMentioning(const std::string& text, const std::string& word) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);)
    if (l.find(word) != std::string::npos) lines.push_back(l);
  return lines;
}

}  // namespace

TEST_F(AppTest, CtrlCDuringRecordAtATerminalCancelsWithinASecondAndWritesNothing) {
  const std::string scene = Scene("long.json", kLongRecording);
  const std::string saved = Path("long.wws").string();
  const TerminalRun run = RunAtTerminalAndInterrupt({"record", scene, "-o", saved});
  EXPECT_TRUE(run.sawBar) << run.screen;
  EXPECT_NE(run.screen.find("Recalculating Particle Trails..."), std::string::npos) << run.screen;
  EXPECT_NE(run.screen.find('\r'), std::string::npos) << "a terminal gets a bar redrawn in place";
  EXPECT_EQ(run.exitCode, 1) << run.screen;
  EXPECT_GE(run.stopSeconds, 0.0);
  EXPECT_LT(run.stopSeconds, 1.0);
  EXPECT_EQ(LinesMentioning(run.screen, "cancelled").size(), 1u) << run.screen;
  EXPECT_FALSE(std::filesystem::exists(saved));
  EXPECT_EQ(OutputsExcept({"long.json"}), std::vector<std::string>{});
}

TEST_F(AppTest, ProgressWithoutATerminalIsAFewPlainLines) {
  const std::string scene = Scene("short.json", R"({"animationRange": [0, 20], "nodes": [
    {"name": "PF Source 001", "object": {"type": "particles", "interface": "flow", "events": ["Event 001"],
       "emitter": {"start": 0, "stop": 10, "rate": 2, "life": 10, "speed": 1, "seed": 1}}},
    {"name": "Ribbon001", "object": {"type": "circle", "radius": 1}, "modifiers": [{"class": "Wakeweave",
       "params": {"pb_particle_trails_b": true, "pb_particle_node": "PF Source 001"}}]}]})");
  const RunResult r = RunApp({"record", scene, "-o", Path("short.wws").string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto lines = LinesMentioning(r.err, "Recalculating Particle Trails...");
  EXPECT_GE(lines.size(), 1u) << r.err;
  EXPECT_LE(lines.size(), 5u) << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no bar redrawing in a log";
  EXPECT_NE(lines.back().find("100%"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(Path("short.wws")));
}

TEST_F(AppTest, CtrlCPartWayThroughASequenceShowsTheBarAndWritesNoFile) {
  // An anchored trail whose mesh grows every frame, over thousands of frames: long enough to interrupt.
  const std::string scene = Scene("grow.json", R"({"nodes": [{"name": "Ring",
      "position": {"keys": [[0, [0, 0, 0]], [3000, [3000, 0, 0]]]}, "object": {"type": "circle", "radius": 1},
      "modifiers": [{"class": "Wakeweave", "params": {"moving or still": 1}}]}]})");
  const TerminalRun run =
      RunAtTerminalAndInterrupt({"eval", scene, "--frames", "0:3000", "-o", Path("ring-{frame}.obj").string()});
  EXPECT_TRUE(run.sawBar) << run.screen;
  EXPECT_NE(run.screen.find("\rEvaluating frames "), std::string::npos) << run.screen;
  EXPECT_EQ(run.exitCode, 1) << run.screen;
  EXPECT_GE(run.stopSeconds, 0.0);
  EXPECT_LT(run.stopSeconds, 1.0);
  EXPECT_EQ(LinesMentioning(run.screen, "cancelled").size(), 1u) << run.screen;
  EXPECT_EQ(LinesMentioning(run.screen, "wrote").size(), 0u) << run.screen;
  // Not one frame's file, nor the staging folder.
  EXPECT_EQ(OutputsExcept({"grow.json"}), std::vector<std::string>{});
}
