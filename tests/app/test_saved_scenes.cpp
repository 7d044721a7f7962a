// Saved scenes through the command: `record` writes a .wws, `eval` of it gives the dump its .json gives, and a
// truncated or damaged .wws is bad input with one line and nothing written.
#include <filesystem>
#include <fstream>
#include <vector>

#include "app_runner.h"

namespace {

namespace fs = std::filesystem;

class SavedScenes : public AppTest {
 protected:
  // Records scene into `saved` (in the scratch directory); the command's result.
  RunResult Record(const std::string& scene, const std::string& saved) {
    return RunApp({"record", scene, "-o", Path(saved).string()});
  }
  RunResult Eval(const std::string& scene, const std::string& frame, const std::string& out) {
    return RunApp({"eval", scene, "--frame", frame, "-o", Path(out).string()});
  }
  // A refused command: exit 2, nothing on standard output, one line naming the file, nothing written.
  void ExpectRefused(const std::vector<std::string>& args, const std::string& file,
                     const std::vector<std::string>& keep) {
    RunResult r = RunApp(args);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.out, "");
    const auto lines = r.ErrLines();
    ASSERT_EQ(lines.size(), 1u) << r.err;
    EXPECT_EQ(lines[0].rfind("wakeweave: error: " + file + ": ", 0), 0u) << lines[0];
    EXPECT_GT(lines[0].size(), ("wakeweave: error: " + file + ": ").size()) << "says what is wrong";
    EXPECT_EQ(OutputsExcept(keep), std::vector<std::string>{});
  }
};

// `record` regenerates where particle trails are on, so its saved scene draws what `eval --regenerate` of the
// source draws; the particle examples prove that the recording was made, since their source scenes carry none.
TEST_F(SavedScenes, EveryExampleRecordedEvaluatesAsTheSourceRegenerated) {
  int examples = 0, particleExamples = 0;
  for (const auto& e : fs::directory_iterator(fs::path(WAKEWEAVE_SOURCE_DIR) / "examples")) {
    if (e.path().extension() != ".json") continue;
    ++examples;
    SCOPED_TRACE(e.path().filename().string());
    RunResult r = Record(e.path().string(), "saved.wws");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const std::string& line : r.ErrLines())
      EXPECT_EQ(line.rfind("Recalculating Particle Trails... ", 0), 0u) << "only progress: " << line;
    const bool particles = !r.err.empty();
    particleExamples += particles;
    for (const char* frame : {"0", "7.5", "60", "100"}) {
      SCOPED_TRACE(frame);
      RunResult a = RunApp(
          {"eval", e.path().string(), "--frame", frame, "--regenerate", "-o", Path("regenerated.json").string()});
      RunResult b = Eval(Path("saved.wws").string(), frame, "from-wws.json");
      ASSERT_EQ(a.exitCode, 0) << a.err;
      ASSERT_EQ(b.exitCode, 0) << b.err;
      EXPECT_EQ(ReadFile(Path("regenerated.json")), ReadFile(Path("from-wws.json")));
      if (particles && std::string(frame) == "60") {
        RunResult c = Eval(e.path().string(), frame, "unrecorded.json");
        ASSERT_EQ(c.exitCode, 0) << c.err;
        EXPECT_NE(ReadFile(Path("unrecorded.json")), ReadFile(Path("from-wws.json"))) << "nothing was recorded";
      }
    }
  }
  EXPECT_GE(examples, 4);
  EXPECT_GE(particleExamples, 2);
}

TEST_F(SavedScenes, ParticleScenesRecordedRoundTripAndReportProgress) {
  const fs::path seeds = fs::path(WAKEWEAVE_SOURCE_DIR) / "fuzz" / "fuzz_scene";
  for (const char* name : {"particles-flow.json", "particles-legacy.json", "particles-emitter.json"}) {
    SCOPED_TRACE(name);
    RunResult r = Record((seeds / name).string(), "p.wws");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = r.ErrLines();
    ASSERT_GE(lines.size(), 1u) << r.err;
    EXPECT_EQ(lines.back(), "Recalculating Particle Trails... 100%") << r.err;
    RunResult a =
        RunApp({"eval", (seeds / name).string(), "--frame", "12", "--regenerate", "-o", Path("a.json").string()});
    RunResult b = Eval(Path("p.wws").string(), "12", "b.json");
    ASSERT_EQ(a.exitCode, 0) << a.err;
    ASSERT_EQ(b.exitCode, 0) << b.err;
    EXPECT_EQ(ReadFile(Path("a.json")), ReadFile(Path("b.json")));
  }
}

TEST_F(SavedScenes, ASavedSceneRecordedAgainIsTheSameFile) {
  const std::string scene = (fs::path(WAKEWEAVE_SOURCE_DIR) / "examples" / "line-trail.json").string();
  ASSERT_EQ(Record(scene, "one.wws").exitCode, 0);
  RunResult r = Record(Path("one.wws").string(), "two.wws");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(Path("one.wws")), ReadFile(Path("two.wws")));
}

TEST_F(SavedScenes, TruncatedOrDamagedSavedScenesAreBadInput) {
  const std::string scene = (fs::path(WAKEWEAVE_SOURCE_DIR) / "examples" / "circle-trail.json").string();
  ASSERT_EQ(Record(scene, "good.wws").exitCode, 0);
  const std::string good = ReadFile(Path("good.wws"));
  const std::string bad = Path("bad.wws").string();
  const std::string out = Path("o.json").string();
  for (size_t n : {size_t(0), size_t(3), size_t(12), size_t(40), good.size() / 2, good.size() - 1}) {
    SCOPED_TRACE("cut to " + std::to_string(n));
    WriteFile(bad, good.substr(0, n));
    ExpectRefused({"eval", bad, "--frame", "1", "-o", out}, bad, {"good.wws", "bad.wws"});
  }
  for (size_t at : {size_t(1), size_t(9), size_t(20), good.size() / 3, good.size() - 2}) {
    SCOPED_TRACE("byte " + std::to_string(at) + " changed");
    std::string damaged = good;
    damaged[at] = char(damaged[at] ^ 0x10);
    WriteFile(bad, damaged);
    ExpectRefused({"eval", bad, "--frame", "1", "-o", out}, bad, {"good.wws", "bad.wws"});
    // record reads it the same way, and writes nothing either.
    ExpectRefused({"record", bad, "-o", Path("again.wws").string()}, bad, {"good.wws", "bad.wws"});
  }
}

TEST_F(SavedScenes, RecordRefusesToWriteOverItsSceneAndWritesNothingWhenItFails) {
  const std::string scene = (fs::path(WAKEWEAVE_SOURCE_DIR) / "examples" / "line-trail.json").string();
  ASSERT_EQ(Record(scene, "s.wws").exitCode, 0);
  const std::string saved = Path("s.wws").string();
  const std::string before = ReadFile(saved);
  const std::string other = (Path(".") / "s.wws").string();
  RunResult r = RunApp({"record", saved, "-o", other});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "wakeweave: error: " + saved + ": -o " + other + " is the scene file itself\n");
  EXPECT_EQ(ReadFile(saved), before);
  // A folder that is not there: the save fails, and nothing is left behind.
  r = RunApp({"record", scene, "-o", Path("missing/x.wws").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.ErrLines().size(), 1u) << r.err;
  EXPECT_EQ(OutputsExcept({"s.wws"}), std::vector<std::string>{});
}

TEST_F(SavedScenes, EvalOfASavedSceneFindsItsNodes) {
  const std::string scene = Scene("two.json", R"({"frame": 4, "nodes": [
    {"name": "Plain", "object": {"type": "circle", "radius": 2}},
    {"name": "Second", "object": {"type": "circle", "radius": 1},
     "position": {"keys": [[0, [0, 0, 0]], [10, [10, 0, 0]]]}, "modifiers": [{"class": "Wakeweave"}]},
    {"name": "Third", "object": {"type": "circle", "radius": 3}, "modifiers": [{"class": "Wakeweave"}]}]})");
  ASSERT_EQ(Record(scene, "two.wws").exitCode, 0);
  const std::string saved = Path("two.wws").string();
  for (const char* node : {"Second", "Third"}) {
    SCOPED_TRACE(node);
    ASSERT_EQ(RunApp({"eval", scene, "--frame", "4", "--node", node, "-o", Path("a.json").string()}).exitCode, 0);
    ASSERT_EQ(RunApp({"eval", saved, "--frame", "4", "--node", node, "-o", Path("b.json").string()}).exitCode, 0);
    EXPECT_EQ(ReadFile(Path("a.json")), ReadFile(Path("b.json")));
  }
  RunResult r = RunApp({"eval", saved, "--frame", "4", "--node", "Plain", "-o", Path("c.json").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "wakeweave: error: " + saved +
                       ": --node: node \"Plain\" has no Wakeweave modifier (--node names a node whose modifier "
                       "stack holds one)\n");
}

}  // namespace
