// Bad scenes and bad command lines: exit 2, one line `wakeweave: error: ...` on standard error, nothing written.
#include "app_runner.h"

namespace {

struct BadScene {
  const char* label;
  std::string json;
  const char* message;  // expected after "wakeweave: error: <file>: "
};

// A valid node to build variants from: a line with a Wakeweave modifier.
std::string Node(const std::string& extra = "", const std::string& params = "{}") {
  return R"({"name": "A", "object": {"type": "spline", "splines": [{"knots": [[0, 0, 0], [0, 1, 0]]}]},
             "modifiers": [{"class": "Wakeweave", "params": )" +
         params + "}]" + extra + "}";
}
std::string Scene1(const std::string& node) { return R"({"nodes": [)" + node + "]}"; }
std::string WithParams(const std::string& params) { return Scene1(Node("", params)); }
std::string WithObject(const std::string& object) { return R"({"nodes": [{"name": "A", "object": )" + object + "}]}"; }
// Node A as a flow system with events E1 and E2, and the rest of its object.
std::string FlowObject(const std::string& rest) {
  return R"({"type": "particles", "interface": "flow", "events": ["E1", "E2"], )" + rest + "}";
}
std::string Flow(const std::string& rest) { return WithObject(FlowObject(rest)); }
std::string Particles(const std::string& list) { return Flow(R"("particles": [)" + list + "]"); }
// A particle born at frame 0 at the origin, with more keys.
std::string Particle(const std::string& more) { return Particles(R"({"born": 0, "path": [0, 0, 0], )" + more + "}"); }
std::string Legacy(const std::string& slots) {
  return WithObject(R"({"type": "particles", "interface": "legacy", "slots": )" + slots + "}");
}
// An emitter from frame 0 to 10, a particle a frame living 5 frames, with more keys.
std::string Emitter(const std::string& more) {
  return Flow(R"("emitter": {"start": 0, "stop": 10, "rate": 1, "life": 5)" + more + "}");
}

const std::vector<BadScene>& BadScenes() {
  static const std::vector<BadScene> cases = {
      {"invalid JSON", R"({"nodes": [)", "invalid JSON: parse error at line 1, column 12"},
      {"not an object", "[1, 2]", "expected an object, found an array"},
      {"unknown root key", R"({"nodes": [], "fps": 30})", "fps: unknown key \"fps\""},
      {"unknown node key", Scene1(Node(R"(, "colour": "red")")), "nodes[0].colour: unknown key \"colour\""},
      {"unknown object key", WithObject(R"({"type": "circle", "radius": 1, "segments": 8})"),
       "nodes[0].object.segments: unknown key"},
      {"unknown spline key", WithObject(R"({"type": "spline", "splines": [{"knots": [[0,0,0]], "open": true}]})"),
       "nodes[0].object.splines[0].open: unknown key"},
      {"unknown knot key",
       WithObject(
           R"({"type": "spline", "splines": [{"knots": [{"p": [0,0,0], "in": [0,0,0], "out": [0,0,0], "w": 1}]}]})"),
       "nodes[0].object.splines[0].knots[0].w: unknown key"},
      {"unknown modifier key",
       Scene1(
           R"({"name": "A", "object": {"type": "circle", "radius": 1}, "modifiers": [{"class": "Wakeweave", "enabled": true}]})"),
       "nodes[0].modifiers[0].enabled: unknown key"},
      {"unknown offset key", Scene1(R"({"name": "A", "offset": {"pos": [0,0,0]}})"),
       "nodes[0].offset.pos: unknown key"},
      {"unknown key in keys", Scene1(R"({"name": "A", "position": {"keys": [[0, [0,0,0]]], "ease": 1}})"),
       "nodes[0].position.ease: unknown key"},
      {"duplicate key", R"({"nodes": [{"name": "A", "name": "B"}]})", "nodes[0].name: duplicate key \"name\""},
      {"wrong type: name", Scene1(R"({"name": 7})"), "nodes[0].name: expected a string, found a number"},
      {"wrong type: position", Scene1(R"({"name": "A", "position": "here"})"), "nodes[0].position: expected a value"},
      {"wrong type: coordinate", Scene1(R"({"name": "A", "position": [0, "1", 0]})"),
       "nodes[0].position[1]: expected a number, found a string"},
      {"wrong type: bool param", WithParams(R"({"flipNormals": 1})"),
       "nodes[0].modifiers[0].params.flipNormals: expected true or false, found a number"},
      {"wrong type: int param", WithParams(R"({"old_frames": 2.5})"),
       "nodes[0].modifiers[0].params.old_frames: expected a whole number, found 2.5"},
      {"wrong vector size", Scene1(R"({"name": "A", "scale": [1, 1]})"),
       "nodes[0].scale: expected [x, y, z] (3 elements), found 2 elements"},
      {"missing name", Scene1(R"({"position": [0, 0, 0]})"), "nodes[0]: missing required key \"name\""},
      {"missing nodes", R"({"frame": 1})", "missing required key \"nodes\""},
      {"missing class", Scene1(R"({"name": "A", "object": {"type": "circle", "radius": 1}, "modifiers": [{}]})"),
       "nodes[0].modifiers[0]: missing required key \"class\""},
      {"missing radius", WithObject(R"({"type": "circle"})"), "nodes[0].object: missing required key \"radius\""},
      {"missing knot handle",
       WithObject(R"({"type": "spline", "splines": [{"knots": [{"p": [0,0,0], "in": [0,0,0]}]}]})"),
       "nodes[0].object.splines[0].knots[0]: missing required key \"out\""},
      {"unknown object type", WithObject(R"({"type": "teapot"})"),
       "nodes[0].object.type: unknown object type \"teapot\""},
      {"unknown modifier class",
       Scene1(R"({"name": "A", "object": {"type": "circle", "radius": 1}, "modifiers": [{"class": "Bend"}]})"),
       "nodes[0].modifiers[0].class: unknown modifier class \"Bend\""},
      {"unknown parameter", WithParams(R"({"old frames": 3})"),
       "nodes[0].modifiers[0].params[\"old frames\"]: unknown parameter \"old frames\""},
      {"int above range", WithParams(R"({"pb_nummtls": 1001})"),
       "nodes[0].modifiers[0].params.pb_nummtls: 1001 is out of range (1 to 1000)"},
      {"float below range", WithParams(R"({"segments per frame": 0})"),
       "nodes[0].modifiers[0].params[\"segments per frame\"]: 0 is out of range (0.0001 to 10000)"},
      {"radio out of range", WithParams(R"({"moving or still": 2})"),
       "nodes[0].modifiers[0].params[\"moving or still\"]: 2 is out of range (0 to 1)"},
      {"negative start frame", WithParams(R"({"start frame": -1})"),
       "nodes[0].modifiers[0].params[\"start frame\"]: -1 frames (-160 ticks) is out of range (0 to 100000000)"},
      {"ticks per frame zero", R"({"ticksPerFrame": 0, "nodes": []})", "ticksPerFrame: 0 is out of range (1 to 4800)"},
      {"range backwards", R"({"animationRange": [10, 5], "nodes": []})",
       "animationRange: the last frame comes before the first"},
      {"frame beyond time range", R"({"frame": 2e7, "nodes": []})",
       "frame: frame 20000000 is out of the host's time range"},
      {"non-finite number", Scene1(R"({"name": "A", "position": [1e999, 0, 0]})"),
       "invalid JSON: the number 1e999 at line 1, column 39 is not finite (too large)"},
      {"too large for a float", Scene1(R"({"name": "A", "position": [1e300, 0, 0]})"),
       "nodes[0].position[0]: 1e+300 is too large for a single-precision value"},
      {"zero rotation axis", Scene1(R"({"name": "A", "rotation": [0, 0, 0, 45]})"),
       "nodes[0].rotation: the rotation axis must not be zero"},
      {"duplicate node names", R"({"nodes": [{"name": "A"}, {"name": "B"}, {"name": "A"}]})",
       "nodes[2].name: duplicate node name \"A\""},
      {"missing particle node", WithParams(R"({"pb_particle_node": "PF Source 001"})"),
       "nodes[0].modifiers[0].params.pb_particle_node: no node named \"PF Source 001\""},
      {"missing event node", WithParams(R"({"pfEventList": ["A", "Event 001"]})"),
       "nodes[0].modifiers[0].params.pfEventList[1]: no node named \"Event 001\""},
      {"node that is no particle system", WithParams(R"({"pb_particle_node": "A"})"),
       "nodes[0].modifiers[0].params.pb_particle_node: node \"A\" can't be used here: it is not a particle system"},
      {"empty spline", WithObject(R"({"type": "spline", "splines": [{"closed": true, "knots": []}]})"),
       "nodes[0].object.splines[0].knots: a spline needs at least one knot"},
      {"spline keys with another knot count",
       WithObject(R"({"type": "spline", "keys": [[0, [{"knots": [[0,0,0], [1,0,0]]}]], [5, [{"knots": [[0,0,0]]}]]]})"),
       "nodes[0].object.keys[1][1][0]: every key needs the same knot count as the first key (2 knots, found 1)"},
      {"spline keys with another closed flag",
       WithObject(
           R"({"type": "spline", "keys": [[0, [{"knots": [[0,0,0]]}]], [5, [{"closed": true, "knots": [[1,0,0]]}]]]})"),
       "nodes[0].object.keys[1][1][0]: every key needs the same closed flag as the first key"},
      {"spline keys with another spline count",
       WithObject(
           R"({"type": "spline", "keys": [[0, [{"knots": [[0,0,0]]}]], [5, [{"knots": [[0,0,0]]}, {"knots": [[0,0,0]]}]]]})"),
       "nodes[0].object.keys[1][1]: every key needs the same splines as the first key (1 splines, found 2)"},
      {"descending position keys", Scene1(R"({"name": "A", "position": {"keys": [[5, [0,0,0]], [1, [1,0,0]]]}})"),
       "nodes[0].position.keys[1][0]: key frames must be ascending"},
      {"two keys on one tick", Scene1(R"({"name": "A", "scale": {"keys": [[1, [1,1,1]], [1.001, [2,2,2]]]}})"),
       "nodes[0].scale.keys[1][0]: key frames must be ascending"},
      {"descending animate keys", WithParams(R"({}, "animate": {"old_frames": {"keys": [[3, 1], [2, 4]]}})"),
       "nodes[0].modifiers[0].animate.old_frames.keys[1][0]: key frames must be ascending"},
      {"no keys", Scene1(R"({"name": "A", "position": {"keys": []}})"),
       "nodes[0].position.keys: expected at least 1 element"},
      {"animating a fixed parameter", WithParams(R"({}, "animate": {"spline steps": {"keys": [[0, 1]]}})"),
       "nodes[0].modifiers[0].animate[\"spline steps\"]: parameter \"spline steps\" is not animatable"},
      {"animated value out of range", WithParams(R"({}, "animate": {"old_frames": {"keys": [[0, -1]]}})"),
       "nodes[0].modifiers[0].animate.old_frames.keys[0][1]: -1 is out of range (0 to 100000)"},
      {"modifiers without object", Scene1(R"({"name": "A", "modifiers": [{"class": "Wakeweave"}]})"),
       "nodes[0].modifiers: a node without an object can't carry modifiers"},
      {"flow without events",
       WithObject(R"({"type": "particles", "interface": "flow", "events": [], "particles": []})"),
       "nodes[0].object.events: a flow particle system needs at least one event"},
      {"unknown particle interface", WithObject(R"({"type": "particles", "interface": "spray"})"),
       "nodes[0].object.interface: unknown particle interface \"spray\" (expected flow or legacy)"},
      {"missing particle interface", WithObject(R"({"type": "particles", "slots": []})"),
       "nodes[0].object: missing required key \"interface\""},
      {"unknown flow key", Flow(R"("particles": [], "slots": [])"), "nodes[0].object.slots: unknown key \"slots\""},
      {"unknown legacy key", WithObject(R"({"type": "particles", "interface": "legacy", "slots": [], "events": []})"),
       "nodes[0].object.events: unknown key \"events\""},
      {"unknown particle key", Particle(R"("age": 1)"), "nodes[0].object.particles[0].age: unknown key \"age\""},
      {"unknown life key", Legacy(R"([[{"born": 0, "path": [0, 0, 0], "event": "E1"}]])"),
       "nodes[0].object.slots[0][0].event: unknown key \"event\""},
      {"unknown emitter key", Emitter(R"(, "count": 5)"), "nodes[0].object.emitter.count: unknown key \"count\""},
      {"wrong type: events",
       WithObject(R"({"type": "particles", "interface": "flow", "events": "E1", "particles": []})"),
       "nodes[0].object.events: expected an array, found a string"},
      {"wrong type: event name",
       WithObject(R"({"type": "particles", "interface": "flow", "events": [1], "particles": []})"),
       "nodes[0].object.events[0]: expected a string, found a number"},
      {"wrong type: transform", Particle(R"("transform": 1)"),
       "nodes[0].object.particles[0].transform: expected true or false, found a number"},
      {"wrong type: particle event", Particle(R"("event": 2)"),
       "nodes[0].object.particles[0].event: expected an event name or {\"keys\": [...]}, found a number"},
      {"wrong type: particle rotation", Particle(R"("rotation": [0, 0, 1])"),
       "nodes[0].object.particles[0].rotation: expected [ax, ay, az, degrees] (4 elements), found 3 elements"},
      {"wrong type: slot", Legacy(R"([{"born": 0, "path": [0, 0, 0]}])"),
       "nodes[0].object.slots[0]: expected an array, found an object"},
      {"wrong type: emitter", Flow(R"("emitter": [])"), "nodes[0].object.emitter: expected an object, found an array"},
      {"missing events", WithObject(R"({"type": "particles", "interface": "flow", "particles": []})"),
       "nodes[0].object: missing required key \"events\""},
      {"missing slots", WithObject(R"({"type": "particles", "interface": "legacy"})"),
       "nodes[0].object: missing required key \"slots\""},
      {"missing born", Particles(R"({"path": [0, 0, 0]})"),
       "nodes[0].object.particles[0]: missing required key \"born\""},
      {"missing particle path", Particles(R"({"born": 0})"),
       "nodes[0].object.particles[0]: missing required key \"path\""},
      {"missing life path", Legacy(R"([[{"born": 0}]])"), "nodes[0].object.slots[0][0]: missing required key \"path\""},
      {"missing emitter rate", Flow(R"("emitter": {"start": 0, "stop": 10, "life": 5})"),
       "nodes[0].object.emitter: missing required key \"rate\""},
      {"unknown event", Particle(R"("event": "E9")"),
       "nodes[0].object.particles[0].event: unknown event \"E9\" (not in nodes[0].object.events)"},
      {"unknown event in keys", Particle(R"("event": {"keys": [[0, "E2"], [4, "e1"]]})"),
       "nodes[0].object.particles[0].event.keys[1][1]: unknown event \"e1\" (not in nodes[0].object.events)"},
      {"empty event name", WithObject(R"({"type": "particles", "interface": "flow", "events": [""], "particles": []})"),
       "nodes[0].object.events[0]: an event name must not be empty"},
      {"duplicate event names",
       WithObject(R"({"type": "particles", "interface": "flow", "events": ["E1", "E2", "E1"], "particles": []})"),
       "nodes[0].object.events[2]: duplicate event name \"E1\" (the event at nodes[0].object.events[0] has it)"},
      {"event named like its own node",
       WithObject(R"({"type": "particles", "interface": "flow", "events": ["A"], "particles": []})"),
       "nodes[0].object.events[0]: event name \"A\" is already the name of the node at nodes[0] (node names are "
       "unique)"},
      {"event named like an earlier node",
       R"({"nodes": [{"name": "E2"}, {"name": "PF", "object": )" + FlowObject(R"("particles": [])") + "}]}",
       "nodes[1].object.events[1]: event name \"E2\" is already the name of the node at nodes[0]"},
      {"node named like an earlier event",
       R"({"nodes": [{"name": "PF", "object": )" + FlowObject(R"("particles": [])") + R"(}, {"name": "E1"}]})",
       "nodes[1].name: duplicate node name \"E1\" (the event at nodes[0].object.events[0] has it)"},
      {"event named like another system's event",
       R"({"nodes": [{"name": "PF", "object": )" + FlowObject(R"("particles": [])") +
           R"(}, {"name": "PF2", "object": )" + FlowObject(R"("particles": [])") + "}]}",
       "nodes[1].object.events[0]: event name \"E1\" is already the name of the event at nodes[0].object.events[0]"},
      {"descending path keys", Particles(R"({"born": 0, "path": {"keys": [[2, [0, 0, 0]], [1, [1, 0, 0]]]}})"),
       "nodes[0].object.particles[0].path.keys[1][0]: key frames must be ascending"},
      {"descending event keys", Particle(R"("event": {"keys": [[3, "E1"], [3, "E2"]]})"),
       "nodes[0].object.particles[0].event.keys[1][0]: key frames must be ascending"},
      {"descending life path keys", Legacy(R"([[{"born": 0, "path": {"keys": [[1, [0, 0, 0]], [0, [0, 0, 0]]]}}]])"),
       "nodes[0].object.slots[0][0].path.keys[1][0]: key frames must be ascending"},
      {"path without keys", Particles(R"({"born": 0, "path": {"keys": []}})"),
       "nodes[0].object.particles[0].path.keys: expected at least 1 element"},
      {"particle dies at its birth", Particles(R"({"born": 3, "dies": 3, "path": [0, 0, 0]})"),
       "nodes[0].object.particles[0].dies: frame 3 is not after the birth (frame 3)"},
      {"life dies before its birth", Legacy(R"([[{"born": 2.5, "dies": 1, "path": [0, 0, 0]}]])"),
       "nodes[0].object.slots[0][0].dies: frame 1 is not after the birth (frame 2.5)"},
      {"particles out of birth order",
       Particles(R"({"born": 2, "path": [0, 0, 0]}, {"born": 2, "path": [0, 0, 0]}, {"born": 1.5, "path": [0, 0, 0]})"),
       "nodes[0].object.particles[2].born: particles are listed in order of birth: frame 1.5 comes before the birth of "
       "nodes[0].object.particles[1] (frame 2)"},
      {"lives that overlap", Legacy(R"([[], [{"born": 0, "dies": 5, "path": [0, 0, 0]}, {"born": 8, "path": [0, 0, 0]},
                       {"born": 4, "dies": 6, "path": [0, 0, 0]}]])"),
       "nodes[0].object.slots[1]: lives 0 and 2 overlap (2 is born at frame 4, before 0 dies at frame 5); lives of a "
       "slot must not overlap"},
      {"a life after one that never ends",
       Legacy(R"([[{"born": 3, "dies": 4, "path": [0, 0, 0]}, {"born": 0, "path": [0, 0, 0]}]])"),
       "nodes[0].object.slots[0]: lives 0 and 1 overlap (0 is born at frame 3, and 1 never dies)"},
      {"particles and emitter", Flow(R"("particles": [], "emitter": {})"),
       "nodes[0].object: give either \"particles\" or \"emitter\", not both"},
      {"no particles", WithObject(R"({"type": "particles", "interface": "flow", "events": ["E1"]})"),
       "nodes[0].object: missing required key \"particles\" (or \"emitter\" for generated particles)"},
      {"negative rate", Flow(R"("emitter": {"start": 0, "stop": 10, "rate": -1, "life": 5})"),
       "nodes[0].object.emitter.rate: -1 is out of range (0 or more)"},
      {"negative life", Flow(R"("emitter": {"start": 0, "stop": 10, "rate": 1, "life": -0.5})"),
       "nodes[0].object.emitter.life: -0.5 is out of range (0 or more)"},
      {"negative speed", Emitter(R"(, "speed": -2)"), "nodes[0].object.emitter.speed: -2 is out of range (0 or more)"},
      {"negative spread", Emitter(R"(, "spread": -1)"),
       "nodes[0].object.emitter.spread: -1 is out of range (0 to 180 degrees)"},
      {"spread past a half turn", Emitter(R"(, "spread": 180.5)"),
       "nodes[0].object.emitter.spread: 180.5 is out of range (0 to 180 degrees)"},
      {"non-finite speed", Emitter(R"(, "speed": 1e400)"), "invalid JSON: the number 1e400 at line 1, column "},
      {"gravity too large for a float", Emitter(R"(, "gravity": [0, 0, -1e39])"),
       "nodes[0].object.emitter.gravity[2]: -1e+39 is too large for a single-precision value"},
      {"emitter stops before it starts", Flow(R"("emitter": {"start": 5, "stop": 4.9, "rate": 1, "life": 5})"),
       "nodes[0].object.emitter.stop: the emitter stops before it starts"},
      {"zero direction", Emitter(R"(, "direction": [0, 0, 0])"),
       "nodes[0].object.emitter.direction: the direction must not be zero"},
      {"fractional seed", Emitter(R"(, "seed": 1.5)"),
       "nodes[0].object.emitter.seed: expected a whole number, found 1.5"},
      {"negative seed", Emitter(R"(, "seed": -1)"),
       "nodes[0].object.emitter.seed: -1 is out of range (0 to 9007199254740991)"},
      {"emitter past the particle bound", Flow(R"("emitter": {"start": 0, "stop": 10000, "rate": 160, "life": 1})"),
       "nodes[0].object.emitter: the emitter asks for 1600001 particles; at most 1000000 are allowed"},
      {"emitter of many particles a tick",
       R"({"ticksPerFrame": 1, "nodes": [{"name": "A", "object": )" +
           FlowObject(R"("emitter": {"start": 0, "stop": 100, "rate": 1e11, "life": 1})") + "}]}",
       "nodes[0].object.emitter: the emitter asks for 10100000000000 particles; at most 1000000 are allowed"},
      {"birth beyond time range", Particles(R"({"born": 2e7, "path": [0, 0, 0]})"),
       "nodes[0].object.particles[0].born: frame 20000000 is out of the host's time range"},
      {"zero particle rotation axis", Particle(R"("rotation": {"keys": [[0, [0, 0, 0, 10]]]})"),
       "nodes[0].object.particles[0].rotation.keys[0][1]: the rotation axis must not be zero"},
  };
  return cases;
}

class BadInput : public AppTest {
 protected:
  // Runs eval and checks the common shape of a refusal; returns the message after the prefix.
  std::string Refused(const std::vector<std::string>& args, const std::string& prefix) {
    RunResult r = RunApp(args);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.out, "");
    const auto lines = r.ErrLines();
    EXPECT_EQ(lines.size(), 1u) << r.err;
    if (lines.empty()) return "";
    EXPECT_EQ(lines[0].rfind(prefix, 0), 0u) << lines[0];
    return lines[0].rfind(prefix, 0) == 0 ? lines[0].substr(prefix.size()) : lines[0];
  }
};

}  // namespace

TEST_F(BadInput, EveryClassOfBadSceneIsRefusedWithItsPlace) {
  for (const BadScene& c : BadScenes()) {
    SCOPED_TRACE(c.label);
    const std::string scene = Scene("scene.json", c.json);
    const std::string out = Path("out.json").string();
    const std::string message =
        Refused({"eval", scene, "--frame", "1", "-o", out}, "wakeweave: error: " + scene + ": ");
    EXPECT_EQ(message.rfind(c.message, 0), 0u) << "got: " << message << "\nwanted: " << c.message;
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(OutputsExcept({"scene.json"}), std::vector<std::string>{});
  }
}

TEST_F(BadInput, UnreadableScenes) {
  const std::string missing = Path("missing.json").string();
  EXPECT_EQ(
      Refused({"eval", missing, "--frame", "1", "-o", Path("o.json").string()}, "wakeweave: error: " + missing + ": "),
      "cannot read the file: No such file or directory");
  std::filesystem::create_directory(Path("dir.json"));
  const std::string dir = Path("dir.json").string();
  EXPECT_EQ(Refused({"eval", dir, "--frame", "1", "-o", Path("o.json").string()}, "wakeweave: error: " + dir + ": "),
            "cannot read the file: it is a directory");
  const std::string saved = Scene("scene.wws", "");
  EXPECT_EQ(Refused({"eval", saved, "--frame", "1", "-o", Path("o.json").string()}, "wakeweave: error: "),
            saved + ": not a saved scene (it does not begin as one)");
  EXPECT_FALSE(std::filesystem::exists(Path("o.json")));
}

TEST_F(BadInput, BadCommandLines) {
  const std::string scene = Scene("line.json", Scene1(Node("", R"({"spline steps": 0})")));
  const std::string out = Path("o.json").string();
  const std::string e = "wakeweave: error: ";
  EXPECT_EQ(Refused({"eval", scene, "--frame", "ten", "-o", out}, e),
            "--frame expects a number of frames, got \"ten\"");
  EXPECT_EQ(Refused({"eval", scene, "--frame", "nan", "-o", out}, e),
            "--frame expects a number of frames, got \"nan\"");
  EXPECT_EQ(Refused({"eval", scene, "--frame", "1e999", "-o", out}, e),
            "--frame expects a number of frames, got \"1e999\"");
  EXPECT_EQ(Refused({"eval", scene, "--frame", "1e12", "-o", out}, e),
            "--frame: frame 1000000000000 is out of the host's time range (its ticks must fit a 32-bit time: at "
            "most 13421772 frames either way at 160 ticks per frame)");
  EXPECT_EQ(Refused({"eval", scene, "--frame", "1"}, e), "eval needs -o OUT (see wakeweave eval --help)");
  EXPECT_EQ(Refused({"eval", "--frame", "1", "-o", out}, e), "eval needs a SCENE file (see wakeweave eval --help)");
  EXPECT_EQ(Refused({"eval", scene, "--frame", "1", "-o", Path("o.stl").string()}, e),
            Path("o.stl").string() + ": unknown output type \".stl\" (use .json, .obj, .gltf, .glb or .png)");
  EXPECT_EQ(Refused({"eval", scene, "--frame", "1", "--node", "Nobody", "-o", out}, e),
            scene + ": --node: no node named \"Nobody\"");
  EXPECT_EQ(Refused({"eval", scene, "--frame", "1", "--regenerate=yes", "-o", out}, e),
            "option --regenerate takes no value");
  EXPECT_EQ(Refused({"record", scene, "--regenerate", "-o", Path("s.wws").string()}, e),
            "unknown option --regenerate for record (see wakeweave record --help)");
  EXPECT_EQ(Refused({"eval", scene, "--frame", "1", "--speed", "2", "-o", out}, e),
            "unknown option --speed for eval (see wakeweave eval --help)");
  EXPECT_EQ(Refused({"eval", scene, scene, "--frame", "1", "-o", out}, e),
            "unexpected argument \"" + scene + "\" (see wakeweave eval --help)");
  EXPECT_EQ(Refused({"eval", scene, "--frame"}, e), "option --frame needs a value (see wakeweave eval --help)");
  EXPECT_EQ(Refused({"render"}, e), "unknown command \"render\" (see wakeweave --help)");
  EXPECT_EQ(Refused({"record", scene, "-o", Path("s.json").string()}, e),
            Path("s.json").string() + ": a saved scene is a .wws file (got \".json\")");
  EXPECT_EQ(Refused({"record", scene}, e), "record needs -o SAVED.wws (see wakeweave record --help)");
  EXPECT_EQ(Refused({"record", "-o", Path("s.wws").string()}, e),
            "record needs a SCENE file (see wakeweave record --help)");
  EXPECT_EQ(OutputsExcept({"line.json"}), std::vector<std::string>{});

  // A scene whose nodes carry no Wakeweave modifier needs --node.
  const std::string plain =
      Scene("plain.json", R"({"nodes": [{"name": "P", "object": {"type": "circle", "radius": 1}}]})");
  EXPECT_EQ(Refused({"eval", plain, "--frame", "1", "-o", out}, e),
            plain + ": no node has a Wakeweave modifier (choose one with --node)");
}

TEST_F(BadInput, NoCommandPrintsTheUsageAndFails) {
  RunResult r = RunApp({});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("Usage: wakeweave"), std::string::npos);
}
