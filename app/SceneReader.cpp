#include "SceneReader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <optional>

namespace scenefile {
namespace {

constexpr int kMaxTicksPerFrame = TIME_TICKSPERSEC;  // one frame a second

class Parser {
 public:
  explicit Parser(ClassDesc* wakeweave) : wakeweave_(wakeweave) {}

  SceneDesc Scene(const json& root) {
    ExpectObject(root, "", {"ticksPerFrame", "animationRange", "frame", "nodes"});
    SceneDesc s;
    if (const json* j = Find(root, "ticksPerFrame"))
      s.ticksPerFrame = int(Integer(*j, "ticksPerFrame", 1, kMaxTicksPerFrame));
    tpf_ = s.ticksPerFrame;
    s.rangeStart = 0;
    s.rangeEnd = 100 * tpf_;
    if (const json* j = Find(root, "animationRange")) {
      FixedArray(*j, "animationRange", 2, "[first, last]");
      s.rangeStart = Time((*j)[0], "animationRange[0]");
      s.rangeEnd = Time((*j)[1], "animationRange[1]");
      if (s.rangeEnd < s.rangeStart) Fail("animationRange", "the last frame comes before the first");
    }
    if (const json* j = Find(root, "frame")) s.time = Time(*j, "frame");

    const json& nodes = Array(Require(root, "", "nodes"), "nodes");
    for (size_t i = 0; i < nodes.size(); ++i) {
      const std::string path = Child("nodes", i);
      s.nodes.push_back(Node(nodes[i], path));
      const NodeDesc& n = s.nodes.back();
      AddName(n.name, path, Child(path, "name"), false);
      // A flow system's events become nodes: their names share the scene's one set of node names.
      for (const auto& [name, ep] : n.object.particles.events) AddName(name, ep, ep, true);
    }
    CheckReferences(s);
    return s;
  }

 private:
  TimeValue Time(const json& j, const std::string& path) { return FramesToTicks(Number(j, path), tpf_, path); }

  // {"keys": [[frame, value], ...]} with strictly ascending times (after conversion to ticks).
  template <class T, class ReadValue>
  std::vector<std::pair<TimeValue, T>> Keys(const json& j, const std::string& path, ReadValue read) {
    ExpectObject(j, path, {"keys"});
    const std::string kp = Child(path, "keys");
    const json& keys = Array(Require(j, path, "keys"), kp, 1);
    std::vector<std::pair<TimeValue, T>> out;
    for (size_t k = 0; k < keys.size(); ++k) {
      const std::string p = Child(kp, k);
      FixedArray(keys[k], p, 2, "[frame, value]");
      TimeValue t = Time(keys[k][0], Child(p, 0));
      if (!out.empty() && t <= out.back().first)
        Fail(Child(p, 0), "key frames must be ascending (this key is not after the one before)");
      out.emplace_back(t, read(keys[k][1], Child(p, 1)));
    }
    return out;
  }

  template <class T, class ReadValue>
  Animated<T> Anim(const json& j, const std::string& path, ReadValue read) {
    Animated<T> a;
    if (j.is_object()) {
      a.keyed = true;
      a.keys = Keys<T>(j, path, read);
    } else if (j.is_array()) {
      a.value = read(j, path);
    } else {
      WrongType(j, path, "a value or {\"keys\": [...]}");
    }
    return a;
  }

  NodeDesc Node(const json& j, const std::string& path) {
    ExpectObject(j, path, {"name", "position", "rotation", "scale", "offset", "object", "modifiers"});
    NodeDesc n;
    n.path = path;
    n.name = String(Require(j, path, "name"), Child(path, "name"));
    if (n.name.empty()) Fail(Child(path, "name"), "a node name must not be empty");
    if (const json* v = Find(j, "position")) n.position = Anim<Point3>(*v, Child(path, "position"), Vec3);
    if (const json* v = Find(j, "rotation")) n.rotation = Anim<Quat>(*v, Child(path, "rotation"), Rotation);
    if (const json* v = Find(j, "scale")) n.scale = Anim<Point3>(*v, Child(path, "scale"), Vec3);
    if (const json* v = Find(j, "offset")) {
      const std::string op = Child(path, "offset");
      ExpectObject(*v, op, {"position", "rotation", "scale"});
      if (const json* p = Find(*v, "position")) n.offsetPos = Vec3(*p, Child(op, "position"));
      if (const json* p = Find(*v, "rotation")) n.offsetRot = Rotation(*p, Child(op, "rotation"));
      if (const json* p = Find(*v, "scale")) n.offsetScale = Vec3(*p, Child(op, "scale"));
    }
    if (const json* v = Find(j, "object")) n.object = Object(*v, Child(path, "object"));
    if (const json* v = Find(j, "modifiers")) {
      const std::string mp = Child(path, "modifiers");
      const json& mods = Array(*v, mp);
      if (!mods.empty() && n.object.kind == ObjectDesc::None)
        Fail(mp, "a node without an object can't carry modifiers");
      for (size_t i = 0; i < mods.size(); ++i) n.modifiers.push_back(Modifier(mods[i], Child(mp, i)));
    }
    return n;
  }

  KnotDesc Knot(const json& j, const std::string& path) {
    KnotDesc k;
    if (j.is_array()) {
      k.corner = true;
      k.p = k.in = k.out = Vec3(j, path);
    } else if (j.is_object()) {
      ExpectObject(j, path, {"p", "in", "out"});
      k.corner = false;
      k.p = Vec3(Require(j, path, "p"), Child(path, "p"));
      k.in = Vec3(Require(j, path, "in"), Child(path, "in"));
      k.out = Vec3(Require(j, path, "out"), Child(path, "out"));
    } else {
      WrongType(j, path, "a knot ([x, y, z] or {\"p\", \"in\", \"out\"})");
    }
    return k;
  }

  ShapeDesc Splines(const json& j, const std::string& path) {
    ShapeDesc shape;
    Array(j, path);
    for (size_t s = 0; s < j.size(); ++s) {
      const std::string sp = Child(path, s);
      ExpectObject(j[s], sp, {"closed", "knots"});
      SplineDesc spline;
      if (const json* c = Find(j[s], "closed")) spline.closed = Boolean(*c, Child(sp, "closed"));
      const std::string kp = Child(sp, "knots");
      const json& knots = Array(Require(j[s], sp, "knots"), kp);
      if (knots.empty()) Fail(kp, "a spline needs at least one knot");
      for (size_t k = 0; k < knots.size(); ++k) spline.knots.push_back(Knot(knots[k], Child(kp, k)));
      shape.push_back(std::move(spline));
    }
    return shape;
  }

  ObjectDesc Object(const json& j, const std::string& path) {
    if (!j.is_object()) WrongType(j, path, "an object");
    const std::string type = String(Require(j, path, "type"), Child(path, "type"));
    ObjectDesc o;
    if (type == "spline") {
      ExpectObject(j, path, {"type", "splines", "keys"});
      o.kind = ObjectDesc::Spline;
      const json* splines = Find(j, "splines");
      const json* keys = Find(j, "keys");
      if (splines && keys) Fail(path, "give either \"splines\" or \"keys\", not both");
      if (!splines && !keys) Fail(path, "missing required key \"splines\" (or \"keys\" for an animated shape)");
      if (splines) {
        o.shape = Splines(*splines, Child(path, "splines"));
      } else {
        const std::string kp = Child(path, "keys");
        o.keys = Keys<ShapeDesc>(json{{"keys", *keys}}, path,
                                 [this](const json& v, const std::string& p) { return Splines(v, p); });
        for (size_t k = 1; k < o.keys.size(); ++k)
          CheckSameStructure(o.keys[0].second, o.keys[k].second, Child(Child(kp, k), 1));
      }
    } else if (type == "circle") {
      ExpectObject(j, path, {"type", "radius"});
      o.kind = ObjectDesc::Circle;
      const std::string rp = Child(path, "radius");
      o.radius = Float(Require(j, path, "radius"), rp);
      if (!(o.radius > 0.0f)) Fail(rp, "the radius must be greater than 0");
    } else if (type == "particles") {
      o.kind = ObjectDesc::Particles;
      o.particles = Particles(j, path);
    } else {
      Fail(Child(path, "type"), "unknown object type " + Quoted(type) + " (expected spline, circle or particles)");
    }
    return o;
  }

  static void CheckSameStructure(const ShapeDesc& first, const ShapeDesc& other, const std::string& path) {
    if (other.size() != first.size())
      Fail(path, "every key needs the same splines as the first key (" + std::to_string(first.size()) +
                     " splines, found " + std::to_string(other.size()) + ")");
    for (size_t s = 0; s < first.size(); ++s) {
      if (other[s].knots.size() != first[s].knots.size())
        Fail(Child(path, s), "every key needs the same knot count as the first key (" +
                                 std::to_string(first[s].knots.size()) + " knots, found " +
                                 std::to_string(other[s].knots.size()) + ")");
      if (other[s].closed != first[s].closed)
        Fail(Child(path, s), "every key needs the same closed flag as the first key");
    }
  }

  // ---- particle systems ----------------------------------------------------------------------------------

  ParticlesDesc Particles(const json& j, const std::string& path) {
    const std::string ip = Child(path, "interface");
    const std::string iface = String(Require(j, path, "interface"), ip);
    ParticlesDesc d;
    if (iface == "flow") {
      ExpectObject(j, path, {"type", "interface", "events", "particles", "emitter"});
      d.iface = ParticlesDesc::Flow;
      d.events = Events(Require(j, path, "events"), Child(path, "events"));
      const json* particles = Find(j, "particles");
      const json* emitter = Find(j, "emitter");
      if (particles && emitter) Fail(path, "give either \"particles\" or \"emitter\", not both");
      if (!particles && !emitter)
        Fail(path, "missing required key \"particles\" (or \"emitter\" for generated particles)");
      if (particles) {
        d.particles = FlowParticles(*particles, Child(path, "particles"), d.events, Child(path, "events"));
      } else {
        d.emitterPath = Child(path, "emitter");
        d.emitter = Emitter(*emitter, d.emitterPath);
      }
    } else if (iface == "legacy") {
      ExpectObject(j, path, {"type", "interface", "slots"});
      d.iface = ParticlesDesc::Legacy;
      const std::string sp = Child(path, "slots");
      const json& slots = Array(Require(j, path, "slots"), sp);
      for (size_t k = 0; k < slots.size(); ++k) d.slots.push_back(Slot(slots[k], Child(sp, k)));
    } else {
      Fail(ip, "unknown particle interface " + Quoted(iface) + " (expected flow or legacy)");
    }
    return d;
  }

  static std::vector<std::pair<std::string, std::string>> Events(const json& j, const std::string& path) {
    Array(j, path);
    if (j.empty()) Fail(path, "a flow particle system needs at least one event");
    std::vector<std::pair<std::string, std::string>> events;
    std::map<std::string, size_t> seen;
    for (size_t k = 0; k < j.size(); ++k) {
      const std::string ep = Child(path, k);
      const std::string& name = String(j[k], ep);
      if (name.empty()) Fail(ep, "an event name must not be empty");
      if (const auto [it, fresh] = seen.emplace(name, k); !fresh)
        Fail(ep, "duplicate event name " + Quoted(name) + " (the event at " + events[it->second].second + " has it)");
      events.emplace_back(name, ep);
    }
    return events;
  }

  // A track of a particle: one value, which then holds at every time, or keys.
  template <class T, class ReadValue>
  KeyTable<T> Track(const json& j, const std::string& path, ReadValue read) {
    const Animated<T> a = Anim<T>(j, path, read);
    KeyTable<T> track;
    if (!a.keyed) track.Set(0, a.value);
    for (const auto& [t, v] : a.keys) track.Set(t, v);
    return track;
  }

  // "born" and "dies" of a particle or a life: dies, when given, after born. Frames as the file gives them
  // (for messages): dies is empty for a life that never ends.
  struct Life {
    double bornFrame = 0.0;
    std::optional<double> diesFrame;
  };
  Life LifeTimes(const json& j, const std::string& path, TimeValue& born, TimeValue& dies) {
    Life life;
    const std::string bp = Child(path, "born");
    life.bornFrame = Number(Require(j, path, "born"), bp);
    born = FramesToTicks(life.bornFrame, tpf_, bp);
    if (const json* v = Find(j, "dies")) {
      const std::string dp = Child(path, "dies");
      life.diesFrame = Number(*v, dp);
      dies = FramesToTicks(*life.diesFrame, tpf_, dp);
      if (dies <= born)
        Fail(dp, "frame " + NumberText(*life.diesFrame) + " is not after the birth (frame " +
                     NumberText(life.bornFrame) + ")");
    }
    return life;
  }

  std::vector<FlowParticle> FlowParticles(const json& j, const std::string& path,
                                          const std::vector<std::pair<std::string, std::string>>& events,
                                          const std::string& eventsPath) {
    Array(j, path);
    std::map<std::string, int> eventIndex;
    for (size_t k = 0; k < events.size(); ++k) eventIndex.emplace(events[k].first, int(k));
    auto index = [&](const json& name, const std::string& at) {
      const std::string& n = String(name, at);
      const auto it = eventIndex.find(n);
      if (it == eventIndex.end()) Fail(at, "unknown event " + Quoted(n) + " (not in " + eventsPath + ")");
      return it->second;
    };
    std::vector<FlowParticle> out;
    out.reserve(j.size());
    double lastBorn = 0.0;
    for (size_t i = 0; i < j.size(); ++i) {
      const std::string pp = Child(path, i);
      ExpectObject(j[i], pp, {"born", "dies", "path", "rotation", "scale", "event", "transform"});
      FlowParticle p;
      const Life life = LifeTimes(j[i], pp, p.born, p.dies);
      // The born index is the place in the list.
      if (!out.empty() && p.born < out.back().born)
        Fail(Child(pp, "born"), "particles are listed in order of birth: frame " + NumberText(life.bornFrame) +
                                    " comes before the birth of " + Child(path, i - 1) + " (frame " +
                                    NumberText(lastBorn) + ")");
      lastBorn = life.bornFrame;
      p.path = Track<Point3>(Require(j[i], pp, "path"), Child(pp, "path"), Vec3);
      if (const json* v = Find(j[i], "rotation")) p.rotation = Track<Quat>(*v, Child(pp, "rotation"), Rotation);
      if (const json* v = Find(j[i], "scale")) p.scale = Track<Point3>(*v, Child(pp, "scale"), Vec3);
      if (const json* v = Find(j[i], "event")) {
        const std::string ep = Child(pp, "event");
        if (v->is_string()) {
          p.event.Set(0, index(*v, ep));
        } else if (v->is_object()) {
          for (const auto& [t, e] : Keys<int>(*v, ep, index)) p.event.Set(t, e);
        } else {
          WrongType(*v, ep, "an event name or {\"keys\": [...]}");
        }
      }
      if (const json* v = Find(j[i], "transform")) p.transform = Boolean(*v, Child(pp, "transform"));
      out.push_back(std::move(p));
    }
    return out;
  }

  // A legacy slot: lives in any order, which must not overlap; kept in time order.
  LegacyParticleSlot Slot(const json& j, const std::string& path) {
    Array(j, path);
    struct Listed {
      LegacyParticleLife life;
      Life frames;
      size_t index;
    };
    std::vector<Listed> lives;
    for (size_t k = 0; k < j.size(); ++k) {
      const std::string lp = Child(path, k);
      ExpectObject(j[k], lp, {"born", "dies", "path"});
      Listed l;
      l.index = k;
      l.frames = LifeTimes(j[k], lp, l.life.born, l.life.dies);
      l.life.path = Track<Point3>(Require(j[k], lp, "path"), Child(lp, "path"), Vec3);
      lives.push_back(std::move(l));
    }
    std::stable_sort(lives.begin(), lives.end(),
                     [](const Listed& a, const Listed& b) { return a.life.born < b.life.born; });
    // In birth order, a life that overlaps any other overlaps the one after it.
    for (size_t k = 1; k < lives.size(); ++k) {
      const Listed& a = lives[k - 1];
      const Listed& b = lives[k];
      if (b.life.born >= a.life.dies) continue;
      const std::string first = std::to_string(std::min(a.index, b.index));
      const std::string second = std::to_string(std::max(a.index, b.index));
      Fail(path, "lives " + first + " and " + second + " overlap (" + std::to_string(b.index) + " is born at frame " +
                     NumberText(b.frames.bornFrame) + ", " +
                     (a.frames.diesFrame
                          ? "before " + std::to_string(a.index) + " dies at frame " + NumberText(*a.frames.diesFrame)
                          : "and " + std::to_string(a.index) + " never dies") +
                     "); lives of a slot must not overlap");
    }
    LegacyParticleSlot slot;
    slot.reserve(lives.size());
    for (Listed& l : lives) slot.push_back(std::move(l.life));
    return slot;
  }

  static double NotNegative(const json& j, const std::string& path) {
    const double v = Number(j, path);
    if (v < 0.0) Fail(path, NumberText(v) + " is out of range (0 or more)");
    return v;
  }

  ParticleEmitter Emitter(const json& j, const std::string& path) {
    ExpectObject(j, path, {"start", "stop", "rate", "life", "speed", "direction", "spread", "gravity", "seed"});
    ParticleEmitter e;
    e.start = Time(Require(j, path, "start"), Child(path, "start"));
    e.stop = Time(Require(j, path, "stop"), Child(path, "stop"));
    if (e.stop < e.start) Fail(Child(path, "stop"), "the emitter stops before it starts");
    e.rate = NotNegative(Require(j, path, "rate"), Child(path, "rate"));
    const std::string lp = Child(path, "life");
    e.life = FramesToTicks(NotNegative(Require(j, path, "life"), lp), tpf_, lp);
    if (const json* v = Find(j, "speed")) e.speed = NotNegative(*v, Child(path, "speed"));
    if (const json* v = Find(j, "direction")) {
      const std::string dp = Child(path, "direction");
      e.direction = Vec3(*v, dp);
      if (e.direction == Point3(0.0f, 0.0f, 0.0f)) Fail(dp, "the direction must not be zero");
    }
    if (const json* v = Find(j, "spread")) {
      const std::string sp = Child(path, "spread");
      e.spread = Number(*v, sp);
      if (e.spread < 0.0 || e.spread > 180.0) Fail(sp, NumberText(e.spread) + " is out of range (0 to 180 degrees)");
    }
    if (const json* v = Find(j, "gravity")) e.gravity = Vec3(*v, Child(path, "gravity"));
    // Seeds are whole numbers a JSON reader keeps exactly.
    if (const json* v = Find(j, "seed")) e.seed = uint64_t(Integer(*v, Child(path, "seed"), 0, (1ll << 53) - 1));
    return e;
  }

  // ---- modifiers -----------------------------------------------------------------------------------------

  ModifierDesc Modifier(const json& j, const std::string& path) {
    ExpectObject(j, path, {"class", "params", "animate"});
    const std::string cls = String(Require(j, path, "class"), Child(path, "class"));
    if (cls != "Wakeweave") Fail(Child(path, "class"), "unknown modifier class " + Quoted(cls));
    if (!wakeweave_) Fail(path, "the Wakeweave plug-in is not loaded");
    ParamBlockDesc2* pbd = wakeweave_->GetParamBlockDescByID(0);
    if (!pbd) Fail(path, "the Wakeweave class has no parameter block");
    ModifierDesc m;
    m.path = path;
    if (const json* params = Find(j, "params")) {
      const std::string pp = Child(path, "params");
      if (!params->is_object()) WrongType(*params, pp, "an object");
      for (auto it = params->begin(); it != params->end(); ++it)
        m.params.push_back(Param(*pbd, it.key(), it.value(), Child(pp, it.key())));
    }
    if (const json* anim = Find(j, "animate")) {
      const std::string ap = Child(path, "animate");
      if (!anim->is_object()) WrongType(*anim, ap, "an object");
      for (auto it = anim->begin(); it != anim->end(); ++it)
        m.animate.push_back(Animate(*pbd, it.key(), it.value(), Child(ap, it.key())));
    }
    return m;
  }

  static ParamDef& Def(ParamBlockDesc2& pbd, const std::string& name, const std::string& path) {
    ParamDef* def = pbd.FindParamByName(name.c_str());
    if (!def) Fail(path, "unknown parameter " + Quoted(name));
    return *def;
  }

  static bool IsTimeParam(const ParamDef& def) {
    return def.type == TYPE_TIMEVALUE || def.int_name == "start frame" || def.int_name == "end frame";
  }

  static bool IsIntType(int type) {
    return type == TYPE_INT || type == TYPE_INDEX || type == TYPE_RADIOBTN_INDEX || type == TYPE_TIMEVALUE;
  }
  static bool IsFloatType(int type) {
    return type == TYPE_FLOAT || type == TYPE_ANGLE || type == TYPE_PCNT_FRAC || type == TYPE_WORLD ||
           type == TYPE_COLOR_CHANNEL;
  }

  // An integer parameter's range: its declared range, or the buttons of a radio group, else what it can hold.
  static std::pair<long long, long long> IntRange(const ParamDef& def) {
    if (def.has_range) return {def.range_low.i, def.range_high.i};
    if (def.ctrl_type == TYPE_RADIO && def.ctrl_count() > 0) return {0, def.ctrl_count() - 1};
    return {INT_MIN, INT_MAX};
  }

  static void CheckIntRange(const ParamDef& def, long long v, const std::string& path, const std::string& shown) {
    const auto [lo, hi] = IntRange(def);
    if (v < lo || v > hi)
      Fail(path, shown + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
  }

  static void CheckFloatRange(const ParamDef& def, float v, const std::string& path, double shown) {
    if (def.has_range && (v < def.range_low.f || v > def.range_high.f))
      Fail(path, NumberText(shown) + " is out of range (" + FormatFloat(def.range_low.f) + " to " +
                     FormatFloat(def.range_high.f) + ")");
  }

  // An integer parameter's value; for time parameters the file gives frames and the block holds ticks.
  long long IntValue(const ParamDef& def, const json& v, const std::string& path) {
    if (IsTimeParam(def)) {
      double frames = Number(v, path);
      TimeValue t = FramesToTicks(frames, tpf_, path);
      CheckIntRange(def, t, path, NumberText(frames) + " frames (" + std::to_string(t) + " ticks)");
      return t;
    }
    const auto [lo, hi] = IntRange(def);
    return Integer(v, path, lo, hi);
  }

  ParamSet Param(ParamBlockDesc2& pbd, const std::string& name, const json& v, const std::string& path) {
    ParamDef& def = Def(pbd, name, path);
    ParamSet p;
    p.path = path;
    p.id = def.ID;
    if (def.type == TYPE_BOOL) {
      p.kind = ParamSet::Int;
      p.i = Boolean(v, path) ? 1 : 0;
    } else if (IsIntType(def.type)) {
      p.kind = ParamSet::Int;
      p.i = int(IntValue(def, v, path));
    } else if (IsFloatType(def.type)) {
      p.kind = ParamSet::Float;
      double shown = Number(v, path);
      p.f = Float(v, path);
      CheckFloatRange(def, p.f, path, shown);
    } else if (def.type == TYPE_INODE) {
      p.kind = ParamSet::Node;
      if (v.is_string())
        p.node = v.get<std::string>();
      else if (!v.is_null())
        WrongType(v, path, "a node name or null");
    } else if (def.type == TYPE_INODE_TAB) {
      p.kind = ParamSet::NodeList;
      Array(v, path);
      for (size_t k = 0; k < v.size(); ++k) {
        const std::string ep = Child(path, k);
        p.nodes.emplace_back(String(v[k], ep), ep);
      }
    } else {
      Fail(path, "parameter " + Quoted(name) + " can't be set from a scene file");
    }
    return p;
  }

  AnimateDesc Animate(ParamBlockDesc2& pbd, const std::string& name, const json& v, const std::string& path) {
    ParamDef& def = Def(pbd, name, path);
    if (!(def.flags & P_ANIMATABLE)) Fail(path, "parameter " + Quoted(name) + " is not animatable");
    if (!IsIntType(def.type) && !IsFloatType(def.type))
      Fail(path, "parameter " + Quoted(name) + " can't be animated from a scene file");
    AnimateDesc a;
    a.path = path;
    a.id = def.ID;
    a.keys = Keys<float>(v, path, [&](const json& value, const std::string& p) {
      if (IsIntType(def.type)) return float(IntValue(def, value, p));
      double shown = Number(value, p);
      float f = Float(value, p);
      CheckFloatRange(def, f, p, shown);
      return f;
    });
    return a;
  }

  // Takes a node's or an event's name, refusing one the scene has already given out.
  void AddName(const std::string& name, const std::string& owner, const std::string& where, bool event) {
    const auto [it, fresh] = names_.emplace(name, NameOwner{owner, event});
    if (fresh) return;
    const NameOwner& first = it->second;
    const std::string had = (first.event ? "the event at " : "the node at ") + first.path;
    if (!event) Fail(where, "duplicate node name " + Quoted(name) + (first.event ? " (" + had + " has it)" : ""));
    Fail(where, "event name " + Quoted(name) + " is already the name of " + had + " (node names are unique)");
  }

  void CheckReferences(const SceneDesc& s) const {
    for (const NodeDesc& n : s.nodes)
      for (const ModifierDesc& m : n.modifiers)
        for (const ParamSet& p : m.params) {
          if (p.node && !names_.count(*p.node)) Fail(p.path, "no node named " + Quoted(*p.node));
          for (const auto& [name, path] : p.nodes)
            if (!names_.count(name)) Fail(path, "no node named " + Quoted(name));
        }
  }

  ClassDesc* wakeweave_;
  int tpf_ = kDefaultTicksPerFrame;
  struct NameOwner {
    std::string path;  // of the node or event that has the name
    bool event = false;
  };
  std::map<std::string, NameOwner> names_;
};

}  // namespace

SceneDesc ReadScene(const json& root, ClassDesc* wakeweave) { return Parser(wakeweave).Scene(root); }

}  // namespace scenefile
