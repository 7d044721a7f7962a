// An evaluation that falls back to the host's triangle: the mesh is still written, the command exits 0 and
// says once, on standard error, which node failed at which frame and why. --max-memory sets the budget.
#include <nlohmann/json.hpp>

#include "app_runner.h"

namespace {

// Anchored to frames 10 to 20: evaluated before frame 10 the modifier fails ("frame range invalid").
std::string EarlyScene(const std::string& name = "Line") {
  return R"({"nodes": [{"name": ")" + name + R"(",
      "position": {"keys": [[0, [0, 0, 0]], [30, [30, 0, 0]]]},
      "object": {"type": "spline", "splines": [{"knots": [[0, 0, 0], [0, 1, 0]]}]},
      "modifiers": [{"class": "Wakeweave", "params": {"moving or still": 1, "pb_userange": true,
                                                      "start frame": 10, "end frame": 20}}]}]})";
}

const char* kTriangle = "[[0, 0, 0], [1, 0, 0], [0, 1, 0]]";

class FallbackWarning : public AppTest {};

}  // namespace

TEST_F(FallbackWarning, OneWarningLineAndTheTriangleIsWritten) {
  const std::string scene = Scene("early.json", EarlyScene());
  const std::string out = Path("mesh.json").string();
  RunResult r = RunApp({"eval", scene, "--frame", "5", "-o", out});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "wakeweave: warning: Line at frame 5: frame range invalid\n");
  EXPECT_EQ(r.out, "wrote " + out + ": 3 vertices, 1 face, 1 material\n");
  EXPECT_EQ(nlohmann::json::parse(ReadFile(out))["verts"], nlohmann::json::parse(kTriangle));

  // The frame as given, fractions kept.
  r = RunApp({"eval", scene, "--frame", "7.25", "-o", out});
  EXPECT_EQ(r.err, "wakeweave: warning: Line at frame 7.25: frame range invalid\n");

  // Inside the range the evaluation succeeds: no warning at all.
  r = RunApp({"eval", scene, "--frame", "15", "-o", out});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_GT(nlohmann::json::parse(ReadFile(out))["verts"].size(), 3u);
}

TEST_F(FallbackWarning, WithDebugTheDebugOutputStillShowsAndTheWarningComesOnce) {
  const std::string scene = Scene("early.json", EarlyScene());
  const std::string out = Path("mesh.obj").string();
  RunResult r = RunApp({"eval", scene, "--debug", "--frame", "5", "-o", out});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const auto lines = r.ErrLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Wakeweave::ModifyObject failed: frame range invalid"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "wakeweave: warning: Line at frame 5: frame range invalid"), 1);
  size_t warnings = 0;
  for (const std::string& l : lines) warnings += l.rfind("wakeweave: warning: ", 0) == 0;
  EXPECT_EQ(warnings, 1u) << r.err;
  EXPECT_TRUE(std::filesystem::exists(out));
}

TEST_F(FallbackWarning, NodeNamesThatAreNotPrintableAreEscaped) {
  // A bell and a C1 control in the name (JSON escapes, so the file itself is valid UTF-8).
  const std::string scene = Scene("early.json", EarlyScene(R"(Li\u0007ne\u0085)"));
  RunResult r = RunApp({"eval", scene, "--frame", "5", "-o", Path("m.json").string()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "wakeweave: warning: Li\\x07ne\\xC2\\x85 at frame 5: frame range invalid\n");
}

TEST_F(FallbackWarning, MaxMemoryTakesSizesWithSuffixesAndRefusesAnythingElse) {
  const std::string scene = Scene("early.json", EarlyScene());
  const std::string out = Path("m.json").string();
  for (const char* good : {"4G", "64m", "1048576", "2T", "512K"}) {
    SCOPED_TRACE(good);
    RunResult r = RunApp({"eval", scene, "--frame", "15", "--max-memory", good, "-o", out});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
  }
  std::filesystem::remove(out);
  for (const char* bad : {"", "0", "-1", "4X", "1.5G", "4GB", "G", " 4G", "99999999999999999999", "20000000T"}) {
    SCOPED_TRACE(bad);
    RunResult r = RunApp({"eval", scene, "--frame", "15", "--max-memory", bad, "-o", out});
    EXPECT_EQ(r.exitCode, 2);
    ASSERT_EQ(r.ErrLines().size(), 1u) << r.err;
    EXPECT_EQ(r.ErrLines()[0].rfind("wakeweave: error: --max-memory expects a size in bytes, or with K, M, G or T "
                                    "(for example 4G), got \"" +
                                        std::string(bad) + "\"",
                                    0),
              0u)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }
  RunResult r = RunApp({"eval", scene, "--frame", "15", "--max-memory", "0", "-o", out});
  EXPECT_NE(r.err.find("(it must be at least 1 byte)"), std::string::npos) << r.err;
  r = RunApp({"eval", scene, "--frame", "15", "--max-memory", "20000000T", "-o", out});
  EXPECT_NE(r.err.find("(too large)"), std::string::npos) << r.err;
}
