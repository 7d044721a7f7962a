// Scene nodes: transforms from controllers, the object offset and the cached world state.
#include <algorithm>
#include <atomic>

#include "../core/datastream.h"
#include "nodenames.h"
#include "debug.h"
#include "imtl.h"
#include "scene_internal.h"

namespace {

// Scale x Rotate x Translate, the order the host composes node and offset transforms in.
Matrix3 ComposeSRT(const Point3& s, const Quat& q, const Point3& p) {
  Matrix3 r;
  r.SetRotate(q);
  return ScaleMatrix(s) * r * TransMatrix(p);
}

enum { kObjRef = 0, kPosRef = 1, kRotRef = 2, kScaleRef = 3, kMtlRef = 4 };

std::atomic<uint64_t> g_created{0};

}  // namespace

SceneNode::SceneNode(bool isRoot) : order_(g_created++), root_(isRoot) {
  if (isRoot) {
    name_ = "Scene Root";
    return;
  }
  ReplaceReference(kPosRef, NewDefaultPositionController());
  ReplaceReference(kRotRef, NewDefaultRotationController());
  ReplaceReference(kScaleRef, NewDefaultScaleController());
}

SceneNode::~SceneNode() {
  for (SceneNode* c : children_)
    if (c) c->parent_ = nullptr;
  if (parent_) parent_->DetachChild(this);
  if (names_) names_->Remove(this);
  DeleteAllRefsFromMe();
}

void SceneNode::SetName(const char* name) {
  const std::string from = std::move(name_);
  name_ = name ? name : "";
  if (names_) names_->Renamed(this, from);
}

void SceneNode::SetObjectRef(Object* obj) {
  ReplaceReference(kObjRef, obj);
  wsOk_ = false;
  ws_ = ObjectState();
}

void SceneNode::SetMtl(Mtl* mtl) {
  if (root_) {
    DbgAssert(!"the scene's root carries no material");
    return;
  }
  ReplaceReference(kMtlRef, mtl);
}

INode* SceneNode::GetChildNode(int i) {
  if (i < 0 || i >= NumberOfChildren()) return nullptr;
  CloseHoles();
  return children_[size_t(i)];
}

void SceneNode::AttachChild(INode* node, int) {
  auto* child = dynamic_cast<SceneNode*>(node);
  if (!child || child->root_ || !child->InScene() || !InScene()) return;
  for (SceneNode* up = this; up; up = up->parent_)
    if (up == child) return;
  AddChild(child);
}

void SceneNode::AddChild(SceneNode* child) {
  if (child->parent_) child->parent_->DetachChild(child);
  child->parent_ = this;
  child->slot_ = children_.size();
  children_.push_back(child);
}

void SceneNode::DetachChild(SceneNode* child) {
  if (child->parent_ != this || child->slot_ >= children_.size() || children_[child->slot_] != child) return;
  children_[child->slot_] = nullptr;
  child->parent_ = nullptr;
  ++holes_;
  // Deleting from the end, as a scene reset does, leaves no holes behind.
  while (!children_.empty() && !children_.back()) {
    children_.pop_back();
    --holes_;
  }
}

void SceneNode::CloseHoles() {
  if (!holes_) return;
  children_.erase(std::remove(children_.begin(), children_.end(), nullptr), children_.end());
  for (size_t i = 0; i < children_.size(); ++i) children_[i]->slot_ = i;
  holes_ = 0;
}

Matrix3 SceneNode::GetNodeTM(TimeValue t, Interval* valid) {
  Point3 p(0.0f, 0.0f, 0.0f);
  Quat q;
  Point3 s(1.0f, 1.0f, 1.0f);
  Interval iv = FOREVER;
  if (ctrl_[0]) ctrl_[0]->GetValue(t, &p, iv, CTRL_ABSOLUTE);
  if (ctrl_[1]) ctrl_[1]->GetValue(t, &q, iv, CTRL_ABSOLUTE);
  if (ctrl_[2]) ctrl_[2]->GetValue(t, &s, iv, CTRL_ABSOLUTE);
  if (valid) *valid &= iv;
  return ComposeSRT(s, q, p);
}

Matrix3 SceneNode::GetObjectTM(TimeValue t, Interval* valid) {
  return ComposeSRT(offScale_, offRot_, offPos_) * GetNodeTM(t, valid);
}

const ObjectState& SceneNode::EvalWorldState(TimeValue t, BOOL) {
  if (!obj_) {
    ws_ = ObjectState();
    wsOk_ = false;
    return ws_;
  }
  auto* derived = dynamic_cast<DerivedObject*>(obj_);
  // The derived object may have recomputed its top result since (a direct Eval): then ours is gone.
  unsigned stamp = derived ? derived->ResultStamp(0) : 0;
  if (wsOk_ && stamp == wsStamp_ && wsValid_.InInterval(t)) return ws_;
  wsOk_ = false;
  ObjectState os = obj_->Eval(t);
  ws_ = os;
  wsValid_ = os.Validity(t);
  wsStamp_ = derived ? derived->ResultStamp(0) : 0;
  wsOk_ = true;
  return ws_;
}

void SceneNode::TransformChanged() {
  wsOk_ = false;
  // A stack may depend on where its node is (a trail does): its held results are stale too.
  if (auto* derived = dynamic_cast<DerivedObject*>(obj_)) derived->InvalidateResults();
}

void SceneNode::SetPositionController(Control* c) {
  if (root_) return;
  ReplaceReference(kPosRef, c ? c : NewDefaultPositionController());
  TransformChanged();
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

void SceneNode::SetRotationController(Control* c) {
  if (root_) return;
  ReplaceReference(kRotRef, c ? c : NewDefaultRotationController());
  TransformChanged();
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

void SceneNode::SetScaleController(Control* c) {
  if (root_) return;
  ReplaceReference(kScaleRef, c ? c : NewDefaultScaleController());
  TransformChanged();
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

void SceneNode::SetObjOffsetPos(const Point3& p) {
  offPos_ = p;
  TransformChanged();
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

void SceneNode::SetObjOffsetRot(const Quat& q) {
  offRot_ = q;
  offRot_.Normalize();
  TransformChanged();
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

void SceneNode::SetObjOffsetScale(const Point3& s) {
  offScale_ = s;
  TransformChanged();
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

RefTargetHandle SceneNode::GetReference(int i) {
  if (i == kObjRef) return obj_;
  if (i >= kPosRef && i <= kScaleRef) return ctrl_[i - kPosRef];
  if (i == kMtlRef) return mtl_;
  return nullptr;
}

void SceneNode::SetReference(int i, RefTargetHandle target) {
  if (i == kObjRef) {
    obj_ = static_cast<Object*>(target);
    wsOk_ = false;
    ws_ = ObjectState();
  } else if (i >= kPosRef && i <= kScaleRef) {
    ctrl_[i - kPosRef] = static_cast<Control*>(target);
  } else if (i == kMtlRef) {
    mtl_ = static_cast<Mtl*>(target);
  }
}

RefResult SceneNode::NotifyRefChanged(const Interval&, RefTargetHandle hTarget, PartID& partID, RefMessage message) {
  if (message == REFMSG_GET_NODE_NAME) {
    // The chain ends here: the node's own dependents are not asked.
    if (partID) *reinterpret_cast<TSTR*>(partID) = name_.c_str();
    return REF_STOP;
  }
  if (message == REFMSG_CHANGE || message == REFMSG_TARGET_DELETED) {
    if (hTarget == obj_) {
      wsOk_ = false;
    } else if (hTarget && (hTarget == ctrl_[0] || hTarget == ctrl_[1] || hTarget == ctrl_[2])) {
      TransformChanged();
    }
  }
  return REF_SUCCEED;
}

IOResult SceneNode::Save(ISave* isave) {
  if (root_) return IO_ERROR;  // the root is the scene's own
  return hostio::SaveData(isave, [&](hostio::Writer& w) {
    w.Str(name_);
    w.P3(offPos_);
    w.Q(offRot_);
    w.P3(offScale_);
  });
}

IOResult SceneNode::Load(ILoad* iload) {
  if (root_) return IO_ERROR;
  std::string name;
  Point3 pos, scale;
  Quat rot;
  const IOResult r = hostio::LoadData(iload, [&](hostio::Reader& in) {
    // A name holds no NUL: it could not be given back whole through GetName.
    return in.Str(name) && (name.find('\0') == std::string::npos || in.Fail()) && in.P3(pos) && in.Q(rot) &&
           in.P3(scale);
  });
  if (r != IO_OK) return IO_ERROR;
  SetName(name.c_str());
  // As saved: the rotation was normalised when it was set, and is not normalised again.
  offPos_ = pos;
  offRot_ = rot;
  offScale_ = scale;
  TransformChanged();
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  return IO_OK;
}
