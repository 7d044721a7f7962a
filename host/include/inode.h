#pragma once
// Scene nodes, as the plug-in sees them. The concrete node lives in the host.
#include "ref.h"

class Object;
class Mtl;
class Matrix3;
class Quat;
class Control;
class Point3;
struct ObjectState;

// Asks a target's dependents for the name of the node at the end of their chain: the modifier sends it
// with partID the address of a TSTR, and a node that hears it writes its name there.
#define REFMSG_GET_NODE_NAME 0x0000010C

class HOSTAPI INode : public ReferenceTarget {
 public:
  SClass_ID SuperClassID() override { return BASENODE_CLASS_ID; }
  virtual const char* GetName() = 0;
  virtual void SetName(const char* name) = 0;
  // The object the node carries: a base object or a derived object holding its modifier stack.
  virtual Object* GetObjectRef() = 0;
  virtual void SetObjectRef(Object* obj) = 0;
  // The node's material (a reference of the node; null: none). The one it replaces goes when nothing else
  // references it. The root carries no material: setting one there is a fault (reported, nothing changes).
  virtual Mtl* GetMtl() = 0;
  virtual void SetMtl(Mtl* mtl) = 0;
  virtual Matrix3 GetNodeTM(TimeValue t, Interval* valid = nullptr) = 0;
  virtual Matrix3 GetObjectTM(TimeValue t, Interval* valid = nullptr) = 0;
  // The result of the node's pipeline at t, in object space.
  virtual const ObjectState& EvalWorldState(TimeValue t, BOOL evalHidden = TRUE) = 0;
  virtual void InvalidateWS() = 0;
  virtual INode* GetParentNode() = 0;
  virtual int NumberOfChildren() = 0;
  virtual INode* GetChildNode(int i) = 0;
  virtual BOOL IsRootNode() = 0;
  // Hangs node under this one, taken from its parent and placed after this node's other children. Refused
  // (nothing happens) for this node itself, one of its ancestors, the root, or a node that is not in the
  // scene. The hierarchy is kept and saved, but the stand-in's transforms do not compose with the parent's:
  // a child's NodeTM is its own controllers' whatever its parent (keepTM is accepted and ignored).
  virtual void AttachChild(INode* node, int keepTM = 1) = 0;

  // The transform controllers (references of the node): position (Point3), rotation (Quat) and scale
  // (Point3) values, CTRL_ABSOLUTE. NodeTM(t) = Scale(t) x Rotate(t) x Translate(t). Setting a null
  // controller puts a new default one in its place.
  virtual Control* GetPositionController() = 0;
  virtual Control* GetRotationController() = 0;
  virtual Control* GetScaleController() = 0;
  virtual void SetPositionController(Control* c) = 0;
  virtual void SetRotationController(Control* c) = 0;
  virtual void SetScaleController(Control* c) = 0;

  // The object offset (static): ObjectTM(t) = Scale x Rotate x Translate of the offset, times NodeTM(t).
  virtual void SetObjOffsetPos(const Point3& p) = 0;
  virtual Point3 GetObjOffsetPos() = 0;
  virtual void SetObjOffsetRot(const Quat& q) = 0;
  virtual Quat GetObjOffsetRot() = 0;
  virtual void SetObjOffsetScale(const Point3& s) = 0;
  virtual Point3 GetObjOffsetScale() = 0;
};
