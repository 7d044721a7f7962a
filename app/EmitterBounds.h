#pragma once
// What one emitter of a scene file may make. The command keeps the defaults (see the README); a harness that
// loads many scenes in one process, such as the fuzzer, may set smaller ones.
#include <cstdint>

namespace scenefile {

struct EmitterBounds {
  uint64_t particles = 1000000;
  uint64_t pathKeys = 10000000;  // over all the emitter's particle paths
};

// Sets the bounds later loads use; returns the ones in force before.
EmitterBounds SetEmitterBounds(const EmitterBounds& bounds);

}  // namespace scenefile
