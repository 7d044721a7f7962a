#pragma once
// What both particle recorders share: the walk over the sample times and the progress calls around it.
#include <max.h>

#include <climits>
#include <cstdint>

#include "recalc/IProgress.h"

namespace recorder {

// The sample times start, start + step, ... while not past end. The walk runs in 64 bits, so that a range
// ending near the largest time ends instead of wrapping round to negative times. The recorders refuse a
// step that is not positive before they walk, since such a walk would never reach the end.
class SampleTimes {
 public:
  SampleTimes(TimeValue start, TimeValue end, int step) : t_(start), end_(end), step_(step) {}
  bool more() const { return step_ > 0 && t_ <= end_; }
  TimeValue time() const { return TimeValue(t_); }
  void next() { t_ += step_; }

 private:
  int64_t t_;
  int64_t end_;
  int64_t step_;
};

inline int clampToInt(int64_t v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v); }

// A sample time in frames, as the diagnostics show it.
inline float frames(TimeValue t) { return float(t) / float(GetTicksPerFrame()); }

// The progress calls of one recording; each is skipped when there is no progress object. Remembers
// whether the report was started and ended, so that a failure can close a report that is still open.
class Report {
 public:
  explicit Report(IProgress* progress) : progress_(progress) {}

  void start() {
    // Counted as started even if start() throws: the report must still be closed.
    started_ = true;
    if (progress_) progress_->start();
  }
  bool cancelled() { return progress_ && progress_->isCancelled(); }
  // Done and total are ticks from the start of the range, worked out wide: a range can span more than an
  // int holds.
  void update(TimeValue t, TimeValue start, TimeValue end) {
    if (progress_) progress_->update(clampToInt(int64_t(t) - start), clampToInt(int64_t(end) - start));
  }
  void end() {
    ended_ = true;
    if (progress_) progress_->end();
  }
  bool started() const { return started_; }
  bool open() const { return started_ && !ended_; }

 private:
  IProgress* progress_;
  bool started_ = false;
  bool ended_ = false;
};

}  // namespace recorder
