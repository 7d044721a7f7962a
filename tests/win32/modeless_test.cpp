// Modeless dialogs (the host's panels and floating windows), the host's loop between a person's actions,
// control classes registered by a library, and a window's user data.
#include "panel_fixture.h"

#include <thread>

namespace {

using namespace panel_test;

TEST(Modeless, APanelIsAChildOfItsParentPlacedInItAndGoesWithIt) {
  RegisterLoggedClass();
  ClassLog().lines.clear();
  HWND main = Win32CreateMainWindow("Host");
  Log log;
  Proc proc = [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    // The registered control is made, and has heard WM_CREATE, before the panel's procedure starts.
    if (m == WM_INITDIALOG) log.add("init after " + ClassLog().joined());
    if (m == WM_DESTROY) log.add("destroy");
    return FALSE;
  };
  HWND panel = Open(kPanel, main, &proc);
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(log.joined(), "init after create") << "WM_INITDIALOG is sent before CreateDialogParamA returns";
  EXPECT_EQ(GetParent(panel), main);
  EXPECT_STREQ(Win32WindowClass(panel), "#32770");
  RECT r{};
  ASSERT_TRUE(GetWindowRect(panel, &r));
  EXPECT_EQ(r.left, 160);
  EXPECT_EQ(r.top, 90);
  EXPECT_EQ(r.right - r.left, 200 * 6 / 4);
  // Its controls sit in it, and the panel moves with its parent.
  MoveWindow(main, 10, 20, 800, 600, FALSE);
  ASSERT_TRUE(GetWindowRect(GetDlgItem(panel, kEdit2), &r));
  EXPECT_EQ(r.left, 10 + 70 * 6 / 4);
  EXPECT_EQ(r.top, 20 + 5 * 13 / 8);
  // The parent counts it among its child windows.
  std::vector<HWND> children;
  EnumChildWindows(
      main,
      [](HWND child, LPARAM p) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  EXPECT_EQ(children, std::vector<HWND>{panel});

  HWND edit = GetDlgItem(panel, kEdit1);
  ClassLog().lines.clear();
  ASSERT_TRUE(DestroyWindow(main));
  EXPECT_FALSE(IsWindow(panel));
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(log.joined(), "init after create, destroy");
  EXPECT_EQ(ClassLog().joined(), "destroy") << "the registered control hears WM_DESTROY";
}

TEST(Modeless, AFloatingDialogIsOwnedAtItsOwnersTopLeftAndGoesWithIt) {
  HWND main = Win32CreateMainWindow("Host");
  Log log;
  Proc proc = [&](HWND, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    log.add(ui_test::Describe(m, w));
    return FALSE;
  };
  HWND floating = Open(kFloating, main, &proc);
  ASSERT_NE(floating, nullptr);
  EXPECT_EQ(GetParent(floating), main);
  RECT r{};
  GetWindowRect(floating, &r);
  EXPECT_EQ(r.left, 160);
  // Not a child: the owner moving leaves it where it is, and the owner stays enabled.
  MoveWindow(main, 0, 0, 100, 100, FALSE);
  GetWindowRect(floating, &r);
  EXPECT_EQ(r.left, 160);
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_EQ(GetActiveWindow(), nullptr) << "a modeless dialog is no modal run";
  DestroyWindow(main);
  EXPECT_FALSE(IsWindow(floating));
  EXPECT_EQ(log.joined(), "init, destroy");
}

TEST(Modeless, DialogsThatCannotBeMadeAreReported) {
  RegisterLoggedClass();
  auto never = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR {
    ADD_FAILURE() << "a procedure was called for a dialog that could not be made";
    return FALSE;
  };
  SetLastError(0);
  EXPECT_EQ(CreateDialogParamA(Module(), MAKEINTRESOURCE(kPanel), nullptr, never, 0), nullptr)
      << "a panel needs a parent";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  HWND gone = Win32CreateMainWindow("Gone");
  DestroyWindow(gone);
  EXPECT_EQ(CreateDialogParamA(Module(), MAKEINTRESOURCE(kPanel), gone, never, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(CreateDialogParamA(Module(), MAKEINTRESOURCE(kFloating), gone, never, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(CreateDialogParamA(Module(), MAKEINTRESOURCE(399), nullptr, never, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(CreateDialogParamA(Module(), "NAMED", nullptr, never, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(CreateDialogParamA(Module(), MAKEINTRESOURCE(kFloating), nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  // A procedure that destroys its dialog in WM_INITDIALOG leaves the caller no window.
  HWND made = nullptr;
  Proc selfDestroying = [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      made = d;
      DestroyWindow(d);
    }
    return FALSE;
  };
  EXPECT_EQ(Open(kFloating, nullptr, &selfDestroying), nullptr);
  EXPECT_NE(made, nullptr);
  EXPECT_FALSE(IsWindow(made));
}

TEST(HostLoop, DeliversPostedMessagesInOrderThoseTheyPostTooButNoTimers) {
  HWND main = Win32CreateMainWindow("Host");
  Log log;
  HWND floating = nullptr;
  Proc proc = [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m >= WM_USER) log.add(ui_test::Describe(m, w));
    if (m == WM_USER + 2) PostMessageA(d, WM_USER + 3, 0, 0);
    if (m == WM_TIMER) log.add("timer");
    return FALSE;
  };
  floating = Open(kFloating, main, &proc);
  ASSERT_NE(floating, nullptr);
  EXPECT_EQ(Win32DispatchPendingMessages(), 0);
  PostMessageA(floating, WM_USER + 1, 0, 0);
  std::thread([&] { PostMessageA(floating, WM_USER + 2, 0, 0); }).join();
  EXPECT_EQ(log.joined(), "") << "nothing is delivered before a loop runs";
  EXPECT_EQ(Win32DispatchPendingMessages(), 3);
  EXPECT_EQ(log.joined(), "user 1, user 2, user 3");
  EXPECT_EQ(Win32DispatchPendingMessages(), 0);

  // Timers are the main loop's own business, not this one's.
  ASSERT_EQ(SetTimer(floating, 5, 10, nullptr), 5u);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(Win32DispatchPendingMessages(), 0);
  EXPECT_EQ(log.joined(), "user 1, user 2, user 3");

  // Messages of a window destroyed since they were posted are dropped, uncounted.
  PostMessageA(floating, WM_USER + 4, 0, 0);
  PostMessageA(main, WM_USER + 5, 0, 0);
  DestroyWindow(floating);
  EXPECT_EQ(Win32DispatchPendingMessages(), 1);
  EXPECT_EQ(log.joined(), "user 1, user 2, user 3");
  DestroyWindow(main);
}

TEST(HostLoop, AModalLoopDeliversAPanelsMessagesToo) {
  HWND main = Win32CreateMainWindow("Host");
  Log log;
  Proc proc = [&](HWND, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m >= WM_USER) log.add("panel " + ui_test::Describe(m, w));
    return FALSE;
  };
  HWND panel = Open(kPanel, main, &proc);
  ui_test::ScriptedAgent agent;
  agent.idle = [&](HWND d) {
    if (!log.lines.empty()) EndDialog(d, 0);
  };
  ui_test::RunDialog(ui_test::kSmallDialog, main, [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) PostMessageA(panel, WM_USER + 7, 0, 0);
    return FALSE;
  });
  EXPECT_EQ(log.joined(), "panel user 7");
  DestroyWindow(main);
}

TEST(Classes, RegistrationIsStrictAboutNamesProceduresAndLiveControls) {
  WNDCLASSA wc{};
  wc.lpszClassName = "DoomedControl";
  SetLastError(0);
  EXPECT_EQ(RegisterClassA(&wc), 0) << "no procedure";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(RegisterClassA(nullptr), 0);
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = nullptr;
  EXPECT_EQ(RegisterClassA(&wc), 0) << "no name";
  wc.lpszClassName = "button";
  EXPECT_EQ(RegisterClassA(&wc), 0) << "a built-in class";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));

  HWND main = Win32CreateMainWindow("Host");
  auto quiet = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
  // Before registration, a template naming the class makes nothing.
  EXPECT_EQ(CreateDialogParamA(Module(), MAKEINTRESOURCE(kDoomed), main, quiet, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));

  wc.lpszClassName = "DoomedControl";
  EXPECT_NE(RegisterClassA(&wc), 0);
  wc.lpszClassName = "DOOMEDCONTROL";
  EXPECT_EQ(RegisterClassA(&wc), 0) << "names are matched in any case";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));

  HWND panel = CreateDialogParamA(Module(), MAKEINTRESOURCE(kDoomed), main, quiet, 0);
  ASSERT_NE(panel, nullptr);
  EXPECT_STREQ(Win32WindowClass(GetDlgItem(panel, 7)), "DoomedControl");
  EXPECT_FALSE(UnregisterClassA("doomedcontrol", nullptr)) << "a control of the class lives";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_HAS_WINDOWS));
  DestroyWindow(panel);
  EXPECT_TRUE(UnregisterClassA("doomedcontrol", nullptr));
  EXPECT_FALSE(UnregisterClassA("DoomedControl", nullptr)) << "already gone";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_DOES_NOT_EXIST));
  EXPECT_EQ(CreateDialogParamA(Module(), MAKEINTRESOURCE(kDoomed), main, quiet, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
  DestroyWindow(main);
}

TEST(Classes, AModalDialogAcceptsARegisteredClassAndTextGoesThroughItsProcedure) {
  RegisterLoggedClass();
  ClassLog().lines.clear();
  ui_test::ScriptedAgent agent;
  std::string classLogAtInit;
  char text[16] = "";
  char shortText[4] = "";
  int length = -1;
  RunModal(kLogged, nullptr, [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m != WM_INITDIALOG) return FALSE;
    classLogAtInit = ClassLog().joined();
    HWND custom = GetDlgItem(d, kCustom);
    EXPECT_STREQ(Win32WindowClass(custom), kLoggedClass) << "named as registered, not as in the template";
    EXPECT_TRUE(SetWindowTextA(custom, "typed"));
    EXPECT_FALSE(SetDlgItemTextA(d, kCustom, "refused")) << "the procedure refused it";
    GetWindowTextA(custom, text, sizeof text);
    GetWindowTextA(custom, shortText, sizeof shortText);
    length = GetWindowTextLengthA(custom);
    EndDialog(d, 0);
    return FALSE;
  });
  EXPECT_EQ(classLogAtInit, "create");
  EXPECT_STREQ(text, "typed");
  EXPECT_STREQ(shortText, "typ");
  EXPECT_EQ(length, 5);
  EXPECT_EQ(ClassLog().joined(), "create, settext, settext, gettext, gettext, msg 14, destroy");
}

TEST(Classes, ARegisteredControlTakesMessagesOnlyOnItsOwnThread) {
  RegisterLoggedClass();
  HWND main = Win32CreateMainWindow("Host");
  Proc proc = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
  HWND panel = Open(kPanel, main, &proc);
  HWND custom = GetDlgItem(panel, kCustom);
  ClassLog().lines.clear();
  LRESULT sent = 1;
  DWORD error = 0;
  std::thread([&] {
    sent = SendMessageA(custom, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("elsewhere"));
    error = GetLastError();
  }).join();
  EXPECT_EQ(sent, 0);
  EXPECT_EQ(error, DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ClassLog().joined(), "");
  // DefWindowProcA acts on the text, and a dead window is reported.
  EXPECT_EQ(DefWindowProcA(custom, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("direct")), TRUE);
  char text[16];
  EXPECT_EQ(DefWindowProcA(custom, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)), 6);
  EXPECT_STREQ(text, "direct");
  DestroyWindow(main);
  SetLastError(0);
  EXPECT_EQ(DefWindowProcA(custom, WM_GETTEXTLENGTH, 0, 0), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(UserData, KeptPerWindowWithTheOldValueAnsweredAndBadIndicesReported) {
  HWND main = Win32CreateMainWindow("Host");
  HWND other = Win32CreateMainWindow("Other");
  EXPECT_EQ(GetWindowLongPtrA(main, GWLP_USERDATA), 0);
  EXPECT_EQ(SetWindowLongPtrA(main, GWLP_USERDATA, 42), 0);
  EXPECT_EQ(SetWindowLongPtrA(main, GWLP_USERDATA, -7), 42);
  EXPECT_EQ(GetWindowLongPtrA(main, GWLP_USERDATA), -7);
  EXPECT_EQ(GetWindowLongPtrA(other, GWLP_USERDATA), 0) << "each window has its own";
  SetLastError(0);
  EXPECT_EQ(SetWindowLongPtrA(main, -4, 1), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_INDEX));
  EXPECT_EQ(GetWindowLongPtrA(main, GWLP_USERDATA), -7) << "a bad index changes nothing";
  DestroyWindow(main);
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrA(main, GWLP_USERDATA), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  DestroyWindow(other);
}

}  // namespace
