#include "SceneLoader.h"

#include <membudget.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

namespace {

// What the scene's JSON document may take: a scene file too large for the memory refuses to load instead
// of exhausting it. The limit leaves most of the memory free because the JSON library frees a document
// with allocations of its own (a destructor that can't fail without ending the program).
uint64_t g_documentBytes = 0;
uint64_t g_documentLimit = 0;

template <class T>
struct DocumentAllocator {
  using value_type = T;
  DocumentAllocator() = default;
  template <class U>
  DocumentAllocator(const DocumentAllocator<U>&) {}
  T* allocate(size_t n) {
    const uint64_t bytes = uint64_t(n) * sizeof(T);
    if (bytes > g_documentLimit || g_documentBytes > g_documentLimit - bytes) throw std::bad_alloc();
    T* p = std::allocator<T>().allocate(n);
    g_documentBytes += bytes;
    return p;
  }
  void deallocate(T* p, size_t n) {
    g_documentBytes -= uint64_t(n) * sizeof(T);
    std::allocator<T>().deallocate(p, n);
  }
  template <class U>
  bool operator==(const DocumentAllocator<U>&) const {
    return true;
  }
};

}  // namespace

using json = nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t, std::uint64_t, double,
                                  DocumentAllocator>;

namespace {

// Scene files are small; anything larger than this is refused before it is read.
constexpr std::uintmax_t kMaxSceneBytes = 256u << 20;
constexpr int kDefaultTicksPerFrame = 160;
constexpr int kMaxTicksPerFrame = TIME_TICKSPERSEC;  // one frame a second

// ---- paths and messages --------------------------------------------------------------------------------

// The shortest text that reads back as the same single-precision value (ranges are stored as floats).
std::string FormatFloat(float v) {
  char buf[32];
  if (std::floor(v) == v && std::fabs(v) < 1e9f) {
    std::snprintf(buf, sizeof buf, "%.0f", double(v));
    return buf;
  }
  for (int prec = 1; prec <= 9; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*g", prec, double(v));
    if (std::strtof(buf, nullptr) == v) break;
  }
  return buf;
}

bool IsIdentifier(const std::string& key) {
  if (key.empty() || std::isdigit(static_cast<unsigned char>(key[0]))) return false;
  for (char c : key)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

std::string Quoted(const std::string& s) { return json(s).dump(); }

std::string Child(const std::string& path, const std::string& key) {
  if (IsIdentifier(key)) return path.empty() ? key : path + "." + key;
  return path + "[" + Quoted(key) + "]";
}

std::string Child(const std::string& path, size_t index) { return path + "[" + std::to_string(index) + "]"; }

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw SceneError(path.empty() ? what : path + ": " + what);
}

const char* TypeName(const json& j) {
  switch (j.type()) {
    case json::value_t::null:
      return "null";
    case json::value_t::object:
      return "an object";
    case json::value_t::array:
      return "an array";
    case json::value_t::string:
      return "a string";
    case json::value_t::boolean:
      return "a boolean";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
      return "a number";
    default:
      return "an unsupported value";
  }
}

[[noreturn]] void WrongType(const json& j, const std::string& path, const std::string& expected) {
  Fail(path, "expected " + expected + ", found " + TypeName(j));
}

// ---- typed reads ----------------------------------------------------------------------------------------

// An object whose keys all come from `allowed`.
void ExpectObject(const json& j, const std::string& path, std::initializer_list<const char*> allowed) {
  if (!j.is_object()) WrongType(j, path, "an object");
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool known = false;
    for (const char* a : allowed) known = known || it.key() == a;
    if (!known) {
      std::string list;
      for (const char* a : allowed) list += std::string(list.empty() ? "" : ", ") + a;
      Fail(Child(path, it.key()), "unknown key " + Quoted(it.key()) + " (expected one of: " + list + ")");
    }
  }
}

const json* Find(const json& obj, const char* key) {
  auto it = obj.find(key);
  return it == obj.end() ? nullptr : &*it;
}

const json& Require(const json& obj, const std::string& path, const char* key) {
  const json* j = Find(obj, key);
  if (!j) Fail(path, std::string("missing required key ") + Quoted(key));
  return *j;
}

double Number(const json& j, const std::string& path) {
  if (!j.is_number()) WrongType(j, path, "a number");
  double v = j.get<double>();
  // JSON has no NaN or infinity, but a huge exponent such as 1e999 parses to infinity.
  if (!std::isfinite(v)) Fail(path, "the number is not finite (too large)");
  return v;
}

// A number that must be stored as a float: finite in single precision too.
float Float(const json& j, const std::string& path) {
  double v = Number(j, path);
  if (std::fabs(v) > double(FLT_MAX)) Fail(path, NumberText(v) + " is too large for a single-precision value");
  return float(v);
}

long long Integer(const json& j, const std::string& path, long long lo, long long hi) {
  double v = Number(j, path);
  if (std::floor(v) != v) Fail(path, "expected a whole number, found " + NumberText(v));
  if (v < double(lo) || v > double(hi))
    Fail(path, NumberText(v) + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
  return static_cast<long long>(v);
}

bool Boolean(const json& j, const std::string& path) {
  if (!j.is_boolean()) WrongType(j, path, "true or false");
  return j.get<bool>();
}

const std::string& String(const json& j, const std::string& path) {
  if (!j.is_string()) WrongType(j, path, "a string");
  return j.get_ref<const std::string&>();
}

const json& Array(const json& j, const std::string& path, size_t minSize = 0) {
  if (!j.is_array()) WrongType(j, path, "an array");
  if (j.size() < minSize)
    Fail(path, "expected at least " + std::to_string(minSize) + (minSize == 1 ? " element" : " elements"));
  return j;
}

const json& FixedArray(const json& j, const std::string& path, size_t size, const char* shape) {
  if (!j.is_array() || j.size() != size) {
    if (j.is_array())
      Fail(path, "expected " + std::string(shape) + " (" + std::to_string(size) + " elements), found " +
                     std::to_string(j.size()) + " elements");
    WrongType(j, path, shape);
  }
  return j;
}

Point3 Vec3(const json& j, const std::string& path) {
  FixedArray(j, path, 3, "[x, y, z]");
  return Point3(Float(j[0], Child(path, 0)), Float(j[1], Child(path, 1)), Float(j[2], Child(path, 2)));
}

// [ax, ay, az, degrees] -> the host's quaternion for that turn about the normalised axis.
Quat Rotation(const json& j, const std::string& path) {
  FixedArray(j, path, 4, "[ax, ay, az, degrees]");
  double a[3];
  for (int i = 0; i < 3; ++i) a[i] = Float(j[i], Child(path, size_t(i)));
  const double deg = Float(j[3], Child(path, 3));
  const double len = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  if (!(len > 0.0) || !std::isfinite(len)) Fail(path, "the rotation axis must not be zero");
  Point3 axis(float(a[0] / len), float(a[1] / len), float(a[2] / len));
  return QFromAngAxis(DegToRad(float(deg)), axis);
}

// ---- what a scene file describes, checked before anything is built --------------------------------------

template <class T>
struct Animated {
  bool keyed = false;
  T value{};
  std::vector<std::pair<TimeValue, T>> keys;
};

struct KnotDesc {
  bool corner = true;
  Point3 p, in, out;
};
struct SplineDesc {
  bool closed = false;
  std::vector<KnotDesc> knots;
};
using ShapeDesc = std::vector<SplineDesc>;

struct ObjectDesc {
  enum Kind { None, Spline, Circle } kind = None;
  ShapeDesc shape;                                    // static spline
  std::vector<std::pair<TimeValue, ShapeDesc>> keys;  // keyed spline
  float radius = 0.0f;
};

struct ParamSet {
  std::string path;
  ParamID id = -1;
  enum Kind { Int, Float, Node, NodeList } kind = Int;
  int i = 0;
  float f = 0.0f;
  std::optional<std::string> node;                         // empty: no node
  std::vector<std::pair<std::string, std::string>> nodes;  // name, path
};

struct AnimateDesc {
  std::string path;
  ParamID id = -1;
  std::vector<std::pair<TimeValue, float>> keys;
};

struct ModifierDesc {
  std::string path;
  std::vector<ParamSet> params;
  std::vector<AnimateDesc> animate;
};

struct NodeDesc {
  std::string path;
  std::string name;
  std::optional<Animated<Point3>> position, scale;
  std::optional<Animated<Quat>> rotation;
  Point3 offsetPos{0, 0, 0}, offsetScale{1, 1, 1};
  Quat offsetRot;
  ObjectDesc object;
  std::vector<ModifierDesc> modifiers;
};

struct SceneDesc {
  int ticksPerFrame = kDefaultTicksPerFrame;
  TimeValue rangeStart = 0, rangeEnd = 100 * kDefaultTicksPerFrame;
  TimeValue time = 0;
  std::vector<NodeDesc> nodes;
};

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

// ---- building through the host ---------------------------------------------------------------------------

void FillShape(BezierShape& shape, const ShapeDesc& desc) {
  shape.NewShape();
  for (const SplineDesc& s : desc) {
    Spline3D* sp = shape.NewSpline();
    if (!sp) throw SceneError("out of memory while building a spline");
    for (const KnotDesc& k : s.knots) {
      // Bezier-corner knots keep their handles exactly as given; corner knots have them on the point.
      const int type = k.corner ? KTYPE_CORNER : KTYPE_BEZIER_CORNER;
      sp->AddKnot(SplineKnot(type, LTYPE_CURVE, k.p, k.in, k.out));
    }
    sp->SetClosed(s.closed ? 1 : 0);
  }
  shape.UpdateSels();
}

Object* BuildObject(const ObjectDesc& o) {
  switch (o.kind) {
    case ObjectDesc::None:
      return nullptr;
    case ObjectDesc::Spline: {
      SplineShape* s = NewSplineShape();
      if (o.keys.empty()) {
        FillShape(s->shape, o.shape);
      } else {
        FillShape(s->shape, o.keys.front().second);
        for (const auto& [t, desc] : o.keys) {
          BezierShape key;
          FillShape(key, desc);
          if (!s->AddShapeKey(t, key)) throw SceneError("inconsistent spline keys");
        }
      }
      return s;
    }
    case ObjectDesc::Circle: {
      SplineShape* s = NewSplineShape();
      Spline3D* sp = s->shape.NewSpline();
      const double kappa = 0.5522847498;
      const double r = o.radius;
      for (int k = 0; k < 4; ++k) {
        // Exact quarter angles, so the knots sit exactly on the axes.
        static const double cs[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
        const double c = cs[k][0], sn = cs[k][1];
        Point3 p(float(r * c), float(r * sn), 0.0f);
        Point3 in(float(r * c + sn * kappa * r), float(r * sn - c * kappa * r), 0.0f);
        Point3 out(float(r * c - sn * kappa * r), float(r * sn + c * kappa * r), 0.0f);
        sp->AddKnot(SplineKnot(KTYPE_BEZIER_CORNER, LTYPE_CURVE, p, in, out));
      }
      sp->SetClosed();
      s->shape.UpdateSels();
      return s;
    }
  }
  return nullptr;
}

void SetTransforms(INode* node, const NodeDesc& n) {
  if (n.position) {
    auto* c = new LinearPositionControl(n.position->value);
    for (const auto& [t, v] : n.position->keys) c->AddKey(t, v);
    node->SetPositionController(c);
  }
  if (n.rotation) {
    auto* c = new LinearRotationControl(n.rotation->value);
    for (const auto& [t, v] : n.rotation->keys) c->AddKey(t, v);
    node->SetRotationController(c);
  }
  if (n.scale) {
    auto* c = new LinearScaleControl(n.scale->value);
    for (const auto& [t, v] : n.scale->keys) c->AddKey(t, v);
    node->SetScaleController(c);
  }
  node->SetObjOffsetPos(n.offsetPos);
  node->SetObjOffsetRot(n.offsetRot);
  node->SetObjOffsetScale(n.offsetScale);
}

void ApplyParams(Modifier* mod, const ModifierDesc& m, const std::map<std::string, INode*>& byName) {
  IParamBlock2* pb = mod->GetParamBlockByID(0);
  if (!pb) throw SceneError(m.path + ": the modifier has no parameter block");
  for (const ParamSet& p : m.params) {
    BOOL ok = TRUE;
    switch (p.kind) {
      case ParamSet::Int:
        ok = pb->SetValue(p.id, 0, p.i);
        break;
      case ParamSet::Float:
        ok = pb->SetValue(p.id, 0, p.f);
        break;
      case ParamSet::Node:
        // null names no node: a new modifier has none, so there is nothing to set (the picker's validator
        // accepts only particle systems).
        if (!p.node) break;
        ok = pb->SetValue(p.id, 0, byName.at(*p.node));
        if (!ok) Fail(p.path, "node " + Quoted(*p.node) + " can't be used here (is it a particle system?)");
        break;
      case ParamSet::NodeList: {
        pb->ZeroCount(p.id);
        for (const auto& [name, path] : p.nodes) {
          INode* n = byName.at(name);
          if (pb->Append(p.id, 1, &n) < 0) Fail(path, "node " + Quoted(name) + " can't be used here");
        }
        break;
      }
    }
    if (!ok) Fail(p.path, "the parameter refused the value");
  }
  // After the plain values, so an animated parameter takes its value from its controller.
  for (const AnimateDesc& a : m.animate) {
    auto* c = new LinearFloatControl();
    for (const auto& [t, v] : a.keys) c->AddKey(t, v);
    if (!pb->SetController(a.id, 0, c)) {
      c->DeleteThis();
      Fail(a.path, "the parameter can't take a controller");
    }
  }
}

LoadedScene Build(const SceneDesc& s, ClassDesc* wakeweave) {
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  SetTicksPerFrame(s.ticksPerFrame);
  ip->SetAnimRange(Interval(s.rangeStart, s.rangeEnd));
  ip->SetTime(s.time, FALSE);

  LoadedScene out;
  out.time = s.time;
  std::map<std::string, INode*> byName;
  std::vector<std::vector<Modifier*>> mods(s.nodes.size());
  for (size_t i = 0; i < s.nodes.size(); ++i) {
    const NodeDesc& n = s.nodes[i];
    Object* obj = BuildObject(n.object);
    Object* top = obj;
    if (!n.modifiers.empty()) {
      IDerivedObject* d = CreateDerivedObject(obj);
      for (const ModifierDesc& m : n.modifiers) {
        auto* mod = static_cast<Modifier*>(wakeweave->Create(FALSE));
        if (!mod || mod->SuperClassID() != OSM_CLASS_ID) Fail(m.path, "the plug-in could not create a modifier");
        // Appended at the bottom, so the file's index is the stack's index (0 = top).
        d->AddModifier(mod, nullptr, d->NumModifiers());
        mods[i].push_back(mod);
      }
      top = d;
    }
    INode* node = ip->CreateObjectNode(top);
    node->SetName(n.name.c_str());
    SetTransforms(node, n);
    byName[n.name] = node;
    out.nodes.push_back(node);
    if (!n.modifiers.empty()) out.nodesWithWakeweave.push_back(node);
  }
  // Node parameters may name any node of the scene, so they are set once every node exists.
  for (size_t i = 0; i < s.nodes.size(); ++i)
    for (size_t k = 0; k < mods[i].size(); ++k) ApplyParams(mods[i][k], s.nodes[i].modifiers[k], byName);
  return out;
}

// Parses JSON and refuses an object that repeats a key (the parser would silently keep the last one).
// Finds an object that repeats a key (the parser would silently keep the last one), reading the text once
// without building anything. (The parser's own callback hook rescans a whole array at the end of each of its
// objects, which makes large scenes quadratic.)
class DuplicateKeys : public nlohmann::json_sax<json> {
 public:
  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override { return Value(); }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override { return Open(false); }
  bool start_array(std::size_t) override { return Open(true); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }
  bool key(string_t& k) override {
    Frame& f = frames_.back();
    if (!f.keys.insert(k).second) {
      std::string p;
      for (size_t i = 0; i + 1 < frames_.size(); ++i)
        p = frames_[i].array ? Child(p, size_t(frames_[i].index)) : Child(p, frames_[i].key);
      Fail(Child(p, k), "duplicate key " + Quoted(k));
    }
    f.key = k;
    return true;
  }
  // Syntax errors are left to the parser, which says where they are.
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  struct Frame {
    bool array = false;
    long index = -1;
    std::string key;
    std::set<std::string> keys;
  };
  bool Value() {
    if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
    return true;
  }
  bool Open(bool array) {
    Value();
    frames_.emplace_back();
    frames_.back().array = array;
    return true;
  }
  bool Close() {
    if (!frames_.empty()) frames_.pop_back();
    return true;
  }
  std::vector<Frame> frames_;
};

json ParseJson(const std::string& text) {
  DuplicateKeys duplicates;
  json::sax_parse(text, &duplicates);
  try {
    return json::parse(text);
  } catch (const json::parse_error& e) {
    std::string what = e.what();
    // Drop the library's "[json.exception.parse_error.101] " tag; keep its line and column.
    if (auto pos = what.find("] "); what.rfind("[json.exception", 0) == 0 && pos != std::string::npos)
      what = what.substr(pos + 2);
    throw SceneError("invalid JSON: " + what);
  } catch (const json::out_of_range& e) {
    // A number too large for a double (1e999): the library names the token but not its place.
    std::string what = e.what(), token;
    if (auto q = what.find('\''); q != std::string::npos) {
      auto q2 = what.find('\'', q + 1);
      if (q2 != std::string::npos) token = what.substr(q + 1, q2 - q - 1);
    }
    if (token.empty()) throw SceneError("invalid JSON: a number is too large");
    size_t line = 1, column = 1;
    if (auto at = text.find(token); at != std::string::npos) {
      for (size_t i = 0; i < at; ++i) {
        if (text[i] == '\n') {
          ++line;
          column = 1;
        } else {
          ++column;
        }
      }
    }
    throw SceneError("invalid JSON: the number " + token + " at line " + std::to_string(line) + ", column " +
                     std::to_string(column) + " is not finite (too large)");
  } catch (const json::exception& e) {
    throw SceneError(std::string("invalid JSON: ") + e.what());
  }
}

}  // namespace

std::string NumberText(double v) {
  char buf[64];
  if (std::floor(v) == v && std::fabs(v) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
  }
  // The shortest form that reads back the same, so messages echo what the file said.
  for (int prec = 1; prec <= 17; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*g", prec, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;
}

TimeValue FramesToTicks(double frame, int ticksPerFrame, const std::string& where) {
  const double ticks = frame * double(ticksPerFrame);
  // Both ends of the TimeValue range are the host's infinities, so a real time stays strictly inside.
  if (!std::isfinite(ticks) || ticks >= double(TIME_PosInfinity) - 0.5 || ticks <= double(TIME_NegInfinity) + 0.5)
    Fail(where, "frame " + NumberText(frame) + " is out of the host's time range (its ticks must fit a 32-bit time: " +
                    "at most " + std::to_string((int64_t(TIME_PosInfinity) - 1) / ticksPerFrame) +
                    " frames either way at " + std::to_string(ticksPerFrame) + " ticks per frame)");
  return TimeValue(std::llround(ticks));
}

LoadedScene LoadSceneText(const std::string& jsonText, ClassDesc* wakeweave) {
  g_documentLimit = DefaultEvalMemoryBudget();
  SceneDesc desc;
  {
    // The document goes before the scene is built, to leave its memory to the scene.
    const json root = ParseJson(jsonText);
    Parser parser(wakeweave);
    desc = parser.Scene(root);
  }
  return Build(desc, wakeweave);
}

LoadedScene LoadSceneFile(const std::string& path, ClassDesc* wakeweave) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw SceneError("cannot read the file: it is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw SceneError(std::string("cannot read the file: ") + std::strerror(errno));
  const auto size = fs::file_size(path, ec);
  if (!ec && size > kMaxSceneBytes)
    throw SceneError("the file is too large for a scene (" + std::to_string(size) + " bytes)");
  std::string text;
  text.reserve(ec ? 0 : size_t(size));
  char buf[1 << 16];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    text.append(buf, size_t(in.gcount()));
    if (text.size() > kMaxSceneBytes) throw SceneError("the file is too large for a scene");
  }
  if (in.bad()) throw SceneError(std::string("cannot read the file: ") + std::strerror(errno));
  return LoadSceneText(text, wakeweave);
}
