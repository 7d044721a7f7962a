#include "FallbackWatch.h"

namespace {
constexpr const char kFailed[] = "Wakeweave::ModifyObject failed: ";
}

FallbackWatch::FallbackWatch() {
  previous_ = SetDebugSink([this](const std::string& text) { See(text); });
}

FallbackWatch::~FallbackWatch() { SetDebugSink(previous_); }

void FallbackWatch::See(const std::string& text) {
  previous_(text);
  partial_ += text;
  for (size_t end; (end = partial_.find('\n')) != std::string::npos; partial_.erase(0, end + 1)) {
    if (reason_ || partial_.compare(0, sizeof kFailed - 1, kFailed) != 0) continue;
    reason_ = partial_.substr(sizeof kFailed - 1, end - (sizeof kFailed - 1));
  }
  // Debug text that never ends its line must not grow without bound.
  if (partial_.size() > 65536) partial_.clear();
}
