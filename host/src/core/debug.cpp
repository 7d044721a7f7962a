// Diagnostics: debug output sink and assertion reporter.
#include "debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace {

void DiscardSink(const std::string&) {}

// Sink calls are serialized by a recursive mutex: a sink may print (or swap the sink) from inside itself
// without deadlocking, and once SetDebugSink returns the old sink is not running on any thread and will
// not be called again. The sink is held by shared_ptr so that swapping it from inside itself does not
// destroy the function object while it runs.
struct SinkState {
  std::recursive_mutex mutex;
  std::shared_ptr<const DebugSink> sink = std::make_shared<const DebugSink>(DiscardSink);
};

SinkState& Sink() {
  static SinkState* state = new SinkState;  // never destroyed: other statics may print during exit
  return *state;
}

struct AssertState {
  std::mutex mutex;
  std::shared_ptr<const AssertHandler> handler = std::make_shared<const AssertHandler>(DefaultAssertHandler);
};

AssertState& Assert() {
  static AssertState* state = new AssertState;
  return *state;
}

}  // namespace

void DebugPrint(const char* format, ...) {
  if (!format) return;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  char small[512];
  int n = vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string text;
  if (n >= 0) {
    if (size_t(n) < sizeof small) {
      text.assign(small, size_t(n));
    } else {
      text.resize(size_t(n));
      vsnprintf(text.data(), size_t(n) + 1, format, again);
    }
  }
  va_end(again);
  if (n < 0) return;  // malformed format: nothing sensible to deliver

  SinkState& s = Sink();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  std::shared_ptr<const DebugSink> sink = s.sink;
  (*sink)(text);
}

DebugSink SetDebugSink(DebugSink sink) {
  if (!sink) sink = DiscardSink;
  auto next = std::make_shared<const DebugSink>(std::move(sink));
  SinkState& s = Sink();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  std::shared_ptr<const DebugSink> prev = std::move(s.sink);
  s.sink = std::move(next);
  return *prev;
}

void DefaultAssertHandler(int line, const char* file, const char* expression) {
  fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expression ? expression : "(null)",
          file ? file : "(null)", line);
  fflush(stderr);
  abort();
}

AssertHandler SetAssertHandler(AssertHandler handler) {
  if (!handler) handler = DefaultAssertHandler;
  auto next = std::make_shared<const AssertHandler>(std::move(handler));
  AssertState& s = Assert();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::shared_ptr<const AssertHandler> prev = std::move(s.handler);
  s.handler = std::move(next);
  return *prev;
}

void assert1(int line, const char* file, const char* expression) {
  std::shared_ptr<const AssertHandler> handler;
  {
    AssertState& s = Assert();
    std::lock_guard<std::mutex> lock(s.mutex);
    handler = s.handler;
  }
  // Called outside the lock: the handler may throw, abort, or assert again.
  (*handler)(line, file, expression);
}
