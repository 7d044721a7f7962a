#pragma once
// The one class the library offers: the Wakeweave object-space modifier.
#include <max.h>

class WakeweaveClassDesc : public ClassDesc2 {
 public:
  ~WakeweaveClassDesc() override = default;
  int IsPublic() override { return TRUE; }
  void* Create(BOOL loading = FALSE) override;
  const char* ClassName() override;
  SClass_ID SuperClassID() override { return OSM_CLASS_ID; }
  Class_ID ClassID() override;
  const char* Category() override;
  const char* InternalName() override { return "Wakeweave"; }
  HINSTANCE HInstance() override;
};

// Accepts only nodes whose object is a particle system (answers interface 0x1050).
class ParticlePickerPBValidator : public PBValidator {
 public:
  BOOL Validate(PB2Value& v) override;
  void DeleteThis() override {}
};
