#pragma once
// Test support for the background regeneration: a particle system whose recording the test can hold back
// at chosen points, and a user agent whose every step the test scripts and records.
#include <gtest/gtest.h>

#include <max.h>
#include <windows.h>

#include <win32/useragent.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Particles of a flow-style system: particle i is born at 0 and sits at (t, i, 0) at time t. The worker
// that records it can be held at chosen UpdateParticles calls (counted from 1: the recorder's first call
// asks for the end of the range, then one per sample) until the test releases it, and each update can be
// made slow.
class HeldParticleObject : public GeomObject, public IParticleObjectExt {
 public:
  explicit HeldParticleObject(int particles) : particles_(particles) {}

  // The worker stops in its n'th update until Release.
  void HoldAtUpdate(int n) {
    std::lock_guard<std::mutex> g(m_);
    holds_.insert(n);
  }
  void SetUpdateDelay(std::chrono::milliseconds d) { delay_ = d; }
  // Waits (at most 10 s) until the worker is held; false if it never got there.
  bool WaitUntilHeld() {
    std::unique_lock<std::mutex> g(m_);
    return cv_.wait_for(g, std::chrono::seconds(10), [&] { return held_; });
  }
  bool IsHeld() {
    std::lock_guard<std::mutex> g(m_);
    return held_;
  }
  // Lets a held worker go on (or the next hold pass at once).
  void Release() {
    std::lock_guard<std::mutex> g(m_);
    ++releases_;
    cv_.notify_all();
  }
  int Updates() const { return updates_.load(); }
  std::vector<TimeValue> UpdateTimes() {
    std::lock_guard<std::mutex> g(m_);
    return times_;
  }

  // Object: a particle system the picker accepts.
  using GeomObject::GetInterface;
  void* GetInterface(ULONG id) override {
    if (id == 0x1050) return this;
    return GeomObject::GetInterface(id);
  }
  BaseInterface* GetInterface(Interface_ID id) override {
    if (id == PARTICLEOBJECTEXT_INTERFACE) return static_cast<IParticleObjectExt*>(this);
    return GeomObject::GetInterface(id);
  }
  BOOL IsParticleSystem() override { return TRUE; }

  // IParticleObjectExt
  bool UpdateParticles(INode*, TimeValue t) override {
    const int n = ++updates_;
    {
      std::unique_lock<std::mutex> g(m_);
      times_.push_back(t);
      if (holds_.count(n)) {
        const int passed = passes_++;
        held_ = true;
        cv_.notify_all();
        cv_.wait(g, [&] { return releases_ > passed; });
        held_ = false;
      }
    }
    if (delay_.count() > 0) std::this_thread::sleep_for(delay_);
    now_ = t;
    return true;
  }
  int NumParticlesGenerated() override { return particles_; }
  int NumParticles() override { return particles_; }
  TimeValue GetParticleAgeByBornIndex(int i) override { return Valid(i) ? now_ : -1; }
  Matrix3* GetParticleTMByBornIndex(int i) override {
    if (!Valid(i)) return nullptr;
    tm_ = TransMatrix(Position(i));
    return &tm_;
  }
  Point3* GetParticlePositionByBornIndex(int i) override {
    if (!Valid(i)) return nullptr;
    pos_ = Position(i);
    return &pos_;
  }
  bool HasParticleBornIndex(int i, int& index) override {
    if (!Valid(i)) return false;
    index = i;
    return true;
  }
  INode* GetParticleGroup(int) override { return nullptr; }

 private:
  bool Valid(int i) const { return i >= 0 && i < particles_; }
  Point3 Position(int i) const { return Point3(float(now_), float(i), 0.0f); }

  const int particles_;
  std::atomic<int> updates_{0};
  std::chrono::milliseconds delay_{0};
  TimeValue now_ = 0;
  Matrix3 tm_;
  Point3 pos_;

  std::mutex m_;
  std::condition_variable cv_;
  std::set<int> holds_;
  std::vector<TimeValue> times_;
  bool held_ = false;
  int passes_ = 0;
  int releases_ = 0;
};

// The person at the keyboard, as the test scripts it: each callback runs on the thread of the modal loop.
// Installed while alive; records the dialogs it saw and the message boxes it answered.
class ScriptedAgent : public Win32UserAgent {
 public:
  struct Box {
    HWND owner;
    std::string text, caption;
    UINT type;
  };

  ScriptedAgent() { prev_ = Win32SetUserAgent(this); }
  ~ScriptedAgent() override { Win32SetUserAgent(prev_); }

  std::function<void(HWND)> onShown, onIdle;
  std::function<void(HWND, INT_PTR)> onEnded;

  void DialogShown(HWND d) override {
    shown.push_back(d);
    shownAt = std::chrono::steady_clock::now();
    if (onShown) onShown(d);
  }
  void Idle(HWND d) override {
    ++idles;
    if (onIdle) onIdle(d);
  }
  void DialogEnded(HWND d, INT_PTR result) override {
    ended.push_back(result);
    endedAt = std::chrono::steady_clock::now();
    if (onEnded) onEnded(d, result);
  }
  int AnswerMessageBox(HWND owner, const char* text, const char* caption, UINT type) override {
    boxes.push_back(Box{owner, text ? text : "", caption ? caption : "", type});
    return IDOK;
  }

  // Milliseconds from the dialog's showing to now.
  double MsSinceShown() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - shownAt).count();
  }
  double MsShown() const { return std::chrono::duration<double, std::milli>(endedAt - shownAt).count(); }

  std::vector<HWND> shown;
  std::vector<INT_PTR> ended;
  std::vector<Box> boxes;
  int idles = 0;
  std::chrono::steady_clock::time_point shownAt, endedAt;

 private:
  Win32UserAgent* prev_ = nullptr;
};

// The progress bar's position, or -1 when the control is not a progress bar.
inline int BarPosition(HWND dialog, int id = 1058) {
  int lo = 0, hi = 0, pos = 0, step = 0;
  if (!Win32ProgressBarState(GetDlgItem(dialog, id), &lo, &hi, &pos, &step)) return -1;
  return pos;
}

// Switches a failure of the Windows stand-in on for the test's scope.
class Win32Switch {
 public:
  explicit Win32Switch(void (*set)(BOOL)) : set_(set) { set_(TRUE); }
  ~Win32Switch() { set_(FALSE); }

 private:
  void (*set_)(BOOL);
};

// Starts `call` on a thread of its own as soon as the dialog is shown, while the worker is held in its
// second update. Once the worker has been held for 200 ms (a call that only evaluates or clones takes
// microseconds) the agent notes whether the call has come back, then lets the worker finish. The thread
// is joined by Join or at destruction.
class CallWhileRecording {
 public:
  CallWhileRecording(ScriptedAgent& agent, HeldParticleObject* particles, std::function<void()> call)
      : particles_(particles), call_(std::move(call)) {
    particles_->HoldAtUpdate(2);
    agent.onShown = [this](HWND) {
      thread_ = std::thread([this] {
        started_ = true;
        call_();
        returned_ = true;
      });
    };
    agent.onIdle = [this](HWND) {
      if (!heldSince_ && started_ && particles_->IsHeld()) {
        heldSince_ = true;
        since_ = std::chrono::steady_clock::now();
      } else if (heldSince_ && !looked && std::chrono::steady_clock::now() - since_ > std::chrono::milliseconds(200)) {
        looked = true;
        returnedWhileHeld = returned_.load();
        particles_->Release();
      }
    };
  }
  ~CallWhileRecording() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  bool Returned() const { return returned_.load(); }

  bool looked = false;
  bool returnedWhileHeld = true;

 private:
  HeldParticleObject* particles_;
  std::function<void()> call_;
  std::thread thread_;
  std::atomic<bool> started_{false}, returned_{false};
  bool heldSince_ = false;
  std::chrono::steady_clock::time_point since_;
};

// A worker that does not stop in time. The worker is held in its second update; the agent presses Cancel;
// with the stand-in's waits timing out at once, the dialog ends with the worker still held. 100 ms after
// the dialog has ended a thread of its own notes whether the dialog's caller has returned (and runs
// `atRelease` to note more), then lets the worker go. Call CallerReturned as soon as the caller returns.
class OutlivedWait {
 public:
  OutlivedWait(ScriptedAgent& agent, HeldParticleObject* particles, std::function<void()> atRelease = {})
      : waits_(Win32SetWaitsTimeOutAtOnce), particles_(particles), atRelease_(std::move(atRelease)) {
    particles_->HoldAtUpdate(2);
    agent.onIdle = [this](HWND d) {
      if (particles_->IsHeld()) Win32PressButton(d, IDCANCEL);
    };
    agent.onEnded = [this](HWND, INT_PTR) {
      runningAtEnd = Win32RunningThreadCount();
      ended_ = true;
    };
    releaser_ = std::thread([this] {
      while (!ended_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      returnedBeforeRelease = returned_.load();
      if (atRelease_) atRelease_();
      particles_->Release();
    });
  }
  ~OutlivedWait() { CallerReturned(); }
  void CallerReturned() {
    returned_ = true;
    if (releaser_.joinable()) releaser_.join();
  }

  int runningAtEnd = -1;
  bool returnedBeforeRelease = true;

 private:
  Win32Switch waits_;
  HeldParticleObject* particles_;
  std::function<void()> atRelease_;
  std::atomic<bool> ended_{false}, returned_{false};
  std::thread releaser_;
};
