// The modal loop of DialogBoxParamA: how it ends, its timers on the clock, posts from other threads,
// nested modal runs, the owner's state and what the user agent is told.
#include "ui_fixture.h"

#include <atomic>
#include <future>
#include <thread>

namespace {

using namespace ui_test;
using std::chrono::milliseconds;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TEST(ModalLoop, EndDialogInInitDialogReturnsWithoutIdleAndDestroysTheDialog) {
  ScriptedAgent agent;
  Log log;
  HWND seen = nullptr;
  HWND control = nullptr;
  agent.shown = [&](HWND d) { log.add(IsWindow(d) ? "shown (live)" : "shown (gone)"); };
  agent.ended = [&](HWND d, INT_PTR r) { log.add("ended " + std::to_string(r)); };
  const INT_PTR result = RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    log.add(Describe(m, w));
    if (m == WM_INITDIALOG) {
      seen = d;
      control = GetDlgItem(d, IDOK);
      EXPECT_EQ(GetActiveWindow(), d);
      EXPECT_EQ(Win32CurrentModalDialog(), d);
      EndDialog(d, 17);
      // The end takes effect after this message, not within it.
      EXPECT_TRUE(IsWindow(d));
    }
    return FALSE;
  });
  EXPECT_EQ(result, 17);
  EXPECT_EQ(log.joined(), "init, shown (live), ended 17, destroy");
  EXPECT_EQ(agent.idleCalls, 0);
  EXPECT_FALSE(IsWindow(seen));
  EXPECT_FALSE(IsWindow(control)) << "a dialog's controls go with it";
  EXPECT_EQ(Win32CurrentModalDialog(), nullptr);
}

TEST(ModalLoop, EndsAfterTheCurrentMessageEvenWithMoreQueued) {
  ScriptedAgent agent;
  Log log;
  agent.idle = [](HWND d) { Win32PressButton(d, IDOK); };
  const INT_PTR result = RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
    log.add(Describe(m, w));
    if (m == WM_COMMAND && LOWORD(w) == IDOK) {
      EXPECT_EQ(reinterpret_cast<HWND>(l), GetDlgItem(d, IDOK)) << "a click names the button";
      PostMessageA(d, WM_USER + 1, 0, 0);
      EndDialog(d, 3);
      EndDialog(d, 4);  // the last end wins
      return TRUE;
    }
    return FALSE;
  });
  EXPECT_EQ(result, 4);
  EXPECT_EQ(log.joined(), "init, command 1/0, destroy");
}

TEST(ModalLoop, TimerFiresOnTheClockAtItsPeriod) {
  ScriptedAgent agent;
  constexpr int kPeriod = 40;
  constexpr int kTicks = 5;
  Clock::time_point set;
  std::vector<double> ticks;
  const INT_PTR result = RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      set = Clock::now();
      EXPECT_EQ(SetTimer(d, 8535, kPeriod, nullptr), 8535u);
    }
    if (m == WM_TIMER) {
      EXPECT_EQ(w, 8535u);
      ticks.push_back(msSince(set));
      if (ticks.size() == kTicks) EndDialog(d, 1);
    }
    return FALSE;
  });
  EXPECT_EQ(result, 1);
  ASSERT_EQ(ticks.size(), size_t(kTicks));
  for (int k = 0; k < kTicks; ++k) EXPECT_GE(ticks[k], (k + 1) * kPeriod - 1) << "tick " << k + 1 << " came early";
  // Generous: a loaded machine (or a sanitizer) may run late, but not by periods upon periods.
  EXPECT_LT(ticks.back(), kTicks * kPeriod + 1000);
  // Between ticks the loop waits instead of spinning: the agent is asked about once per tick.
  EXPECT_LE(agent.idleCalls, kTicks + 1);
  EXPECT_GE(agent.idleCalls, kTicks);
}

TEST(ModalLoop, ABusyProcedureGetsOneTimerMessageNotABurst) {
  ScriptedAgent agent;
  std::vector<Clock::time_point> ticks;
  RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) SetTimer(d, 1, 10, nullptr);
    if (m == WM_TIMER) {
      ticks.push_back(Clock::now());
      if (ticks.size() == 1) std::this_thread::sleep_for(milliseconds(80));  // eight periods go by
      if (ticks.size() == 3) EndDialog(d, 0);
    }
    return FALSE;
  });
  ASSERT_EQ(ticks.size(), 3u);
  // The periods missed while busy were one pending WM_TIMER: the third tick waits out a period again.
  const double gap = std::chrono::duration<double, std::milli>(ticks[2] - ticks[1]).count();
  EXPECT_GE(gap, 5.0);
}

TEST(ModalLoop, APeriodBelowTheMinimumCountsAsTheMinimum) {
  ScriptedAgent agent;
  Clock::time_point set;
  std::vector<double> ticks;
  RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      set = Clock::now();
      SetTimer(d, 1, 0, nullptr);
    }
    if (m == WM_TIMER) {
      ticks.push_back(msSince(set));
      if (ticks.size() == 3) EndDialog(d, 0);
    }
    return FALSE;
  });
  ASSERT_EQ(ticks.size(), 3u);
  EXPECT_GE(ticks[2], 3 * 10 - 1) << "a zero period made the timer spin";
}

TEST(ModalLoop, KillTimerStopsItAndSetTimerAgainResetsIt) {
  ScriptedAgent agent;
  int fast = 0, slow = 0;
  RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      SetTimer(d, 1, 15, nullptr);
      SetTimer(d, 1, 15, nullptr);  // the same timer again: still one
      SetTimer(d, 2, 120, nullptr);
    }
    if (m == WM_TIMER && w == 1 && ++fast == 1) {
      EXPECT_TRUE(KillTimer(d, 1));
      EXPECT_FALSE(KillTimer(d, 1));
      EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    }
    if (m == WM_TIMER && w == 2) {
      ++slow;
      EndDialog(d, 0);
    }
    return FALSE;
  });
  EXPECT_EQ(fast, 1) << "a killed timer fired again";
  EXPECT_EQ(slow, 1);
}

TEST(ModalLoop, TheDialogsTimersDieWithIt) {
  ScriptedAgent agent;
  HWND first = nullptr;
  int ticksOfFirst = 0;
  RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      first = d;
      SetTimer(d, 5, 10, nullptr);
      EndDialog(d, 0);
    }
    return FALSE;
  });
  EXPECT_FALSE(KillTimer(first, 5));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  // A second run on the same thread must not see the first one's timer.
  RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) SetTimer(d, 6, 60, nullptr);
    if (m == WM_TIMER && w == 5) ++ticksOfFirst;
    if (m == WM_TIMER && w == 6) EndDialog(d, 0);
    return FALSE;
  });
  EXPECT_EQ(ticksOfFirst, 0);
}

TEST(ModalLoop, APostFromAnotherThreadWakesTheWaitingLoop) {
  ScriptedAgent agent;
  std::thread poster;
  std::atomic<bool> waited{false};
  Log log;
  // No timer, an agent that does nothing: the loop can only wait for the post.
  agent.idle = [&](HWND) { waited = true; };
  const Clock::time_point start = Clock::now();
  const INT_PTR result = RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
    log.add(Describe(m, w));
    if (m == WM_INITDIALOG) {
      poster = std::thread([d, &waited] {
        while (!waited) std::this_thread::sleep_for(milliseconds(1));
        std::this_thread::sleep_for(milliseconds(30));
        EXPECT_TRUE(PostMessageA(d, WM_USER + 7, 70, 700));
      });
    }
    if (m == WM_USER + 7) {
      EXPECT_EQ(w, 70u);
      EXPECT_EQ(l, 700);
      EndDialog(d, 7);
    }
    return FALSE;
  });
  poster.join();
  EXPECT_EQ(result, 7);
  EXPECT_EQ(log.joined(), "init, user 7, destroy");
  EXPECT_EQ(agent.idleCalls, 1) << "the loop spun instead of waiting";
  EXPECT_LT(msSince(start), 5000);
}

TEST(ModalLoop, EndDialogFromAnotherThreadWakesTheLoop) {
  ScriptedAgent agent;
  std::thread ender;
  const INT_PTR result = RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG)
      ender = std::thread([d] {
        std::this_thread::sleep_for(milliseconds(20));
        EXPECT_TRUE(EndDialog(d, 9));
      });
    return FALSE;
  });
  ender.join();
  EXPECT_EQ(result, 9);
}

TEST(ModalLoop, MessagesArriveInOrderAndBeforeADueTimer) {
  ScriptedAgent agent;
  Log log;
  RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m != WM_INITDIALOG && m != WM_DESTROY) log.add(Describe(m, w));
    if (m == WM_INITDIALOG) {
      SetTimer(d, 3, 10, nullptr);
      std::this_thread::sleep_for(milliseconds(20));  // the timer is due before the loop starts
      for (int i = 1; i <= 3; ++i) PostMessageA(d, WM_USER + i, 0, 0);
    }
    if (m == WM_TIMER) EndDialog(d, 0);
    return FALSE;
  });
  EXPECT_EQ(log.joined(), "user 1, user 2, user 3, timer 3");
}

TEST(ModalLoop, OwnerIsDisabledForTheRunAndEnabledAfter) {
  ScriptedAgent agent;
  HWND owner = Win32CreateMainWindow("Owner");
  BOOL enabledDuring = TRUE;
  HWND parentSeen = nullptr;
  agent.ended = [&](HWND, INT_PTR) { EXPECT_FALSE(IsWindowEnabled(owner)) << "enabled before the run was over"; };
  RunDialog(kSmallDialog, owner, [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      enabledDuring = IsWindowEnabled(owner);
      parentSeen = GetParent(d);
      EndDialog(d, 0);
    }
    return FALSE;
  });
  EXPECT_FALSE(enabledDuring);
  EXPECT_EQ(parentSeen, owner);
  EXPECT_TRUE(IsWindowEnabled(owner));

  // An owner disabled before the run stays disabled after it.
  EnableWindow(owner, FALSE);
  RunDialog(kSmallDialog, owner, [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) EndDialog(d, 0);
    return FALSE;
  });
  EXPECT_FALSE(IsWindowEnabled(owner));
  DestroyWindow(owner);
}

TEST(ModalLoop, NestedDialogRunsItsOwnLoopWhileTheOuterTimerKeepsTicking) {
  ScriptedAgent agent;
  HWND outer = nullptr, inner = nullptr;
  int outerTicksDuringInner = 0;
  bool inInner = false;
  Log log;
  // The person presses OK in the inner dialog once the outer timer has ticked twice within it.
  agent.idle = [&](HWND d) {
    if (d == inner && outerTicksDuringInner >= 2) Win32PressButton(d, IDOK);
  };
  agent.shown = [&](HWND d) {
    if (d == outer) Win32PressButton(d, IDOK);
  };
  const INT_PTR result = RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      outer = d;
      SetTimer(d, 1, 10, nullptr);
    }
    if (m == WM_TIMER && inInner) ++outerTicksDuringInner;
    if (m == WM_COMMAND && LOWORD(w) == IDOK) {
      inInner = true;
      const INT_PTR innerResult = RunDialog(kSmallDialog, d, [&](HWND i, UINT im, WPARAM iw, LPARAM) -> INT_PTR {
        if (im == WM_INITDIALOG) {
          inner = i;
          log.add(std::string("inner active ") + (GetActiveWindow() == i ? "yes" : "no"));
          log.add(std::string("outer enabled ") + (IsWindowEnabled(outer) ? "yes" : "no"));
          log.add(std::string("press outer ") + (Win32PressButton(outer, IDOK) ? "taken" : "refused"));
          EXPECT_EQ(Win32CurrentModalDialog(), i);
        }
        if (im == WM_COMMAND && LOWORD(iw) == IDOK) EndDialog(i, 55);
        return FALSE;
      });
      inInner = false;
      log.add("inner returned " + std::to_string(innerResult));
      log.add(std::string("outer active ") + (GetActiveWindow() == d ? "yes" : "no"));
      log.add(std::string("outer enabled ") + (IsWindowEnabled(d) ? "yes" : "no"));
      EndDialog(d, 66);
    }
    return FALSE;
  });
  EXPECT_EQ(result, 66);
  EXPECT_EQ(log.joined(),
            "inner active yes, outer enabled no, press outer refused, inner returned 55, outer active yes, "
            "outer enabled yes");
  EXPECT_GE(outerTicksDuringInner, 2);
  EXPECT_FALSE(IsWindow(inner));
}

TEST(ModalLoop, MessageBoxFromADialogProcedureIsAnsweredByTheAgentWithItsOwnerDisabled) {
  ScriptedAgent agent;
  HWND dialog = nullptr;
  Log log;
  agent.answer = [&](HWND owner, const char* text, const char* caption, UINT type) {
    log.add(std::string(text) + " | " + caption + (owner == dialog ? " | owned" : " | not owned") +
            (IsWindowEnabled(owner) ? " | owner enabled" : " | owner disabled"));
    EXPECT_EQ(type & MB_TYPEMASK, UINT(MB_YESNO));
    EXPECT_EQ(type & MB_ICONMASK, UINT(MB_ICONQUESTION));
    return IDNO;
  };
  RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      dialog = d;
      const int answer = MessageBoxA(d, "Keep going?", "Wakeweave", MB_YESNO | MB_ICONQUESTION);
      log.add("answer " + std::to_string(answer));
      log.add(IsWindowEnabled(d) ? "dialog enabled" : "dialog disabled");
      EndDialog(d, 0);
    }
    return FALSE;
  });
  EXPECT_EQ(log.joined(), "Keep going? | Wakeweave | owned | owner disabled, answer 7, dialog enabled");
}

TEST(ModalLoop, TheAgentMayActLaterAtAnotherIdleMoment) {
  ScriptedAgent agent;
  int ticks = 0;
  // The person waits for three ticks, then presses Cancel.
  agent.idle = [&](HWND d) {
    if (ticks == 3) {
      EXPECT_TRUE(Win32PressButton(d, IDCANCEL));
    }
  };
  const INT_PTR result = RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) SetTimer(d, 1, 10, nullptr);
    if (m == WM_TIMER) ++ticks;
    if (m == WM_COMMAND && LOWORD(w) == IDCANCEL) EndDialog(d, IDCANCEL);
    return FALSE;
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(ticks, 3);
}

TEST(ModalLoop, ADialogDestroyedByItsProcedureEndsTheRunWithZero) {
  ScriptedAgent agent;
  bool endedCalled = false;
  agent.ended = [&](HWND, INT_PTR) { endedCalled = true; };
  agent.idle = [](HWND d) { Win32PressButton(d, IDOK); };
  const INT_PTR result = RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_COMMAND && LOWORD(w) == IDOK) {
      EXPECT_TRUE(DestroyWindow(d));
    }
    return FALSE;
  });
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(endedCalled) << "told of an end the dialog never had";
  EXPECT_EQ(Win32CurrentModalDialog(), nullptr);
}

TEST(ModalLoop, ActiveWindowOutsideDialogsIsTheOneMadeActive) {
  HWND main = Win32CreateMainWindow("Main");
  Win32SetActiveWindow(main);
  EXPECT_EQ(GetActiveWindow(), main);
  HWND seenInside = nullptr;
  ScriptedAgent agent;
  RunDialog(kSmallDialog, GetActiveWindow(), [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      seenInside = GetActiveWindow();
      EndDialog(d, 0);
    }
    return FALSE;
  });
  EXPECT_NE(seenInside, main);
  EXPECT_EQ(GetActiveWindow(), main);
  DestroyWindow(main);
  EXPECT_EQ(GetActiveWindow(), nullptr) << "a destroyed window stays active";
  // Another thread's window is not this thread's to activate.
  std::promise<HWND> made;
  std::promise<void> release;
  std::thread other([&] {
    made.set_value(Win32CreateMainWindow("Elsewhere"));
    release.get_future().wait();
  });
  HWND foreign = made.get_future().get();
  Win32SetActiveWindow(foreign);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetActiveWindow(), nullptr);
  release.set_value();
  other.join();
  EXPECT_FALSE(IsWindow(foreign)) << "a thread's windows go with it";
}

TEST(ModalLoop, DialogsRunOnTwoThreadsAtOnceEachWithItsOwnQueue) {
  // Each thread's dialog ends on its own timer; posts to one never reach the other.
  std::atomic<int> strays{0};
  auto run = [&](int id) {
    return RunDialog(kSmallDialog, nullptr, [&, id](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
      if (m == WM_INITDIALOG) SetTimer(d, id, 20, nullptr);
      if (m == WM_TIMER && w != UINT_PTR(id)) ++strays;
      if (m == WM_TIMER) EndDialog(d, id);
      return FALSE;
    });
  };
  INT_PTR other = 0;
  std::thread t([&] { other = run(2); });
  EXPECT_EQ(run(1), 1);
  t.join();
  EXPECT_EQ(other, 2);
  EXPECT_EQ(strays.load(), 0);
}

}  // namespace
