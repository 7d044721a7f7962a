// The runtime's per-thread state: the time context, the chain of protected slots, the allocation frames
// and the collector that reclaims what a frame made.
#include <algorithm>
#include <vector>

#include "debug.h"
#include "iface.h"
#include "script_internal.h"

namespace {

// A frame is collected when it has made this many values since its last collection, so a loop that
// makes values and drops them keeps only about this many alive.
constexpr size_t kCollectEvery = 4096;

struct AllocFrame {
  std::vector<Value*> values;
  size_t made = 0;  // since the last collection
};

// frames[0] holds what the thread made outside any allocation frame (reported as misuse) and what
// survived the outermost frame; frames[1..] are the pushed frames, innermost last.
struct ThreadState {
  ScriptThreadLocals locals;
  std::vector<AllocFrame> frames{1};
  std::vector<Value*> held;  // scratch for the protected values of a collection

  ThreadState() = default;
  ThreadState(const ThreadState&) = delete;
  ThreadState& operator=(const ThreadState&) = delete;
  // A thread that ends takes its values with it.
  ~ThreadState() {
    for (AllocFrame& f : frames)
      for (Value* v : f.values) delete v;
  }
};

ThreadState& State() {
  thread_local ThreadState state;
  return state;
}

// Frees every value of the frame that no slot of the thread's chain of local frames holds.
void Collect(ThreadState& s, AllocFrame& frame) {
  s.held.clear();
  for (const ScriptLocalFrame* lf = s.locals.locals; lf; lf = lf->prev) {
    if (!lf->slots) continue;
    for (int i = 0; i < lf->count; ++i)
      if (lf->slots[i]) s.held.push_back(lf->slots[i]);
  }
  std::sort(s.held.begin(), s.held.end());
  size_t kept = 0;
  for (Value* v : frame.values) {
    if (std::binary_search(s.held.begin(), s.held.end(), v))
      frame.values[kept++] = v;
    else
      delete v;
  }
  frame.values.resize(kept);
  frame.made = 0;
}

}  // namespace

namespace script {

bool CheckInitialised() {
  const bool initialised = State().locals.initialised;
  DbgAssert(initialised);
  return initialised;
}

Value* Adopt(Value* v) {
  ThreadState& s = State();
  // v is nobody's until it is in a frame: a handler that throws, or a full heap, must not leak it.
  try {
    CheckInitialised();
    const bool in_alloc_frame = s.frames.size() > 1;
    DbgAssert(in_alloc_frame);
    AllocFrame& frame = s.frames.back();
    if (frame.made >= kCollectEvery) Collect(s, frame);
    frame.values.push_back(v);
    ++frame.made;
  } catch (...) {
    delete v;
    throw;
  }
  return v;
}

TimeValue ScriptTime() {
  const ScriptThreadLocals& tl = State().locals;
  return tl.use_time_context ? tl.current_time : GetCOREInterface()->GetTime();
}

}  // namespace script

void init_thread_locals() { State().locals.initialised = true; }

ScriptThreadLocals* thread_locals() {
  script::CheckInitialised();
  return &State().locals;
}

void push_alloc_frame() {
  ThreadState& s = State();
  script::CheckInitialised();
  s.frames.emplace_back();
  s.locals.alloc_depth = int(s.frames.size() - 1);
}

void pop_alloc_frame() {
  ThreadState& s = State();
  const bool alloc_frame_pushed = s.frames.size() > 1;
  DbgAssert(alloc_frame_pushed);
  if (!alloc_frame_pushed) return;
  AllocFrame& inner = s.frames.back();
  Collect(s, inner);
  // What a slot still holds lives on in the enclosing frame, to be collected there once let go.
  AllocFrame& outer = s.frames[s.frames.size() - 2];
  outer.values.insert(outer.values.end(), inner.values.begin(), inner.values.end());
  s.frames.pop_back();
  if (s.frames.size() == 1) Collect(s, s.frames.back());
  s.locals.alloc_depth = int(s.frames.size() - 1);
}

size_t live_value_count() {
  size_t n = 0;
  for (const AllocFrame& f : State().frames) n += f.values.size();
  return n;
}
