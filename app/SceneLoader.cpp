#include "SceneLoader.h"

#include <membudget.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

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

}  // namespace
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