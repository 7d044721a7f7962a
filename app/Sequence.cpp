#include "Sequence.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "Cli.h"
#include "Errors.h"
#include "ProgressAgent.h"
#include "SceneLoader.h"

namespace fs = std::filesystem;

namespace {

UsageError BadRange(const std::string& text, const std::string& why) {
  return UsageError("--frames expects A:B or A:B:STEP (frames, A <= B, STEP > 0), got \"" + text + "\"" + why);
}

// One part of the range: a frame number as --frame takes it.
double RangePart(const std::string& text, const std::string& part) {
  try {
    return ParseFrame(part);
  } catch (const UsageError&) {
    throw BadRange(text, part.empty() ? "" : ": \"" + part + "\" is not a number");
  }
}

// x with 12 significant digits: steps that are not binary fractions land on the number a person typed.
double Rounded(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.12g", x);
  return std::strtod(buf, nullptr);
}

}  // namespace

FrameRange ParseFrameRange(const std::string& text) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t colon; (colon = text.find(':', from)) != std::string::npos; from = colon + 1)
    parts.push_back(text.substr(from, colon - from));
  parts.push_back(text.substr(from));
  if (parts.size() < 2 || parts.size() > 3) throw BadRange(text, "");
  FrameRange r;
  r.first = RangePart(text, parts[0]);
  r.last = RangePart(text, parts[1]);
  if (parts.size() == 3) r.step = RangePart(text, parts[2]);
  if (r.last < r.first) throw BadRange(text, ": B comes before A");
  if (!(r.step > 0)) throw BadRange(text, ": STEP must be above 0");
  return r;
}

std::vector<double> FramesOf(const FrameRange& range) {
  // The tolerance keeps a last frame that a step reaches up to rounding (0:0.3:0.1).
  const double steps = std::floor((range.last - range.first) / range.step + 1e-9);
  if (!(steps < double(kMaxSequenceFrames))) {
    const std::string count = std::isfinite(steps) ? NumberText(steps + 1) : "endless";
    throw UsageError("--frames " + NumberText(range.first) + ":" + NumberText(range.last) + ":" +
                     NumberText(range.step) + " asks for " + count + " frames; at most " +
                     std::to_string(kMaxSequenceFrames) + " go in one sequence");
  }
  std::vector<double> frames;
  frames.reserve(size_t(steps) + 1);
  for (size_t i = 0; i <= size_t(steps); ++i) frames.push_back(Rounded(range.first + double(i) * range.step));
  return frames;
}

FramePattern::FramePattern(const std::string& text) {
  const auto bad = [&](const std::string& why) {
    return UsageError("-o " + text + ": " + why + " (the pattern takes {frame} or {frame:04})");
  };
  std::string literal;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '}') {
      if (i + 1 < text.size() && text[i + 1] == '}') {
        literal += '}';
        ++i;
        continue;
      }
      throw bad("a '}' without its '{' (write }} for a brace)");
    }
    if (c != '{') {
      literal += c;
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '{') {
      literal += '{';
      ++i;
      continue;
    }
    const size_t close = text.find('}', i + 1);
    if (close == std::string::npos) throw bad("a '{' that is not closed");
    const std::string field = text.substr(i + 1, close - i - 1);
    const size_t colon = field.find(':');
    const std::string name = field.substr(0, colon);
    if (name != "frame") throw bad("unknown field {" + field + "}");
    Piece p;
    p.width = 0;
    if (colon != std::string::npos) {
      const std::string format = field.substr(colon + 1);
      const bool digits = format.size() >= 2 && format.size() <= 3 && format[0] == '0' &&
                          format.find_first_not_of("0123456789") == std::string::npos;
      const int width = digits ? std::atoi(format.c_str() + 1) : 0;
      if (width < 1 || width > 20) throw bad("unknown format {" + field + "}");
      p.width = width;
    }
    if (!literal.empty()) pieces_.push_back(Piece{literal, -1});
    literal.clear();
    pieces_.push_back(p);
    ++fields_;
    i = close;
  }
  if (!literal.empty()) pieces_.push_back(Piece{literal, -1});
}

std::string FramePattern::Expand(double frame) const {
  std::string out;
  for (const Piece& p : pieces_) {
    if (p.width < 0) {
      out += p.text;
      continue;
    }
    std::string number = NumberText(frame);
    const size_t sign = number[0] == '-' ? 1 : 0;
    if (number.size() < size_t(p.width)) number.insert(sign, size_t(p.width) - number.size(), '0');
    out += number;
  }
  return out;
}

bool MentionsFrameField(const std::string& path) { return path.find("{frame") != std::string::npos; }

StagedFiles::~StagedFiles() { Discard(); }

std::string StagedFiles::Stage(const std::string& target, const std::string& name) {
  const fs::path t(target);
  const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
  std::error_code ec;
  const std::string key = fs::weakly_canonical(fs::absolute(folder, ec), ec).string();
  auto it = folders_.find(key);
  if (it == folders_.end()) {
    // Hidden, and unique to this run, in the target's own folder so that the moves stay renames.
    std::string tmpl = (folder / ".wakeweave-partial-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot write " + target + ": " + std::strerror(errno));
    it = folders_.emplace(key, tmpl).first;
  }
  return (fs::path(it->second) / (name.empty() ? t.filename() : fs::path(name))).string();
}

void StagedFiles::Commit() {
  for (auto& [folder, staging] : folders_) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(staging, ec)) {
      const fs::path to = fs::path(folder) / entry.path().filename();
      if (std::rename(entry.path().c_str(), to.c_str()) != 0) {
        const int e = errno;
        Discard();
        throw std::runtime_error("cannot write " + to.string() + ": " + std::strerror(e));
      }
    }
    if (ec) {
      const std::string why = ec.message();
      Discard();
      throw std::runtime_error("cannot read " + staging + ": " + why);
    }
  }
  Discard();
}

void StagedFiles::Discard() {
  for (auto& [folder, staging] : folders_) {
    std::error_code ec;
    fs::remove_all(staging, ec);
  }
  folders_.clear();
}

SequenceProgress::SequenceProgress(std::ostream& out, bool terminal, size_t total, std::chrono::milliseconds delay)
    : out_(out), terminal_(terminal), total_(total), showFrom_(std::chrono::steady_clock::now() + delay) {}

SequenceProgress::~SequenceProgress() { Finish(); }

void SequenceProgress::Advance() {
  ++done_;
  if (!terminal_ || total_ == 0 || std::chrono::steady_clock::now() < showFrom_) return;
  const int percent = int(done_ * 100 / total_);
  if (drawn_ && percent == lastPercent_) return;
  lastPercent_ = percent;
  drawn_ = true;
  out_ << "\rEvaluating frames " << done_ << "/" << total_ << " " << ProgressAgent::BarText(percent) << std::flush;
}

void SequenceProgress::Finish() {
  if (drawn_) out_ << "\n" << std::flush;
  drawn_ = false;
}
