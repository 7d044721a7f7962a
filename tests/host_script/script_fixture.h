#pragma once
// Helpers of the scripting runtime's tests: assertion handlers that record or throw, and a thread set up
// for scripts.
#include "debug.h"
#include "maxscript.h"

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

// Records every assertion report (from any thread) instead of aborting, and puts the previous handler back.
class AssertRecorder {
 public:
  AssertRecorder() {
    prev_ = SetAssertHandler([this](int, const char*, const char* expr) {
      std::lock_guard<std::mutex> lock(mutex_);
      reports_.push_back(expr ? expr : "");
    });
  }
  ~AssertRecorder() { SetAssertHandler(prev_); }
  AssertRecorder(const AssertRecorder&) = delete;
  AssertRecorder& operator=(const AssertRecorder&) = delete;
  std::vector<std::string> Reports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> reports_;
  AssertHandler prev_;
};

struct AssertFailed : std::runtime_error {
  explicit AssertFailed(const std::string& expr) : std::runtime_error(expr) {}
};

// Turns assertion reports into exceptions for the lifetime of the object.
class ThrowingAsserts {
 public:
  ThrowingAsserts() {
    prev_ = SetAssertHandler([](int, const char*, const char* expr) { throw AssertFailed(expr ? expr : ""); });
  }
  ~ThrowingAsserts() { SetAssertHandler(prev_); }
  ThrowingAsserts(const ThrowingAsserts&) = delete;
  ThrowingAsserts& operator=(const ThrowingAsserts&) = delete;

 private:
  AssertHandler prev_;
};

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
