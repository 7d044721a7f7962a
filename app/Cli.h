#pragma once
// The command line of `wakeweave`: a small hand-written parser and the help texts.
#include <optional>
#include <string>

struct CliOptions {
  std::string command;  // "eval", "info", "demo", "record"; empty when none was given
  bool help = false;    // --help / -h anywhere
  bool debug = false;   // --debug anywhere: the host's debug output goes to standard error

  // eval and record
  std::string scene;
  std::optional<std::string> frame;   // eval --frame, as typed (checked by ParseFrame)
  std::optional<std::string> node;    // eval --node
  bool regenerate = false;            // eval --regenerate
  std::optional<std::string> output;  // -o / --output

  // demo
  std::string outDir = "wakeweave-demo";
};

// Throws UsageError for an unknown command or option, a missing option value or a stray argument. Required
// arguments are not checked here (so that --help always works); the commands check them.
CliOptions ParseCommandLine(int argc, const char* const* argv);

// The help of a command ("" for the program).
std::string HelpText(const std::string& command);

// A frame number as typed: a finite decimal number, fractions allowed. Throws UsageError.
double ParseFrame(const std::string& text);

// Lower-case extension with its dot (".json"), "" when none.
std::string LowerExtension(const std::string& path);
