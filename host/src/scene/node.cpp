// Scene nodes: transforms from controllers, the object offset and the cached world state.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "../core/datastream.h"
#include "nodenames.h"
#include "debug.h"
#include "imtl.h"
#include "scene_internal.h"

namespace {

// Scale x Rotate x Translate, the order the host composes node and offset transforms in, as products.
Matrix3 ProductSRT(const Point3& s, const Quat& q, const Point3& p) {
  Matrix3 r;
  r.SetRotate(q);
  return ScaleMatrix(s) * r * TransMatrix(p);
}

bool SameBits(const float* a, const float* b, size_t n) { return std::memcmp(a, b, n * sizeof(float)) == 0; }

bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// Scale x Rotate x Translate. A node that neither scales nor turns (most moving nodes, and every default
// object offset) gets the products' result without them: the unit axes, and the translation plus +0 (the
// products' zero terms are all +0, so their sum only turns a -0 into +0). The flags do not depend on p.
Matrix3 ComposeSRT(const Point3& s, const Quat& q, const Point3& p) {
  static const float kUnitScale[3] = {1.0f, 1.0f, 1.0f};
  static const float kNoTurn[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  const float sq[7] = {s.x, s.y, s.z, q.x, q.y, q.z, q.w};
  if (!SameBits(sq, kUnitScale, 3) || !SameBits(sq + 3, kNoTurn, 4) || !Finite(p)) return ProductSRT(s, q, p);
  static const Matrix3 unit = ProductSRT(Point3(1.0f, 1.0f, 1.0f), Quat(), Point3(0.0f, 0.0f, 0.0f));
  Matrix3 m = unit;
  MRow& row = m.GetAddr()[3];  // raw: the flags stay the products'
  row[0] = p.x + 0.0f;
  row[1] = p.y + 0.0f;
  row[2] = p.z + 0.0f;
  return m;
}

// offset * tm. An offset of unit axes and no translation (the default) gives tm's own floats when they are
// all finite and none is -0: each is then the one nonzero term of its sum, or +0 among +0 terms (a -0 would
// become +0; composed transforms hardly ever hold one, but the product decides then). The flags are the
// product's.
Matrix3 ApplyOffset(const Matrix3& offset, const Matrix3& tm) {
  static const float kUnit[12] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f};
  if (!SameBits(&offset.GetAddr()[0][0], kUnit, 12) || (offset.GetIdentFlags() & ~DWORD(MAT_IDENT)) != 0)
    return offset * tm;
  const float* f = &tm.GetAddr()[0][0];
  for (int i = 0; i < 12; ++i)
    if (!std::isfinite(f[i]) || (f[i] == 0.0f && std::signbit(f[i]))) return offset * tm;
  Matrix3 m = tm;
  m.SetIdentFlags(offset.GetIdentFlags() & tm.GetIdentFlags() & MAT_IDENT);
  return m;
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
  return ApplyOffset(ComposeSRT(offScale_, offRot_, offPos_), GetNodeTM(t, valid));
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
