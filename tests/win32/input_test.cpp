// Check boxes and radio groups, the keyboard focus and the edit fields' notifications, and a person's
// clicks, typing and keys: queued, delivered by a loop, refused where a person could not reach.
#include "panel_fixture.h"

#include <thread>

namespace {

using namespace panel_test;

using Buttons = PanelFixture;

TEST_F(Buttons, CheckStateIsSetWithoutNotificationAndOnlyOnCheckBoxesAndRadios) {
  EXPECT_EQ(checked(kAutoCheck), UINT(BST_UNCHECKED));
  EXPECT_TRUE(CheckDlgButton(panel, kAutoCheck, BST_CHECKED));
  EXPECT_EQ(checked(kAutoCheck), UINT(BST_CHECKED));
  EXPECT_EQ(SendMessageA(item(kAutoCheck), BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageA(item(kPlainCheck), BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(checked(kPlainCheck), UINT(BST_CHECKED));
  // A push button has no check state; a missing control none either.
  CheckDlgButton(panel, kPush, BST_CHECKED);
  EXPECT_EQ(checked(kPush), UINT(BST_UNCHECKED));
  EXPECT_FALSE(CheckDlgButton(panel, 4242, BST_CHECKED));
  EXPECT_EQ(checked(4242), UINT(BST_UNCHECKED));
  // CheckRadioButton checks one of the range and unchecks the rest of it, and nothing outside it.
  CheckDlgButton(panel, kRadioX, BST_CHECKED);
  CheckDlgButton(panel, kRadioA, BST_CHECKED);
  EXPECT_TRUE(CheckRadioButton(panel, kRadioA, kRadioC, kRadioB));
  EXPECT_EQ(checked(kRadioA), UINT(BST_UNCHECKED));
  EXPECT_EQ(checked(kRadioB), UINT(BST_CHECKED));
  EXPECT_EQ(checked(kRadioX), UINT(BST_CHECKED));
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "") << "setting a check state notifies nobody";
}

TEST_F(Buttons, AClickTogglesAnAutomaticCheckBoxWhenDeliveredBeforeTheDialogHears) {
  proc = [this](HWND d, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
    if (m == WM_COMMAND)
      log.add(Notification(w) + (l == reinterpret_cast<LPARAM>(GetDlgItem(d, LOWORD(w))) ? "" : " (no handle)") +
              " checked " + std::to_string(IsDlgButtonChecked(d, LOWORD(w))));
    return FALSE;
  };
  ASSERT_TRUE(Win32ClickControl(panel, kAutoCheck));
  EXPECT_EQ(checked(kAutoCheck), UINT(BST_UNCHECKED)) << "the click is queued, not yet delivered";
  EXPECT_EQ(Win32DispatchPendingMessages(), 1);
  EXPECT_EQ(take(), "BN_CLICKED 1003 checked 1");
  ASSERT_TRUE(Win32PressButton(panel, kAutoCheck));
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "BN_CLICKED 1003 checked 0");
  // A plain check box leaves its state to the dialog.
  Win32ClickControl(panel, kPlainCheck);
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "BN_CLICKED 1004 checked 0");
}

TEST_F(Buttons, ARadioClickUnchecksItsGroupButNotTheNextGroup) {
  CheckDlgButton(panel, kRadioA, BST_CHECKED);
  CheckDlgButton(panel, kRadioX, BST_CHECKED);
  std::string atClick;
  proc = [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_COMMAND && LOWORD(w) == kRadioC)
      atClick = std::to_string(IsDlgButtonChecked(d, kRadioA)) + std::to_string(IsDlgButtonChecked(d, kRadioC));
    return FALSE;
  };
  Win32ClickControl(panel, kRadioC);
  Win32DispatchPendingMessages();
  EXPECT_EQ(atClick, "01") << "the group is settled before the dialog hears of the click";
  EXPECT_EQ(checked(kRadioA), UINT(BST_UNCHECKED));
  EXPECT_EQ(checked(kRadioB), UINT(BST_UNCHECKED));
  EXPECT_EQ(checked(kRadioC), UINT(BST_CHECKED));
  EXPECT_EQ(checked(kRadioX), UINT(BST_CHECKED)) << "the next group starts at WS_GROUP";
  // The second group ends at the next WS_GROUP (the label), and the first is left alone.
  Win32ClickControl(panel, kRadioY);
  Win32DispatchPendingMessages();
  EXPECT_EQ(checked(kRadioX), UINT(BST_UNCHECKED));
  EXPECT_EQ(checked(kRadioY), UINT(BST_CHECKED));
  EXPECT_EQ(checked(kRadioC), UINT(BST_CHECKED));
}

using Focus = PanelFixture;

TEST_F(Focus, MovingTheFocusTellsTheOldFieldBeforeTheNew) {
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(SetFocus(item(kEdit1)), nullptr);
  EXPECT_EQ(take(), "EN_SETFOCUS 1001");
  EXPECT_EQ(SetFocus(item(kEdit2)), item(kEdit1));
  EXPECT_EQ(take(), "EN_KILLFOCUS 1001, EN_SETFOCUS 1002");
  EXPECT_EQ(GetFocus(), item(kEdit2));
  EXPECT_EQ(SetFocus(item(kEdit2)), item(kEdit2));
  EXPECT_EQ(take(), "") << "the focus staying put notifies nobody";
  // A registered control hears the messages themselves.
  SetFocus(item(kCustom));
  EXPECT_EQ(take(), "EN_KILLFOCUS 1002");
  EXPECT_EQ(ClassLog().joined(), "setfocus");
  EXPECT_EQ(SetFocus(nullptr), item(kCustom));
  EXPECT_EQ(ClassLog().joined(), "setfocus, killfocus");
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(Focus, IsPerThreadAndAWindowOfAnotherThreadIsRefused) {
  SetFocus(item(kEdit1));
  take();
  HWND elsewhere = item(kEdit2);
  HWND previous = elsewhere;
  HWND focusThere = elsewhere;
  DWORD error = 0;
  std::thread([&] {
    focusThere = GetFocus();
    previous = SetFocus(elsewhere);
    error = GetLastError();
  }).join();
  EXPECT_EQ(focusThere, nullptr) << "that thread has no focus of its own";
  EXPECT_EQ(previous, nullptr);
  EXPECT_EQ(error, DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetFocus(), item(kEdit1));
  EXPECT_EQ(take(), "");
  int notAWindow = 0;
  SetLastError(0);
  EXPECT_EQ(SetFocus(reinterpret_cast<HWND>(&notAWindow)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetFocus(), item(kEdit1));
}

TEST_F(Focus, DestroyingTheFocusedWindowLeavesNoFocusAndTellsNobody) {
  SetFocus(item(kEdit1));
  take();
  DestroyWindow(panel);
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(take(), "destroy") << "no EN_KILLFOCUS to a dialog on its way out";
  // A later focus move tells no dead window either.
  HWND floating = Open(kFloating, main, &proc);
  take();
  EXPECT_EQ(SetFocus(GetDlgItem(floating, kEdit1)), nullptr);
  EXPECT_EQ(take(), "EN_SETFOCUS 1001");
}

TEST_F(Focus, AnEditNotifiesAChangeOfTextOnlyWhenItChanges) {
  SetDlgItemTextA(panel, kEdit1, "1.5");
  EXPECT_EQ(take(), "EN_CHANGE 1001");
  SetDlgItemTextA(panel, kEdit1, "1.5");
  SendDlgItemMessageA(panel, kEdit1, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("1.5"));
  EXPECT_EQ(take(), "") << "the same text is no change";
  SetWindowTextA(item(kEdit1), "");
  EXPECT_EQ(take(), "EN_CHANGE 1001");
  // Another thread's change reaches the dialog on its own thread, through its loop.
  std::thread([&] { SetDlgItemTextA(panel, kEdit1, "2"); }).join();
  EXPECT_EQ(take(), "");
  EXPECT_EQ(Win32DispatchPendingMessages(), 1);
  EXPECT_EQ(take(), "EN_CHANGE 1001");
}

using Person = PanelFixture;

TEST_F(Person, TypingMovesTheFocusThenChangesTheText) {
  SetFocus(item(kEdit1));
  take();
  ASSERT_TRUE(Win32TypeText(panel, kEdit2, "0.25"));
  EXPECT_EQ(take(), "") << "queued";
  EXPECT_EQ(Win32DispatchPendingMessages(), 1);
  EXPECT_EQ(take(), "EN_KILLFOCUS 1001, EN_SETFOCUS 1002, EN_CHANGE 1002");
  char text[8];
  GetDlgItemTextA(panel, kEdit2, text, sizeof text);
  EXPECT_STREQ(text, "0.25");
  // Into a registered control, the class procedure gets the focus and the text.
  ASSERT_TRUE(Win32TypeText(panel, kCustom, "7"));
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "EN_KILLFOCUS 1002");
  EXPECT_EQ(ClassLog().joined(), "setfocus, settext");
}

TEST_F(Person, AClickOnARegisteredControlFocusesItThenPressesAndReleases) {
  ASSERT_TRUE(Win32ClickControl(panel, kCustom));
  Win32DispatchPendingMessages();
  EXPECT_EQ(ClassLog().joined(), "setfocus, down, up");
  EXPECT_EQ(GetFocus(), item(kCustom));
  // A click on an edit field only focuses it.
  Win32ClickControl(panel, kEdit1);
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "EN_SETFOCUS 1001");
  EXPECT_EQ(ClassLog().joined(), "setfocus, down, up, killfocus");
}

TEST_F(Person, KeysGoToARegisteredControlButEnterAndEscInAFieldToTheDialogManager) {
  ASSERT_TRUE(Win32PressKeyIn(panel, kCustom, VK_RETURN));
  Win32DispatchPendingMessages();
  EXPECT_EQ(ClassLog().joined(), "setfocus, key 13");
  EXPECT_EQ(take(), "") << "a registered control keeps Enter to itself";
  Win32PressKeyIn(panel, kEdit1, VK_RETURN);
  Win32PressKeyIn(panel, kEdit1, 'A');
  Win32PressKeyIn(panel, kEdit1, VK_ESCAPE);
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "EN_SETFOCUS 1001, BN_CLICKED 1, BN_CLICKED 2");
  EXPECT_EQ(GetFocus(), item(kEdit1));
}

TEST_F(Person, ActionsOnMissingOrDisabledControlsAreRefused) {
  EXPECT_FALSE(Win32ClickControl(panel, 4242));
  EXPECT_FALSE(Win32ClickControl(panel, kDisabledEdit));
  EXPECT_FALSE(Win32TypeText(panel, kDisabledEdit, "x"));
  EXPECT_FALSE(Win32PressKeyIn(panel, kDisabledEdit, VK_RETURN));
  EXPECT_FALSE(Win32PressButton(panel, kLabel)) << "a static is no button";
  // A click queued before its control was disabled is dropped when delivered.
  ASSERT_TRUE(Win32ClickControl(panel, kAutoCheck));
  ASSERT_TRUE(Win32TypeText(panel, kEdit1, "late"));
  EnableWindow(item(kAutoCheck), FALSE);
  EnableWindow(item(kEdit1), FALSE);
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "");
  EXPECT_EQ(checked(kAutoCheck), UINT(BST_UNCHECKED));
  EXPECT_EQ(GetWindowTextLengthA(item(kEdit1)), 0);
  EXPECT_EQ(GetFocus(), nullptr);
  // A disabled panel takes no input in any of its controls.
  EnableWindow(panel, FALSE);
  EXPECT_FALSE(Win32ClickControl(panel, kEdit2));
  EXPECT_FALSE(Win32PressKey(panel, VK_ESCAPE));
}

TEST_F(Person, APanelTakesNoInputWhileItsWindowRunsAModalDialog) {
  std::vector<BOOL> during;
  ui_test::ScriptedAgent agent;
  agent.idle = [&](HWND d) {
    during = {Win32ClickControl(panel, kAutoCheck), Win32PressButton(panel, IDOK),
              Win32TypeText(panel, kEdit1, "x"),    Win32PressKeyIn(panel, kEdit1, VK_RETURN),
              Win32PressKey(panel, VK_ESCAPE),      Win32SelectListItems(panel, kQuietList, nullptr, 0)};
    EndDialog(d, 0);
  };
  ui_test::RunDialog(ui_test::kSmallDialog, main, [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; });
  EXPECT_EQ(during, std::vector<BOOL>(6, FALSE));
  EXPECT_EQ(take(), "");
  // Once the modal dialog is over, the panel takes input again.
  EXPECT_TRUE(Win32ClickControl(panel, kAutoCheck));
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "BN_CLICKED 1003");
}

TEST_F(Person, ADialogOrMessageBoxOwnedByAPanelIsOwnedByItsTopLevelWindow) {
  ui_test::ScriptedAgent agent;
  HWND owner = nullptr;
  bool mainEnabled = true;
  BOOL click = TRUE;
  agent.idle = [&](HWND d) {
    owner = GetParent(d);
    mainEnabled = IsWindowEnabled(main);
    click = Win32ClickControl(panel, kEdit1);
    EndDialog(d, 0);
  };
  ui_test::RunDialog(ui_test::kSmallDialog, panel, [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; });
  EXPECT_EQ(owner, main);
  EXPECT_FALSE(mainEnabled);
  EXPECT_FALSE(click);
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_TRUE(IsWindowEnabled(panel));
  agent.answer = [&](HWND boxOwner, const char*, const char*, UINT) {
    owner = boxOwner;
    mainEnabled = IsWindowEnabled(main);
    return IDOK;
  };
  EXPECT_EQ(MessageBoxA(panel, "Saved", "Wakeweave", MB_OK), IDOK);
  EXPECT_EQ(owner, panel) << "the agent is told the window the program named";
  EXPECT_FALSE(mainEnabled);
  EXPECT_TRUE(IsWindowEnabled(main));
}

}  // namespace
