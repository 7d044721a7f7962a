#include "recalc/DlgProgress.h"

DlgProgress::DlgProgress(ParticleStateBuilder* builder, Interval range, INode* particleNode, Tab<INode*>* events) {
  m_job.pBuilder = builder;
  m_job.range = range;
  m_job.pProgress = this;
  m_job.pParticleNode = particleNode;
  m_job.pEvents = events;
}

// The dialog reads each field on its own and relies on no order between them, so plain relaxed stores
// suffice; the dialog learns that the worker is done with its data by waiting for the worker's thread.

void DlgProgress::start() {
  m_nCurrent.store(0, std::memory_order_relaxed);
  m_nState.store(kRunning, std::memory_order_relaxed);
}

void DlgProgress::update(int current, int total) {
  m_nCurrent.store(current, std::memory_order_relaxed);
  m_nTotal.store(total, std::memory_order_relaxed);
  m_nState.store(kRunning, std::memory_order_relaxed);
}

// Current and total keep their last values, so the bar stays where the last report left it.
void DlgProgress::end() { m_nState.store(kFinished, std::memory_order_relaxed); }

bool DlgProgress::isCancelled() { return m_bCancel.load(std::memory_order_relaxed); }
