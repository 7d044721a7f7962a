// The core interface: the scene's nodes, scene time and host object creation.
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "debug.h"
#include "hold.h"
#include "iface.h"
#include "imtl.h"
#include "nodenames.h"
#include "scene_internal.h"
#include "splshape.h"
#include "triobj.h"

namespace {

constexpr int kDefaultTicksPerFrame = 160;
constexpr int kDefaultLastFrame = 100;
std::atomic<int> g_ticksPerFrame{kDefaultTicksPerFrame};
std::atomic<long> g_redraws{0};

// Whether tx sits in one of mtl's slots.
bool InSlot(Mtl* mtl, Texmap* tx) {
  for (int i = 0; i < mtl->NumSubTexmaps(); ++i)
    if (mtl->GetSubTexmap(i) == tx) return true;
  return false;
}

// The checks ActivateTexture and DeActivateTexture share; true when the call may go on.
bool ShowableMap(Texmap* tx, Mtl* mtl, int subNum) {
  if (!tx || !mtl) {
    DbgAssert(!"a map is shown for a material: neither may be null");
    return false;
  }
  if (subNum != -1) {
    DbgAssert(subNum == -1);  // the host's materials here have no sub-materials
    return false;
  }
  if (!InSlot(mtl, tx)) {
    DbgAssert(!"the map shown is not one of the material's maps");
    return false;
  }
  return true;
}

class HostInterface : public IObjParam {
 public:
  HostInterface() : root_(new SceneNode(true)) { ResetTime(); }

  TimeValue GetTime() override { return time_; }
  void SetTime(TimeValue t, BOOL) override { time_ = t; }
  Interval GetAnimRange() override { return range_; }
  void SetAnimRange(Interval range) override { range_ = range; }

  INode* GetRootNode() override { return root_; }

  INode* CreateObjectNode(Object* obj) override {
    auto* node = new SceneNode(false);
    node->SetName(names_.Unique(obj && obj->GetObjectName()[0] ? obj->GetObjectName() : "Object").c_str());
    names_.Add(node);
    node->SetNameIndex(&names_);
    if (obj) node->SetObjectRef(obj);
    root_->AddChild(node);
    return node;
  }

  INode* GetINodeByName(const char* name) override { return name ? names_.First(name) : nullptr; }

  void DeleteNode(INode* node, BOOL) override {
    auto* sn = dynamic_cast<SceneNode*>(node);
    // Only nodes of this scene: anything else is not ours to delete.
    if (!sn || sn == root_ || !sn->InScene()) return;
    // Its children stay in the scene, under the root.
    std::vector<SceneNode*> children;
    for (int i = 0; i < sn->NumberOfChildren(); ++i) children.push_back(static_cast<SceneNode*>(sn->GetChildNode(i)));
    for (SceneNode* c : children) root_->AddChild(c);
    static_cast<SceneNode*>(sn->GetParentNode())->DetachChild(sn);
    names_.Remove(sn);
    sn->SetNameIndex(nullptr);
    sn->AllowDeletion();
    sn->DeleteMe();
  }

  void ResetScene() override {
    // Undo steps of the old scene hold its nodes and values; they mean nothing in the new one.
    theHold.ResetUndo();
    while (root_->NumberOfChildren() > 0) DeleteNode(root_->GetChildNode(root_->NumberOfChildren() - 1), FALSE);
    names_.Clear();
    g_ticksPerFrame = kDefaultTicksPerFrame;
    ResetTime();
  }

  HWND GetMAXHWnd() override {
    // A window goes with the thread that made it: should that thread end, the next caller's thread gets
    // a new one rather than a dead handle.
    std::lock_guard<std::mutex> guard(mainWindowMutex_);
    if (!IsWindow(mainWindow_)) mainWindow_ = Win32CreateMainWindow("Wakeweave");
    return mainWindow_;
  }

  void Install(const std::vector<std::pair<SceneNode*, SceneNode*>>& nodes, int ticksPerFrame, Interval range,
               TimeValue time) {
    ResetScene();
    for (const auto& [node, parent] : nodes) {
      names_.Add(node);
      node->SetNameIndex(&names_);
      (parent ? parent : root_)->AddChild(node);
    }
    SetTicksPerFrame(ticksPerFrame);
    range_ = range;
    time_ = time;
  }

  void RedrawViews(TimeValue, DWORD, ReferenceTarget*) override { ++g_redraws; }
  void ForceCompleteRedraw(BOOL) override { ++g_redraws; }

  void ActivateTexture(Texmap* tx, Mtl* mtl, int subNum) override {
    if (!ShowableMap(tx, mtl, subNum)) return;
    // A material shows one map at a time.
    for (int i = 0; i < mtl->NumSubTexmaps(); ++i)
      if (Texmap* other = mtl->GetSubTexmap(i)) other->ClearMtlFlag(MTL_TEX_DISPLAY_ENABLED);
    tx->SetMtlFlag(MTL_TEX_DISPLAY_ENABLED);
  }

  void DeActivateTexture(Texmap* tx, Mtl* mtl, int subNum) override {
    if (ShowableMap(tx, mtl, subNum)) tx->ClearMtlFlag(MTL_TEX_DISPLAY_ENABLED);
  }

  void DisableAccelerators() override { accelerators_ = false; }
  void EnableAccelerators() override { accelerators_ = true; }
  BOOL AcceleratorsEnabled() override { return accelerators_ ? TRUE : FALSE; }

  Object* CreateInstance(SClass_ID superID, Class_ID classID) override {
    if (superID == SHAPE_CLASS_ID && classID == splineShapeClassID) return new SplineShape();
    if (superID == GEOMOBJECT_CLASS_ID && classID == triObjectClassID) return new TriObject();
    if (superID == GEN_DERIVOB_CLASS_ID && classID == derivObjClassID) return CreateDerivedObject();
    return nullptr;
  }

 private:
  void ResetTime() {
    time_ = 0;
    range_ = Interval(0, kDefaultLastFrame * GetTicksPerFrame());
  }

  std::atomic<bool> accelerators_{true};
  std::mutex mainWindowMutex_;
  HWND mainWindow_ = nullptr;
  SceneNode* root_;
  NodeNames names_;
  TimeValue time_ = 0;
  Interval range_;
};

}  // namespace

Interface* GetCOREInterface() {
  // Never destroyed: plug-ins may still reach the scene while the process shuts down.
  static HostInterface* core = new HostInterface();
  return core;
}

void InstallScene(const std::vector<std::pair<SceneNode*, SceneNode*>>& nodes, int ticksPerFrame, Interval range,
                  TimeValue time) {
  static_cast<HostInterface*>(GetCOREInterface())->Install(nodes, ticksPerFrame, range, time);
}

long HostRedrawCount() { return g_redraws; }

Texmap* HostShownTexmap(Mtl* mtl) {
  if (!mtl) return nullptr;
  for (int i = 0; i < mtl->NumSubTexmaps(); ++i) {
    Texmap* tx = mtl->GetSubTexmap(i);
    if (tx && tx->TestMtlFlag(MTL_TEX_DISPLAY_ENABLED)) return tx;
  }
  return nullptr;
}

int GetTicksPerFrame() { return g_ticksPerFrame; }

void SetTicksPerFrame(int ticks) {
  if (ticks > 0) g_ticksPerFrame = ticks;
}

int GetFrameRate() { return TIME_TICKSPERSEC / GetTicksPerFrame(); }
