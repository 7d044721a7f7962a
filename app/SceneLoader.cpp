#include "SceneLoader.h"

#include <membudget.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "EmitterBounds.h"
#include "SceneReader.h"

namespace {

// Scene files are small; anything larger than this is refused before it is read.
constexpr std::uintmax_t kMaxSceneBytes = 256u << 20;

}  // namespace

namespace scenefile {
namespace {

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

// ---- particle systems ------------------------------------------------------------------------------------

// The host's emitter builds its whole particle list at once, so an emitter is measured against the bounds
// before it runs. Each particle's path takes a key a frame of its life (at most 1001), some 16 bytes a key:
// the default key bound keeps an emitter's paths to a few hundred megabytes.
EmitterBounds g_bounds;

std::string Asks(const std::string& count) {
  return "the emitter asks for " + count + " particles; at most " + std::to_string(g_bounds.particles) + " are allowed";
}

// At the scene's ticks per frame, which the emitter's births and paths depend on.
void CheckEmitter(const ParticleEmitter& e, const std::string& path) {
  const uint64_t count = EmitterParticleCount(e);
  if (count > g_bounds.particles) Fail(path, Asks(std::to_string(count)));
  if (count == 0) return;
  // Its particles all live as long, so the first one's path is as long as any (the end of time can only cut
  // later ones shorter).
  ParticleEmitter first = e;
  first.stop = first.start;
  first.rate = 1.0;  // at one a frame, one particle on a single tick whatever the emitter's own rate
  const std::vector<FlowParticle> one = EmitParticles(first);
  const uint64_t perParticle = one.empty() ? 0 : uint64_t(one.front().path.Count());
  if (perParticle > 0 && count > g_bounds.pathKeys / perParticle)
    Fail(path, "the emitter's particle paths take " + std::to_string(count * perParticle) + " keys (" +
                   std::to_string(count) + " particles of " + std::to_string(perParticle) + "); at most " +
                   std::to_string(g_bounds.pathKeys) + " are allowed");
}

// The system without its events, which are nodes of their own (AddEvents, once the system has its node). The
// particles and slots go to the system: each is given back as soon as the system has its copy.
Object* BuildParticles(ParticlesDesc& d) {
  if (d.iface == ParticlesDesc::Legacy) {
    auto* sys = new LegacyParticleSystem();
    for (LegacyParticleSlot& slot : d.slots) {
      sys->AddSlot(slot);
      LegacyParticleSlot().swap(slot);
    }
    return sys;
  }
  auto* sys = new FlowParticleSystem();
  std::vector<FlowParticle> emitted;
  if (d.emitter) emitted = EmitParticles(*d.emitter);
  std::vector<FlowParticle>& particles = d.emitter ? emitted : d.particles;
  sys->Reserve(particles.size());
  for (FlowParticle& p : particles) {
    sys->AddParticle(p);
    p = FlowParticle();
  }
  return sys;
}

// A flow system's events, in the listed order, each a node named as the file says; listed after the
// system's node in `out` and known by name to the node parameters.
void AddEvents(Object* obj, const ParticlesDesc& d, LoadedScene& out, std::map<std::string, INode*>& byName) {
  auto* sys = dynamic_cast<FlowParticleSystem*>(obj);
  if (!sys) return;
  for (const auto& [name, path] : d.events) {
    INode* event = sys->GetEvent(sys->AddEvent(name.c_str()));
    if (!event) Fail(path, "the host could not create the event");
    byName[name] = event;
    out.nodes.push_back(event);
  }
}

// ---- objects and nodes -----------------------------------------------------------------------------------

Object* BuildObject(ObjectDesc& o) {
  switch (o.kind) {
    case ObjectDesc::Particles:
      return BuildParticles(o.particles);
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

bool IsParticleSystem(Object* obj) { return obj && obj->GetInterface(ULONG(PARTICLE_SYSTEM_INTERFACE)); }

// The block's validator decides whether the node will do; the message says why not when it wants a particle
// system (the node picker's validator does, and looks at the node's object as it is, modifiers and all).
void SetNode(IParamBlock2* pb, const ParamSet& p, INode* node) {
  if (pb->SetValue(p.id, 0, node)) return;
  const std::string refused = "node " + Quoted(*p.node) + " can't be used here";
  Object* obj = node->GetObjectRef();
  if (IsParticleSystem(obj)) Fail(p.path, refused);
  auto* derived = dynamic_cast<IDerivedObject*>(obj);
  if (derived && IsParticleSystem(derived->GetObjRef()))
    Fail(p.path, refused + ": its particle system carries modifiers (only one without modifiers can be picked)");
  Fail(p.path, refused + ": it is not a particle system");
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
        if (p.node) SetNode(pb, p, byName.at(*p.node));
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

// Builds the scene; the particles and slots of `s` go to the host's particle systems on the way.
LoadedScene Build(SceneDesc& s, ClassDesc* wakeweave) {
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  SetTicksPerFrame(s.ticksPerFrame);
  ip->SetAnimRange(Interval(s.rangeStart, s.rangeEnd));
  ip->SetTime(s.time, FALSE);
  for (const NodeDesc& n : s.nodes)
    if (n.object.particles.emitter) CheckEmitter(*n.object.particles.emitter, n.object.particles.emitterPath);

  LoadedScene out;
  out.time = s.time;
  std::map<std::string, INode*> byName;
  std::vector<std::vector<Modifier*>> mods(s.nodes.size());
  for (size_t i = 0; i < s.nodes.size(); ++i) {
    NodeDesc& n = s.nodes[i];
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
    AddEvents(obj, n.object.particles, out, byName);
  }
  // Node parameters may name any node of the scene, so they are set once every node exists.
  for (size_t i = 0; i < s.nodes.size(); ++i)
    for (size_t k = 0; k < mods[i].size(); ++k) ApplyParams(mods[i][k], s.nodes[i].modifiers[k], byName);
  return out;
}

}  // namespace

EmitterBounds SetEmitterBounds(const EmitterBounds& bounds) {
  const EmitterBounds before = g_bounds;
  g_bounds = bounds;
  return before;
}

}  // namespace scenefile

LoadedScene LoadSceneText(const std::string& jsonText, ClassDesc* wakeweave) {
  scenefile::g_documentLimit = DefaultEvalMemoryBudget();
  scenefile::SceneDesc desc;
  {
    // The document goes before the scene is built, to leave its memory to the scene.
    const scenefile::json root = scenefile::ParseJson(jsonText);
    desc = scenefile::ReadScene(root, wakeweave);
  }
  return scenefile::Build(desc, wakeweave);
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