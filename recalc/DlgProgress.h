#pragma once
// The regeneration's progress dialog: the worker's job, and what the worker reports, kept in four fields
// that the dialog polls on its timer. Each field is written by one side only and read by the other without
// a lock.
#include <atomic>

#include "recalc/IProgress.h"
#include "recalc/RecalcJob.h"

class DlgProgress : public IProgress {
 public:
  enum State { kNotStarted = 0, kRunning = 1, kFinished = 2 };

  DlgProgress() : DlgProgress(nullptr, Interval(), nullptr, nullptr) {}
  // The job to run: record the node's particles over range into builder, only those of events (null: all).
  DlgProgress(ParticleStateBuilder* builder, Interval range, INode* particleNode, Tab<INode*>* events);
  DlgProgress(const DlgProgress&) = delete;
  DlgProgress& operator=(const DlgProgress&) = delete;
  virtual ~DlgProgress() = default;

  // Runs the modal progress dialog, which runs the job on a worker thread. Returns 1 when the worker
  // reported that it had finished, 0 when the person cancelled or the dialog could not start the work.
  // When it returns, the worker has ended: nothing of the job is in use any more.
  int DoModal();

  void start() override;
  void update(int current, int total) override;
  void end() override;
  bool isCancelled() override;

  // The dialog's side.
  int current() const { return m_nCurrent.load(std::memory_order_relaxed); }
  int total() const { return m_nTotal.load(std::memory_order_relaxed); }
  int state() const { return m_nState.load(std::memory_order_relaxed); }
  void setCancel(bool cancel) { m_bCancel.store(cancel, std::memory_order_relaxed); }
  RecalcJob* job() { return &m_job; }

 protected:
  RecalcJob m_job;
  std::atomic<int> m_nCurrent{0};
  std::atomic<int> m_nTotal{100};
  std::atomic<int> m_nState{kNotStarted};
  std::atomic<bool> m_bCancel{false};
};
