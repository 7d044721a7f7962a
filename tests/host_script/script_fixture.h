#pragma once
// Helpers of the scripting runtime's tests: a thread set up for scripts.
#include "debug.h"
#include "maxscript.h"
#include "assert_capture.h"

#include <gtest/gtest.h>

// The calling thread set up for scripts inside one allocation frame, with a frame of protected slots
// linked into its chain; undone (chain restored, frame popped) at the end, as a well-behaved caller does.
template <int N>
class ScriptScope {
 public:
  ScriptScope() {
    init_thread_locals();
    push_alloc_frame();
    frame_.prev = thread_locals()->locals;
    frame_.slots = slots;
    frame_.count = N;
    thread_locals()->locals = &frame_;
  }
  ~ScriptScope() {
    thread_locals()->locals = frame_.prev;
    pop_alloc_frame();
  }
  ScriptScope(const ScriptScope&) = delete;
  ScriptScope& operator=(const ScriptScope&) = delete;
  Value* slots[N] = {};

 private:
  ScriptLocalFrame frame_;
};
