#pragma once
// Interfaces that host objects hand out through GetInterface(Interface_ID).
#include "maxtypes.h"

class HOSTAPI BaseInterface {
 public:
  virtual ~BaseInterface() = default;
  virtual Interface_ID GetID() = 0;
};
