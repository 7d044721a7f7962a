// Rollouts as windows: made from the module's templates when editing begins, bound to the block, gone when
// it ends; the user procedure hears every message of the window.
#include "panel_fixture.h"

namespace {

TEST_F(PanelTest, EditingBuildsOneChildPanelPerRolloutAndClosingDestroysThem) {
  Open();
  ASSERT_EQ(cd.NumOpenRollouts(), 2);
  HWND main = Rollout(mapMain), pick = Rollout(mapPick);
  ASSERT_TRUE(IsWindow(main));
  ASSERT_TRUE(IsWindow(pick));
  EXPECT_NE(main, pick);
  EXPECT_EQ(GetParent(main), GetCOREInterface()->GetMAXHWnd());
  EXPECT_EQ(cd.GetOpenRollout(0)->GetHWnd(), main);
  // Built from the module's templates, titled from its string table.
  EXPECT_STREQ(Win32WindowClass(GetDlgItem(main, kCountSpin)), "SpinnerControl");
  EXPECT_NE(GetDlgItem(pick, kEventList), nullptr);
  char title[64] = {};
  GetWindowTextA(main, title, int(sizeof title));
  EXPECT_STREQ(title, "Parameters");

  HWND spin = GetDlgItem(main, kCountSpin);
  Close();
  EXPECT_EQ(cd.NumOpenRollouts(), 0);
  EXPECT_FALSE(IsWindow(main));
  EXPECT_FALSE(IsWindow(pick));
  EXPECT_FALSE(IsWindow(spin));
  EXPECT_EQ(pb->GetMap(mapMain), nullptr);

  // Opening again makes new windows.
  Open();
  EXPECT_TRUE(IsWindow(Rollout(mapMain)));
  EXPECT_NE(Rollout(mapMain), main);
}

TEST_F(PanelTest, UserProcedureHearsTheWindowsMessagesWhileItsControlsExist) {
  GetCOREInterface()->SetTime(7 * kTpf, FALSE);
  // Installed before opening, it hears WM_INITDIALOG from the window being built, once, with the map's
  // window already known.
  auto* proc = new LoggingProc(&heard);
  proc->peek = [](IParamMap2* map, HWND h, UINT msg) {
    return int(map->GetHWnd() == h) + 2 * int(GetDlgItem(h, kCountEdit) != nullptr);
  };
  desc->SetUserDlgProc(mapMain, proc);
  Open();
  ASSERT_EQ(HeardCount(WM_INITDIALOG), 1);
  EXPECT_EQ(heard[0].msg, UINT(WM_INITDIALOG));
  EXPECT_EQ(heard[0].hWnd, Rollout(mapMain));
  EXPECT_EQ(heard[0].t, 7 * kTpf);  // the scene's current time
  EXPECT_EQ(heard[0].seen, 3);

  // Messages sent to the window reach the procedure too.
  SendMessageA(Rollout(mapMain), WM_USER + 5, 42, 0);
  EXPECT_EQ(heard.back().msg, UINT(WM_USER + 5));
  EXPECT_EQ(heard.back().wParam, WPARAM(42));

  // A procedure installed while open takes over at once: the old one is released and hears no more.
  std::vector<Heard> secondHeard;
  auto* second = new LoggingProc(&secondHeard);
  second->peek = proc->peek;
  desc->SetUserDlgProc(mapMain, second);
  heard.clear();
  Close();
  EXPECT_TRUE(heard.empty());
  ASSERT_FALSE(secondHeard.empty());
  EXPECT_EQ(secondHeard.back().msg, UINT(WM_DESTROY));
  EXPECT_EQ(secondHeard.back().seen, 3);  // the controls still exist
  GetCOREInterface()->SetTime(0, FALSE);
}

TEST_F(PanelTest, OpeningShowsTheBlocksValuesInTheBoundControls) {
  INode* a = NewNode("PF Source 01");
  INode* b = NewNode("Event 02");
  ASSERT_EQ(pb->Append(pEvents, 1, &a), 0);
  ASSERT_EQ(pb->Append(pEvents, 1, &b), 1);
  ASSERT_TRUE(pb->SetValue(pScale, 0, 2.25f));
  ASSERT_TRUE(pb->SetValue(pMode, 0, 1));
  ASSERT_TRUE(pb->SetValue(pEnd, 0, 24 * kTpf));
  Open();
  HWND main = Rollout(mapMain), pick = Rollout(mapPick);
  EXPECT_EQ(Text(main, kCountEdit), "3");
  EXPECT_EQ(Text(main, kScaleEdit), "2.25");  // no needless digits
  EXPECT_EQ(Text(main, kEndEdit), "24");      // frames, from ticks
  EXPECT_EQ(IsDlgButtonChecked(main, kEnabledCheck), UINT(BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(main, kModeFirst), UINT(BST_UNCHECKED));
  EXPECT_EQ(IsDlgButtonChecked(main, kModeSecond), UINT(BST_CHECKED));
  EXPECT_EQ(Text(pick, kPickButton), "None");
  ASSERT_EQ(SendDlgItemMessageA(pick, kEventList, LB_GETCOUNT, 0, 0), 2);
  char entry[64] = {};
  SendDlgItemMessageA(pick, kEventList, LB_GETTEXT, 1, LPARAM(entry));
  EXPECT_STREQ(entry, "Event 02");

  // The spinners carry the parameters' ranges, the time spinner in ticks.
  ISpinnerControl* count = GetISpinner(GetDlgItem(main, kCountSpin));
  ISpinnerControl* end = GetISpinner(GetDlgItem(main, kEndSpin));
  ISpinnerControl* scale = GetISpinner(GetDlgItem(main, kScaleSpin));
  ASSERT_TRUE(count && end && scale);
  EXPECT_EQ(count->GetMin(), 1.0f);
  EXPECT_EQ(count->GetMax(), 1000.0f);
  EXPECT_EQ(end->GetIVal(), 24 * kTpf);
  EXPECT_EQ(end->GetMax(), float(1000 * kTpf));
  EXPECT_FLOAT_EQ(scale->GetScale(), 0.1f);
  EXPECT_EQ(count->GetScale(), SPIN_AUTOSCALE);
  EXPECT_EQ(CustomControlInterfacesOutstanding(), 3);
  ReleaseISpinner(count);
  ReleaseISpinner(end);
  ReleaseISpinner(scale);
}

TEST_F(PanelTest, ValuesChangedByScriptShowInTheOpenRollout) {
  Open();
  HWND main = Rollout(mapMain), pick = Rollout(mapPick);
  ASSERT_TRUE(pb->SetValue(pCount, 0, 77));
  EXPECT_EQ(Text(main, kCountEdit), "77");
  ASSERT_TRUE(pb->SetValue(pEnabled, 0, FALSE));
  EXPECT_EQ(IsDlgButtonChecked(main, kEnabledCheck), UINT(BST_UNCHECKED));
  ASSERT_TRUE(pb->SetValue(pMode, 0, 1));
  EXPECT_EQ(IsDlgButtonChecked(main, kModeSecond), UINT(BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(main, kModeFirst), UINT(BST_UNCHECKED));
  INode* n = NewNode("PF Source 01");
  ASSERT_TRUE(pb->SetValue(pSource, 0, n));
  EXPECT_EQ(Text(pick, kPickButton), "PF Source 01");
  ASSERT_EQ(pb->Append(pEvents, 1, &n), 0);
  EXPECT_EQ(SendDlgItemMessageA(pick, kEventList, LB_GETCOUNT, 0, 0), 1);
  // A refresh that changes no entry keeps the person's selection.
  ASSERT_EQ(SendDlgItemMessageA(pick, kEventList, LB_SETCURSEL, 0, 0), 0);
  ASSERT_TRUE(pb->SetValue(pCount, 0, 78));
  EXPECT_EQ(SendDlgItemMessageA(pick, kEventList, LB_GETCURSEL, 0, 0), 0);
}

TEST_F(PanelTest, AClassWithoutModuleGetsEmptyPanelsAndAMissingTemplateIsReported) {
  class NoModule : public PanelClassDesc {
   public:
    HINSTANCE HInstance() override { return nullptr; }
  } bare;
  // The same description on a class without module: empty panels, still windows.
  Describe(&bare,
           new ParamBlockDesc2(0, "bare", 0, &bare, P_AUTO_CONSTRUCT | P_AUTO_UI, 0, kMainPanel, kTitleMain, 0, 0,
                               nullptr, pCount, "count", TYPE_INT, 0, kNameCount, p_default, 3, p_ui, TYPE_SPINNER,
                               EDITTYPE_INT, kCountEdit, kCountSpin, SPIN_AUTOSCALE, p_end, p_end));
  bare.BeginEditParams(nullptr, owner, 0, nullptr);
  ASSERT_EQ(bare.NumOpenRollouts(), 1);
  HWND h = bare.GetOpenRollout(0)->GetHWnd();
  EXPECT_TRUE(IsWindow(h));
  EXPECT_EQ(GetDlgItem(h, kCountEdit), nullptr);
  ASSERT_TRUE(pb->SetValue(pCount, 0, 5));  // nothing to show it in, and no harm
  bare.EndEditParams(nullptr, owner, 0, nullptr);
  EXPECT_FALSE(IsWindow(h));

  // A module without the template: reported, and no rollout is open.
  Describe(&cd, new ParamBlockDesc2(0, "wrong", 0, &cd, P_AUTO_CONSTRUCT | P_AUTO_UI, 0, 999, kTitleMain, 0, 0, nullptr,
                                    pCount, "count", TYPE_INT, 0, kNameCount, p_end, p_end));
  AssertCapture asserts;
  Open();
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(cd.NumOpenRollouts(), 0);
  EXPECT_EQ(pb->GetMap(0), nullptr);
}

}  // namespace
