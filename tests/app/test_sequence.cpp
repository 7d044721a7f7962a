// `eval` over a range of frames (--frames, {frame} patterns, one animated glTF), the default frame, the
// lines it prints, --quiet and --version.
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <regex>
#include <set>

#include "app_runner.h"

namespace {

// A corner line (0,0,0)-(0,1,0) whose node moves one unit along X per frame; the scene's frame is 4.
const char* kMovingLine = R"({"frame": 4, "nodes": [
    {"name": "Line", "position": {"keys": [[0, [0, 0, 0]], [8, [8, 0, 0]]]},
     "object": {"type": "spline", "splines": [{"knots": [[0, 0, 0], [0, 1, 0]]}]},
     "modifiers": [{"class": "Wakeweave", "params": {"spline steps": 0, "old_frames": 1}}]}]})";

// A turning circle anchored at frame 0 at 80 ticks a frame (60 frames a second): its trail grows every
// frame, so every frame's mesh has another size.
const char* kGrowingRing = R"({"ticksPerFrame": 80, "nodes": [
    {"name": "Ring", "position": {"keys": [[0, [0, 0, 0]], [20, [40, 10, 5]]]},
     "rotation": {"keys": [[0, [0, 0, 1, 0]], [20, [0, 0, 1, 90]]]},
     "object": {"type": "circle", "radius": 3},
     "modifiers": [{"class": "Wakeweave", "params": {"moving or still": 1, "spline steps": 2,
                                                     "segments per frame": 1}}]}]})";

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// Runs a shell command; its standard output, and its exit code in *code.
std::string Output(const std::string& command, int* code) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int status = ::pclose(p);
  *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

// What a viewer shows of a glTF file at a time, read by a script of its own (tests/app/gltf_shown.js).
nlohmann::json Shown(const std::filesystem::path& file, double seconds) {
  int code = -1;
  char time[40];
  std::snprintf(time, sizeof time, "%.9g", seconds);
  const std::string out = Output("node " + Quoted(std::string(WAKEWEAVE_SOURCE_DIR) + "/tests/app/gltf_shown.js") +
                                     " " + Quoted(file.string()) + " " + time,
                                 &code);
  EXPECT_EQ(code, 0) << out;
  return code == 0 ? nlohmann::json::parse(out) : nlohmann::json();
}

// Same triangles: as many, in the same order, with the same material, corners within float rounding.
void ExpectSameTriangles(const nlohmann::json& got, const nlohmann::json& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  int mismatches = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    if (got[i]["m"] != want[i]["m"]) ++mismatches;
    for (size_t c = 0; c < 9; ++c) {
      const double a = got[i]["p"][c].get<double>(), b = want[i]["p"][c].get<double>();
      if (std::fabs(a - b) > 1e-4 * std::max(1.0, std::fabs(b))) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0) << what;
}

class Sequence : public AppTest {
 protected:
  // A refused command line: exit 2, one error line (returned without its prefix), nothing written.
  std::string Refused(const std::vector<std::string>& args, const std::vector<std::string>& keep) {
    RunResult r = RunApp(args);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(OutputsExcept(keep), std::vector<std::string>{});
    const auto lines = r.ErrLines();
    EXPECT_EQ(lines.size(), 1u) << r.err;
    const std::string prefix = "wakeweave: error: ";
    if (lines.size() != 1 || lines[0].rfind(prefix, 0) != 0) return r.err;
    return lines[0].substr(prefix.size());
  }
};

}  // namespace

TEST_F(Sequence, FrameDefaultsToTheScenesFrame) {
  const std::string scene = Scene("line.json", kMovingLine);
  ASSERT_EQ(RunApp({"eval", scene, "-o", Path("default.json").string()}).exitCode, 0);
  ASSERT_EQ(RunApp({"eval", scene, "--frame", "4", "-o", Path("four.json").string()}).exitCode, 0);
  ASSERT_EQ(RunApp({"eval", scene, "--frame", "0", "-o", Path("zero.json").string()}).exitCode, 0);
  EXPECT_EQ(ReadFile(Path("default.json")), ReadFile(Path("four.json")));
  EXPECT_NE(ReadFile(Path("default.json")), ReadFile(Path("zero.json")));
}

TEST_F(Sequence, VersionAndTheLinePerFileAndQuiet) {
  RunResult v = RunApp({"--version"});
  EXPECT_EQ(v.exitCode, 0);
  EXPECT_EQ(v.err, "");
  EXPECT_TRUE(std::regex_match(v.out, std::regex("wakeweave [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << v.out;

  const std::string scene = Scene("line.json", kMovingLine);
  const std::string out = Path("mesh.obj").string();
  RunResult r = RunApp({"eval", scene, "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "wrote " + out + ": 4 vertices, 2 faces, 1 material\n");

  std::filesystem::remove(out);
  RunResult quiet = RunApp({"eval", scene, "--quiet", "-o", out});
  ASSERT_EQ(quiet.exitCode, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, "");
  EXPECT_TRUE(std::filesystem::exists(out));
  // Quiet keeps the errors.
  RunResult bad = RunApp({"eval", scene, "-q", "--node", "Nobody", "-o", out});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_EQ(bad.ErrLines().size(), 1u) << bad.err;
}

TEST_F(Sequence, OneFilePerFrameEachTheSingleFrameExport) {
  const std::string scene = Scene("ring.json", kGrowingRing);
  for (const std::string ext : {"json", "obj", "glb"}) {
    SCOPED_TRACE(ext);
    std::filesystem::create_directory(Path("seq-" + ext));
    std::filesystem::create_directory(Path("one-" + ext));
    const std::string pattern = Path("seq-" + ext).string() + "/ring-{frame:04}." + ext;
    RunResult r = RunApp({"eval", scene, "--frames", "2:8:3", "-o", pattern});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Path("seq-" + ext)))
      names.insert(e.path().filename().string());
    std::set<std::string> wanted;
    for (const char* f : {"0002", "0005", "0008"}) {
      wanted.insert(std::string("ring-") + f + "." + ext);
      if (ext == "obj" && std::filesystem::exists(Path("seq-obj/ring-0002.mtl")))
        wanted.insert(std::string("ring-") + f + ".mtl");  // the materials beside each .obj
    }
    EXPECT_EQ(names, wanted);

    // Each equals the single-frame export of its frame (written under the same name in another folder, as
    // an .obj names its .mtl).
    std::vector<std::string> lines;
    for (const char* f : {"2", "5", "8"}) {
      const std::string padded = std::string(4 - std::strlen(f), '0') + f;
      const std::string name = "ring-" + padded + "." + ext;
      RunResult one = RunApp({"eval", scene, "--frame", f, "-o", Path("one-" + ext + "/" + name).string()});
      ASSERT_EQ(one.exitCode, 0) << one.err;
      EXPECT_EQ(ReadFile(Path("seq-" + ext + "/" + name)), ReadFile(Path("one-" + ext + "/" + name))) << name;
      lines.push_back(
          std::regex_replace(one.out, std::regex("one-" + ext), "seq-" + ext, std::regex_constants::format_first_only));
    }
    // One line per file, in frame order, as the single-frame commands print them.
    EXPECT_EQ(r.out, lines[0] + lines[1] + lines[2]);
  }
}

TEST_F(Sequence, AnimatedGlbShowsEachFrameAtItsTime) {
  const std::string scene = Scene("ring.json", kGrowingRing);
  const std::string anim = Path("ring.glb").string();
  RunResult r = RunApp({"eval", scene, "--frames", "3:9:2", "-o", anim});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(OutputsExcept({"ring.json", "ring.glb"}), std::vector<std::string>{});
  EXPECT_EQ(r.out.rfind("wrote " + anim + ": 4 frames, ", 0), 0u) << r.out;

  const std::vector<int> frames = {3, 5, 7, 9};
  std::vector<nlohmann::json> single;
  for (int f : frames) {
    const std::string one = Path("one-" + std::to_string(f) + ".glb").string();
    ASSERT_EQ(RunApp({"eval", scene, "--frame", std::to_string(f), "-o", one}).exitCode, 0);
    single.push_back(Shown(one, 0)["triangles"]);
    ASSERT_GT(single.back().size(), 0u);
  }
  EXPECT_NE(single.front().size(), single.back().size()) << "the trail grows";

  // At 80 ticks a frame, 60 frames a second: frame f shows from (f - 3) / 60 s. Sampled at its time and just
  // before the next frame's, the viewer shows exactly that frame's single-frame export.
  for (size_t k = 0; k < frames.size(); ++k) {
    SCOPED_TRACE("frame " + std::to_string(frames[k]));
    // (A hair past the time: the file's times are single-precision.)
    const double at = (frames[k] - 3) / 60.0 + 1e-6;
    ExpectSameTriangles(Shown(anim, at)["triangles"], single[k], "at its time");
    ExpectSameTriangles(Shown(anim, at + 1.9 / 60)["triangles"], single[k], "until the next frame");
  }
  // Without playing, the first frame shows; after the end, the last one stays.
  ExpectSameTriangles(Shown(anim, 0)["triangles"], single.front(), "at rest");
  const nlohmann::json shown = Shown(anim, 10.0);
  ExpectSameTriangles(shown["triangles"], single.back(), "after the end");
  // The last frame is held for one step (2 frames) before the animation ends.
  EXPECT_NEAR(shown["end"].get<double>(), 8 / 60.0, 1e-6);
  ASSERT_EQ(shown["channels"].size(), frames.size());
  for (const auto& ch : shown["channels"]) {
    EXPECT_EQ(ch["path"], "scale");
    EXPECT_EQ(ch["interpolation"], "STEP");
  }

  // A sequence of one frame is that frame, shown throughout.
  const std::string lone = Path("lone.glb").string();
  ASSERT_EQ(RunApp({"eval", scene, "--frames", "5:5", "-o", lone}).exitCode, 0);
  ExpectSameTriangles(Shown(lone, 0)["triangles"], single[1], "one frame");
  ExpectSameTriangles(Shown(lone, 1)["triangles"], single[1], "one frame, later");

  // The reference validator: no error, no warning.
  int code = -1;
  const char* modules = std::getenv("GLTF_VALIDATOR_MODULES");
  const std::string report =
      Output("node " + Quoted(std::string(WAKEWEAVE_SOURCE_DIR) + "/tools/validate-gltf.js") + " --modules " +
                 Quoted(modules ? modules : std::string(WAKEWEAVE_BINARY_DIR) + "/tools/node_modules") + " " +
                 Quoted(anim) + " " + Quoted(lone) + " 2>&1",
             &code);
  EXPECT_EQ(code, 0) << report;
  EXPECT_NE(report.find(anim + ": 0 errors, 0 warnings"), std::string::npos) << report;
  EXPECT_NE(report.find(lone + ": 0 errors, 0 warnings"), std::string::npos) << report;

  // .gltf holds the same.
  const std::string text = Path("ring.gltf").string();
  ASSERT_EQ(RunApp({"eval", scene, "--frames", "3:9:2", "-q", "-o", text}).exitCode, 0);
  ExpectSameTriangles(Shown(text, 4 / 60.0 + 1e-6)["triangles"], single[2], "as .gltf");
}

TEST_F(Sequence, BadRangesAndPatterns) {
  const std::string scene = Scene("line.json", kMovingLine);
  const std::string out = Path("out-{frame}.json").string();
  const std::vector<std::string> keep = {"line.json"};
  const auto eval = [&](std::vector<std::string> more) {
    std::vector<std::string> args = {"eval", scene};
    args.insert(args.end(), more.begin(), more.end());
    return Refused(args, keep);
  };
  const std::string expects = "--frames expects A:B or A:B:STEP (frames, A <= B, STEP > 0), got ";
  EXPECT_EQ(eval({"--frames", "5:1", "-o", out}), expects + "\"5:1\": B comes before A");
  EXPECT_EQ(eval({"--frames", "1:5:0", "-o", out}), expects + "\"1:5:0\": STEP must be above 0");
  EXPECT_EQ(eval({"--frames", "1:5:-2", "-o", out}), expects + "\"1:5:-2\": STEP must be above 0");
  EXPECT_EQ(eval({"--frames", "3", "-o", out}), expects + "\"3\"");
  EXPECT_EQ(eval({"--frames", "1:2:3:4", "-o", out}), expects + "\"1:2:3:4\"");
  EXPECT_EQ(eval({"--frames", "a:2", "-o", out}), expects + "\"a:2\": \"a\" is not a number");
  EXPECT_EQ(eval({"--frames", "0:nan", "-o", out}), expects + "\"0:nan\": \"nan\" is not a number");
  EXPECT_EQ(eval({"--frames", "0:1e9", "-o", out}),
            "--frames 0:1000000000:1 asks for 1000000001 frames; at most 100000 go in one sequence");
  EXPECT_EQ(eval({"--frames", "0:1e300:1e-300", "-o", out}).find("--frames 0:1e+300:1e-300 asks for "), 0u);
  // Frames finer than a tick would show one time twice.
  EXPECT_EQ(eval({"--frames", "0:0.01:0.001", "-o", out}),
            "--frames: frames 0 and 0.001 fall on the same tick (160 ticks a frame): use a larger STEP");
  EXPECT_EQ(eval({"--frames", "0:2e7", "-o", out}).find("--frames 0:20000000:1 asks for"), 0u);
  EXPECT_EQ(eval({"--frames", "1:3", "--frame", "2", "-o", out}),
            "eval takes --frame F or --frames A:B[:STEP], not both (see wakeweave eval --help)");

  const std::string takes = " (the pattern takes {frame} or {frame:04})";
  for (const char* bad : {"{frame", "{frames}", "{frame:4}", "{frame:x}", "{}", "}"}) {
    const std::string o = Path(std::string("out-") + bad + ".json").string();
    const std::string message = eval({"--frames", "1:3", "-o", o});
    EXPECT_EQ(message.rfind("-o " + o + ": ", 0), 0u) << message;
    EXPECT_NE(message.find(takes), std::string::npos) << message;
  }
  EXPECT_NE(eval({"--frames", "1:3", "-o", Path("out-{frame.json").string()}).find("a '{' that is not closed"),
            std::string::npos);
  EXPECT_NE(eval({"--frames", "1:3", "-o", Path("out-{frames}.json").string()}).find("unknown field {frames}"),
            std::string::npos);
  // A pattern is for --frames only; without it, a whole sequence needs a pattern or one glTF.
  EXPECT_EQ(eval({"--frame", "2", "-o", out}),
            "-o " + out + ": a {frame} pattern names the files of --frames A:B, not of one frame");
  EXPECT_EQ(eval({"-o", out}), "-o " + out + ": a {frame} pattern names the files of --frames A:B, not of one frame");
  const std::string plain = Path("out.obj").string();
  EXPECT_EQ(eval({"--frames", "1:3", "-o", plain}),
            plain +
                ": --frames writes one file per frame: put {frame} in -o (only .gltf and .glb hold every frame "
                "in one file)");
  // A pattern whose frames give one name twice.
  EXPECT_EQ(
      eval({"--frames", "1:3", "-o", Path("{frame}/../same.json").string()}),
      "-o " + Path("{frame}/../same.json").string() + ": two frames would write " + Path("2/../same.json").string());
  // A pattern must not reach the scene itself.
  const std::string s1 = Scene("s1.json", kMovingLine);
  EXPECT_EQ(Refused({"eval", s1, "--frames", "0:2", "-o", Path("s{frame}.json").string()}, {"line.json", "s1.json"}),
            s1 + ": -o names the scene file itself");
}

TEST_F(Sequence, BracesAndPaddingInNames) {
  const std::string scene = Scene("line.json", kMovingLine);
  RunResult r =
      RunApp({"eval", scene, "--frames", "-1:1.5:1.25", "-q", "-o", Path("t{{{frame:03}}}-{frame}.json").string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> names = OutputsExcept({"line.json"});
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"t{-01}--1.json", "t{0.25}-0.25.json", "t{1.5}-1.5.json"}));
}

TEST_F(Sequence, AFailurePartWayWritesNothing) {
  const std::string scene = Scene("line.json", kMovingLine);
  // Frames 1 and 2 have their folders; frame 3's is missing, so the sequence fails after two frames.
  std::filesystem::create_directory(Path("1"));
  std::filesystem::create_directory(Path("2"));
  WriteFile(Path("1/trail.obj"), "precious");
  RunResult r = RunApp({"eval", scene, "--frames", "1:3", "-o", Path("{frame}/trail.obj").string()});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  ASSERT_EQ(r.ErrLines().size(), 1u) << r.err;
  EXPECT_EQ(r.ErrLines()[0].rfind("wakeweave: error: cannot write " + Path("3/trail.obj").string() + ": ", 0), 0u)
      << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadFile(Path("1/trail.obj")), "precious");
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::recursive_directory_iterator(Path("")))
    left.push_back(std::filesystem::relative(e.path(), Path("")).string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"1", "1/trail.obj", "2", "line.json"}));

  // An animated glTF into a folder that does not exist: nothing either.
  RunResult g = RunApp({"eval", scene, "--frames", "1:3", "-o", Path("none/trail.glb").string()});
  EXPECT_EQ(g.exitCode, 1) << g.err;
  ASSERT_EQ(g.ErrLines().size(), 1u) << g.err;
  EXPECT_EQ(g.ErrLines()[0].rfind("wakeweave: error: cannot write " + Path("none/trail.glb").string() + ": ", 0), 0u)
      << g.err;
  EXPECT_FALSE(std::filesystem::exists(Path("none")));
}
