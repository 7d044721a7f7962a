#pragma once
// The command line of `wakeweave`: a small hand-written parser and the help texts.
#include <cstdint>
#include <optional>
#include <string>

struct CliOptions {
  std::string command;   // "eval", "info", "demo", "record", "snapshot"; empty when none was given
  bool help = false;     // --help / -h anywhere
  bool debug = false;    // --debug anywhere: the host's debug output goes to standard error
  bool version = false;  // --version anywhere: print the program's version

  // eval, record and snapshot
  std::string scene;
  std::optional<std::string> frame;      // eval --frame, as typed (checked by ParseFrame)
  std::optional<std::string> frames;     // eval --frames A:B[:STEP], as typed (checked by ParseFrameRange)
  bool quiet = false;                    // eval --quiet: no line per file written
  std::optional<std::string> node;       // eval and snapshot --node
  bool regenerate = false;               // eval and snapshot --regenerate
  std::optional<std::string> maxMemory;  // eval --max-memory, as typed (checked by ParseMemorySize)
  bool zUp = false;                      // eval and snapshot --up z: .obj and glTF keep the host's Z-up axes
  bool objectSpace = false;              // eval and snapshot --space object: .obj and glTF in object space
  std::optional<std::string> output;     // -o / --output

  // demo
  std::string outDir = "wakeweave-demo";
};

// Throws UsageError for an unknown command or option, a missing option value or a stray argument. Required
// arguments are not checked here (so that --help always works); the commands check them.
CliOptions ParseCommandLine(int argc, const char* const* argv);

// The program's version, as --version prints it after "wakeweave ".
inline constexpr const char* kProgramVersion = "1.1.0";

// The help of a command ("" for the program).
std::string HelpText(const std::string& command);

// A frame number as typed: a finite decimal number, fractions allowed. Throws UsageError.
double ParseFrame(const std::string& text);

// A memory size as typed: a whole number of bytes, or one followed by K, M, G or T (powers of 1024, either
// case), at least 1 byte. Throws UsageError.
uint64_t ParseMemorySize(const std::string& text);

// Whether two paths name the same file: the same device and inode when both exist (hard links, symbolic
// links), else the same normalised absolute path.
bool SameFile(const std::string& a, const std::string& b);

// Throws UsageError when `out` names the scene file itself, by any path: writing it would lose the scene.
void RefuseOutputOverScene(const std::string& scene, const std::string& out);

// Lower-case extension with its dot (".json"), "" when none.
std::string LowerExtension(const std::string& path);
