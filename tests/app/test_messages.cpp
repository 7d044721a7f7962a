// What the error lines say: parameter ranges, frames past the host's 32-bit time, bytes that can't be
// printed, the output that is the scene itself, a node without a trail, and each path named once.
#include <sys/stat.h>

#include <chrono>

#include "app_runner.h"
#include "sanitized_build.h"

namespace {

std::string LineScene(const std::string& params, const std::string& extra = "") {
  return R"({)" + extra + R"("nodes": [{"name": "A",
      "object": {"type": "spline", "splines": [{"knots": [[0, 0, 0], [0, 1, 0]]}]},
      "modifiers": [{"class": "Wakeweave", "params": )" +
         params + "}]}]}";
}

class Messages : public AppTest {
 protected:
  // Runs eval and returns its one error line, checking exit code 2 and that nothing was written.
  std::string Refusal(const std::vector<std::string>& args, const std::vector<std::string>& keep) {
    RunResult r = RunApp(args);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.ErrLines().size(), 1u) << r.err;
    EXPECT_EQ(OutputsExcept(keep), std::vector<std::string>{});
    return r.ErrLines().empty() ? "" : r.ErrLines()[0];
  }
  std::string RefusedScene(const std::string& json, const std::string& frame = "1") {
    const std::string scene = Scene("s.json", json);
    const std::string line = Refusal({"eval", scene, "--frame", frame, "-o", Path("o.json").string()}, {"s.json"});
    const std::string prefix = "wakeweave: error: " + scene + ": ";
    EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
    return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line;
  }
};

}  // namespace

TEST_F(Messages, IntegersOutOfRangeNameTheParametersOwnRange) {
  EXPECT_EQ(RefusedScene(LineScene(R"({"old_frames": 123456789012345678901234567890})")),
            "nodes[0].modifiers[0].params.old_frames: 1.2345678901234568e+29 is out of range (0 to 100000)");
  EXPECT_EQ(RefusedScene(LineScene(R"({"pb_nummtls": -50000000000000000000})")),
            "nodes[0].modifiers[0].params.pb_nummtls: -5e+19 is out of range (1 to 1000)");
  EXPECT_EQ(RefusedScene(LineScene(R"({"moving or still": 18446744073709551615})")),
            "nodes[0].modifiers[0].params[\"moving or still\"]: 1.8446744073709552e+19 is out of range (0 to 1)");
}

TEST_F(Messages, FramesWhoseTicksDoNotFitA32BitTimeAreRefusedWherever) {
  const std::string past =
      "(its ticks must fit a 32-bit time: at most 13421772 frames either way at 160 ticks per "
      "frame)";
  const std::string key = R"({"keys": [[0, [0, 0, 0]], [13421773, [1, 0, 0]]]})";
  EXPECT_EQ(RefusedScene(R"({"nodes": [{"name": "A", "position": )" + key + "}]}"),
            "nodes[0].position.keys[1][0]: frame 13421773 is out of the host's time range " + past);
  EXPECT_EQ(RefusedScene(R"({"animationRange": [-13421773, 0], "nodes": []})"),
            "animationRange[0]: frame -13421773 is out of the host's time range " + past);
  EXPECT_EQ(RefusedScene(LineScene(R"({"start frame": 3e9})")),
            "nodes[0].modifiers[0].params[\"start frame\"]: frame 3000000000 is out of the host's time range " + past);
  EXPECT_EQ(
      RefusedScene(LineScene(R"({}, "animate": {"old_frames": {"keys": [[1e10, 3]]}})")),
      "nodes[0].modifiers[0].animate.old_frames.keys[0][0]: frame 10000000000 is out of the host's time range " + past);
  EXPECT_EQ(RefusedScene(R"({"nodes": [{"name": "A", "object": {"type": "spline",
                "keys": [[0, [{"knots": [[0, 0, 0]]}]], [2e7, [{"knots": [[1, 0, 0]]}]]]}}]})"),
            "nodes[0].object.keys[1][0]: frame 20000000 is out of the host's time range " + past);
  // The limit follows the scene's ticks per frame, for --frame too.
  const std::string scene = Scene("fine.json", LineScene("{}", R"("ticksPerFrame": 4800, )"));
  RunResult r = RunApp({"eval", scene, "--frame", "447393", "-o", Path("o.json").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err,
            "wakeweave: error: --frame: frame 447393 is out of the host's time range (its ticks must fit a 32-bit "
            "time: at most 447392 frames either way at 4800 ticks per frame)\n");
  r = RunApp({"eval", scene, "--frame", "447392", "-o", Path("o.json").string()});
  EXPECT_NE(r.exitCode, 2) << r.err;
}

TEST_F(Messages, BytesThatAreNotPrintableUtf8AreEscaped) {
  const std::string scene = Scene("s.json", LineScene("{}"));
  // A terminal escape sequence and ill-formed UTF-8 in --node; accented letters stay as they are.
  EXPECT_EQ(Refusal({"eval", scene, "--frame", "1", "--node", "\x1b[31mZoë\xff\xc3", "-o", Path("o.json").string()},
                    {"s.json"}),
            "wakeweave: error: " + scene + ": --node: no node named \"\\x1B[31mZoë\\xFF\\xC3\"");
  // A scene file name with a newline, an overlong slash and a surrogate.
  const std::string odd = Path("a\nb\xc0\xaf\xed\xa0\x80.json").string();
  EXPECT_EQ(Refusal({"eval", odd, "--frame", "1", "-o", Path("o.json").string()}, {"s.json"}),
            "wakeweave: error: " + Path("a").string() +
                "\\x0Ab\\xC0\\xAF\\xED\\xA0\\x80.json: cannot read the file: No such file or directory");
}

TEST_F(Messages, AnOutputThatIsTheSceneFileIsRefused) {
  const std::string text = LineScene("{}");
  const std::string scene = Scene("s.json", text);
  std::filesystem::create_symlink("s.json", Path("link.json"));
  std::filesystem::create_hard_link(Path("s.json"), Path("hard.json"));
  std::filesystem::create_directory(Path("sub"));
  const std::vector<std::string> keep = {"s.json", "link.json", "hard.json", "sub"};
  EXPECT_EQ(Refusal({"eval", scene, "--frame", "1", "-o", scene}, keep),
            "wakeweave: error: " + scene + ": -o names the scene file itself");
  for (const std::string& other : {Path("sub/../s.json").string(), Path("./s.json").string(),
                                   Path("link.json").string(), Path("hard.json").string()}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(Refusal({"eval", scene, "--frame", "1", "-o", other}, keep),
              "wakeweave: error: " + scene + ": -o " + other + " is the scene file itself");
  }
  // Through the link the other way round.
  EXPECT_EQ(Refusal({"eval", Path("link.json").string(), "--frame", "1", "-o", scene}, keep),
            "wakeweave: error: " + Path("link.json").string() + ": -o " + scene + " is the scene file itself");
  EXPECT_EQ(ReadFile(scene), text);
  // A file beside it is fine.
  RunResult r = RunApp({"eval", scene, "--frame", "1", "-o", Path("sub/s.json").string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(Messages, EachPathIsNamedOnce) {
  const std::string scene = Scene("s.json", LineScene("{}"));
  auto count = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  for (const char* name : {"nowhere/o.json", "nowhere/o.obj", "nowhere/o.glb"}) {
    const std::string out = Path(name).string();
    RunResult r = RunApp({"eval", scene, "--frame", "1", "-o", out});
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.ErrLines().size(), 1u) << r.err;
    EXPECT_EQ(count(r.err, out), 1u) << r.err;
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
  }
  const std::string bad = Scene("bad.json", R"({"nodes": [{"name": "A", "colour": 1}]})");
  RunResult r = RunApp({"eval", bad, "--frame", "1", "-o", Path("o.json").string()});
  EXPECT_EQ(count(r.err, bad), 1u) << r.err;
}

TEST_F(Messages, ANodeWithoutAWakeweaveModifierIsBadInput) {
  const std::string scene = Scene("s.json", R"({"nodes": [
      {"name": "Circle", "object": {"type": "circle", "radius": 1}},
      {"name": "Empty"},
      {"name": "A", "object": {"type": "circle", "radius": 1}, "modifiers": [{"class": "Wakeweave"}]}]})");
  for (const char* node : {"Circle", "Empty"})
    EXPECT_EQ(Refusal({"eval", scene, "--frame", "1", "--node", node, "-o", Path("o.json").string()}, {"s.json"}),
              "wakeweave: error: " + scene + ": --node: node \"" + node +
                  "\" has no Wakeweave modifier (--node names a node whose modifier stack holds one)");
}

TEST_F(Messages, ASceneOfAHundredThousandNodesLoadsInLinearTime) {
  std::string nodes;
  for (int i = 0; i < 100000; ++i)
    nodes += R"({"name": "N)" + std::to_string(i) +
             R"(", "position": [1, 2, 3], "object": {"type": "circle", "radius": 1}}, )";
  const std::string scene = Scene("many.json", R"({"nodes": [)" + nodes + R"({"name": "Last",
      "position": {"keys": [[0, [0, 0, 0]], [8, [8, 0, 0]]]},
      "object": {"type": "spline", "splines": [{"knots": [[0, 0, 0], [0, 1, 0]]}]},
      "modifiers": [{"class": "Wakeweave", "params": {"spline steps": 0, "old_frames": 1}}]}]})");
  const auto start = std::chrono::steady_clock::now();
  RunResult r = RunApp({"eval", scene, "--frame", "4", "--node", "Last", "-o", Path("o.json").string()});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(ReadFile(Path("o.json")).find("[[0, 0, 0], [0, 1, 0], [-1, 0, 0], [-1, 1, 0]]"), std::string::npos);
  // 40 000 nodes took 12 s when naming was quadratic (and 100 000 never finished); a sanitizer's runtime
  // makes every step several times slower.
  EXPECT_LT(seconds, WAKEWEAVE_SANITIZED ? 90.0 : 15.0);
  RecordProperty("seconds", std::to_string(seconds));
  // Names given in the file must still be unique among that many.
  RunResult dup = RunApp({"eval", Scene("dup.json", R"({"nodes": [)" + nodes + R"({"name": "N99999"}]})"), "--frame",
                          "1", "-o", Path("d.json").string()});
  EXPECT_EQ(dup.exitCode, 2);
  EXPECT_NE(dup.err.find("nodes[100000].name: duplicate node name \"N99999\""), std::string::npos) << dup.err;
}
