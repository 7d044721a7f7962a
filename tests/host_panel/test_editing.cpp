// A person's edits in an open rollout reach the block: clamped, at the current time, one undo step each,
// stored before the user procedure hears of them.
#include "panel_fixture.h"

namespace {

// What the procedure sees of the block when it hears a message.
int PeekCount(IParamMap2* map, HWND, UINT) { return map->GetParamBlock()->GetInt(pCount); }

TEST_F(PanelTest, EnterInASpinnersFieldStoresTheClampedValueAndTheFieldShowsIt) {
  Open();
  HWND main = Rollout(mapMain);
  LoggingProc* proc = Listen(mapMain);
  proc->peek = PeekCount;

  TypeAndEnter(main, kCountEdit, "5000");
  EXPECT_EQ(pb->GetInt(pCount), 1000);
  EXPECT_EQ(Text(main, kCountEdit), "1000");
  // The spinner's change, then the field's Enter, each once; the block already held the new value.
  std::vector<UINT> notes;
  for (const Heard& h : heard)
    if (h.msg == CC_SPINNER_CHANGE || h.msg == WM_CUSTEDIT_ENTER) notes.push_back(h.msg);
  EXPECT_EQ(notes, (std::vector<UINT>{CC_SPINNER_CHANGE, WM_CUSTEDIT_ENTER}));
  for (const Heard& h : heard)
    if (h.msg == CC_SPINNER_CHANGE) {
      EXPECT_EQ(LOWORD(h.wParam), kCountSpin);
      EXPECT_EQ(h.seen, 1000);
    }

  TypeAndEnter(main, kCountEdit, "-4");
  EXPECT_EQ(pb->GetInt(pCount), 1);
  EXPECT_EQ(Text(main, kCountEdit), "1");

  // Text that is no number changes nothing and the field shows the value again.
  heard.clear();
  TypeAndEnter(main, kCountEdit, "12abc");
  EXPECT_EQ(pb->GetInt(pCount), 1);
  EXPECT_EQ(Text(main, kCountEdit), "1");
  EXPECT_EQ(HeardCount(CC_SPINNER_CHANGE), 0);

  // Floats keep their fraction, and are clamped too.
  TypeAndEnter(main, kScaleEdit, "0.125");
  EXPECT_FLOAT_EQ(pb->GetFloat(pScale), 0.125f);
  EXPECT_EQ(Text(main, kScaleEdit), "0.125");
  TypeAndEnter(main, kScaleEdit, "99");
  EXPECT_FLOAT_EQ(pb->GetFloat(pScale), 10.0f);
  EXPECT_EQ(Text(main, kScaleEdit), "10");
}

TEST_F(PanelTest, EnterInABoundTextFieldStoresTheText) {
  Open();
  HWND main = Rollout(mapMain);
  EXPECT_EQ(Text(main, kLabelEdit), "trail");
  ASSERT_TRUE(Win32TypeText(main, kLabelEdit, "comet"));
  Win32DispatchPendingMessages();
  EXPECT_STREQ(pb->GetStr(pLabel), "trail");  // typing alone stores nothing
  ASSERT_TRUE(Win32PressKeyIn(main, kLabelEdit, VK_RETURN));
  Win32DispatchPendingMessages();
  EXPECT_STREQ(pb->GetStr(pLabel), "comet");
  EXPECT_STREQ(theHold.UndoName().data(), "Label");
  ASSERT_TRUE(pb->SetValue(pLabel, 0, "wake"));
  EXPECT_EQ(Text(main, kLabelEdit), "wake");
}

TEST_F(PanelTest, ATimeSpinnerShowsFramesAndStoresTicks) {
  Open();
  HWND main = Rollout(mapMain);
  TypeAndEnter(main, kEndEdit, "25");
  EXPECT_EQ(pb->GetInt(pEnd), 25 * kTpf);
  EXPECT_EQ(Text(main, kEndEdit), "25");
  // At another frame rate the same ticks are other frames.
  SetTicksPerFrame(200);
  pb->GetDesc()->InvalidateUI();
  EXPECT_EQ(Text(main, kEndEdit), "20");
  TypeAndEnter(main, kEndEdit, "3");
  EXPECT_EQ(pb->GetInt(pEnd), 600);
  SetTicksPerFrame(kTpf);
}

TEST_F(PanelTest, ChangesAreStoredAtTheScenesCurrentTime) {
  // An animated parameter keeps what the panel sets at the time it was set.
  Describe(&cd, new ParamBlockDesc2(0, "anim", 0, &cd, P_AUTO_CONSTRUCT | P_AUTO_UI | P_MULTIMAP, 0, 1, mapMain,
                                    kMainPanel, kTitleMain, 0, 0, nullptr, pCount, "count", TYPE_INT, P_ANIMATABLE,
                                    kNameCount, p_default, 3, p_range, 1, 1000, p_ui, mapMain, TYPE_SPINNER,
                                    EDITTYPE_INT, kCountEdit, kCountSpin, SPIN_AUTOSCALE, p_end, p_end));
  Open();
  GetCOREInterface()->SetTime(30 * kTpf, FALSE);
  pb->GetDesc()->InvalidateUI();
  Listen(mapMain);
  TypeAndEnter(Rollout(mapMain), kCountEdit, "9");
  EXPECT_EQ(pb->GetInt(pCount, 30 * kTpf), 9);
  for (const Heard& h : heard) EXPECT_EQ(h.t, 30 * kTpf);
  GetCOREInterface()->SetTime(0, FALSE);
}

TEST_F(PanelTest, CheckBoxAndRadioButtonsAreStoredBeforeTheProcedureHearsTheClick) {
  Open();
  HWND main = Rollout(mapMain);
  LoggingProc* proc = Listen(mapMain);
  proc->peek = [](IParamMap2* map, HWND, UINT) {
    return map->GetParamBlock()->GetInt(pEnabled) * 10 + map->GetParamBlock()->GetInt(pMode);
  };
  ASSERT_TRUE(Win32ClickControl(main, kEnabledCheck));
  Win32DispatchPendingMessages();
  EXPECT_EQ(pb->GetInt(pEnabled), 0);
  ASSERT_EQ(HeardCount(WM_COMMAND), 1);
  for (const Heard& h : heard)
    if (h.msg == WM_COMMAND) EXPECT_EQ(h.seen, 0);  // unchecked, mode 0

  heard.clear();
  ASSERT_TRUE(Win32ClickControl(main, kModeSecond));
  Win32DispatchPendingMessages();
  EXPECT_EQ(pb->GetInt(pMode), 1);
  ASSERT_EQ(HeardCount(WM_COMMAND), 1);
  for (const Heard& h : heard)
    if (h.msg == WM_COMMAND) EXPECT_EQ(h.seen, 1);

  ASSERT_TRUE(Win32ClickControl(main, kModeFirst));
  ASSERT_TRUE(Win32ClickControl(main, kEnabledCheck));
  Win32DispatchPendingMessages();
  EXPECT_EQ(pb->GetInt(pMode), 0);
  EXPECT_EQ(pb->GetInt(pEnabled), 1);
}

TEST_F(PanelTest, EachEditIsOneUndoStepNamedAfterTheParameterAndUndoShowsInTheRollout) {
  Open();
  HWND main = Rollout(mapMain);
  ASSERT_EQ(theHold.NumUndoSteps(), 0);
  TypeAndEnter(main, kCountEdit, "40");
  ASSERT_EQ(theHold.NumUndoSteps(), 1);
  EXPECT_STREQ(theHold.UndoName().data(), "Number Of Materials");
  ASSERT_TRUE(Win32ClickControl(main, kEnabledCheck));
  Win32DispatchPendingMessages();
  ASSERT_EQ(theHold.NumUndoSteps(), 2);
  EXPECT_STREQ(theHold.UndoName().data(), "Enabled");
  ASSERT_TRUE(Win32ClickControl(main, kModeSecond));
  Win32DispatchPendingMessages();
  EXPECT_EQ(theHold.NumUndoSteps(), 3);
  EXPECT_STREQ(theHold.UndoName().data(), "Mode");

  ASSERT_TRUE(theHold.Undo());
  ASSERT_TRUE(theHold.Undo());
  EXPECT_EQ(pb->GetInt(pEnabled), 1);
  EXPECT_EQ(IsDlgButtonChecked(main, kEnabledCheck), UINT(BST_CHECKED));
  ASSERT_TRUE(theHold.Undo());
  EXPECT_EQ(pb->GetInt(pCount), 3);
  EXPECT_EQ(Text(main, kCountEdit), "3");
  ASSERT_TRUE(theHold.Redo());
  EXPECT_EQ(Text(main, kCountEdit), "40");
  // Nothing of it is left open.
  EXPECT_FALSE(theHold.Holding());
}

}  // namespace
