#pragma once
// What a scene file describes, checked before anything is built: plain values, times in ticks.
#include <max.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace scenefile {

constexpr int kDefaultTicksPerFrame = 160;

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

// A particle system: a flow system's events and its particles (listed, or made by the emitter), or a legacy
// system's slots. The host's own particle values, checked: in born order, lives of a slot in time order and
// not overlapping, event indices within `events`.
struct ParticlesDesc {
  enum Interface { Flow, Legacy } iface = Flow;
  std::vector<std::pair<std::string, std::string>> events;  // name, path
  std::vector<FlowParticle> particles;
  std::optional<ParticleEmitter> emitter;
  std::string emitterPath;
  std::vector<LegacyParticleSlot> slots;
};

struct ObjectDesc {
  enum Kind { None, Spline, Circle, Particles } kind = None;
  ShapeDesc shape;                                    // static spline
  std::vector<std::pair<TimeValue, ShapeDesc>> keys;  // keyed spline
  float radius = 0.0f;
  ParticlesDesc particles;
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

}  // namespace scenefile
