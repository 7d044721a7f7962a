#pragma once
// Sequences of frames for `eval --frames A:B[:STEP]`: the range as typed, output names made from a
// `{frame}` pattern, files that appear all together or not at all, and a progress bar for long runs.
#include <chrono>
#include <cstddef>
#include <map>
#include <ostream>
#include <string>
#include <vector>

// At most this many frames in one sequence: a range past it is refused before any work.
inline constexpr size_t kMaxSequenceFrames = 100000;

// A range of frames as typed: A:B or A:B:STEP, frames (fractions allowed), A <= B, STEP > 0 (default 1).
struct FrameRange {
  double first = 0, last = 0, step = 1;
};

// Throws UsageError naming --frames and what it expects.
FrameRange ParseFrameRange(const std::string& text);

// Every frame of the range: first, first + step, ... up to last (a last that falls within a rounding error
// of a step is included). Frames are rounded to 12 significant digits, so 0:1:0.1 gives 0.3, not
// 0.30000000000000004. Throws UsageError when there would be more than kMaxSequenceFrames.
std::vector<double> FramesOf(const FrameRange& range);

// An output path with `{frame}` fields: `{frame}` is the frame as the command echoes numbers ("7", "2.5",
// "-3"); `{frame:0N}` pads it with zeros to N characters (N from 1 to 20), after the sign as printf's %0Nd
// does. `{{` and `}}` stand for braces.
class FramePattern {
 public:
  // Throws UsageError for an unclosed brace, a lone '}', a field other than `frame`, or a format other
  // than `0N`.
  explicit FramePattern(const std::string& text);

  bool HasField() const { return fields_ > 0; }
  std::string Expand(double frame) const;

 private:
  struct Piece {
    std::string text;  // literal text, when width < 0
    int width = -1;    // a field: -1 none; 0 unpadded; N padded to N characters
  };
  std::vector<Piece> pieces_;
  int fields_ = 0;
};

// Whether a path holds something that reads as a {frame} field, so that one given without --frames can
// be refused instead of being taken as a literal name.
bool MentionsFrameField(const std::string& path);

// Files written as one set: each is written to a staging folder beside its target (same file system), and
// Commit moves everything in those folders to the targets' folders. Until then nothing shows at the
// targets; the destructor removes what was not committed, so a failure or Ctrl-C part way leaves nothing.
// Writers may put more files beside the staged path (an .obj's .mtl): they are moved along with it.
class StagedFiles {
 public:
  StagedFiles() = default;
  ~StagedFiles();
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;

  // Where to write target (as `name` when given: a scratch file that Commit would move beside target);
  // creates the staging folder of target's folder on first use. Throws std::runtime_error ("cannot write
  // <target>: <reason>") when the folder cannot be made (a missing or read-only target folder).
  std::string Stage(const std::string& target, const std::string& name = "");
  // Moves every staged file to its target folder, replacing files of the same name. Throws
  // std::runtime_error when a move fails (the files not yet moved are then removed).
  void Commit();
  // Removes the staging folders and what they hold.
  void Discard();

 private:
  std::map<std::string, std::string> folders_;  // target folder -> its staging folder
};

// A progress bar for a sequence, on a terminal only: "Evaluating frames 12/40 [#########      ]  30%",
// redrawn in place, drawn only once the sequence has run for `delay` so that short ones stay quiet.
class SequenceProgress {
 public:
  SequenceProgress(std::ostream& out, bool terminal, size_t total,
                   std::chrono::milliseconds delay = std::chrono::milliseconds(500));
  ~SequenceProgress();
  SequenceProgress(const SequenceProgress&) = delete;
  SequenceProgress& operator=(const SequenceProgress&) = delete;

  // One more frame done.
  void Advance();
  // Ends the bar's line (if one was drawn); the destructor does it too.
  void Finish();

 private:
  std::ostream& out_;
  bool terminal_;
  size_t total_, done_ = 0;
  int lastPercent_ = -1;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point showFrom_;
};
