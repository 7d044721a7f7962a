#pragma once
// The host's concrete derived object and node, shared by the scene sources.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "control.h"
#include "inode.h"
#include "modstack.h"
#include "quat.h"

class DerivedObject : public IDerivedObject {
 public:
  DerivedObject() = default;
  ~DerivedObject() override;

  void GetClassName(TSTR& s) override { s = "DerivedObject"; }
  const char* GetObjectName() override { return "Derived Object"; }

  int NumModifiers() override { return int(mods_.size()); }
  Modifier* GetModifier(int index) override;
  ModContext* GetModContext(int index) override;
  void AddModifier(Modifier* mod, ModContext* mc = nullptr, int before = 0) override;
  void DeleteModifier(int index = 0) override;
  void SetModifier(int index, Modifier* mod) override;
  Object* GetObjRef() override { return obj_; }
  RefResult ReferenceObject(Object* obj) override;
  ObjectState Eval(TimeValue t) override { return Eval(t, 0); }
  ObjectState Eval(TimeValue t, int modIndex) override;

  int NumRefs() override { return 1 + int(mods_.size()); }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle target) override;
  RefResult NotifyRefChanged(const Interval& changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  RefTargetHandle Clone(RemapDir& remap) override;
  // The number of modifiers and each one's context transform; the object and the modifiers are its
  // references, restored by whoever loads it. Load gives a derived object without modifiers that many
  // empty modifier entries with their contexts (IO_ERROR, nothing changed, when it has modifiers already
  // or the data is damaged).
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  // Marks every held result stale (they stay alive until their slot is refilled).
  void InvalidateResults();
  // Changes whenever the result held for modIndex is replaced; 0 when there is none.
  unsigned ResultStamp(int modIndex) const;
  // The node that carries this stack, through any derived objects stacked on it; null if none.
  INode* FindNode();

 private:
  struct Slot {
    Object* obj = nullptr;
    bool owned = false;  // the slot deletes obj when it is replaced
    Interval valid;
    bool fresh = false;
    unsigned stamp = 0;
  };
  void ReleaseResult(Object* obj, Object* keep);
  void Changed();

  Object* obj_ = nullptr;
  std::vector<Modifier*> mods_;
  std::vector<ModContext*> contexts_;
  std::vector<Slot> slots_;
  unsigned nextStamp_ = 0;
  unsigned changes_ = 0;  // counts invalidations, so an evaluation overtaken by a change is not kept fresh
};

class NodeNames;

class SceneNode : public INode {
 public:
  // The root carries no object and no controllers; other nodes get default controllers.
  explicit SceneNode(bool isRoot);
  ~SceneNode() override;

  // Nodes belong to the scene: dropping the last reference to one does not delete it.
  void DeleteThis() override {
    if (deletable_) delete this;
  }
  void AllowDeletion() { deletable_ = true; }

  void GetClassName(TSTR& s) override { s = "Node"; }
  const char* GetName() override { return name_.c_str(); }
  void SetName(const char* name) override;
  Object* GetObjectRef() override { return obj_; }
  void SetObjectRef(Object* obj) override;
  Mtl* GetMtl() override { return mtl_; }
  void SetMtl(Mtl* mtl) override;
  Matrix3 GetNodeTM(TimeValue t, Interval* valid = nullptr) override;
  Matrix3 GetObjectTM(TimeValue t, Interval* valid = nullptr) override;
  const ObjectState& EvalWorldState(TimeValue t, BOOL evalHidden = TRUE) override;
  void InvalidateWS() override { wsOk_ = false; }
  INode* GetParentNode() override { return parent_; }
  int NumberOfChildren() override { return int(children_.size() - holes_); }
  INode* GetChildNode(int i) override;
  BOOL IsRootNode() override { return root_ ? TRUE : FALSE; }
  void AttachChild(INode* node, int keepTM = 1) override;

  Control* GetPositionController() override { return ctrl_[0]; }
  Control* GetRotationController() override { return ctrl_[1]; }
  Control* GetScaleController() override { return ctrl_[2]; }
  void SetPositionController(Control* c) override;
  void SetRotationController(Control* c) override;
  void SetScaleController(Control* c) override;

  void SetObjOffsetPos(const Point3& p) override;
  Point3 GetObjOffsetPos() override { return offPos_; }
  void SetObjOffsetRot(const Quat& q) override;
  Quat GetObjOffsetRot() override { return offRot_; }
  void SetObjOffsetScale(const Point3& s) override;
  Point3 GetObjOffsetScale() override { return offScale_; }

  int NumRefs() override { return 5; }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle target) override;
  RefResult NotifyRefChanged(const Interval& changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  // The name and the object offset; the controllers and the object are its references, and its place in
  // the scene is the scene's to save. Load sets them as saved (IO_ERROR, nothing changed, for damaged data).
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  // Both in constant time (detaching leaves a hole, closed when children are next asked for by index).
  void AddChild(SceneNode* child);
  void DetachChild(SceneNode* child);

  // Ranks nodes by creation, for "the first node with that name".
  uint64_t CreationOrder() const { return order_; }
  // The scene's name index that this node keeps up to date when renamed; null when not in a scene.
  void SetNameIndex(NodeNames* names) { names_ = names; }
  // In the scene: the root, or a node indexed by the scene's names.
  bool InScene() const { return root_ || names_; }

 private:
  void TransformChanged();
  void CloseHoles();

  std::string name_;
  uint64_t order_;
  NodeNames* names_ = nullptr;
  bool root_;
  bool deletable_ = false;
  Object* obj_ = nullptr;
  Control* ctrl_[3] = {nullptr, nullptr, nullptr};  // position, rotation, scale
  Mtl* mtl_ = nullptr;
  Point3 offPos_;
  Quat offRot_;
  Point3 offScale_{1.0f, 1.0f, 1.0f};
  SceneNode* parent_ = nullptr;
  std::vector<SceneNode*> children_;  // in attachment order; null where a child was detached
  size_t holes_ = 0;
  size_t slot_ = 0;  // this node's place in its parent's children_

  ObjectState ws_;
  Interval wsValid_;
  bool wsOk_ = false;
  unsigned wsStamp_ = 0;
};

// Replaces every node of the scene by loaded ones (built outside the scene), each given with the node it
// hangs under (null: the root) and listed after that node, then sets ticks per frame, the animation range
// and the scene time. The scene takes the nodes; nothing here can fail.
void InstallScene(const std::vector<std::pair<SceneNode*, SceneNode*>>& nodes, int ticksPerFrame, Interval range,
                  TimeValue time);

class ClassDesc;
// Whether a descriptor is one of the host's own classes (hostclasses.cpp), whose objects load their data
// before their references are restored; plug-in objects load theirs after.
bool IsHostClass(ClassDesc* cd);
