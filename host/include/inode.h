#pragma once
// Scene nodes, as the plug-in sees them. The concrete node lives in the host.
#include "ref.h"

class Object;
class Matrix3;
struct ObjectState;

class HOSTAPI INode : public ReferenceTarget {
 public:
  SClass_ID SuperClassID() override { return BASENODE_CLASS_ID; }
  virtual const char* GetName() = 0;
  virtual void SetName(const char* name) = 0;
  // The object the node carries: a base object or a derived object holding its modifier stack.
  virtual Object* GetObjectRef() = 0;
  virtual void SetObjectRef(Object* obj) = 0;
  virtual Matrix3 GetNodeTM(TimeValue t, Interval* valid = nullptr) = 0;
  virtual Matrix3 GetObjectTM(TimeValue t, Interval* valid = nullptr) = 0;
  // The result of the node's pipeline at t, in object space.
  virtual const ObjectState& EvalWorldState(TimeValue t, BOOL evalHidden = TRUE) = 0;
  virtual void InvalidateWS() = 0;
  virtual INode* GetParentNode() = 0;
  virtual int NumberOfChildren() = 0;
  virtual INode* GetChildNode(int i) = 0;
  virtual BOOL IsRootNode() = 0;
};
