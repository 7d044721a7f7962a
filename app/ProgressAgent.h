#pragma once
// The person at the terminal while the command runs: shows the progress dialog's bar on standard error (a
// bar redrawn in place on a terminal, a few plain lines otherwise), turns Ctrl-C into a press of the
// dialog's Cancel, and answers message boxes with their first button after printing their text.
#include <windows.h>

#include <atomic>
#include <csignal>
#include <ostream>
#include <string>
#include <vector>

#include "win32/useragent.h"

class ProgressAgent : public Win32UserAgent {
 public:
  // terminal: whether out is a terminal (the bar is redrawn in place there).
  ProgressAgent(std::ostream& out, bool terminal);
  ~ProgressAgent() override;
  ProgressAgent(const ProgressAgent&) = delete;
  ProgressAgent& operator=(const ProgressAgent&) = delete;

  void DialogShown(HWND dialog) override;
  void Idle(HWND dialog) override;
  void DialogEnded(HWND dialog, INT_PTR result) override;
  int AnswerMessageBox(HWND owner, const char* text, const char* caption, UINT type) override;

  // Whether the person asked to stop (Ctrl-C) since the agent was made.
  bool Interrupted() const;
  // The texts of the message boxes answered so far, in order.
  const std::vector<std::string>& MessageBoxes() const { return messages_; }

  // The bar as drawn on a terminal for a percentage (0 to 100): "[#####     ]  50%".
  static std::string BarText(int percent);

 private:
  void Show(HWND dialog);

  std::ostream& out_;
  bool terminal_;
  int lastPercent_ = -1;    // what was last drawn; -1 before the first drawing
  int lastPlainStep_ = -1;  // quarters already printed as plain lines
  bool cancelPressed_ = false;
  std::string label_;
  std::vector<std::string> messages_;
  Win32UserAgent* previous_;
  struct sigaction previousInterrupt_;
};
