// The choice of recorder, and the recorder of particle systems with the particle-object extension
// interface (Particle Flow and the like).
#include "particles/ParticleStateBuilder.h"

#include "particles/RecorderSupport.h"

namespace {

// The extension interface of the node's referenced object, or null.
IParticleObjectExt* particleObjectExt(INode* node) {
  if (node == NULL) return NULL;
  Object* obj = node->GetObjectRef();
  if (obj == NULL) return NULL;
  return static_cast<IParticleObjectExt*>(obj->GetInterface(PARTICLEOBJECTEXT_INTERFACE));
}

// Whether the particle of that born index is alive in one of the chosen events. A particle whose event
// is unknown (no event node) is in none of them, even if the list holds a null entry.
bool inChosenEvents(IParticleObjectExt* ext, int bornIndex, const Tab<INode*>& events) {
  int index = 0;
  if (!ext->HasParticleBornIndex(bornIndex, index)) return false;
  INode* group = ext->GetParticleGroup(index);
  if (group == NULL) return false;
  for (int k = 0; k < events.Count(); ++k)
    if (events[k] == group) return true;
  return false;
}

}  // namespace

BOOL ParticleStateBuilder::build(INode* node, TimeValue start, TimeValue end, int step, IProgress* progress,
                                 Tab<INode*>* eventFilter) {
  if (hasParticleObjectExt(node)) return buildParticleFlowState(node, start, end, step, progress, eventFilter);
  return buildParticleSystemState(node, start, end, step, progress);
}

// Never throws: an object that fails to answer the query has no interface to record through, and the
// age written for the diagnostic must not change the answer.
bool ParticleStateBuilder::hasParticleObjectExt(INode* node) {
  IParticleObjectExt* ext = NULL;
  try {
    ext = particleObjectExt(node);
  } catch (...) {
    return false;
  }
  if (ext == NULL) return false;
  try {
    DebugPrint("Got IParticleObjectExt - age(0) = %d\n", int(ext->GetParticleAgeByBornIndex(0)));
  } catch (...) {
  }
  return true;
}

BOOL ParticleStateBuilder::buildParticleFlowState(INode* node, TimeValue start, TimeValue end, int step,
                                                  IProgress* progress, Tab<INode*>* eventFilter) {
  recorder::Report report(progress);
  try {
    const TimeValue sceneTime = GetCOREInterface()->GetTime();
    setParticleFlow(1);
    clear();
    // A step that is not positive would never reach the end: a caller's mistake, refused before anything
    // is reported.
    if (step <= 0) return FALSE;
    IParticleObjectExt* ext = particleObjectExt(node);
    if (ext == NULL) return FALSE;

    report.start();
    ext->UpdateParticles(node, end);
    const int generated = ext->NumParticlesGenerated();
    DebugPrint("NumParticlesGenerated() = %d\n", generated);
    resize(generated);

    for (recorder::SampleTimes times(start, end, step); times.more(); times.next()) {
      const TimeValue t = times.time();
      if (report.cancelled()) {
        report.end();
        clear();
        return FALSE;
      }
      report.update(t, start, end);
      ext->UpdateParticles(node, t);
      // Born index i is life i; particles born after the end time grow the state.
      for (int i = 0; i < ext->NumParticlesGenerated(); ++i) {
        if (numParticles() - 1 < i) {
          DebugPrint("RESIZING to %d\n", i + 1);
          resize(i + 1);
        }
        ParticleState& life = particle(i);
        if (eventFilter != NULL && !inChosenEvents(ext, i, *eventFilter)) continue;
        const TimeValue age = ext->GetParticleAgeByBornIndex(i);
        if (age < 0) continue;
        // Age 0 starts a life; seen again later it adds nothing.
        if (age == 0 && life.numKeys() > 0) continue;
        // The host's pointers last only until its next call: copied at once.
        if (Matrix3* tm = ext->GetParticleTMByBornIndex(i)) {
          life.addKey(ParticlePositionKey(t, *tm, age));
        } else if (Point3* pos = ext->GetParticlePositionByBornIndex(i)) {
          life.addKey(ParticlePositionKey(t, *pos, age));
        }
      }
    }

    ext->UpdateParticles(node, sceneTime);
    report.end();
    computeMaxLifeSpan();
    return TRUE;
  } catch (...) {
    DebugPrint("Exception thrown in ParticleStateBuilder::buildParticleFlowState\n");
    clear();
    if (report.open()) {
      try {
        report.end();
      } catch (...) {
      }
    }
    return FALSE;
  }
}
