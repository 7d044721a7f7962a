#pragma once
// Function publishing: interfaces that a class describes once (FPInterfaceDesc, registered with its class
// descriptor) and that scripts call by name. A mixin interface is implemented by each instance of the
// class and reached through the instance's GetInterface(Interface_ID).
#include <string>
#include <vector>

#include "baseinterface.h"
#include "iparamb2.h"
#include "maxtypes.h"

class ClassDesc;
class Animatable;
class FPInterfaceDesc;

typedef short FunctionID;
typedef int FPStatus;
#define FPS_OK 1
#define FPS_FAIL 0
#define FPS_NO_SUCH_FUNCTION -1
#define FPS_ACTION_DISABLED -2

// Interface flags
#define FP_ACTIONS 0x0001
#define FP_MIXIN 0x0002
#define FP_CORE 0x0004
#define FP_STATIC_METHODS 0x0008

// A function's result (only results without a value are supported so far: type TYPE_VOID).
struct HOSTAPI FPValue {
  int type = TYPE_VOID;
};
// A call's arguments (no function takes any so far).
struct HOSTAPI FPParams {
  int Count() const { return 0; }
};

// One published function, as the descriptor lists it.
struct HOSTAPI FPFunctionDef {
  FunctionID ID = -1;
  std::string internal_name;
  int description = 0;  // string id, 0 for none
  int result_type = TYPE_VOID;
  ULONG flags = 0;
  int num_args = 0;
};

class HOSTAPI FPInterface : public BaseInterface {
 public:
  // The descriptor of this interface; null for none.
  virtual FPInterfaceDesc* GetDesc() = 0;
  Interface_ID GetID() override;
  // Calls function fid; result untouched for a function without result. FPS_NO_SUCH_FUNCTION for an id
  // the interface does not publish.
  virtual FPStatus Invoke(FunctionID fid, TimeValue t = 0, FPParams* params = nullptr);

 protected:
  // Carries out a call: what an implementation overrides.
  virtual FPStatus _dispatch_fn(FunctionID fid, TimeValue t, FPValue& result, FPParams* p) {
    return FPS_NO_SUCH_FUNCTION;
  }
};

// An interface implemented by each instance of a class (the flag FP_MIXIN on its descriptor).
class HOSTAPI FPMixinInterface : public FPInterface {};

// The static description of one interface. Built as
//   FPInterfaceDesc(id, "internal name", descriptionStringId, classDesc, flags,
//                   functionId, "function name", descriptionStringId, resultType, functionFlags, numArgs,
//                   [argument descriptions: not supported, numArgs must be 0,]
//                   ...more functions..., p_end);
// and registered with classDesc (AddInterface) when classDesc is not null. A table that is malformed (a
// function without name, arguments, two functions with one id or one name) is a programming error,
// reported through the assertion handler with the source "FPInterfaceDesc".
class HOSTAPI FPInterfaceDesc : public FPInterface {
 public:
  FPInterfaceDesc(Interface_ID id, const char* internalName, int descriptionId, ClassDesc* cd, ULONG flags, ...);
  ~FPInterfaceDesc() override;
  FPInterfaceDesc(const FPInterfaceDesc&) = delete;
  FPInterfaceDesc& operator=(const FPInterfaceDesc&) = delete;

  Interface_ID GetID() override { return id_; }
  FPInterfaceDesc* GetDesc() override { return this; }
  const char* InternalName() const { return internal_name_.c_str(); }
  ULONG Flags() const { return flags_; }
  ClassDesc* GetClassDesc() const { return cd_; }
  int NumFunctions() const { return int(functions_.size()); }
  const FPFunctionDef* Function(int i) const;
  // The function with that internal name, or null.
  const FPFunctionDef* FindFunction(const char* name) const;

 private:
  Interface_ID id_;
  std::string internal_name_;
  int description_;
  ClassDesc* cd_;
  ULONG flags_;
  std::vector<FPFunctionDef> functions_;
  friend class ClassDesc;  // a class descriptor that goes first lets go of its descriptors
};

// What a script does when it calls obj.<function>(): finds, among the interfaces registered with the
// object's class descriptor (looked up by super class and class id in the host's class directory), the
// mixin interface publishing a function of that name, asks the object for it (GetInterface) and invokes
// the function at time t. FPS_NO_SUCH_FUNCTION when no interface publishes the name or the object does not
// answer the interface.
HOSTAPI FPStatus CallPublishedFunction(Animatable* obj, const char* name, TimeValue t = 0);
// The same among the interfaces registered with cd, for a caller that knows the object's class.
HOSTAPI FPStatus CallPublishedFunction(Animatable* obj, ClassDesc* cd, const char* name, TimeValue t = 0);
