#include "plugin/WWInterface.h"

#include "plugin/Globals.h"

FPInterfaceDesc* WWInterface::GetDesc() { return GetWakeweaveInterfaceDesc(); }

FPStatus WWInterface::_dispatch_fn(FunctionID fid, TimeValue /*t*/, FPValue& /*result*/, FPParams* /*p*/) {
  switch (fid) {
    case ww_regenerate_particle_trails:
      regenerate_particle_trails();
      return FPS_OK;
    default:
      return FPS_NO_SUCH_FUNCTION;
  }
}
