#include "ProgressAgent.h"

#include <cstring>

#include "Printable.h"

namespace {

// Set by the signal handler, read by the agent at its next idle moment (every timer tick of the dialog).
std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted.store(true, std::memory_order_relaxed); }

struct DialogParts {
  HWND bar = nullptr;
  std::string label;
};

BOOL CALLBACK FindParts(HWND child, LPARAM param) {
  auto* parts = reinterpret_cast<DialogParts*>(param);
  const std::string cls = Win32WindowClass(child);
  if (cls == PROGRESS_CLASSA && !parts->bar) parts->bar = child;
  if ((cls == "STATIC" || cls == "Static") && parts->label.empty()) {
    char text[256] = {};
    GetWindowTextA(child, text, int(sizeof text));
    parts->label = text;
  }
  return TRUE;
}

DialogParts PartsOf(HWND dialog) {
  DialogParts parts;
  EnumChildWindows(dialog, FindParts, reinterpret_cast<LPARAM>(&parts));
  return parts;
}

// The bar's position as a percentage of its range; -1 when the dialog shows no bar.
int PercentShown(HWND bar) {
  int lo = 0, hi = 0, pos = 0, step = 0;
  if (!bar || !Win32ProgressBarState(bar, &lo, &hi, &pos, &step)) return -1;
  if (hi <= lo) return 0;
  return int((int64_t(pos) - lo) * 100 / (int64_t(hi) - lo));
}

}  // namespace

ProgressAgent::ProgressAgent(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {
  g_interrupted.store(false, std::memory_order_relaxed);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previousInterrupt_);
  previous_ = Win32SetUserAgent(this);
}

ProgressAgent::~ProgressAgent() {
  Win32SetUserAgent(previous_);
  sigaction(SIGINT, &previousInterrupt_, nullptr);
}

bool ProgressAgent::Interrupted() const { return g_interrupted.load(std::memory_order_relaxed); }

std::string ProgressAgent::BarText(int percent) {
  constexpr int kWidth = 30;
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  const int filled = percent * kWidth / 100;
  std::string bar = "[" + std::string(size_t(filled), '#') + std::string(size_t(kWidth - filled), ' ') + "] ";
  const std::string number = std::to_string(percent);
  return bar + std::string(3 - number.size(), ' ') + number + "%";
}

void ProgressAgent::DialogShown(HWND dialog) {
  label_ = PartsOf(dialog).label;
  lastPercent_ = -1;
  lastPlainStep_ = -1;
  cancelPressed_ = false;
  Show(dialog);
}

void ProgressAgent::Idle(HWND dialog) {
  if (Interrupted() && !cancelPressed_) {
    // One press is what a person does; the dialog then waits for the worker and ends.
    cancelPressed_ = Win32PressButton(dialog, IDCANCEL) != FALSE;
  }
  Show(dialog);
}

void ProgressAgent::DialogEnded(HWND dialog, INT_PTR result) {
  Show(dialog);
  if (terminal_ && lastPercent_ >= 0) out_ << "\n";
  if (!terminal_ && result == 1 && lastPlainStep_ < 4) out_ << PrintableText(label_) << " 100%\n";
  out_.flush();
}

void ProgressAgent::Show(HWND dialog) {
  const int percent = PercentShown(PartsOf(dialog).bar);
  if (percent < 0 || percent == lastPercent_) return;
  lastPercent_ = percent;
  if (terminal_) {
    out_ << "\r" << PrintableText(label_) << " " << BarText(percent) << std::flush;
    return;
  }
  // A log gets a line at the start and at each quarter, not one per tick.
  const int step = percent / 25;
  if (step == lastPlainStep_) return;
  lastPlainStep_ = step;
  out_ << PrintableText(label_) << " " << step * 25 << "%\n" << std::flush;
}

int ProgressAgent::AnswerMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  messages_.push_back(text ? text : "");
  if (terminal_ && lastPercent_ >= 0) out_ << "\n";
  out_ << "wakeweave: " << PrintableText(caption ? caption : "") << ": " << PrintableText(text ? text : "")
       << std::endl;
  return Win32UserAgent::AnswerMessageBox(owner, text, caption, type);
}
