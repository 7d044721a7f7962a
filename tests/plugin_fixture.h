#pragma once
// Test support: the plug-in attached in-process, debug and assertion capture, and small scenes built
// through the host.
#include <gtest/gtest.h>

#include <max.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "assert_capture.h"
#include "modifier/Wakeweave.h"
#include "plugin/Globals.h"
#include "plugin/ParamIds.h"
#include "plugin/WakeweaveClassDesc.h"
#include "win32/resources.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, ULONG, LPVOID);
extern "C" const Win32ResourceImage* Win32ModuleResources(void);

// Attaches the plug-in code linked into the test program, as the host attaches a loaded library.
inline HMODULE AttachPlugin() {
  static HMODULE module = [] {
    HMODULE h = Win32RegisterModule("Wakeweave.dlm", Win32ModuleResources());
    DllMain(h, DLL_PROCESS_ATTACH, nullptr);
    return h;
  }();
  return module;
}

// Collects the host's debug output while alive.
class DebugCapture {
 public:
  DebugCapture() {
    prev_ = SetDebugSink([this](const std::string& s) { lines.push_back(s); });
  }
  ~DebugCapture() { SetDebugSink(prev_); }
  int Count(const std::string& text) const {
    int n = 0;
    for (const auto& l : lines) n += (l == text);
    return n;
  }
  std::vector<std::string> lines;

 private:
  DebugSink prev_;
};

// A fresh scene at 160 ticks per frame, frames 0 to 100, time 0.
class SceneTest : public ::testing::Test {
 protected:
  static constexpr int kTpf = 160;

  void SetUp() override {
    AttachPlugin();
    ip()->ResetScene();
    SetTicksPerFrame(kTpf);
    ip()->SetAnimRange(Interval(0, 100 * kTpf));
    ip()->SetTime(0);
  }
  void TearDown() override { ip()->ResetScene(); }

  static Interface* ip() { return GetCOREInterface(); }

  static Wakeweave* NewModifier() { return static_cast<Wakeweave*>(GetWakeweaveDesc()->Create(FALSE)); }

  // A circle of radius r in the XY plane, as the scene files describe it: 4 Bezier knots.
  static SplineShape* Circle(float r) {
    SplineShape* s = new SplineShape();
    Spline3D* sp = s->shape.NewSpline();
    const float kappa = 0.5522847498f;
    for (int k = 0; k < 4; ++k) {
      float th = float(k) * 3.14159265358979f / 2.0f;
      Point3 p(r * std::cos(th), r * std::sin(th), 0.0f);
      Point3 tan(-std::sin(th), std::cos(th), 0.0f);
      sp->AddKnot(SplineKnot(KTYPE_BEZIER, LTYPE_CURVE, p, p - tan * (kappa * r), p + tan * (kappa * r)));
    }
    sp->SetClosed();
    s->shape.UpdateSels();
    return s;
  }

  // Corner knots joined by straight lines.
  static SplineShape* Polyline(const std::vector<Point3>& pts, bool closed) {
    SplineShape* s = new SplineShape();
    AddPolyline(s, pts, closed);
    return s;
  }
  static void AddPolyline(SplineShape* s, const std::vector<Point3>& pts, bool closed) {
    Spline3D* sp = s->shape.NewSpline();
    for (const Point3& p : pts) sp->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_LINE, p, p, p));
    if (closed)
      sp->SetClosed();
    else
      sp->SetOpen();
    s->shape.UpdateSels();
  }

  // A node carrying obj with mod on top of its stack (mod may be null: no stack).
  static INode* AddNode(const char* name, Object* obj, Modifier* mod) {
    Object* top = obj;
    if (mod) {
      IDerivedObject* d = CreateDerivedObject(obj);
      d->AddModifier(mod);
      top = d;
    }
    INode* node = ip()->CreateObjectNode(top);
    node->SetName(name);
    return node;
  }

  static void KeyPosition(INode* node, TimeValue t, const Point3& p) {
    auto* c = dynamic_cast<LinearPositionControl*>(node->GetPositionController());
    ASSERT_NE(c, nullptr);
    c->AddKey(t, p);
  }
  static void KeyRotation(INode* node, TimeValue t, const Quat& q) {
    auto* c = dynamic_cast<LinearRotationControl*>(node->GetRotationController());
    ASSERT_NE(c, nullptr);
    c->AddKey(t, q);
  }

  // The mesh that leaves the node's stack at t.
  static Mesh& EvalMesh(INode* node, TimeValue t) {
    const ObjectState& os = node->EvalWorldState(t);
    TriObject* tri = dynamic_cast<TriObject*>(os.obj);
    EXPECT_NE(tri, nullptr);
    return tri->GetMesh();
  }

  static bool IsFallbackTriangle(const Mesh& m) {
    return m.getNumVerts() == 3 && m.getNumFaces() == 1 && m.verts[0] == Point3(0.0f, 0.0f, 0.0f) &&
           m.verts[1] == Point3(1.0f, 0.0f, 0.0f) && m.verts[2] == Point3(0.0f, 1.0f, 0.0f) && m.faces[0].v[0] == 0 &&
           m.faces[0].v[1] == 1 && m.faces[0].v[2] == 2;
  }

  // TryEnter from another thread: true when the lock is free.
  static bool LockIsFree(CRITICAL_SECTION* cs);
  // Whether no thread holds the modifier's lock.
  static bool LockIsFree(Wakeweave* mod);
};

#include <thread>
// TryEnter from another thread: true when no thread holds cs.
inline bool CriticalSectionIsFree(CRITICAL_SECTION* cs) {
  bool free = false;
  std::thread th([&] {
    if (TryEnterCriticalSection(cs)) {
      free = true;
      LeaveCriticalSection(cs);
    }
  });
  th.join();
  return free;
}
inline bool SceneTest::LockIsFree(CRITICAL_SECTION* cs) { return CriticalSectionIsFree(cs); }

// The one way tests reach the modifier's lock: to see whether it is held, never to hold it.
struct WakeweaveLockProbe {
  static bool IsFree(Wakeweave* mod) { return CriticalSectionIsFree(&mod->m_lock); }
};
inline bool SceneTest::LockIsFree(Wakeweave* mod) { return WakeweaveLockProbe::IsFree(mod); }
