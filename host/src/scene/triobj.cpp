// TriObject: the triangle-mesh object.
#include "triobj.h"

TriObject::~TriObject() = default;

RefTargetHandle TriObject::Clone(RemapDir& remap) {
  auto* copy = static_cast<TriObject*>(MakeShallowCopy(ALL_CHANNELS));
  BaseClone(this, copy, remap);
  return copy;
}

Object* TriObject::MakeShallowCopy(ChannelMask) {
  auto* copy = new TriObject();
  copy->mesh = mesh;
  copy->CopyValidity(*this);
  return copy;
}

TriObject* CreateNewTriObject() { return new (std::nothrow) TriObject(); }
