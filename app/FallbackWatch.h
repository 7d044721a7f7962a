#pragma once
// Watches the host's debug output while the stack evaluates, to tell an evaluation that fell back to the
// host's fallback mesh (the modifier says why on the debug output) from one that gave a real result.
#include <debug.h>

#include <optional>
#include <string>

class FallbackWatch {
 public:
  // Installs itself as the debug sink; what it sees still goes on to the sink it replaced (--debug).
  FallbackWatch();
  ~FallbackWatch();
  FallbackWatch(const FallbackWatch&) = delete;
  FallbackWatch& operator=(const FallbackWatch&) = delete;

  // The reason of the first "Wakeweave::ModifyObject failed: <reason>" line seen; none if no evaluation
  // failed.
  const std::optional<std::string>& Reason() const { return reason_; }

 private:
  void See(const std::string& text);

  DebugSink previous_;
  std::string partial_;  // an unfinished line
  std::optional<std::string> reason_;
};
