// Block descriptions: what the tag list turns into, lookups, registration, and malformed lists.
#include "params_fixture.h"

namespace {

class NullProc : public ParamMap2UserDlgProc {
 public:
  INT_PTR DlgProc(TimeValue, IParamMap2*, HWND, UINT, WPARAM, LPARAM) override { return FALSE; }
  void DeleteThis() override {}
};

TEST_F(ParamsTest, DescriptionHoldsBlockAndRollouts) {
  EXPECT_EQ(desc->ID, 0);
  EXPECT_STREQ(desc->int_name, "main");
  EXPECT_EQ(desc->flags, 0x26);
  EXPECT_EQ(desc->ref_no, 0);
  EXPECT_TRUE(desc->valid);
  ASSERT_EQ(desc->rollouts.size(), 2u);
  EXPECT_EQ(desc->rollouts[0].map_id, 0);
  EXPECT_EQ(desc->rollouts[0].dlg_template, 101);
  EXPECT_EQ(desc->rollouts[0].title, 4);
  EXPECT_EQ(desc->rollouts[1].map_id, 1);
  EXPECT_EQ(desc->rollouts[1].dlg_template, 103);
  EXPECT_EQ(desc->rollouts[1].title, 1507);
  EXPECT_EQ(desc->Count(), 15);
}

TEST_F(ParamsTest, DescriptionHoldsEveryParameterForm) {
  const ParamDef& frames = desc->GetParamDef(pFrames);
  EXPECT_STREQ(frames.int_name, "old_frames");
  EXPECT_EQ(frames.type, TYPE_INT);
  EXPECT_EQ(frames.flags, P_ANIMATABLE);
  EXPECT_EQ(frames.local_name, 9);
  EXPECT_EQ(frames.def.i, 3);
  EXPECT_TRUE(frames.has_range);
  EXPECT_EQ(frames.range_low.i, 0);
  EXPECT_EQ(frames.range_high.i, 100000);
  EXPECT_TRUE(frames.has_ui);
  EXPECT_EQ(frames.map_id, 0);
  EXPECT_EQ(frames.ctrl_type, TYPE_SPINNER);
  EXPECT_EQ(frames.edit_type, EDITTYPE_INT);
  EXPECT_EQ(frames.ctrl_IDs, (std::vector<int>{1491, 1497}));
  EXPECT_EQ(frames.scale, SPIN_AUTOSCALE);

  EXPECT_FALSE(desc->GetParamDef(pSegments).has_ui);
  EXPECT_EQ(desc->GetParamDef(pSegments).range_low.i, 1);

  const ParamDef& kind = desc->GetParamDef(pKind);
  EXPECT_EQ(kind.ctrl_type, TYPE_RADIO);
  EXPECT_EQ(kind.ctrl_IDs, (std::vector<int>{1004, 1005}));

  const ParamDef& perFrame = desc->GetParamDef(pPerFrame);
  EXPECT_EQ(perFrame.type, TYPE_FLOAT);
  EXPECT_FLOAT_EQ(perFrame.def.f, 1.0f);
  EXPECT_FLOAT_EQ(perFrame.range_low.f, 0.0001f);
  EXPECT_FLOAT_EQ(perFrame.range_high.f, 10000.0f);
  EXPECT_EQ(perFrame.map_id, 1);
  EXPECT_EQ(perFrame.edit_type, EDITTYPE_POS_FLOAT);
  EXPECT_FLOAT_EQ(perFrame.scale, 0.1f);

  EXPECT_EQ(desc->GetParamDef(pFadeMid).flags, P_TRANSIENT);
  EXPECT_EQ(desc->GetParamDef(pFlip).ctrl_IDs, (std::vector<int>{1002}));

  const ParamDef& particles = desc->GetParamDef(pParticles);
  EXPECT_EQ(particles.type, TYPE_INODE);
  EXPECT_EQ(particles.ctrl_type, TYPE_PICKNODEBUTTON);
  EXPECT_EQ(particles.ctrl_IDs, (std::vector<int>{1053}));
  EXPECT_EQ(particles.validator, &validator);
  EXPECT_EQ(particles.prompt, 1528);
  EXPECT_EQ(particles.tooltip, 1528);

  const ParamDef& events = desc->GetParamDef(pEvents);
  EXPECT_EQ(events.type, TYPE_INODE_TAB);
  EXPECT_EQ(events.flags, 0x1004);
  EXPECT_EQ(events.tab_size, 0);
  EXPECT_EQ(events.ctrl_type, TYPE_NODELISTBOX);
  EXPECT_EQ(events.ctrl_IDs, (std::vector<int>{1006, 0, 0, 1007}));

  EXPECT_EQ(desc->GetParamDef(pEndFrame).edit_type, EDITTYPE_TIME);
  EXPECT_EQ(desc->GetParamDef(pEndFrame).def.i, kFrame);
  EXPECT_EQ(desc->GetParamDef(pGenerate).def.i, TRUE);
  EXPECT_EQ(desc->GetParamDef(pGenerate).ms_def.i, FALSE);
  EXPECT_STREQ(desc->GetParamDef(pLabel).def_str, "trail");
  EXPECT_EQ(desc->GetParamDef(pOffset).def_p3, Point3(1.0f, 2.0f, 3.0f));
  EXPECT_FLOAT_EQ(desc->GetParamDef(pOffset).range_low.f, -10.0f);
  EXPECT_EQ(desc->GetParamDef(pWeights).tab_size, 2);
  EXPECT_EQ(desc->GetParamDef(pAccessed).accessor, &accessor);
}

TEST_F(ParamsTest, LookupsByIdIndexAndName) {
  EXPECT_EQ(desc->IDtoIndex(pGenerate), 10);
  EXPECT_EQ(desc->IDtoIndex(pLabel), 11);  // there is no parameter 11
  EXPECT_EQ(desc->IDtoIndex(11), -1);
  EXPECT_EQ(desc->IndextoID(11), pLabel);
  EXPECT_EQ(desc->IndextoID(15), -1);
  ASSERT_NE(desc->FindParamByName("pfEventList"), nullptr);
  EXPECT_EQ(desc->FindParamByName("pfEventList")->ID, pEvents);
  EXPECT_EQ(desc->FindParamByName("end frame")->ID, pEndFrame);
  EXPECT_EQ(desc->FindParamByName("nope"), nullptr);
  EXPECT_EQ(desc->FindParamByName(nullptr), nullptr);

  AssertCapture asserts;
  EXPECT_EQ(desc->GetParamDef(11).ID, -1);
  EXPECT_EQ(asserts.Count(), 1u);
}

TEST_F(ParamsTest, DescriptorRegistersWithItsClassAndLeavesOnDestruction) {
  ASSERT_EQ(cd.NumParamBlockDescs(), 1);
  EXPECT_EQ(cd.GetParamBlockDesc(0), desc.get());
  EXPECT_EQ(cd.GetParamBlockDescByID(0), desc.get());
  EXPECT_EQ(cd.GetParamBlockDescByID(1), nullptr);
  EXPECT_EQ(cd.GetParamBlockDescByName("main"), desc.get());
  EXPECT_EQ(desc->cd, &cd);

  auto* second = new ParamBlockDesc2(5, "extra", 0, &cd, 0, pFrames, "x", TYPE_INT, 0, 0, p_end, p_end);
  EXPECT_EQ(cd.NumParamBlockDescs(), 2);
  EXPECT_EQ(cd.GetParamBlockDescByID(5), second);
  delete second;
  EXPECT_EQ(cd.NumParamBlockDescs(), 1);
  EXPECT_EQ(cd.GetParamBlockDescByID(5), nullptr);
}

TEST(ParamDescription, ClassDescriptorGoingFirstLeavesNoDanglingOwner) {
  auto* cd = new TestClassDesc;
  auto* d = new ParamBlockDesc2(0, "main", 0, cd, 0, pFrames, "x", TYPE_INT, 0, 0, p_end, p_end);
  delete cd;
  EXPECT_EQ(d->cd, nullptr);
  delete d;  // must not call back into the dead class descriptor
}

TEST(ParamDescription, SingleMapFormWithVersionAndBareEndTag) {
  NullProc proc;
  ParamBlockDesc2 d(3, "single", 12, nullptr, P_AUTO_UI + P_VERSION,
                    7,                          // version
                    200, 5, 0x10, 0x20, &proc,  // dialog, title, flag mask, rollup flags, procedure
                    1, "spin", TYPE_FLOAT, P_ANIMATABLE, 0, p_default, 2.5f, p_ui, TYPE_SPINNER, EDITTYPE_UNIVERSE, 10,
                    11, 0.5f, end, 2, "pos", TYPE_POINT3, 0, 0, p_ui, TYPE_SPINNER, EDITTYPE_FLOAT, 20, 21, 22, 23, 24,
                    25, 1.0f, end, end);
  EXPECT_TRUE(d.valid);
  EXPECT_EQ(d.version, 7);
  EXPECT_EQ(d.ref_no, -1);
  EXPECT_EQ(d.local_name, 12);
  ASSERT_EQ(d.rollouts.size(), 1u);
  EXPECT_EQ(d.rollouts[0].map_id, 0);
  EXPECT_EQ(d.rollouts[0].dlg_template, 200);
  EXPECT_EQ(d.rollouts[0].title, 5);
  EXPECT_EQ(d.rollouts[0].test_flags, 0x10);
  EXPECT_EQ(d.rollouts[0].rollup_flags, 0x20);
  EXPECT_EQ(d.rollouts[0].dlgProc, &proc);
  EXPECT_EQ(d.GetUserDlgProc(0), &proc);
  ASSERT_EQ(d.Count(), 2);
  EXPECT_FLOAT_EQ(d.GetParamDef(1).def.f, 2.5f);
  EXPECT_EQ(d.GetParamDef(1).edit_type, EDITTYPE_UNIVERSE);
  EXPECT_EQ(d.GetParamDef(1).ctrl_IDs, (std::vector<int>{10, 11}));
  // A point spinner has an edit box and a spinner per component.
  EXPECT_EQ(d.GetParamDef(2).ctrl_IDs, (std::vector<int>{20, 21, 22, 23, 24, 25}));
  EXPECT_FLOAT_EQ(d.GetParamDef(2).scale, 1.0f);
}

TEST(ParamDescription, MalformedListsAreReportedAndParsingStops) {
  AssertCapture asserts;
  {
    // An unknown tag after a well-formed parameter.
    ParamBlockDesc2 d(0, "bad", 0, nullptr, 0, 1, "a", TYPE_INT, 0, 0, p_default, 4, p_end, 2, "b", TYPE_INT, 0, 0,
                      p_default, 5, 0x10000999, 1, p_end, p_end);
    EXPECT_FALSE(d.valid);
    EXPECT_EQ(d.Count(), 1);  // "a" made it, "b" did not
    EXPECT_EQ(d.GetParamDef(1).def.i, 4);
  }
  ASSERT_EQ(asserts.Count(), 1u);
  EXPECT_NE(asserts.Expressions()[0].find("tag"), std::string::npos);

  {
    // A tag where the next parameter id belongs (an extra p_end missing).
    ParamBlockDesc2 d(0, "bad", 0, nullptr, 0, 1, "a", TYPE_INT, 0, 0, p_end, p_default, p_end);
    EXPECT_FALSE(d.valid);
  }
  {
    // p_ui on a map the description does not declare.
    ParamBlockDesc2 d(0, "bad", 0, nullptr, P_AUTO_UI + P_MULTIMAP, 1, 0, 101, 4, 0, 0, nullptr, 1, "a", TYPE_BOOL, 0,
                      0, p_ui, 3, TYPE_SINGLECHEKBOX, 1000, p_end, p_end);
    EXPECT_FALSE(d.valid);
  }
  {
    // A range on a node parameter.
    ParamBlockDesc2 d(0, "bad", 0, nullptr, 0, 1, "a", TYPE_INODE, 0, 0, p_range, 0, 1, p_end, p_end);
    EXPECT_FALSE(d.valid);
  }
  {
    // Duplicate parameter ids.
    ParamBlockDesc2 d(0, "bad", 0, nullptr, 0, 1, "a", TYPE_INT, 0, 0, p_end, 1, "b", TYPE_INT, 0, 0, p_end, p_end);
    EXPECT_FALSE(d.valid);
    EXPECT_EQ(d.Count(), 1);
  }
  {
    // An unknown control type and a type no block can hold.
    ParamBlockDesc2 d1(0, "bad", 0, nullptr, P_AUTO_UI, 101, 4, 0, 0, nullptr, 1, "a", TYPE_INT, 0, 0, p_ui, 77, 1000,
                       p_end, p_end);
    ParamBlockDesc2 d2(0, "bad", 0, nullptr, 0, 1, "a", TYPE_VOID, 0, 0, p_end, p_end);
    EXPECT_FALSE(d1.valid);
    EXPECT_FALSE(d2.valid);
  }
  EXPECT_EQ(asserts.Count(), 7u);
}

}  // namespace
