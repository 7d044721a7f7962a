// The custom controls on their own, in a dialog of the test module: their interfaces, a person's clicks
// and Enter, and the notifications their dialog gets.
#include "panel_fixture.h"

namespace {

struct Note {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Note> g_notes;

INT_PTR CALLBACK NoteProc(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND || msg == CC_SPINNER_CHANGE || msg == WM_CUSTEDIT_ENTER)
    g_notes.push_back({msg, wParam, lParam});
  return msg == WM_INITDIALOG;
}

class CustomControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_notes.clear();
    dialog =
        CreateDialogParamA(PanelTestModule(), MAKEINTRESOURCE(kDialog), GetCOREInterface()->GetMAXHWnd(), NoteProc, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    edit = GetDlgItem(dialog, kCountEdit);
    spinHwnd = GetDlgItem(dialog, kCountSpin);
    button = GetDlgItem(dialog, kPlainButton);
  }
  void TearDown() override {
    if (IsWindow(dialog)) DestroyWindow(dialog);
    EXPECT_EQ(CustomControlInterfacesOutstanding(), 0);
  }
  HWND dialog = nullptr, edit = nullptr, spinHwnd = nullptr, button = nullptr;
};

TEST_F(CustomControlTest, InterfacesAreForTheirOwnClassAndCountedUntilReleased) {
  EXPECT_EQ(GetISpinner(edit), nullptr);
  EXPECT_EQ(GetICustEdit(spinHwnd), nullptr);
  EXPECT_EQ(GetICustButton(GetDlgItem(dialog, IDOK)), nullptr);  // a Windows button
  EXPECT_EQ(GetICustButton(nullptr), nullptr);
  EXPECT_EQ(CustomControlInterfacesOutstanding(), 0);
  ISpinnerControl* a = GetISpinner(spinHwnd);
  ISpinnerControl* b = GetISpinner(spinHwnd);
  ICustEdit* e = GetICustEdit(edit);
  ASSERT_TRUE(a && b && e);
  EXPECT_EQ(a->GetHwnd(), spinHwnd);
  EXPECT_EQ(CustomControlInterfacesOutstanding(), 3);
  // Two interfaces on one control see the same control.
  a->SetLimits(0, 50);
  b->SetValue(70, FALSE);
  EXPECT_EQ(a->GetIVal(), 50);
  ReleaseISpinner(a);
  ReleaseISpinner(b);
  ReleaseICustEdit(e);
  ReleaseISpinner(nullptr);
  EXPECT_EQ(CustomControlInterfacesOutstanding(), 0);
}

TEST_F(CustomControlTest, ASpinnerShowsItsValueInItsFieldAndTakesItsFieldAlongWhenDisabled) {
  ISpinnerControl* spin = GetISpinner(spinHwnd);
  ICustEdit* field = GetICustEdit(edit);
  ASSERT_TRUE(spin && field);
  spin->LinkToEdit(edit, EDITTYPE_FLOAT);
  spin->SetLimits(-1.0f, 1.0f, FALSE);
  spin->SetValue(0.75f, FALSE);
  char text[32];
  field->GetText(text, int(sizeof text));
  EXPECT_STREQ(text, "0.75");
  EXPECT_TRUE(g_notes.empty());  // set quietly
  spin->SetValue(3.0f, TRUE);
  EXPECT_EQ(spin->GetFVal(), 1.0f);
  ASSERT_EQ(g_notes.size(), 1u);
  EXPECT_EQ(g_notes[0].msg, UINT(CC_SPINNER_CHANGE));
  EXPECT_EQ(LOWORD(g_notes[0].wParam), kCountSpin);
  EXPECT_NE(g_notes[0].lParam, 0);

  spin->Disable();
  EXPECT_FALSE(spin->IsEnabled());
  EXPECT_FALSE(field->IsEnabled());
  EXPECT_FALSE(Win32TypeText(dialog, kCountEdit, "0.5"));  // a person cannot type into it
  spin->Enable();
  EXPECT_TRUE(field->IsEnabled());

  // Limits narrowed with limitCurrent pull the value in at once.
  spin->SetLimits(-0.5f, 0.5f, TRUE);
  EXPECT_EQ(spin->GetFVal(), 0.5f);
  field->GetText(text, int(sizeof text));
  EXPECT_STREQ(text, "0.5");
  ReleaseISpinner(spin);
  ReleaseICustEdit(field);
}

TEST_F(CustomControlTest, EnterInALinkedFieldSetsTheSpinnerAndNotifiesTheDialogInOrder) {
  ISpinnerControl* spin = GetISpinner(spinHwnd);
  ASSERT_NE(spin, nullptr);
  spin->LinkToEdit(edit, EDITTYPE_INT);
  spin->SetLimits(0, 100, TRUE);
  ASSERT_TRUE(Win32TypeText(dialog, kCountEdit, "250"));
  Win32DispatchPendingMessages();
  EXPECT_EQ(spin->GetIVal(), 0);  // typing alone sets nothing
  ASSERT_TRUE(Win32PressKeyIn(dialog, kCountEdit, VK_RETURN));
  Win32DispatchPendingMessages();
  EXPECT_EQ(spin->GetIVal(), 100);
  std::vector<UINT> kinds;
  for (const Note& n : g_notes) kinds.push_back(n.msg);
  EXPECT_EQ(kinds, (std::vector<UINT>{CC_SPINNER_CHANGE, WM_CUSTEDIT_ENTER}));
  EXPECT_EQ(g_notes[1].wParam, WPARAM(kCountEdit));
  EXPECT_EQ(g_notes[1].lParam, LPARAM(edit));
  ICustEdit* field = GetICustEdit(edit);
  EXPECT_TRUE(field->GotReturn());
  EXPECT_FALSE(field->GotReturn());  // asking clears it
  BOOL valid = FALSE;
  EXPECT_EQ(field->GetInt(&valid), 100);
  EXPECT_TRUE(valid);
  field->SetText("x1");
  field->GetInt(&valid);
  EXPECT_FALSE(valid);
  ReleaseICustEdit(field);
  ReleaseISpinner(spin);
}

TEST_F(CustomControlTest, AClickSendsOneCommandAndACheckButtonTogglesFirst) {
  ASSERT_TRUE(Win32ClickControl(dialog, kPlainButton));
  Win32DispatchPendingMessages();
  ASSERT_EQ(g_notes.size(), 1u);
  EXPECT_EQ(g_notes[0].msg, UINT(WM_COMMAND));
  EXPECT_EQ(g_notes[0].wParam, MAKEWPARAM(kPlainButton, BN_CLICKED));
  EXPECT_EQ(g_notes[0].lParam, LPARAM(button));

  ICustButton* b = GetICustButton(button);
  ASSERT_NE(b, nullptr);
  b->SetCheck(TRUE);
  EXPECT_FALSE(b->IsChecked());  // a push button holds no state
  b->SetType(CBT_CHECK);
  g_notes.clear();
  ASSERT_TRUE(Win32ClickControl(dialog, kPlainButton));
  Win32DispatchPendingMessages();
  EXPECT_TRUE(b->IsChecked());
  EXPECT_EQ(g_notes.size(), 1u);
  ASSERT_TRUE(Win32ClickControl(dialog, kPlainButton));
  Win32DispatchPendingMessages();
  EXPECT_FALSE(b->IsChecked());
  EXPECT_EQ(g_notes.size(), 2u);

  b->Disable();
  EXPECT_FALSE(Win32ClickControl(dialog, kPlainButton));
  Win32DispatchPendingMessages();
  EXPECT_EQ(g_notes.size(), 2u);
  b->SetText("Again");
  char text[16];
  b->GetText(text, int(sizeof text));
  EXPECT_STREQ(text, "Again");
  ReleaseICustButton(b);
}

TEST_F(CustomControlTest, AnInterfaceOutlivingItsWindowIsReported) {
  ISpinnerControl* spin = GetISpinner(spinHwnd);
  ASSERT_NE(spin, nullptr);
  DestroyWindow(dialog);
  AssertCapture asserts;
  EXPECT_EQ(spin->GetIVal(), 0);
  EXPECT_EQ(asserts.Count(), 1u);
  ReleaseISpinner(spin);
  EXPECT_EQ(GetISpinner(spinHwnd), nullptr);
}

}  // namespace
