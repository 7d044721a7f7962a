#pragma once
// What the recalculation worker is given: which particle system to record, over which range, into which
// recording, restricted to which events, and where to report. It lives inside the progress dialog object,
// which outlives the worker.
#include <max.h>

class IProgress;
class ParticleStateBuilder;

struct RecalcJob {
  ParticleStateBuilder* pBuilder = nullptr;
  // Empty until the regeneration sets it to the scene's animation range.
  Interval range;
  IProgress* pProgress = nullptr;
  INode* pParticleNode = nullptr;
  // The events whose particles are traced, or null for all of them; owned by the regeneration.
  Tab<INode*>* pEvents = nullptr;
};
