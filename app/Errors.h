#pragma once
// The errors the host program reports, each mapped to its exit code by main.
#include <new>
#include <stdexcept>
#include <string>

// Bad command line or bad input that is not a scene file: exit 2.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& what) : std::runtime_error(what) {}
};

// Something asked for that this build cannot do yet: exit 2, like bad usage, so scripts can tell it from
// a failure of the work itself.
class NotSupportedError : public std::runtime_error {
 public:
  explicit NotSupportedError(const std::string& what) : std::runtime_error(what) {}
};

// Anything else that stops a command (plug-in missing, evaluation gave no mesh, output not writable): exit 1.
class RunError : public std::runtime_error {
 public:
  explicit RunError(const std::string& what) : std::runtime_error(what) {}
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Runs one step of a command; running out of memory in it becomes "not enough memory to <what>" (exit 1),
// which says what could not be done instead of blaming whatever file the step was handling.
template <class F>
auto Step(const std::string& what, F&& step) -> decltype(step()) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    throw RunError("not enough memory to " + what);
  }
}
