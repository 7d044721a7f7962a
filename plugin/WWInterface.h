#pragma once
// The scripting interface of the modifier: one command, published through the host's function
// publishing and carried by each modifier instance.
#include <max.h>

#define WW_INTERFACE_ID Interface_ID(0x7E1D629D, 0x1DB22765)

// Function ids of the interface's table.
enum { ww_regenerate_particle_trails = 0 };

class WWInterface : public FPMixinInterface {
 public:
  // The static interface descriptor.
  FPInterfaceDesc* GetDesc() override;
  // Recomputes the particle trails, whether or not particle trails are switched on.
  virtual void regenerate_particle_trails() = 0;

 protected:
  FPStatus _dispatch_fn(FunctionID fid, TimeValue t, FPValue& result, FPParams* p) override;
};
