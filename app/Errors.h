#pragma once
// The errors the host program reports, each mapped to its exit code by main.
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
