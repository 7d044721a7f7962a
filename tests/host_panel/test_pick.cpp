// The pick button and the node list: a pick mode that asks the parameter's validator, and Remove.
#include "panel_fixture.h"

namespace {

bool Pressed(HWND rollout, int id) {
  ICustButton* b = GetICustButton(GetDlgItem(rollout, id));
  bool on = b && b->IsChecked();
  ReleaseICustButton(b);
  return on;
}

TEST_F(PanelTest, PickModeWaitsForANodeTheValidatorAccepts) {
  INode* box = NewNode("Box01");
  INode* source = NewNode("PF Source 01");
  Open();
  HWND pick = Rollout(mapPick);
  EXPECT_FALSE(StandInPickNode(source));  // no pick mode yet
  EXPECT_EQ(pb->GetINode(pSource), nullptr);

  ASSERT_TRUE(Win32ClickControl(pick, kPickButton));
  Win32DispatchPendingMessages();
  EXPECT_TRUE(StandInInPickMode());
  EXPECT_STREQ(StandInPrompt(), "Choose a Particle System");
  EXPECT_TRUE(Pressed(pick, kPickButton));

  // Refused: the mode goes on, nothing is stored and no step is made.
  int asked = validator.calls;
  EXPECT_FALSE(StandInPickNode(box));
  EXPECT_GT(validator.calls, asked);
  EXPECT_TRUE(StandInInPickMode());
  EXPECT_TRUE(Pressed(pick, kPickButton));
  EXPECT_EQ(pb->GetINode(pSource), nullptr);
  EXPECT_EQ(theHold.NumUndoSteps(), 0);

  // Accepted: stored as one step named after the parameter, the mode ends and the button shows the node.
  EXPECT_TRUE(StandInPickNode(source));
  EXPECT_EQ(pb->GetINode(pSource), source);
  EXPECT_FALSE(StandInInPickMode());
  EXPECT_STREQ(StandInPrompt(), "");
  EXPECT_FALSE(Pressed(pick, kPickButton));
  EXPECT_EQ(Text(pick, kPickButton), "PF Source 01");
  EXPECT_EQ(theHold.NumUndoSteps(), 1);
  EXPECT_STREQ(theHold.UndoName().data(), "Particle Node");
  EXPECT_FALSE(StandInPickNode(source));  // the mode is over

  ASSERT_TRUE(theHold.Undo());
  EXPECT_EQ(pb->GetINode(pSource), nullptr);
  EXPECT_EQ(Text(pick, kPickButton), "None");
}

TEST_F(PanelTest, PickModeEndsByASecondClickByCancelAndWithItsRollout) {
  INode* source = NewNode("PF Source 01");
  Open();
  HWND pick = Rollout(mapPick);
  ASSERT_TRUE(Win32ClickControl(pick, kPickButton));
  ASSERT_TRUE(Win32ClickControl(pick, kPickButton));
  Win32DispatchPendingMessages();
  EXPECT_FALSE(StandInInPickMode());
  EXPECT_FALSE(Pressed(pick, kPickButton));

  ASSERT_TRUE(Win32ClickControl(pick, kPickButton));
  Win32DispatchPendingMessages();
  StandInCancelPick();
  EXPECT_FALSE(StandInInPickMode());
  EXPECT_STREQ(StandInPrompt(), "");
  EXPECT_FALSE(Pressed(pick, kPickButton));

  ASSERT_TRUE(Win32ClickControl(pick, kPickButton));
  Win32DispatchPendingMessages();
  Close();
  EXPECT_FALSE(StandInInPickMode());
  EXPECT_FALSE(StandInPickNode(source));
  EXPECT_EQ(pb->GetINode(pSource), nullptr);
}

TEST_F(PanelTest, RemoveDeletesTheSelectedEntryAsOneStep) {
  INode* nodes[] = {NewNode("Event A"), NewNode("Event B"), NewNode("Event C")};
  ASSERT_EQ(pb->Append(pEvents, 3, nodes), 0);
  Open();
  HWND pick = Rollout(mapPick);
  ASSERT_EQ(SendDlgItemMessageA(pick, kEventList, LB_GETCOUNT, 0, 0), 3);

  // Nothing selected: nothing removed.
  ASSERT_TRUE(Win32ClickControl(pick, kRemoveButton));
  Win32DispatchPendingMessages();
  EXPECT_EQ(pb->Count(pEvents), 3);
  EXPECT_EQ(theHold.NumUndoSteps(), 0);

  const int second = 1;
  ASSERT_TRUE(Win32SelectListItems(pick, kEventList, &second, 1));
  ASSERT_TRUE(Win32ClickControl(pick, kRemoveButton));
  Win32DispatchPendingMessages();
  ASSERT_EQ(pb->Count(pEvents), 2);
  EXPECT_EQ(pb->GetINode(pEvents, 0, 0), nodes[0]);
  EXPECT_EQ(pb->GetINode(pEvents, 0, 1), nodes[2]);
  ASSERT_EQ(SendDlgItemMessageA(pick, kEventList, LB_GETCOUNT, 0, 0), 2);
  char entry[64] = {};
  SendDlgItemMessageA(pick, kEventList, LB_GETTEXT, 1, LPARAM(entry));
  EXPECT_STREQ(entry, "Event C");
  EXPECT_EQ(theHold.NumUndoSteps(), 1);
  EXPECT_STREQ(theHold.UndoName().data(), "Event List");

  ASSERT_TRUE(theHold.Undo());
  ASSERT_EQ(pb->Count(pEvents), 3);
  EXPECT_EQ(pb->GetINode(pEvents, 0, 1), nodes[1]);
  EXPECT_EQ(SendDlgItemMessageA(pick, kEventList, LB_GETCOUNT, 0, 0), 3);
}

}  // namespace
