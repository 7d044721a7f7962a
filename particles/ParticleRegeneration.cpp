// The requests that act on the modifier's particle recording: regenerate it behind the progress dialog,
// and turn it into a spline node.
#include <max.h>

#include "modifier/Wakeweave.h"
#include "plugin/ParamIds.h"
#include "recalc/DlgProgress.h"
#include "recalc/ScopeLock.h"

namespace {

// Clears the rebuild flag on every way out, also when an exception leaves the regeneration.
class RebuildFlag {
 public:
  explicit RebuildFlag(int& flag) : m_flag(flag) { m_flag = 1; }
  ~RebuildFlag() { m_flag = 0; }
  RebuildFlag(const RebuildFlag&) = delete;
  RebuildFlag& operator=(const RebuildFlag&) = delete;

 private:
  int& m_flag;
};

INode* ParticleNodeOf(IParamBlock2* pb) {
  INode* node = NULL;
  Interval valid = FOREVER;
  if (!pb || !pb->GetValue(pb_particle_node, 0, node, valid)) return NULL;
  return node;
}

bool UsesAllEvents(IParamBlock2* pb) {
  int all = TRUE;
  Interval valid = FOREVER;
  if (!pb->GetValue(pb_use_all_pf_events, 0, all, valid)) return true;
  return all != 0;
}

// The chosen event nodes, in list order; entries without a node are left out.
void ChosenEvents(IParamBlock2* pb, Tab<INode*>& events) {
  const int count = pb->Count(pb_pf_event_list);
  for (int i = 0; i < count; ++i) {
    INode* event = NULL;
    Interval valid = FOREVER;
    if (pb->GetValue(pb_pf_event_list, 0, event, valid, i) && event) events.Append(1, &event);
  }
}

}  // namespace

void Wakeweave::regenerateParticleTrails() {
  // Held through the whole dialog: an evaluation on this thread meanwhile re-enters and is turned away by
  // the flag; one on another thread waits until the new recording is complete.
  ScopeLock lock(&m_lock);
  RebuildFlag rebuilding(m_bTrailRebuild);
  m_particleState.clear();
  INode* particleNode = ParticleNodeOf(pblock);
  if (!particleNode) return;

  const Interval range = GetCOREInterface()->GetAnimRange();
  Tab<INode*> events;
  const bool allEvents = UsesAllEvents(pblock);
  if (!allEvents) ChosenEvents(pblock, events);
  {
    // Whatever the outcome (recorded, failed, cancelled, not started), the worker has ended when DoModal
    // returns, and the recording is what it left: the trails change to it.
    DlgProgress dialog(&m_particleState, range, particleNode, allEvents ? NULL : &events);
    dialog.DoModal();
  }
  m_bTrailRebuild = 0;
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE, NOTIFY_ALL, TRUE);
}

void Wakeweave::snapshotParticlePaths() {
  if (m_particleState.numParticles() > 0) {
    m_particleState.makeTestSpline("DOVerazi");
    return;
  }
  MessageBoxA(GetCOREInterface()->GetMAXHWnd(), "No particle animation.", "Wake Weave", MB_OK);
}

bool Wakeweave::isRebuildingTrails() {
  ScopeLock lock(&m_lock);
  return m_bTrailRebuild != 0;
}
