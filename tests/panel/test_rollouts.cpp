// The four rollouts as the person uses them: enabling rules, the texture path across rebuilds, browsing,
// the particle commands while trails are off, the binding's clamping, and the procedures' lifetimes.
#include <gtest/gtest.h>

#include <string>

#include "panel_fixture.h"

using Parameters = PanelTest;

TEST_F(Parameters, MovingTrailClearsTheRangeAndEnablesOnlyTheLag) {
  Open();
  ASSERT_NE(Rollout(map_main), nullptr) << "the procedure learned its window from WM_INITDIALOG";
  // A new modifier: moving trail.
  EXPECT_TRUE(SpinnerEnabled(map_main, IDC_OLD_FRAMES_SPIN));
  EXPECT_TRUE(Enabled(map_main, IDC_LAG_LABEL));
  EXPECT_FALSE(Enabled(map_main, IDC_USE_RANGE));
  EXPECT_FALSE(SpinnerEnabled(map_main, IDC_START_SPIN));
  EXPECT_FALSE(SpinnerEnabled(map_main, IDC_END_SPIN));

  // Anchored: the range check box becomes available, the range itself waits for it.
  Press(map_main, IDC_ANCHORED);
  EXPECT_EQ(mod->pblock->GetInt(pb_moving_or_still), 1);
  EXPECT_TRUE(Enabled(map_main, IDC_USE_RANGE));
  EXPECT_FALSE(SpinnerEnabled(map_main, IDC_START_SPIN));
  EXPECT_FALSE(Enabled(map_main, IDC_START_LABEL));
  EXPECT_FALSE(SpinnerEnabled(map_main, IDC_OLD_FRAMES_SPIN));
  EXPECT_FALSE(Enabled(map_main, IDC_LAG_LABEL));

  Press(map_main, IDC_USE_RANGE);
  EXPECT_EQ(mod->pblock->GetInt(pb_userange), TRUE);
  EXPECT_TRUE(SpinnerEnabled(map_main, IDC_START_SPIN));
  EXPECT_TRUE(SpinnerEnabled(map_main, IDC_END_SPIN));
  EXPECT_TRUE(Enabled(map_main, IDC_START_LABEL));
  EXPECT_TRUE(Enabled(map_main, IDC_END_LABEL));

  // Back to moving: the range is cleared in the block and in the check box, and disabled again.
  Press(map_main, IDC_MOVING);
  EXPECT_EQ(mod->pblock->GetInt(pb_userange), FALSE);
  EXPECT_FALSE(Checked(map_main, IDC_USE_RANGE));
  EXPECT_FALSE(Enabled(map_main, IDC_USE_RANGE));
  EXPECT_FALSE(SpinnerEnabled(map_main, IDC_START_SPIN));
  EXPECT_FALSE(SpinnerEnabled(map_main, IDC_END_SPIN));
  EXPECT_TRUE(SpinnerEnabled(map_main, IDC_OLD_FRAMES_SPIN));
  EXPECT_EQ(CustomControlInterfacesOutstanding(), 0) << "every spinner interface taken was released";
}

TEST_F(Parameters, ARangeSetByScriptOnAnAnchoredTrailShowsEnabledWhenTheRolloutOpens) {
  mod->pblock->SetValue(pb_moving_or_still, 0, 1);
  mod->pblock->SetValue(pb_userange, 0, TRUE);
  Open();
  EXPECT_TRUE(Checked(map_main, IDC_ANCHORED));
  EXPECT_TRUE(Checked(map_main, IDC_USE_RANGE));
  EXPECT_TRUE(SpinnerEnabled(map_main, IDC_START_SPIN));
  // A moving trail opened with a range left over from a script loses it at once.
  Close();
  mod->pblock->SetValue(pb_moving_or_still, 0, 0);
  mod->pblock->SetValue(pb_userange, 0, TRUE);
  Open();
  EXPECT_EQ(mod->pblock->GetInt(pb_userange), FALSE);
}

using Effects = PanelTest;

TEST_F(Effects, ApplyNeedsAFadeOrATextureWithAPath) {
  Open();
  EXPECT_FALSE(Enabled(map_effects, IDC_APPLY));
  EXPECT_FALSE(Enabled(map_effects, IDC_TEXTURE_PATH));
  EXPECT_FALSE(Enabled(map_effects, IDC_BROWSE));
  EXPECT_FALSE(SpinnerEnabled(map_effects, IDC_VREPEAT_SPIN));
  EXPECT_FALSE(SpinnerEnabled(map_effects, IDC_MIDPOINT_SPIN));

  Press(map_effects, IDC_APPLY_TEXTURE);
  EXPECT_EQ(mod->pblock->GetInt(pb_apply_tex_b), TRUE);
  EXPECT_FALSE(Enabled(map_effects, IDC_APPLY)) << "a texture without a path cannot be applied";
  EXPECT_TRUE(Enabled(map_effects, IDC_TEXTURE_PATH));
  EXPECT_TRUE(Enabled(map_effects, IDC_TEXTURE_NAME));
  EXPECT_TRUE(Enabled(map_effects, IDC_VREPEAT_LABEL));
  EXPECT_TRUE(Enabled(map_effects, IDC_BROWSE));
  EXPECT_TRUE(SpinnerEnabled(map_effects, IDC_VREPEAT_SPIN));

  Type(map_effects, IDC_TEXTURE_PATH, "w");
  EXPECT_TRUE(Enabled(map_effects, IDC_APPLY)) << "one character typed is a path";
  Type(map_effects, IDC_TEXTURE_PATH, "");
  EXPECT_FALSE(Enabled(map_effects, IDC_APPLY));

  Press(map_effects, IDC_APPLY_FADE);
  EXPECT_TRUE(Enabled(map_effects, IDC_APPLY)) << "the fade needs no path";
  EXPECT_TRUE(SpinnerEnabled(map_effects, IDC_MIDPOINT_SPIN));
  EXPECT_TRUE(Enabled(map_effects, IDC_MIDPOINT_LABEL));
  EXPECT_EQ(CustomControlInterfacesOutstanding(), 0);
}

TEST_F(Effects, TypingInThePathSwitchesTheHostsShortcutsOffUntilTheFieldLosesTheFocus) {
  Open();
  Press(map_effects, IDC_APPLY_TEXTURE);
  ASSERT_TRUE(ip()->AcceleratorsEnabled());
  Type(map_effects, IDC_TEXTURE_PATH, "maps\\wake.png");
  EXPECT_FALSE(ip()->AcceleratorsEnabled());
  // The person moves on to the V Repeat field.
  ASSERT_TRUE(Win32ClickControl(Rollout(map_effects), IDC_VREPEAT_EDIT));
  Pump();
  EXPECT_TRUE(ip()->AcceleratorsEnabled());

  // The panel closes (another object is selected) while the person is still typing in the field.
  Type(map_effects, IDC_TEXTURE_PATH, "maps\\wake2.png");
  ASSERT_FALSE(ip()->AcceleratorsEnabled());
  Close();
  EXPECT_TRUE(ip()->AcceleratorsEnabled()) << "the shortcuts come back with the closing panel";
}

TEST_F(Effects, ThePathOutlivesTheRolloutAndComesBackCutTo259Characters) {
  Open();
  Press(map_effects, IDC_APPLY_TEXTURE);
  Type(map_effects, IDC_TEXTURE_PATH, "C:\\maps\\wake.png");
  Close();
  EXPECT_EQ(std::string(mod->m_szTexturePath), "C:\\maps\\wake.png");
  Open();
  EXPECT_EQ(Text(map_effects, IDC_TEXTURE_PATH), "C:\\maps\\wake.png");
  EXPECT_TRUE(Enabled(map_effects, IDC_APPLY)) << "the restored path counts for the enabling";

  const std::string longPath = "C:\\" + std::string(300, 'x');
  Type(map_effects, IDC_TEXTURE_PATH, longPath.c_str());
  Close();
  Open();
  EXPECT_EQ(Text(map_effects, IDC_TEXTURE_PATH), longPath.substr(0, 259));
}

TEST_F(Effects, BrowsingSetsThePathAndTheBareFileNameAndCancelChangesNothing) {
  Open();
  Press(map_effects, IDC_APPLY_TEXTURE);
  PanelAgent agent;
  Press(map_effects, IDC_BROWSE);  // the person cancels the chooser
  EXPECT_EQ(Text(map_effects, IDC_TEXTURE_PATH), "");
  EXPECT_EQ(Text(map_effects, IDC_TEXTURE_NAME), "Not selected");

  agent.fileToChoose = "C:\\maps\\wake.png";
  Press(map_effects, IDC_BROWSE);
  EXPECT_EQ(Text(map_effects, IDC_TEXTURE_PATH), "C:\\maps\\wake.png");
  EXPECT_EQ(Text(map_effects, IDC_TEXTURE_NAME), "wake.png");
  EXPECT_TRUE(Enabled(map_effects, IDC_APPLY)) << "the chosen path enables Apply through the change notification";
  ASSERT_EQ(agent.chooserTitles.size(), 2u);
  EXPECT_EQ(agent.chooserTitles[1], "Wakeweave");
  EXPECT_EQ(agent.chooserOwners[1], Rollout(map_effects));

  // A name without a backslash leaves the file-name label as it was.
  agent.fileToChoose = "wake2.png";
  Press(map_effects, IDC_BROWSE);
  EXPECT_EQ(Text(map_effects, IDC_TEXTURE_PATH), "wake2.png");
  EXPECT_EQ(Text(map_effects, IDC_TEXTURE_NAME), "wake.png");
}

using ParticleTrails = PanelTest;

TEST_F(ParticleTrails, RegenerateAndSnapshotDoNothingWhileParticleTrailsAreOff) {
  auto* flow = new FlowParticleSystem();
  INode* ps = AddNode("PF Source 001", flow, nullptr);
  ASSERT_TRUE(mod->pblock->SetValue(pb_particle_node, 0, ps));
  Open();
  PanelAgent agent;
  const int nodesBefore = ip()->GetRootNode()->NumberOfChildren();
  Press(map_particles, IDC_REGENERATE);
  Press(map_particles, IDC_SNAPSHOT);
  EXPECT_TRUE(agent.shown.empty()) << "no progress dialog";
  EXPECT_TRUE(agent.boxes.empty()) << "not even a message";
  EXPECT_EQ(ip()->GetRootNode()->NumberOfChildren(), nodesBefore) << "no snapshot spline";

  // With trails on, the same presses regenerate (the progress dialog) and snapshot (nothing was recorded).
  Press(map_particles, IDC_USE_PARTICLES);
  ASSERT_EQ(mod->pblock->GetInt(pb_particle_trails_b), TRUE);
  Press(map_particles, IDC_REGENERATE);
  EXPECT_EQ(agent.shown.size(), 1u);
  Press(map_particles, IDC_SNAPSHOT);
  ASSERT_EQ(agent.boxes.size(), 1u);
  EXPECT_EQ(agent.boxes[0].text, "No particle animation.");
}

using Binding = PanelTest;

TEST_F(Binding, SpinnersClampWhatThePersonTypesToTheParametersRange) {
  Open();
  Enter(map_mesh, IDC_SPF_EDIT, "0");
  EXPECT_FLOAT_EQ(mod->pblock->GetFloat(pb_segments_per_frame), 0.0001f);
  Enter(map_particles, IDC_SKIP_EDIT, "2000");
  EXPECT_EQ(mod->pblock->GetInt(pb_skippart), 1000);
  EXPECT_EQ(Text(map_particles, IDC_SKIP_EDIT), "1000") << "the field shows what was stored";
  Enter(map_main, IDC_OLD_FRAMES_EDIT, "0");
  EXPECT_EQ(mod->pblock->GetInt(pb_old_frames), 0) << "Frames to Lag accepts 0";
  // Time spinners take frames and store ticks.
  Press(map_main, IDC_ANCHORED);
  Press(map_main, IDC_USE_RANGE);
  Enter(map_main, IDC_END_EDIT, "25");
  EXPECT_EQ(mod->pblock->GetInt(pb_end_frame), 25 * kTpf);
}

TEST_F(Binding, APanelEditIsOneUndoStepNamedAfterTheParameter) {
  Open();
  Enter(map_mesh, IDC_NUMMTLS_EDIT, "4");
  ASSERT_EQ(mod->pblock->GetInt(pb_nummtls), 4);
  EXPECT_EQ(std::string(theHold.UndoName()), "Number Of Materials");
  ASSERT_TRUE(theHold.Undo());
  EXPECT_EQ(mod->pblock->GetInt(pb_nummtls), 1);
  EXPECT_EQ(Text(map_mesh, IDC_NUMMTLS_EDIT), "1") << "the open rollout shows the undone value";
}

using Lifetimes = PanelTest;

TEST_F(Lifetimes, EverySessionMakesFourProceduresAndClosingReleasesAllOfThem) {
  Wakeweave* other = NewModifier();
  AddNode("Other Shape", Circle(5.0f), other);
  DebugCapture debug;
  for (int cycle = 0; cycle < 2; ++cycle) {
    Open();
    for (int m = 0; m < 4; ++m) {
      ASSERT_NE(Rollout(m), nullptr);
      IParamMap2* map = mod->pblock->GetMap(MapID(m));
      ASSERT_NE(map, nullptr);
      EXPECT_EQ(map->GetHWnd(), Rollout(m));
      auto* proc = dynamic_cast<WakeweaveDlgProc*>(map->GetUserDlgProc());
      ASSERT_NE(proc, nullptr);
      EXPECT_EQ(proc->m_pMod, mod);
      EXPECT_EQ(proc->m_nMap, m);
    }
    HWND before[4];
    for (int m = 0; m < 4; ++m) before[m] = Rollout(m);
    Close();
    EXPECT_EQ(debug.Count("WakeweaveDlgProc::DeleteThis() \n"), 4 * (2 * cycle + 1));
    for (int m = 0; m < 4; ++m) {
      EXPECT_EQ(Rollout(m), nullptr);
      EXPECT_FALSE(IsWindow(before[m]));
    }
    // Switching to the other modifier and back.
    other->BeginEditParams(EditIP(), 0, mod);
    EXPECT_EQ(GetWakeweaveDesc()->NumOpenRollouts(), 4);
    other->EndEditParams(EditIP(), 0, mod);
    EXPECT_EQ(debug.Count("WakeweaveDlgProc::DeleteThis() \n"), 4 * (2 * cycle + 2));
  }
}

TEST_F(ParticleTrails, ThePickButtonTakesOnlyAParticleSystemAndShowsItsName) {
  INode* shape = AddNode("Plain Shape", Circle(3.0f), nullptr);
  INode* spray = AddNode("Spray001", new LegacyParticleSystem(), nullptr);
  Open();
  EXPECT_EQ(Text(map_particles, IDC_PICK_PARTICLES), "None");
  Press(map_particles, IDC_PICK_PARTICLES);
  ASSERT_TRUE(StandInInPickMode());
  EXPECT_EQ(std::string(StandInPrompt()), "Choose a Particle System");
  EXPECT_FALSE(StandInPickNode(shape)) << "a shape is no particle system";
  EXPECT_TRUE(StandInInPickMode()) << "the person may go on picking";
  EXPECT_EQ(mod->pblock->GetINode(pb_particle_node), nullptr);
  EXPECT_TRUE(StandInPickNode(spray));
  EXPECT_FALSE(StandInInPickMode());
  EXPECT_EQ(mod->pblock->GetINode(pb_particle_node), spray);
  EXPECT_EQ(Text(map_particles, IDC_PICK_PARTICLES), "Spray001");
  EXPECT_EQ(std::string(theHold.UndoName()), "Particle Node");
  ASSERT_TRUE(theHold.Undo());
  EXPECT_EQ(Text(map_particles, IDC_PICK_PARTICLES), "None");
}

TEST_F(ParticleTrails, RemoveTakesTheSelectedEventOutOfTheList) {
  auto* flow = new FlowParticleSystem();
  AddNode("PF Source 001", flow, nullptr);
  INode* first = flow->GetEvent(flow->AddEvent("Spray"));
  INode* second = flow->GetEvent(flow->AddEvent("Fall"));
  mod->pblock->Append(pb_pf_event_list, 1, &first);
  mod->pblock->Append(pb_pf_event_list, 1, &second);
  Open();
  ASSERT_EQ(SendDlgItemMessageA(Rollout(map_particles), IDC_EVENT_LIST, LB_GETCOUNT, 0, 0), 2);
  const int pick[] = {0};
  ASSERT_TRUE(Win32SelectListItems(Rollout(map_particles), IDC_EVENT_LIST, pick, 1));
  Pump();
  Press(map_particles, IDC_REMOVE_EVENT);
  ASSERT_EQ(mod->pblock->Count(pb_pf_event_list), 1);
  EXPECT_EQ(mod->pblock->GetINode(pb_pf_event_list, 0, 0), second);
  EXPECT_EQ(SendDlgItemMessageA(Rollout(map_particles), IDC_EVENT_LIST, LB_GETCOUNT, 0, 0), 1);
}
