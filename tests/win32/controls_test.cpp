// Dialogs built from templates, their controls and messages, a person's input, message boxes, and every
// handle that is not a live window reported instead of used.
#include "ui_fixture.h"

#include <cstring>
#include <thread>

namespace {

using namespace ui_test;

// Runs the progress dialog with body called from WM_INITDIALOG; the dialog then ends.
void WithDialog(int templateId, const std::function<void(HWND)>& body, HWND owner = nullptr) {
  ScriptedAgent agent;
  const INT_PTR result = RunDialog(templateId, owner, [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      body(d);
      EndDialog(d, 1);
    }
    return FALSE;
  });
  ASSERT_EQ(result, 1);
}

TEST(Templates, ControlsComeFromTheTemplateWithPixelRectsFromDialogUnits) {
  HWND owner = Win32CreateMainWindow("Owner");
  MoveWindow(owner, 100, 200, 800, 600, FALSE);
  WithDialog(
      kProgressDialog,
      [&](HWND d) {
        EXPECT_STREQ(Win32WindowClass(d), "#32770");
        char caption[32];
        EXPECT_EQ(GetWindowTextA(d, caption, sizeof caption), 9);
        EXPECT_STREQ(caption, "Wakeweave");
        RECT r{};
        ASSERT_TRUE(GetWindowRect(d, &r));
        // 186 x 71 dialog units at the owner's top left.
        EXPECT_EQ(r.left, 100);
        EXPECT_EQ(r.top, 200);
        EXPECT_EQ(r.right - r.left, 186 * 6 / 4);
        EXPECT_EQ(r.bottom - r.top, 71 * 13 / 8);

        HWND bar = GetDlgItem(d, kProgressBar);
        ASSERT_NE(bar, nullptr);
        EXPECT_STREQ(Win32WindowClass(bar), PROGRESS_CLASSA);
        EXPECT_EQ(GetParent(bar), d);
        EXPECT_EQ(GetDlgCtrlID(bar), kProgressBar);
        ASSERT_TRUE(GetWindowRect(bar, &r));
        EXPECT_EQ(r.left, 100 + 7 * 6 / 4);
        EXPECT_EQ(r.top, 200 + 28 * 13 / 8);
        EXPECT_EQ(r.right - r.left, 172 * 6 / 4);
        EXPECT_EQ(r.bottom - r.top, 14 * 13 / 8);

        HWND cancel = GetDlgItem(d, IDCANCEL);
        EXPECT_STREQ(Win32WindowClass(cancel), "Button");
        EXPECT_STREQ(Win32WindowClass(GetDlgItem(d, kDisabledButton)), "Button") << "class names match in any case";
        EXPECT_STREQ(Win32WindowClass(GetDlgItem(d, -1)), "Static");
        EXPECT_TRUE(IsWindowEnabled(cancel));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, kDisabledButton))) << "WS_DISABLED in the template";

        // Moving the dialog carries its controls.
        MoveWindow(d, 10, 20, r.right - r.left, 100, FALSE);
        GetWindowRect(cancel, &r);
        EXPECT_EQ(r.left, 10 + 67 * 6 / 4);
        EXPECT_EQ(r.top, 20 + 50 * 13 / 8);

        SetLastError(0);
        EXPECT_EQ(GetDlgItem(d, 4242), nullptr);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_CONTROL_ID_NOT_FOUND));
      },
      owner);
  DestroyWindow(owner);
}

TEST(Templates, EnumChildWindowsVisitsTheControlsInTemplateOrderAndStopsWhenAsked) {
  WithDialog(kProgressDialog, [](HWND d) {
    struct Visit {
      std::vector<int> ids;
      size_t stopAfter;
    };
    auto collect = [](HWND child, LPARAM p) -> BOOL {
      auto* v = reinterpret_cast<Visit*>(p);
      v->ids.push_back(GetDlgCtrlID(child));
      return v->ids.size() < v->stopAfter;
    };
    Visit all{{}, 100};
    ASSERT_TRUE(EnumChildWindows(d, collect, reinterpret_cast<LPARAM>(&all)));
    ASSERT_EQ(all.ids.size(), 6u);
    EXPECT_EQ(all.ids[0], IDCANCEL);
    EXPECT_EQ(all.ids[2], kProgressBar);
    Visit two{{}, 2};
    EXPECT_TRUE(EnumChildWindows(d, collect, reinterpret_cast<LPARAM>(&two)));
    EXPECT_EQ(two.ids, std::vector<int>(all.ids.begin(), all.ids.begin() + 2));
    // A control has no children; a handle that is not a window is reported.
    Visit none{{}, 100};
    EXPECT_TRUE(EnumChildWindows(GetDlgItem(d, IDCANCEL), collect, reinterpret_cast<LPARAM>(&none)));
    EXPECT_TRUE(none.ids.empty());
    SetLastError(0);
    EXPECT_FALSE(EnumChildWindows(reinterpret_cast<HWND>(uintptr_t(0x7fff0001)), collect, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  });
}

TEST(Templates, InitDialogNamesTheFirstEnabledTabStopAndCarriesTheParameter) {
  ScriptedAgent agent;
  // The lambda runs at all only because WM_INITDIALOG carried DialogBoxParam's parameter to the fixture.
  bool initialised = false;
  RunDialog(kProgressDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      initialised = true;
      EXPECT_EQ(reinterpret_cast<HWND>(w), GetDlgItem(d, IDCANCEL));
      EndDialog(d, 0);
    }
    return FALSE;
  });
  EXPECT_TRUE(initialised);
  RunDialog(kDisabledCancelDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      EXPECT_EQ(reinterpret_cast<HWND>(w), GetDlgItem(d, IDOK));
      EndDialog(d, 0);
    }
    return FALSE;
  });
}

TEST(Templates, ADialogThatCannotBeMadeReturnsMinusOne) {
  ScriptedAgent agent;
  bool shown = false;
  agent.shown = [&](HWND) { shown = true; };
  auto never = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR {
    ADD_FAILURE() << "a procedure was called for a dialog that could not be made";
    return FALSE;
  };
  EXPECT_EQ(DialogBoxParamA(Module(), MAKEINTRESOURCE(kMissingDialog), nullptr, never, 0), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(DialogBoxParamA(Module(), MAKEINTRESOURCE(kUnknownClassDialog), nullptr, never, 0), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_EQ(DialogBoxParamA(Module(), MAKEINTRESOURCE(kSmallDialog), nullptr, nullptr, 0), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(DialogBoxParamA(Module(), "NAMED", nullptr, never, 0), -1);
  int notAModule = 0;
  EXPECT_EQ(DialogBoxParamA(reinterpret_cast<HINSTANCE>(&notAModule), MAKEINTRESOURCE(kSmallDialog), nullptr, never, 0),
            -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  HWND gone = Win32CreateMainWindow("Gone");
  DestroyWindow(gone);
  EXPECT_EQ(DialogBoxParamA(Module(), MAKEINTRESOURCE(kSmallDialog), gone, never, 0), -1) << "a dead owner";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(shown);
}

TEST(ProgressBar, RangePositionAndStepWithWindowsReturnValuesAndClamping) {
  WithDialog(kProgressDialog, [](HWND d) {
    HWND bar = GetDlgItem(d, kProgressBar);
    int lo = -1, hi = -1, pos = -1, step = -1;
    ASSERT_TRUE(Win32ProgressBarState(bar, &lo, &hi, &pos, &step));
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 100);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(step, 10);

    // SETRANGE answers the old range; a position outside the new one is pulled into it.
    EXPECT_EQ(SendDlgItemMessageA(d, kProgressBar, PBM_SETPOS, 80, 0), 0);
    EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(10, 50)), MAKELPARAM(0, 100));
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 50);
    EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100)), MAKELPARAM(10, 50));

    // SETPOS answers the old position and clamps at both ends.
    EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 150, 0), 50);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 100);
    EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, WPARAM(-5), 0), 100);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 37, 0), 0);

    // DELTAPOS adds, answers the old position, clamps.
    EXPECT_EQ(SendMessageA(bar, PBM_DELTAPOS, 10, 0), 37);
    EXPECT_EQ(SendMessageA(bar, PBM_DELTAPOS, WPARAM(-100), 0), 47);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);

    // SETSTEP answers the old step; STEPIT the old position, starting over past the maximum.
    EXPECT_EQ(SendMessageA(bar, PBM_SETSTEP, 1, 0), 10);
    EXPECT_EQ(SendMessageA(bar, PBM_SETSTEP, 30, 0), 1);
    EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 60, 0), 0);
    EXPECT_EQ(SendMessageA(bar, PBM_STEPIT, 0, 0), 60);
    EXPECT_EQ(SendMessageA(bar, PBM_STEPIT, 0, 0), 90);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0) << "past the maximum the bar starts over";

    // An empty range holds its one value.
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 70, 0), 5);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 5);

    ASSERT_TRUE(Win32ProgressBarState(bar, &lo, &hi, &pos, &step));
    EXPECT_EQ(lo, 5);
    EXPECT_EQ(hi, 5);
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(step, 30);
    EXPECT_FALSE(Win32ProgressBarState(GetDlgItem(d, IDCANCEL), &lo, &hi, &pos, &step)) << "a button is no bar";
    // Progress messages mean nothing to other classes.
    EXPECT_EQ(SendDlgItemMessageA(d, IDCANCEL, PBM_SETPOS, 50, 0), 0);
  });
}

TEST(ProgressBar, AnotherThreadMayDriveABar) {
  WithDialog(kProgressDialog, [](HWND d) {
    HWND bar = GetDlgItem(d, kProgressBar);
    std::thread([bar] {
      for (int i = 1; i <= 100; ++i) SendMessageA(bar, PBM_SETPOS, i, 0);
    }).join();
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 100);
  });
}

TEST(Text, WindowAndControlTextThroughMessagesAndHelpers) {
  WithDialog(kProgressDialog, [](HWND d) {
    char buffer[8];
    EXPECT_EQ(GetDlgItemTextA(d, -1, buffer, sizeof buffer), 7u) << "truncated to the buffer, counted as copied";
    EXPECT_STREQ(buffer, "Recalcu");
    EXPECT_EQ(SendDlgItemMessageA(d, -1, WM_GETTEXTLENGTH, 0, 0), LRESULT(std::strlen(kProgressControls[1].text)));
    EXPECT_TRUE(SetDlgItemTextA(d, IDCANCEL, "Stop"));
    EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(d, IDCANCEL)), 4);
    EXPECT_EQ(SendDlgItemMessageA(d, IDCANCEL, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 4);
    EXPECT_STREQ(buffer, "Stop");
    EXPECT_EQ(SendDlgItemMessageA(d, IDCANCEL, WM_GETTEXT, 1, reinterpret_cast<LPARAM>(buffer)), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetWindowTextA(d, buffer, 0), 0);
    EXPECT_TRUE(SetWindowTextA(d, "Busy"));
    EXPECT_EQ(GetWindowTextA(d, buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "Busy");
    EXPECT_EQ(GetDlgItemTextA(d, 4242, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
  });
}

TEST(Text, TheDialogProcedureSeesTextMessagesFirst) {
  ScriptedAgent agent;
  char buffer[16];
  RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
    if (m == WM_SETTEXT && std::strcmp(reinterpret_cast<const char*>(l), "refused") == 0) return TRUE;
    if (m == WM_INITDIALOG) {
      SetWindowTextA(d, "kept");
      SetWindowTextA(d, "refused");
      GetWindowTextA(d, buffer, sizeof buffer);
      EndDialog(d, 0);
    }
    return FALSE;
  });
  EXPECT_STREQ(buffer, "kept");
}

// The messages a dialog procedure gets for a person's input, from the agent's first idle moment.
std::string InputSeen(int templateId, const std::function<void(HWND)>& act, bool handleClose = false) {
  ScriptedAgent agent;
  Log log;
  bool acted = false;
  agent.idle = [&](HWND d) {
    if (acted) {
      EndDialog(d, 0);  // everything the input led to has been delivered
      return;
    }
    acted = true;
    act(d);
    // Makes sure of another idle moment, after the input and whatever it leads to.
    PostMessageA(d, WM_NULL, 0, 0);
  };
  RunDialog(templateId, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m != WM_INITDIALOG && m != WM_DESTROY && m != WM_NULL) log.add(Describe(m, w));
    return m == WM_CLOSE && handleClose;
  });
  return log.joined();
}

TEST(Input, EscapeEnterCloseBoxAndPressMapAsTheDialogManagerDoes) {
  EXPECT_EQ(InputSeen(kSmallDialog, [](HWND d) { EXPECT_TRUE(Win32PressKey(d, VK_ESCAPE)); }), "command 2/0");
  EXPECT_EQ(InputSeen(kSmallDialog, [](HWND d) { Win32PressKey(d, VK_RETURN); }), "command 1/0");
  EXPECT_EQ(InputSeen(kSmallDialog, [](HWND d) { Win32PressKey(d, 'A'); }), "key 65");
  EXPECT_EQ(InputSeen(kSmallDialog, [](HWND d) { EXPECT_TRUE(Win32CloseWindow(d)); }), "close, command 2/0");
  EXPECT_EQ(InputSeen(
                kSmallDialog, [](HWND d) { Win32CloseWindow(d); }, true),
            "close")
      << "a procedure that handles WM_CLOSE gets no Cancel";
  EXPECT_EQ(InputSeen(kSmallDialog, [](HWND d) { EXPECT_TRUE(Win32PressButton(d, IDCANCEL)); }), "command 2/0");
  // With a disabled Cancel button the close box does nothing more; Esc still says Cancel.
  EXPECT_EQ(InputSeen(kDisabledCancelDialog, [](HWND d) { Win32CloseWindow(d); }), "close");
  EXPECT_EQ(InputSeen(kDisabledCancelDialog, [](HWND d) { Win32PressKey(d, VK_ESCAPE); }), "command 2/0");
  // Enter does nothing when OK is disabled.
  EXPECT_EQ(InputSeen(kSmallDialog,
                      [](HWND d) {
                        EnableWindow(GetDlgItem(d, IDOK), FALSE);
                        Win32PressKey(d, VK_RETURN);
                      }),
            "");
}

TEST(Input, OnlyAnExistingEnabledButtonCanBePressed) {
  EXPECT_EQ(InputSeen(kProgressDialog,
                      [](HWND d) {
                        EXPECT_FALSE(Win32PressButton(d, kDisabledButton));
                        EXPECT_FALSE(Win32PressButton(d, kStaticWithId)) << "a static is no button";
                        EXPECT_FALSE(Win32PressButton(d, 4242));
                        EXPECT_FALSE(Win32PressButton(d, kProgressBar));
                      }),
            "");
  EXPECT_EQ(InputSeen(kProgressDialog,
                      [](HWND d) {
                        EXPECT_TRUE(EnableWindow(GetDlgItem(d, kDisabledButton), TRUE)) << "was disabled";
                        EXPECT_TRUE(Win32PressButton(d, kDisabledButton));
                        EXPECT_FALSE(EnableWindow(GetDlgItem(d, IDOK), FALSE)) << "was enabled";
                        EXPECT_FALSE(Win32PressButton(d, IDOK));
                      }),
            "command 10/0");
}

TEST(Input, APressFromAnotherThreadReachesTheDialog) {
  ScriptedAgent agent;
  std::thread person;
  const INT_PTR result = RunDialog(kSmallDialog, nullptr, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) person = std::thread([d] { EXPECT_TRUE(Win32PressButton(d, IDCANCEL)); });
    if (m == WM_COMMAND) EndDialog(d, LOWORD(w));
    return FALSE;
  });
  person.join();
  EXPECT_EQ(result, IDCANCEL);
}

TEST(MessageBox, TheDefaultAgentPressesTheFirstButton) {
  const struct {
    UINT type;
    int answer;
  } cases[] = {{MB_OK, IDOK},
               {MB_OKCANCEL, IDOK},
               {MB_ABORTRETRYIGNORE, IDABORT},
               {MB_YESNOCANCEL, IDYES},
               {MB_YESNO | MB_ICONWARNING, IDYES},
               {MB_RETRYCANCEL, IDRETRY}};
  for (const auto& c : cases) EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", c.type), c.answer) << c.type;
}

TEST(MessageBox, TheAgentSeesTextCaptionAndType) {
  ScriptedAgent agent;
  std::string seen;
  agent.answer = [&](HWND owner, const char* text, const char* caption, UINT type) {
    seen = std::string(text) + "|" + caption + "|" + std::to_string(type) + (owner ? "|owned" : "|free");
    return IDCANCEL;
  };
  EXPECT_EQ(MessageBoxA(nullptr, "Could not create recalculation timer", nullptr, MB_OKCANCEL | MB_ICONERROR),
            IDCANCEL);
  EXPECT_EQ(seen, "Could not create recalculation timer|Error|17|free") << "a null caption reads Error";
}

TEST(MessageBox, BadTypesAndOwnersAreReported) {
  ScriptedAgent agent;
  int asked = 0;
  agent.answer = [&](HWND, const char*, const char*, UINT) {
    ++asked;
    return IDOK;
  };
  EXPECT_EQ(MessageBoxA(nullptr, "t", "c", 0x9), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  HWND gone = Win32CreateMainWindow("Gone");
  DestroyWindow(gone);
  EXPECT_EQ(MessageBoxA(gone, "t", "c", MB_OK), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(asked, 0);
}

TEST(MessageBoxDeathTest, AnAnswerTheBoxDoesNotOfferIsAFault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        ScriptedAgent agent;
        agent.answer = [](HWND, const char*, const char*, UINT) { return IDNO; };
        MessageBoxA(nullptr, "Done", "Wakeweave", MB_OKCANCEL);
      },
      "answered 7");
}

TEST(Timers, CreationFailsWhileSwitchedOnAndRefusedRequests) {
  WithDialog(kSmallDialog, [](HWND d) {
    Win32SetTimerCreationFails(TRUE);
    SetLastError(0);
    const UINT_PTR failed = SetTimer(d, 8535, 250, nullptr);
    const DWORD error = GetLastError();
    Win32SetTimerCreationFails(FALSE);
    EXPECT_EQ(failed, 0u);
    EXPECT_EQ(error, DWORD(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_FALSE(KillTimer(d, 8535)) << "a failed timer exists";

    EXPECT_EQ(SetTimer(d, 1, 10, [](HWND, UINT, UINT_PTR, DWORD) {}), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SetTimer(nullptr, 1, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    // A window's timers belong to its thread.
    UINT_PTR fromElsewhere = 1;
    DWORD elsewhereError = 0;
    std::thread([&] {
      fromElsewhere = SetTimer(d, 2, 10, nullptr);
      elsewhereError = GetLastError();
    }).join();
    EXPECT_EQ(fromElsewhere, 0u);
    EXPECT_EQ(elsewhereError, DWORD(ERROR_ACCESS_DENIED));
  });
}

TEST(Handles, StaleAndForeignWindowHandlesAreReportedNeverUsed) {
  HWND dialog = nullptr, bar = nullptr;
  WithDialog(kProgressDialog, [&](HWND d) {
    dialog = d;
    bar = GetDlgItem(d, kProgressBar);
  });
  int notAWindow = 0;
  const HWND forged = reinterpret_cast<HWND>(&notAWindow);
  for (HWND h : {dialog, bar, forged}) {
    EXPECT_FALSE(IsWindow(h));
    SetLastError(0);
    EXPECT_EQ(SendMessageA(h, PBM_SETPOS, 5, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(PostMessageA(h, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    RECT r{};
    EXPECT_FALSE(GetWindowRect(h, &r));
    EXPECT_FALSE(MoveWindow(h, 0, 0, 1, 1, FALSE));
    EXPECT_FALSE(SetWindowTextA(h, "x"));
    char text[4] = "abc";
    EXPECT_EQ(GetWindowTextA(h, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(IsWindowEnabled(h));
    EXPECT_EQ(GetParent(h), nullptr);
    EXPECT_FALSE(DestroyWindow(h));
    EXPECT_FALSE(EndDialog(h, 1));
    EXPECT_FALSE(Win32PressButton(h, IDOK));
    EXPECT_FALSE(Win32PressKey(h, VK_ESCAPE));
    EXPECT_FALSE(Win32CloseWindow(h));
    EXPECT_FALSE(Win32ProgressBarState(h, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ(Win32WindowClass(h), "");
    SetLastError(0);
    EXPECT_EQ(GetDlgItem(h, IDOK), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  }
  // A window made later never gets a dead one's handle.
  HWND fresh = Win32CreateMainWindow("Fresh");
  EXPECT_NE(fresh, dialog);
  EXPECT_NE(fresh, bar);
  EXPECT_FALSE(EndDialog(fresh, 1)) << "a main window is no dialog";
  DestroyWindow(fresh);
  EXPECT_FALSE(IsWindow(fresh));
}

TEST(Handles, OnlyTheOwningThreadRunsADialogProcedureOrDestroysAWindow) {
  WithDialog(kSmallDialog, [](HWND d) {
    LRESULT sent = 1;
    DWORD sendError = 0;
    BOOL destroyed = TRUE;
    DWORD destroyError = 0;
    std::thread([&] {
      sent = SendMessageA(d, WM_GETTEXTLENGTH, 0, 0);
      sendError = GetLastError();
      destroyed = DestroyWindow(d);
      destroyError = GetLastError();
    }).join();
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(sendError, DWORD(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(destroyError, DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsWindow(d));
  });
}

TEST(Handles, DestroyingAWindowSendsWmDestroyToItAndWhatItOwns) {
  ScriptedAgent agent;
  Log log;
  HWND owner = Win32CreateMainWindow("Owner");
  HWND dialog = nullptr;
  // The owner is destroyed while its dialog runs: the dialog goes with it, and its run ends.
  const INT_PTR result = RunDialog(kSmallDialog, owner, [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    log.add(Describe(m, w));
    if (m == WM_INITDIALOG) {
      dialog = d;
      PostMessageA(d, WM_USER + 1, 0, 0);
    }
    if (m == WM_USER + 1) {
      EXPECT_TRUE(DestroyWindow(owner));
    }
    return FALSE;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(log.joined(), "init, user 1, destroy");
  EXPECT_FALSE(IsWindow(owner));
  EXPECT_FALSE(IsWindow(dialog));
}

TEST(Handles, AMainWindowClosesByDefault) {
  HWND main = Win32CreateMainWindow("Main");
  EXPECT_STREQ(Win32WindowClass(main), "Win32MainWindow");
  RECT r{};
  GetWindowRect(main, &r);
  EXPECT_EQ(r.right - r.left, 1600);
  EXPECT_EQ(SendMessageA(main, WM_CLOSE, 0, 0), 0);
  EXPECT_FALSE(IsWindow(main));
}

}  // namespace
