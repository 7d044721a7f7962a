#pragma once
// The person at the panel: answers message boxes and file choosers from a script, records what was shown,
// and acts in modal dialogs when asked.
#include <windows.h>
#include <win32/useragent.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class PanelAgent : public Win32UserAgent {
 public:
  struct Box {
    HWND owner;
    std::string text, caption;
    UINT type;
  };

  PanelAgent() { prev_ = Win32SetUserAgent(this); }
  ~PanelAgent() override { Win32SetUserAgent(prev_); }
  PanelAgent(const PanelAgent&) = delete;
  PanelAgent& operator=(const PanelAgent&) = delete;

  // Acts in a modal dialog once it is shown (and, if it does not end it, whenever its loop is idle).
  std::function<void(HWND)> onShown, onIdle;
  // Answers for the next message boxes, in order; once used up, the first button of each box.
  std::deque<int> answers;
  // The file the person chooses in the next file chooser; empty: the person cancels.
  std::string fileToChoose;

  void DialogShown(HWND d) override {
    shown.push_back(d);
    if (onShown) onShown(d);
  }
  void Idle(HWND d) override {
    if (onIdle) onIdle(d);
  }
  int AnswerMessageBox(HWND owner, const char* text, const char* caption, UINT type) override {
    boxes.push_back(Box{owner, text ? text : "", caption ? caption : "", type});
    if (answers.empty()) return Win32UserAgent::AnswerMessageBox(owner, text, caption, type);
    const int a = answers.front();
    answers.pop_front();
    return a;
  }

  bool ChooseOpenFile(HWND owner, const char* title, const char*, std::string& path) override {
    chooserOwners.push_back(owner);
    chooserTitles.push_back(title ? title : "");
    if (fileToChoose.empty()) return false;
    path = fileToChoose;
    return true;
  }

  std::vector<HWND> shown;
  std::vector<Box> boxes;
  std::vector<HWND> chooserOwners;
  std::vector<std::string> chooserTitles;

 private:
  Win32UserAgent* prev_ = nullptr;
};

inline std::string WindowText(HWND w) {
  char buf[512] = {0};
  GetWindowTextA(w, buf, int(sizeof buf));
  return buf;
}
