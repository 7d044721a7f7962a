#pragma once
// Shared pieces of the function-publishing tests: a class descriptor, a mixin interface with two functions
// that count their calls, and an object that carries it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "max.h"
#include "classdir.h"

constexpr Interface_ID kMixinID(0x11112222, 0x33334444);

class FnpubClassDesc : public ClassDesc2 {
 public:
  explicit FnpubClassDesc(Class_ID id = Class_ID(0xF0, 0x0D)) : id_(id) {}
  int IsPublic() override { return TRUE; }
  void* Create(BOOL) override { return nullptr; }
  const char* ClassName() override { return "FnpubTest"; }
  SClass_ID SuperClassID() override { return OSM_CLASS_ID; }
  Class_ID ClassID() override { return id_; }
  const char* Category() override { return "Tests"; }

 private:
  Class_ID id_;
};

// Publishes "spin" (id 0) and "stop" (id 7); what each call saw is logged.
class CountingMixin : public FPMixinInterface {
 public:
  explicit CountingMixin(FPInterfaceDesc* desc) : desc_(desc) {}
  FPInterfaceDesc* GetDesc() override { return desc_; }
  using FPMixinInterface::_dispatch_fn;  // tests call it directly, as Invoke does

  struct Call {
    FunctionID fid;
    TimeValue t;
  };
  std::vector<Call> calls;

 protected:
  FPStatus _dispatch_fn(FunctionID fid, TimeValue t, FPValue& result, FPParams* p) override {
    calls.push_back({fid, t});
    return (fid == 0 || fid == 7) ? FPS_OK : FPS_NO_SUCH_FUNCTION;
  }

 private:
  FPInterfaceDesc* desc_;
};

// An object of the test class carrying the mixin, answering its interface id only (unless told to answer
// it with something else).
class MixinObject : public ReferenceTarget, public CountingMixin {
 public:
  MixinObject(FnpubClassDesc* cd, FPInterfaceDesc* desc) : CountingMixin(desc), cd_(cd) {}
  SClass_ID SuperClassID() override { return cd_->SuperClassID(); }
  Class_ID ClassID() override { return cd_->ClassID(); }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
  using ReferenceTarget::GetInterface;
  BaseInterface* GetInterface(Interface_ID id) override {
    ++queries;
    if (id != kMixinID) return ReferenceTarget::GetInterface(id);
    if (impostor) return impostor;
    return answers ? static_cast<CountingMixin*>(this) : nullptr;
  }
  bool answers = true;
  BaseInterface* impostor = nullptr;
  int queries = 0;

 private:
  FnpubClassDesc* cd_;
};

// Records assertion reports (source and expression) instead of aborting.
class AssertLog {
 public:
  AssertLog() {
    prev_ = SetAssertHandler([this](int, const char* file, const char* expr) {
      sources.push_back(file ? file : "");
      expressions.push_back(expr ? expr : "");
    });
  }
  ~AssertLog() { SetAssertHandler(prev_); }
  std::vector<std::string> sources, expressions;

 private:
  AssertHandler prev_;
};
