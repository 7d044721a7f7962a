#include "SceneReader.h"

#include <climits>
#include <cmath>
#include <set>

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
      if (!names_.insert(s.nodes.back().name).second)
        Fail(Child(path, "name"), "duplicate node name " + Quoted(s.nodes.back().name));
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
      Fail(path, "particle systems are not supported yet");
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
  std::set<std::string> names_;
};

}  // namespace

SceneDesc ReadScene(const json& root, ClassDesc* wakeweave) { return Parser(wakeweave).Scene(root); }

}  // namespace scenefile
