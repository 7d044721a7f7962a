#pragma once
// The modifier's particle recording, with the operations that record a particle system into it.
#include "particles/ParticleSystemState.h"

class ParticleStateBuilder : public ParticleSystemState {
 public:
  ParticleStateBuilder() = default;
};
