// `wakeweave eval`: the mesh dump of small scenes, checked by hand and against the same scene built in-process.
#include <nlohmann/json.hpp>

#include <cstring>
#include <optional>

#include "app_runner.h"
#include "plugin_fixture.h"

#include "app/SceneLoader.h"

namespace {

// A two-knot corner line (0,0,0)-(0,1,0) whose node moves one unit along X per frame.
const char* kMovingLine = R"({
  "nodes": [
    {"name": "Plain", "object": {"type": "spline", "splines": [{"knots": [[0, 0, 0]]}]}},
    {"name": "Line",
     "position": {"keys": [[0, [0, 0, 0]], [8, [8, 0, 0]]]},
     "object": {"type": "spline", "splines": [{"closed": false, "knots": [[0, 0, 0], [0, 1, 0]]}]},
     "modifiers": [{"class": "Wakeweave", "params": {"spline steps": 0, "old_frames": 1}}]}
  ]
})";

class Eval : public AppTest {};

}  // namespace

TEST_F(Eval, MovingLineDumpIsTheHandComputedStrip) {
  const std::string scene = Scene("line.json", kMovingLine);
  const std::string out = Path("mesh.json").string();
  RunResult r = RunApp({"eval", scene, "--frame", "4", "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // Rows: the line now (frame 4) and where it was one frame ago, in the present's object space (one unit
  // back along X). One quad of two faces; U across the line (0..1), V along the trail ("String": 0, then
  // one step of one).
  EXPECT_EQ(ReadFile(out),
            "{\n"
            "  \"verts\":   [[0, 0, 0], [0, 1, 0], [-1, 0, 0], [-1, 1, 0]],\n"
            "  \"faces\":   [[0, 1, 3], [0, 3, 2]],\n"
            "  \"matIds\":  [0, 0],\n"
            "  \"smGroups\": [1, 1],\n"
            "  \"edgeVis\": [[1, 1, 0], [0, 1, 1]],\n"
            "  \"tverts\":  [[0, 0, 0], [1, 0, 0], [0, 1, 0], [1, 1, 0]],\n"
            "  \"tvFaces\": [[0, 1, 3], [0, 3, 2]],\n"
            "  \"map2\":    null\n"
            "}\n");
  // Only the output was written, no temporary file left behind.
  EXPECT_EQ(OutputsExcept({"line.json", "mesh.json"}), std::vector<std::string>{});
}

TEST_F(Eval, FailedEvaluationDumpsTheFallbackTriangle) {
  // Anchored to frames 10 to 20 and evaluated at frame 5: before the range, the modifier fails.
  const std::string scene = Scene("early.json", R"({"nodes": [{"name": "Line",
      "position": {"keys": [[0, [0, 0, 0]], [30, [30, 0, 0]]]},
      "object": {"type": "spline", "splines": [{"knots": [[0, 0, 0], [0, 1, 0]]}]},
      "modifiers": [{"class": "Wakeweave", "params": {"moving or still": 1, "pb_userange": true,
                                                      "start frame": 10, "end frame": 20}}]}]})");
  const std::string out = Path("fallback.json").string();
  RunResult r = RunApp({"eval", scene, "--frame", "5", "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto dump = nlohmann::json::parse(ReadFile(out));
  EXPECT_EQ(dump["verts"], nlohmann::json::parse("[[0, 0, 0], [1, 0, 0], [0, 1, 0]]"));
  EXPECT_EQ(dump["faces"], nlohmann::json::parse("[[0, 1, 2]]"));
  EXPECT_EQ(dump["matIds"], nlohmann::json::parse("[0]"));
  EXPECT_EQ(dump["tverts"], nlohmann::json::array());
  EXPECT_EQ(dump["tvFaces"], nlohmann::json::array());
  EXPECT_TRUE(dump["map2"].is_null());

  // At frame 15 the same scene gives a real trail.
  RunResult inside = RunApp({"eval", scene, "--frame", "15", "-o", out});
  ASSERT_EQ(inside.exitCode, 0) << inside.err;
  EXPECT_GT(nlohmann::json::parse(ReadFile(out))["verts"].size(), 3u);
}

TEST_F(Eval, NodeChoiceDefaultsToTheFirstWakeweaveNode) {
  const std::string scene = Scene("line.json", kMovingLine);
  const std::string out = Path("m.json").string();
  RunResult byDefault = RunApp({"eval", scene, "--frame", "4", "-o", out});
  ASSERT_EQ(byDefault.exitCode, 0) << byDefault.err;
  const std::string first = ReadFile(out);
  RunResult named = RunApp({"eval", "--node", "Line", scene, "--debug", "--frame=4", "--output", out});
  ASSERT_EQ(named.exitCode, 0) << named.err;
  EXPECT_EQ(ReadFile(out), first);
  // --debug, anywhere on the line, shows the host's debug output (the modifier's lock tracing) on stderr;
  // without it stderr stays empty.
  EXPECT_EQ(byDefault.err, "");
  EXPECT_NE(named.err.find("ScopeLock::EnterCriticalSection()\n"), std::string::npos) << named.err;

  // A node without a Wakeweave modifier has no trail to evaluate: bad input, the scene named, nothing written.
  std::filesystem::remove(out);
  RunResult plain = RunApp({"eval", scene, "--frame", "4", "--node", "Plain", "-o", out});
  EXPECT_EQ(plain.exitCode, 2);
  ASSERT_EQ(plain.ErrLines().size(), 1u) << plain.err;
  EXPECT_EQ(plain.ErrLines()[0], "wakeweave: error: " + scene +
                                     ": --node: node \"Plain\" has no Wakeweave modifier (--node names a node whose "
                                     "modifier stack holds one)");
  EXPECT_FALSE(std::filesystem::exists(out));

  // Nor do a particle system and its events, though --node can name them.
  const std::string flow = Scene("flow.json", R"({"nodes": [
    {"name": "PF Source 001", "object": {"type": "particles", "interface": "flow", "events": ["Event 001"],
       "particles": [{"born": 0, "path": [0, 0, 0]}]}},
    {"name": "Ribbon", "object": {"type": "circle", "radius": 1}, "modifiers": [{"class": "Wakeweave"}]}]})");
  for (const std::string name : {"PF Source 001", "Event 001"}) {
    RunResult r = RunApp({"eval", flow, "--node", name, "-o", out});
    EXPECT_EQ(r.exitCode, 2);
    ASSERT_EQ(r.ErrLines().size(), 1u) << r.err;
    EXPECT_EQ(r.ErrLines()[0], "wakeweave: error: " + flow + ": --node: node \"" + name +
                                   "\" has no Wakeweave modifier (--node names a node whose modifier stack holds one)");
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

TEST_F(Eval, FractionalFramesRoundHalfwayAwayFromZero) {
  // Two ticks a frame; the node moves one unit per tick. Anchored from frame 0, the oldest row sits as far
  // behind the present as the number of ticks evaluated: frame 1.25 is 2.5 ticks, which must become 3.
  const std::string scene = Scene("ticks.json", R"({"ticksPerFrame": 2, "nodes": [{"name": "Dot",
      "position": {"keys": [[0, [0, 0, 0]], [100, [200, 0, 0]]]},
      "object": {"type": "spline", "splines": [{"knots": [[0, 0, 0]]}]},
      "modifiers": [{"class": "Wakeweave", "params": {"moving or still": 1, "spline steps": 0}}]}]})");
  const std::string out = Path("dots.json").string();
  RunResult r = RunApp({"eval", scene, "--frame", "1.25", "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto dump = nlohmann::json::parse(ReadFile(out));
  double minX = 0;
  for (const auto& v : dump["verts"]) minX = std::min(minX, v[0].get<double>());
  EXPECT_DOUBLE_EQ(minX, -3.0);
}

TEST_F(Eval, FailureLeavesAnExistingOutputUntouched) {
  const std::string out = Path("keep.json").string();
  WriteFile(out, "precious");
  const std::string scene = Scene("bad.json", R"({"nodes": [{"name": "A", "colour": 1}]})");
  RunResult r = RunApp({"eval", scene, "--frame", "0", "-o", out});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(ReadFile(out), "precious");
}

// The dump read back gives the mesh's single-precision values bit for bit: compared with the same scene
// evaluated in this process.
class EvalRoundTrip : public SceneTest {};

TEST_F(EvalRoundTrip, DumpedFloatsReadBackExactly) {
  const char* text = R"({"nodes": [{"name": "Ring",
      "position": {"keys": [[0, [0, 0, 0]], [30, [317.3, -41.7, 12.9]]]},
      "rotation": {"keys": [[0, [0.3, 1, 0.2, 0]], [30, [0.3, 1, 0.2, 137]]]},
      "offset": {"position": [0.7, 1.3, -2.1], "rotation": [1, 1, 0, 33]},
      "object": {"type": "circle", "radius": 7.77},
      "modifiers": [{"class": "Wakeweave", "params": {"old_frames": 4, "segments per frame": 1.7,
                                                      "pb_urepeat": 3.3, "spline steps": 3}}]}]})";
  std::optional<ScratchDir> files(std::in_place);
  const std::string scene = files->Scene("ring.json", text);
  const std::string out = files->Path("ring-mesh.json").string();
  RunResult r = files->RunApp({"eval", scene, "--frame", "17.3", "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto dump = nlohmann::json::parse(ReadFile(out));
  files.reset();

  LoadedScene s = LoadSceneText(text, GetWakeweaveDesc());
  const TimeValue t = FramesToTicks(17.3, GetTicksPerFrame(), "t");
  Mesh& m = EvalMesh(s.nodesWithWakeweave.at(0), t);
  ASSERT_EQ(dump["verts"].size(), size_t(m.getNumVerts()));
  ASSERT_GT(m.getNumVerts(), 12);
  auto sameBits = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  int mismatches = 0;
  for (int i = 0; i < m.getNumVerts(); ++i)
    for (int c = 0; c < 3; ++c)
      if (!sameBits(float(dump["verts"][size_t(i)][size_t(c)].get<double>()), m.verts[i][c])) ++mismatches;
  ASSERT_EQ(dump["tverts"].size(), size_t(m.getNumTVerts()));
  for (int i = 0; i < m.getNumTVerts(); ++i)
    for (int c = 0; c < 3; ++c)
      if (!sameBits(float(dump["tverts"][size_t(i)][size_t(c)].get<double>()), m.tVerts[i][c])) ++mismatches;
  EXPECT_EQ(mismatches, 0);
  ASSERT_EQ(dump["faces"].size(), size_t(m.getNumFaces()));
  for (int f = 0; f < m.getNumFaces(); ++f) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(dump["faces"][size_t(f)][size_t(c)].get<DWORD>(), m.faces[f].v[c]);
      EXPECT_EQ(dump["edgeVis"][size_t(f)][size_t(c)].get<int>(), m.faces[f].getEdgeVis(c) ? 1 : 0);
      EXPECT_EQ(dump["tvFaces"][size_t(f)][size_t(c)].get<DWORD>(), m.tvFace[f].t[c]);
    }
    EXPECT_EQ(dump["smGroups"][size_t(f)].get<DWORD>(), m.faces[f].smGroup);
    EXPECT_EQ(dump["matIds"][size_t(f)].get<int>(), m.faces[f].getMatID());
  }
}

// "pb_particle_node": null names no particle system: the scene loads and the spline trail is drawn.
TEST_F(Eval, NullParticleNodeIsAccepted) {
  std::string text = kMovingLine;
  const std::string from = R"("old_frames": 1})";
  text.replace(text.find(from), from.size(), R"("old_frames": 1, "pb_particle_node": null})");
  const std::string scene = Scene("null-node.json", text);
  const std::string out = Path("mesh.json").string();
  RunResult r = RunApp({"eval", scene, "--frame", "4", "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(ReadFile(out).find("[[0, 0, 0], [0, 1, 0], [-1, 0, 0], [-1, 1, 0]]"), std::string::npos);
}
