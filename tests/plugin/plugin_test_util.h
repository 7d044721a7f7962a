#pragma once
// Helpers of the plug-in shell tests: a stand-in particle system object and a reference watcher.
#include "plugin_fixture.h"
#include "recording_loader.h"

// A geometric object that answers (or refuses) the particle system interface query by number.
class FakeParticleObject : public GeomObject {
 public:
  explicit FakeParticleObject(bool isParticleSystem) : isParticles_(isParticleSystem) {}
  using GeomObject::GetInterface;
  void* GetInterface(ULONG id) override {
    if (isParticles_ && id == 0x1050) return this;
    return GeomObject::GetInterface(id);
  }

 private:
  bool isParticles_;
};

// References one target and records every message that reaches it.
class RefWatcher : public ReferenceMaker {
 public:
  SClass_ID SuperClassID() override { return SClass_ID(0x100); }  // a plain maker: no host class
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int) override { return target_; }
  void SetReference(int, RefTargetHandle t) override { target_ = t; }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage message) override {
    messages.push_back(message);
    return REF_SUCCEED;
  }
  int Count(RefMessage m) const {
    int n = 0;
    for (RefMessage x : messages) n += (x == m);
    return n;
  }
  std::vector<RefMessage> messages;

 private:
  RefTargetHandle target_ = nullptr;
};
