#pragma once
// Captures DebugPrint output for the lifetime of the object, split into lines, and puts the previous sink
// back afterwards.
#include "debug.h"

#include <mutex>
#include <string>
#include <vector>

class DebugCapture {
 public:
  DebugCapture() {
    prev_ = SetDebugSink([this](const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      ++calls_;
      for (char c : text) {
        if (c == '\n') {
          lines_.push_back(pending_);
          pending_.clear();
        } else {
          pending_ += c;
        }
      }
    });
  }
  ~DebugCapture() { SetDebugSink(prev_); }
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  std::string Unfinished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_;
  }
  int Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::string pending_;
  int calls_ = 0;
  DebugSink prev_;
};
