#pragma once
// Assertion handlers for tests: one that records every report (from any thread) and one that throws, each
// putting the previous handler back when it goes.
#include <debug.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

class AssertCapture {
 public:
  struct Entry {
    int line;
    std::string file, expression;
  };
  AssertCapture() {
    prev_ = SetAssertHandler([this](int line, const char* file, const char* expr) {
      std::lock_guard<std::mutex> lock(mutex_);
      entries_.push_back({line, file ? file : "", expr ? expr : ""});
    });
  }
  ~AssertCapture() { SetAssertHandler(prev_); }
  AssertCapture(const AssertCapture&) = delete;
  AssertCapture& operator=(const AssertCapture&) = delete;

  std::vector<Entry> Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  // The failed conditions, in the order reported.
  std::vector<std::string> Expressions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const Entry& e : entries_) out.push_back(e.expression);
    return out;
  }
  std::vector<std::string> Files() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const Entry& e : entries_) out.push_back(e.file);
    return out;
  }
  size_t Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  AssertHandler prev_;
};

struct AssertFailed : std::runtime_error {
  AssertFailed(int l, std::string f, std::string e)
      : std::runtime_error(e), line(l), file(std::move(f)), expression(std::move(e)) {}
  int line;
  std::string file, expression;
};

// Turns assertion reports into AssertFailed exceptions for the lifetime of the object.
class ThrowingAsserts {
 public:
  ThrowingAsserts() {
    prev_ = SetAssertHandler([](int line, const char* file, const char* expr) {
      throw AssertFailed(line, file ? file : "", expr ? expr : "");
    });
  }
  ~ThrowingAsserts() { SetAssertHandler(prev_); }
  ThrowingAsserts(const ThrowingAsserts&) = delete;
  ThrowingAsserts& operator=(const ThrowingAsserts&) = delete;

 private:
  AssertHandler prev_;
};
