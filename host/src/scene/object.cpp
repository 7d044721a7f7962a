// Objects: channel validity, locking and the copies the pipeline works on.
#include "object.h"

Interval ObjectState::Validity(TimeValue t) const {
  if (!obj) return NEVER;
  Interval v = obj->ObjectValidity(t);
  if (tm) v &= tmValid;
  return v;
}

Object::Object() {
  for (Interval& v : valid_) v = FOREVER;
}

Object::~Object() = default;

Interval Object::ChannelValidity(TimeValue, int nchan) {
  if (nchan < 0 || nchan >= NUM_OBJ_CHANS) return NEVER;
  return valid_[nchan];
}

void Object::SetChannelValidity(int nchan, Interval v) {
  if (nchan >= 0 && nchan < NUM_OBJ_CHANS) valid_[nchan] = v;
}

void Object::UpdateValidity(int nchan, Interval v) {
  if (nchan >= 0 && nchan < NUM_OBJ_CHANS) valid_[nchan] &= v;
}

void Object::InvalidateChannels(ChannelMask channels) {
  for (int i = 0; i < NUM_OBJ_CHANS; ++i)
    if (channels & (ChannelMask(1) << i)) valid_[i] = NEVER;
}

Interval Object::ObjectValidity(TimeValue t) {
  Interval v = FOREVER;
  for (int i = 0; i < NUM_OBJ_CHANS; ++i) v &= ChannelValidity(t, i);
  return v;
}

Object* Object::MakeShallowCopy(ChannelMask) {
  RefTargetHandle copy = CloneRefHierarchy(this);
  // Clone answers with an object of the same kind; anything else is a broken clone and is not used.
  if (copy && copy->SuperClassID() == SuperClassID()) return static_cast<Object*>(copy);
  if (copy) copy->DeleteThis();
  return nullptr;
}

Object* Object::MakeCopyAt(TimeValue) {
  Object* copy = MakeShallowCopy(ALL_CHANNELS);
  if (copy) copy->UnlockObject();
  return copy;
}

void Object::CopyValidity(const Object& from) {
  for (int i = 0; i < NUM_OBJ_CHANS; ++i) valid_[i] = from.valid_[i];
}
