#pragma once
// How a parameter's value is stored, by its type: shared by the descriptor parser and the block.
#include "iparamb2.h"

namespace paramkind {

enum class Kind { Int, Float, Point, String, Ref, Unsupported };

inline Kind KindOf(int type) {
  switch (base_type(type)) {
    case TYPE_INT:
    case TYPE_BOOL:
    case TYPE_TIMEVALUE:
    case TYPE_RADIOBTN_INDEX:
    case TYPE_INDEX:
      return Kind::Int;
    case TYPE_FLOAT:
    case TYPE_ANGLE:
    case TYPE_PCNT_FRAC:
    case TYPE_WORLD:
    case TYPE_COLOR_CHANNEL:
      return Kind::Float;
    case TYPE_POINT3:
    case TYPE_RGBA:
    case TYPE_HSV:
      return Kind::Point;
    case TYPE_STRING:
    case TYPE_FILENAME:
      return Kind::String;
    case TYPE_MTL:
    case TYPE_TEXMAP:
    case TYPE_INODE:
    case TYPE_REFTARG:
    case TYPE_PBLOCK2:
      return Kind::Ref;
    default:
      return Kind::Unsupported;
  }
}

// Animatable numbers may be driven by a float controller held in the slot's reference.
inline bool Controllable(const ParamDef& d) {
  Kind k = KindOf(d.type);
  return (d.flags & P_ANIMATABLE) && (k == Kind::Int || k == Kind::Float);
}

// Parameters whose entries are references of the block: one reference per entry, numbered through the
// parameters in descriptor order.
inline bool HoldsRefs(const ParamDef& d) { return KindOf(d.type) == Kind::Ref || Controllable(d); }

}  // namespace paramkind
