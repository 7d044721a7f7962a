#pragma once
// Saved-scene tests: a scene with every kind of object and controller, a plug-in modifier class of the
// tests' own in the class directory, and a fingerprint of everything a user of a scene can see in it, taken
// bit for bit, so that a scene loaded back can be compared with the one saved.
#include <classdir.h>
#include <scenefile.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>

#include "host_core/chunk_tree.h"
#include "scene_fixture.h"

// A plug-in modifier with data of its own and references: it moves a shape by `offset`, and keeps a
// controller (reference 0, made when it is created) and a node it follows (reference 1, none at first).
class NudgeModifier : public Modifier {
 public:
  static constexpr Class_ID kClassID = Class_ID(0x7E570001, 0x00000001);
  Point3 offset{0, 0, 0};
  int loads = 0;
  bool refsAtLoad = false;  // its controller was the loaded one when Load ran

  NudgeModifier() { ReplaceReference(0, new LinearFloatControl(1.0f)); }
  ~NudgeModifier() override { DeleteAllRefsFromMe(); }
  Class_ID ClassID() override { return kClassID; }
  void GetClassName(TSTR& s) override { s = "Nudge"; }
  int NumRefs() override { return 2; }
  RefTargetHandle GetReference(int i) override {
    if (i == 0) return gain_;
    return follow_;
  }
  void SetReference(int i, RefTargetHandle t) override {
    if (i == 0)
      gain_ = static_cast<Control*>(t);
    else
      follow_ = static_cast<INode*>(t);
  }
  Control* Gain() { return gain_; }
  ChannelMask ChannelsUsed() override { return GEOM_CHANNEL; }
  ChannelMask ChannelsChanged() override { return GEOM_CHANNEL; }
  Class_ID InputType() override { return genericShapeClassID; }
  Interval LocalValidity(TimeValue t) override { return Interval(t, t); }
  void ModifyObject(TimeValue t, ModContext&, ObjectState* os, INode*) override {
    if (os->obj->ClassID() != splineShapeClassID) return;
    float g = 0;
    Interval iv = FOREVER;
    gain_->GetValue(t, &g, iv);
    BezierShape& shape = static_cast<SplineShape*>(os->obj)->shape;
    for (int s = 0; s < shape.SplineCount(); ++s)
      for (int k = 0; k < shape.GetSpline(s)->KnotCount(); ++k)
        shape.GetSpline(s)->SetKnotPoint(k, shape.GetSpline(s)->GetKnotPoint(k) + offset * g);
  }
  IOResult Save(ISave* s) override {
    s->BeginChunk(0x0042);
    ULONG n = 0;
    IOResult r = s->Write(&offset, sizeof offset, &n);
    s->EndChunk();
    return r;
  }
  IOResult Load(ILoad* l) override {
    ++loads;
    refsAtLoad = gain_ && gain_->NumKeys() > 0;
    IOResult r;
    while ((r = l->OpenChunk()) == IO_OK) {
      ULONG n = 0;
      if (l->CurChunkID() == 0x0042 && l->Read(&offset, sizeof offset, &n) != IO_OK) return IO_ERROR;
      l->CloseChunk();
    }
    return r == IO_END ? IO_OK : IO_ERROR;
  }

 private:
  Control* gain_ = nullptr;
  INode* follow_ = nullptr;
};

class NudgeClassDesc : public ClassDesc {
 public:
  int IsPublic() override { return TRUE; }
  void* Create(BOOL loading) override {
    ++creates;
    if (loading) ++loadingCreates;
    return static_cast<Modifier*>(new NudgeModifier());
  }
  const char* ClassName() override { return "Nudge"; }
  SClass_ID SuperClassID() override { return OSM_CLASS_ID; }
  Class_ID ClassID() override { return NudgeModifier::kClassID; }
  const char* Category() override { return "Tests"; }
  int creates = 0, loadingCreates = 0;
};

inline NudgeClassDesc& TheNudgeClass() {
  static NudgeClassDesc desc;
  return desc;
}

// Saved-scene cases: the test modifier's class is in the directory while a case runs; files go to a
// scratch directory.
class SavedSceneTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    ASSERT_TRUE(RegisterClassDesc(&TheNudgeClass()));
  }
  void TearDown() override {
    UnregisterClassDesc(&TheNudgeClass());
    SceneTest::TearDown();
  }
  std::string File(const std::string& name) const { return dir.File(name); }
  TempDir dir;
};

// ---- a scene with everything ---------------------------------------------------------------------------

inline Point3 P3(double x, double y, double z) { return Point3(float(x), float(y), float(z)); }

inline void AddBezierSpline(BezierShape& shape, float dx, bool closed) {
  Spline3D* s = shape.NewSpline(KTYPE_CORNER, KTYPE_BEZIER, PARM_UNIFORM);
  s->AddKnot(SplineKnot(KTYPE_BEZIER_CORNER, LTYPE_CURVE, P3(dx, 0, 0), P3(dx - 1, -1, 0), P3(dx + 1, 1, 0), 3, -1, -1,
                        7, 0x10));
  s->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_LINE, P3(dx + 5, 2, 1), P3(dx + 5, 2, 1), P3(dx + 5, 2, 1)));
  s->AddKnot(SplineKnot(KTYPE_AUTO, LTYPE_CURVE, P3(dx + 9, -3, 0.5f), P3(dx + 8, -4, 0), P3(dx + 10, -2, 1)));
  s->SetClosed(closed ? 1 : 0);
}

// Builds, through the host's interfaces: an animated spline shape under animated transforms with an object
// offset, a static shape shared by two nodes, a stack of two Nudge modifiers (one switched off) on a keyed
// shape, a mesh with two map channels, a flow system with two events and particles of every kind, a legacy
// system, and a node hanging under another. Ticks per frame 200, frames -5 to 60, time at frame 7.
inline void BuildEverything(Interface* ip) {
  SetTicksPerFrame(200);
  ip->SetAnimRange(Interval(-1000, 12000));
  ip->SetTime(1400);

  auto* keyed = new SplineShape();
  AddBezierSpline(keyed->shape, 0, false);
  BezierShape k0, k1;
  AddBezierSpline(k0, 0, false);
  AddBezierSpline(k1, 20, false);
  keyed->AddShapeKey(0, k0);
  keyed->AddShapeKey(4000, k1);
  keyed->shape.steps = 4;
  INode* a = ip->CreateObjectNode(keyed);
  a->SetName("Animated");
  auto* pos = new LinearPositionControl(P3(1, 2, 3));
  pos->AddKey(0, P3(0, 0, 0));
  pos->AddKey(2000, P3(10, -5, 2.5f));
  pos->AddKey(6000, P3(-3, 7, 1));
  a->SetPositionController(pos);
  auto* rot = new LinearRotationControl();
  rot->AddKey(0, Quat(AngAxis(P3(0, 0, 1), 0.3f)));
  rot->AddKey(3000, Quat(AngAxis(P3(1, 1, 0).Normalize(), 2.0f)));
  a->SetRotationController(rot);
  auto* scale = new LinearScaleControl(P3(2, 2, 2));
  a->SetScaleController(scale);
  a->SetObjOffsetPos(P3(0.5f, 0.25f, -1));
  a->SetObjOffsetRot(Quat(AngAxis(P3(0, 1, 0), 0.7f)));
  a->SetObjOffsetScale(P3(1, 3, 1));

  auto* shared = new SplineShape();
  AddBezierSpline(shared->shape, 3, true);
  ip->CreateObjectNode(shared)->SetName("Shared A");
  INode* sharedB = ip->CreateObjectNode(shared);
  sharedB->SetName("Shared B");
  a->AttachChild(sharedB);

  auto* stacked = new SplineShape();
  AddBezierSpline(stacked->shape, -4, false);
  BezierShape s0, s1;
  AddBezierSpline(s0, -4, false);
  AddBezierSpline(s1, -8, false);
  stacked->AddShapeKey(-200, s0);
  stacked->AddShapeKey(2200, s1);
  IDerivedObject* d = CreateDerivedObject(stacked);
  auto* top = static_cast<NudgeModifier*>(static_cast<Modifier*>(TheNudgeClass().Create(FALSE)));
  top->offset = P3(1, 2, 3);
  static_cast<LinearFloatControl*>(top->Gain())->AddKey(0, 0.5f);
  static_cast<LinearFloatControl*>(top->Gain())->AddKey(4000, 2.0f);
  auto* off = static_cast<NudgeModifier*>(static_cast<Modifier*>(TheNudgeClass().Create(FALSE)));
  off->offset = P3(100, 0, 0);
  off->DisableMod();
  d->AddModifier(top, nullptr, 0);
  d->AddModifier(off, nullptr, 1);
  INode* stackNode = ip->CreateObjectNode(d);
  stackNode->SetName("Stack");
  top->ReplaceReference(1, a);

  TriObject* tri = CreateNewTriObject();
  Mesh& m = tri->mesh;
  m.setNumVerts(4);
  for (int i = 0; i < 4; ++i) m.setVert(i, P3(float(i), float(i * i), -float(i)));
  m.setNumFaces(2);
  m.faces[0] = m.faces[1] = Face();
  m.faces[0].setVerts(0, 1, 2);
  m.faces[1].setVerts(0, 2, 3);
  m.faces[0].setSmGroup(1);
  m.faces[1].setSmGroup(6);
  m.faces[1].setMatID(4);
  m.faces[1].setEdgeVisFlags(1, 0, 1);
  m.setMapSupport(1);
  m.setNumMapVerts(1, 3);
  for (int i = 0; i < 3; ++i) m.setMapVert(1, i, P3(0.5f * float(i), 1, 0));
  m.mapFaces(1)[0].setTVerts(0, 1, 2);
  m.mapFaces(1)[1].setTVerts(2, 1, 0);
  m.setMapSupport(3);
  m.setNumMapVerts(3, 1);
  m.setMapVert(3, 0, P3(0.25f, 0.5f, 0));
  m.mapFaces(3)[0] = m.mapFaces(3)[1] = TVFace(0, 0, 0);
  ip->CreateObjectNode(tri)->SetName("Mesh");

  auto* flow = new FlowParticleSystem();
  ip->CreateObjectNode(flow)->SetName("PF Source");
  flow->AddEvent("Event A");
  flow->AddEvent("Event B");
  FlowParticle p0;
  p0.born = 0;
  p0.dies = 3000;
  p0.path.Set(0, P3(0, 0, 0));
  p0.path.Set(3000, P3(30, 0, 10));
  p0.rotation.Set(0, Quat());
  p0.rotation.Set(3000, Quat(AngAxis(P3(0, 0, 1), 1.5f)));
  p0.scale.Set(1000, P3(2, 1, 1));
  p0.event.Set(1500, 1);
  flow->AddParticle(p0);
  FlowParticle p1;
  p1.born = 400;
  p1.path.Set(400, P3(-1, -1, -1));
  p1.transform = false;
  flow->AddParticle(p1);

  auto* legacy = new LegacyParticleSystem();
  LegacyParticleLife l0, l1;
  l0.born = 0;
  l0.dies = 800;
  l0.path.Set(0, P3(1, 1, 1));
  l0.path.Set(800, P3(5, 1, 1));
  l1.born = 800;
  l1.path.Set(1000, P3(0, 9, 0));
  legacy->AddSlot({l0, l1});
  legacy->AddSlot({});
  ip->CreateObjectNode(legacy)->SetName("Spray");
  ip->CreateObjectNode(nullptr)->SetName("Empty");
}

// ---- fingerprint ---------------------------------------------------------------------------------------

class Fingerprint {
 public:
  // Everything about the scene that can be asked through the host, at a spread of times.
  static std::string Of(Interface* ip) {
    Fingerprint f;
    f.out_ << "tpf " << GetTicksPerFrame() << " time " << ip->GetTime() << " range " << ip->GetAnimRange().Start()
           << " " << ip->GetAnimRange().End() << "\n";
    f.Children(ip->GetRootNode(), 0);
    return f.out_.str();
  }

 private:
  static constexpr TimeValue kTimes[] = {-3000, -200, 0, 1, 333, 1500, 2200, 4000, 9999};

  void Bits(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    char b[12];
    std::snprintf(b, sizeof b, "%08x ", u);
    out_ << b;
  }
  void Bits(const Point3& p) {
    Bits(p.x);
    Bits(p.y);
    Bits(p.z);
  }
  void Bits(const Matrix3& m) {
    for (int r = 0; r < 4; ++r) Bits(m.GetRow(r));
    out_ << m.GetIdentFlags() << " ";
  }
  // Shared objects show the same number wherever they appear.
  int Id(void* p) { return ids_.emplace(p, int(ids_.size())).first->second; }

  void Children(INode* parent, int depth) {
    for (int i = 0; i < parent->NumberOfChildren(); ++i) {
      INode* n = parent->GetChildNode(i);
      out_ << std::string(size_t(depth), ' ') << "node \"" << n->GetName() << "\" under \""
           << n->GetParentNode()->GetName() << "\"\n";
      for (Control* c : {n->GetPositionController(), n->GetRotationController(), n->GetScaleController()}) {
        out_ << " ctrl " << c->NumKeys() << ":";
        for (int k = 0; k < c->NumKeys(); ++k) out_ << " " << c->GetKeyTime(k);
        out_ << "\n";
      }
      for (TimeValue t : kTimes) {
        out_ << " tm " << t << " ";
        Bits(n->GetNodeTM(t));
        Bits(n->GetObjectTM(t));
        out_ << "\n";
      }
      Object(n->GetObjectRef());
      for (TimeValue t : kTimes) Result(n->EvalWorldState(t).obj, t);
      Children(n, depth + 1);
    }
  }

  void Object(::Object* obj) {
    if (!obj) {
      out_ << " no object\n";
      return;
    }
    TSTR cls;
    obj->GetClassName(cls);
    out_ << " object " << Id(obj) << " " << cls.data() << "\n";
    if (auto* d = dynamic_cast<IDerivedObject*>(obj)) {
      for (int i = 0; i < d->NumModifiers(); ++i) {
        Modifier* m = d->GetModifier(i);
        TSTR mc;
        m->GetClassName(mc);
        out_ << " modifier " << Id(m) << " " << mc.data() << (m->IsEnabled() ? " on" : " off") << "\n";
        if (auto* nudge = dynamic_cast<NudgeModifier*>(m)) {
          Bits(nudge->offset);
          auto* follow = static_cast<INode*>(nudge->GetReference(1));
          out_ << " follows " << (follow ? follow->GetName() : "nothing") << "\n";
        }
      }
      Object(d->GetObjRef());
    }
  }

  void Result(::Object* obj, TimeValue t) {
    if (!obj) return;
    out_ << " at " << t << ": ";
    if (obj->IsShapeObject()) {
      PolyShape ps;
      static_cast<ShapeObject*>(obj)->MakePolyShape(t, ps, PSHAPE_BUILTIN_STEPS, FALSE);
      for (int l = 0; l < ps.numLines; ++l) {
        out_ << (ps.lines[l].IsClosed() ? "closed " : "open ");
        for (int i = 0; i < ps.lines[l].numPts; ++i) Bits(ps.lines[l][i].p);
      }
    } else if (auto* tri = dynamic_cast<TriObject*>(obj)) {
      Mesh& m = tri->mesh;
      for (int i = 0; i < m.getNumVerts(); ++i) Bits(m.verts[i]);
      for (int i = 0; i < m.getNumFaces(); ++i)
        out_ << m.faces[i].v[0] << "," << m.faces[i].v[1] << "," << m.faces[i].v[2] << " " << m.faces[i].smGroup << " "
             << m.faces[i].flags << " ";
      for (int mp = 0; mp < m.getNumMaps(); ++mp) {
        out_ << "map " << mp << " " << m.Map(mp).flags << ": ";
        for (int i = 0; i < m.getNumMapVerts(mp); ++i) Bits(m.mapVerts(mp)[i]);
        for (int i = 0; i < m.getNumMapFaces(mp); ++i)
          out_ << m.mapFaces(mp)[i].t[0] << "," << m.mapFaces(mp)[i].t[1] << "," << m.mapFaces(mp)[i].t[2] << " ";
      }
    } else if (auto* ext = static_cast<IParticleObjectExt*>(obj->GetInterface(PARTICLEOBJECTEXT_INTERFACE))) {
      ext->UpdateParticles(nullptr, t);
      out_ << ext->NumParticlesGenerated() << " born " << ext->NumParticles() << " alive: ";
      for (int i = 0; i < 3; ++i) {
        out_ << ext->GetParticleAgeByBornIndex(i) << " ";
        if (Matrix3* tm = ext->GetParticleTMByBornIndex(i)) Bits(*tm);
        if (Point3* p = ext->GetParticlePositionByBornIndex(i)) Bits(*p);
        int index = -1;
        if (ext->HasParticleBornIndex(i, index)) {
          INode* group = ext->GetParticleGroup(index);
          out_ << "in " << (group ? group->GetName() : "none") << " ";
        }
      }
    } else if (auto* legacy = dynamic_cast<LegacyParticleSystem*>(obj)) {
      out_ << legacy->NumSlots() << " slots: ";
      for (int s = 0; s < legacy->NumSlots(); ++s) {
        const LegacyParticleLife* life = legacy->LifeAt(s, t);
        if (!life) continue;
        out_ << life->born << "-" << life->dies << " ";
        Bits(TrackValue(life->path, t, Point3(0, 0, 0)));
      }
    }
    out_ << "\n";
  }

  std::ostringstream out_;
  std::map<void*, int> ids_;
};
