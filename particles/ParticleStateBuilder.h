#pragma once
// The modifier's particle recording, with the operations that record a particle system into it: one
// recorder for systems with the particle-object extension interface (Particle Flow and the like), one for
// legacy systems read through the scripting runtime.
#include <max.h>

#include "particles/ParticleSystemState.h"

class IProgress;

// Thrown only to abandon a legacy recording when the user cancels.
class ParticleStateBuilderException {};

class ParticleStateBuilder : public ParticleSystemState {
 public:
  // Age of a legacy particle that is not alive at a sample.
  static const int kNotAlive = INT_MAX;

  ParticleStateBuilder() = default;

  // Records the node's particle system from start to end (inclusive) every `step` ticks. progress and
  // eventFilter may be null; a null filter takes every event. TRUE when the state was recorded; otherwise
  // the state is left empty.
  BOOL build(INode* node, TimeValue start, TimeValue end, int step, IProgress* progress, Tab<INode*>* eventFilter);
  // Whether the node's object offers the particle-object extension interface.
  bool hasParticleObjectExt(INode* node);
  BOOL buildParticleFlowState(INode* node, TimeValue start, TimeValue end, int step, IProgress* progress,
                              Tab<INode*>* eventFilter);
  BOOL buildParticleSystemState(INode* node, TimeValue start, TimeValue end, int step, IProgress* progress);

  // Age in ticks of legacy particle `index` (0-based) at the script time, or kNotAlive.
  static int particleAge(Value* node, int index);
  // World position of legacy particle `index` at the script time, or (-1, -1, -1).
  static Point3 particlePos(Value* node, int index);
};
