// `wakeweave snapshot`: the spline node that "Snapshot Path..." makes of the recorded particle paths, written
// as curves; without a recording the person is told "No particle animation." and nothing is written.
#include <nlohmann/json.hpp>

#include <filesystem>

#include "app_runner.h"

namespace {

namespace fs = std::filesystem;

std::string Example(const char* name) { return (fs::path(WAKEWEAVE_SOURCE_DIR) / "examples" / name).string(); }

size_t CountLinesStarting(const std::string& text, const std::string& prefix) {
  size_t n = 0;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) n += l.rfind(prefix, 0) == 0;
  return n;
}

class Snapshot : public AppTest {};

TEST_F(Snapshot, WritesOneCurvePerRecordedLifeInEveryFormat) {
  const RunResult j = RunApp({"snapshot", Example("legacy-spray.json"), "--regenerate", "-o", Path("p.json").string()});
  ASSERT_EQ(j.exitCode, 0) << j.err;
  const nlohmann::json dump = nlohmann::json::parse(ReadFile(Path("p.json")));
  EXPECT_EQ(dump.at("name"), "DOVerazi");
  // Six slots, each alive twice in the range: twelve lives, each recorded once a frame while alive (40
  // frames, fewer for the last lives, which outlive the range at frame 100).
  ASSERT_EQ(dump.at("splines").size(), 12u);
  for (const auto& spline : dump.at("splines")) {
    EXPECT_GE(spline.size(), 25u);
    EXPECT_LE(spline.size(), 41u);
  }
  // The first life starts at the spray's centre.
  EXPECT_NEAR(dump["splines"][0][0][0].get<double>(), 0.0, 1e-6);

  const RunResult o = RunApp({"snapshot", Example("legacy-spray.json"), "--regenerate", "-o", Path("p.obj").string()});
  ASSERT_EQ(o.exitCode, 0) << o.err;
  const std::string obj = ReadFile(Path("p.obj"));
  EXPECT_EQ(CountLinesStarting(obj, "o DOVerazi"), 1u);
  EXPECT_EQ(CountLinesStarting(obj, "l "), 12u);
  size_t knots = 0;
  for (const auto& spline : dump["splines"]) knots += spline.size();
  EXPECT_EQ(CountLinesStarting(obj, "v "), knots);

  const RunResult g = RunApp({"snapshot", Example("legacy-spray.json"), "--regenerate", "-o", Path("p.glb").string()});
  ASSERT_EQ(g.exitCode, 0) << g.err;
  EXPECT_EQ(ReadFile(Path("p.glb")).substr(0, 4), "glTF");
}

TEST_F(Snapshot, ASavedRecordingSnapshotsAsTheRegeneratedSource) {
  ASSERT_EQ(RunApp({"record", Example("flow-fountain.json"), "-o", Path("s.wws").string()}).exitCode, 0);
  const RunResult a = RunApp({"snapshot", Path("s.wws").string(), "-o", Path("a.json").string()});
  const RunResult b = RunApp({"snapshot", Example("flow-fountain.json"), "--node", "Ribbon001", "--regenerate", "-o",
                              Path("b.json").string()});
  ASSERT_EQ(a.exitCode, 0) << a.err;
  ASSERT_EQ(b.exitCode, 0) << b.err;
  EXPECT_EQ(a.err, "") << "no regeneration, no progress";
  EXPECT_EQ(ReadFile(Path("a.json")), ReadFile(Path("b.json")));
  // Only the "Spray" event is recorded: every life ends where its particle passes to "Fall".
  const nlohmann::json dump = nlohmann::json::parse(ReadFile(Path("a.json")));
  ASSERT_EQ(dump.at("splines").size(), 16u);
  for (const auto& spline : dump["splines"]) EXPECT_LE(spline.size(), 26u);
}

TEST_F(Snapshot, WithoutARecordingTheMessageBoxIsShownAndNothingIsWritten) {
  const RunResult r = RunApp({"snapshot", Example("flow-fountain.json"), "-o", Path("none.obj").string()});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  const auto lines = r.ErrLines();
  ASSERT_EQ(lines.size(), 2u) << r.err;
  EXPECT_EQ(lines[0], "wakeweave: Wake Weave: No particle animation.");
  EXPECT_EQ(lines[1].rfind("wakeweave: error: snapshot: nothing is recorded", 0), 0u) << lines[1];
  EXPECT_EQ(OutputsExcept({}), std::vector<std::string>{});
}

TEST_F(Snapshot, BadRequestsAreRefusedBeforeAnyWork) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"snapshot", Example("flow-fountain.json"), "-o", Path("p.stl").string()},
        std::vector<std::string>{"snapshot", Example("flow-fountain.json"), "--node", "PF Source 001", "-o",
                                 Path("p.json").string()},
        std::vector<std::string>{"snapshot", Example("flow-fountain.json")},
        std::vector<std::string>{"snapshot", "-o", Path("p.json").string()}}) {
    const RunResult r = RunApp(args);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.ErrLines().size(), 1u) << r.err;
    EXPECT_EQ(r.err.find("Recalculating"), std::string::npos);
    EXPECT_EQ(OutputsExcept({}), std::vector<std::string>{});
  }
}

}  // namespace
