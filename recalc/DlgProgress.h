#pragma once
// The progress side of the regeneration dialog: what the worker reports, kept in four fields that the
// dialog polls on its timer. Each field is written by one side only and read by the other without a lock.
#include <atomic>

#include "recalc/IProgress.h"

class DlgProgress : public IProgress {
 public:
  enum State { kNotStarted = 0, kRunning = 1, kFinished = 2 };

  DlgProgress() = default;
  DlgProgress(const DlgProgress&) = delete;
  DlgProgress& operator=(const DlgProgress&) = delete;
  virtual ~DlgProgress() = default;

  void start() override;
  void update(int current, int total) override;
  void end() override;
  bool isCancelled() override;

  // The dialog's side.
  int current() const { return m_nCurrent.load(std::memory_order_relaxed); }
  int total() const { return m_nTotal.load(std::memory_order_relaxed); }
  int state() const { return m_nState.load(std::memory_order_relaxed); }
  void setCancel(bool cancel) { m_bCancel.store(cancel, std::memory_order_relaxed); }

 protected:
  std::atomic<int> m_nCurrent{0};
  std::atomic<int> m_nTotal{100};
  std::atomic<int> m_nState{kNotStarted};
  std::atomic<bool> m_bCancel{false};
};
