#include "plugin/WakeweaveClassDesc.h"

#include "modifier/Wakeweave.h"
#include "plugin/Globals.h"
#include "plugin/ParamIds.h"
#include "plugin/resource.h"

void* WakeweaveClassDesc::Create(BOOL /*loading*/) {
  try {
    return new Wakeweave();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

const char* WakeweaveClassDesc::ClassName() { return GetString(IDS_CLASS_NAME); }
Class_ID WakeweaveClassDesc::ClassID() { return WAKEWEAVE_CLASS_ID; }
const char* WakeweaveClassDesc::Category() { return GetString(IDS_CATEGORY); }
HINSTANCE WakeweaveClassDesc::HInstance() { return hInstance; }

BOOL ParticlePickerPBValidator::Validate(PB2Value& v) {
  INode* node = v.n;
  if (!node) return FALSE;
  Object* obj = node->GetObjectRef();
  if (!obj) return FALSE;
  return obj->GetInterface(ULONG(PARTICLE_SYSTEM_INTERFACE_ID)) != nullptr ? TRUE : FALSE;
}
