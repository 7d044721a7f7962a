// Parameter block values: defaults, clamping, typed access, animation, notification, node references and
// cloning.
#include "params_fixture.h"

namespace {

TEST_F(ParamsTest, NewBlockHoldsTheDefaults) {
  EXPECT_EQ(pb->GetDesc(), desc.get());
  EXPECT_EQ(pb->ID(), 0);
  EXPECT_EQ(pb->GetOwner(), owner);
  EXPECT_EQ(pb->SuperClassID(), SClass_ID(PARAMETER_BLOCK2_CLASS_ID));
  EXPECT_EQ(pb->NumParams(), 15);
  EXPECT_EQ(pb->GetInt(pFrames), 3);
  EXPECT_EQ(pb->GetInt(pSegments), 3);
  EXPECT_EQ(pb->GetInt(pFlip), FALSE);
  EXPECT_EQ(pb->GetInt(pEndFrame), kFrame);
  EXPECT_EQ(pb->GetInt(pGenerate), TRUE);
  EXPECT_FLOAT_EQ(pb->GetFloat(pPerFrame), 1.0f);
  EXPECT_FLOAT_EQ(pb->GetFloat(pFadeMid), 0.8f);
  EXPECT_EQ(pb->GetINode(pParticles), nullptr);
  EXPECT_EQ(pb->Count(pEvents), 0);
  EXPECT_STREQ(pb->GetStr(pLabel), "trail");
  EXPECT_EQ(pb->GetPoint3(pOffset), Point3(1.0f, 2.0f, 3.0f));
  ASSERT_EQ(pb->Count(pWeights), 2);
  EXPECT_FLOAT_EQ(pb->GetFloat(pWeights, 0, 1), 0.5f);
  EXPECT_EQ(pb->LastNotifyParamID(), -1);
}

TEST_F(ParamsTest, ValuesAreClampedIntoTheirRangeAtBothEnds) {
  EXPECT_TRUE(pb->SetValue(pPerFrame, 0, 0.0f));
  EXPECT_FLOAT_EQ(pb->GetFloat(pPerFrame), 0.0001f);
  EXPECT_TRUE(pb->SetValue(pPerFrame, 0, 1e9f));
  EXPECT_FLOAT_EQ(pb->GetFloat(pPerFrame), 10000.0f);
  EXPECT_TRUE(pb->SetValue(pPerFrame, 0, 2.5f));
  EXPECT_FLOAT_EQ(pb->GetFloat(pPerFrame), 2.5f);

  EXPECT_TRUE(pb->SetValue(pSegments, 0, 0));
  EXPECT_EQ(pb->GetInt(pSegments), 1);
  EXPECT_TRUE(pb->SetValue(pSegments, 0, 20000));
  EXPECT_EQ(pb->GetInt(pSegments), 10000);
  EXPECT_TRUE(pb->SetValue(pFrames, 0, 0));  // the bound itself is inside
  EXPECT_EQ(pb->GetInt(pFrames), 0);

  // Unranged values are stored as they are.
  EXPECT_TRUE(pb->SetValue(pKind, 0, -7));
  EXPECT_EQ(pb->GetInt(pKind), -7);

  EXPECT_TRUE(pb->SetValue(pOffset, 0, Point3(-20.0f, 5.0f, 99.0f)));
  EXPECT_EQ(pb->GetPoint3(pOffset), Point3(-10.0f, 5.0f, 10.0f));
  EXPECT_TRUE(pb->SetValue(pWeights, 0, 3.0f, 1));
  EXPECT_FLOAT_EQ(pb->GetFloat(pWeights, 0, 1), 1.0f);
  EXPECT_FLOAT_EQ(pb->GetFloat(pWeights, 0, 0), 0.5f);
}

TEST_F(ParamsTest, TypeMismatchUnknownIdAndBadIndexAreRefused) {
  float f = -1.0f;
  int i = -1;
  INode* n = nullptr;
  Interval valid = FOREVER;
  EXPECT_FALSE(pb->GetValue(pSegments, 0, f, valid));
  EXPECT_FLOAT_EQ(f, -1.0f);
  EXPECT_FALSE(pb->GetValue(pPerFrame, 0, i, valid));
  EXPECT_EQ(i, -1);
  EXPECT_FALSE(pb->GetValue(pSegments, 0, n, valid));
  EXPECT_FALSE(pb->GetValue(11, 0, i, valid));
  EXPECT_FALSE(pb->GetValue(pWeights, 0, f, valid, 2));
  EXPECT_FALSE(pb->GetValue(pWeights, 0, f, valid, -1));
  EXPECT_TRUE(pb->GetValue(pWeights, 0, f, valid, 1));

  EXPECT_FALSE(pb->SetValue(pSegments, 0, 2.0f));
  EXPECT_FALSE(pb->SetValue(pPerFrame, 0, 2));
  EXPECT_FALSE(pb->SetValue(11, 0, 2));
  EXPECT_FALSE(pb->SetValue(pLabel, 0, 2));
  EXPECT_EQ(pb->GetInt(pSegments), 3);
  EXPECT_FLOAT_EQ(pb->GetFloat(pPerFrame), 1.0f);
  EXPECT_EQ(pb->LastNotifyParamID(), -1);  // nothing changed
  EXPECT_TRUE(owner->notes.empty());
  EXPECT_EQ(pb->GetParameterType(pEvents), TYPE_INODE_TAB);
  EXPECT_EQ(pb->GetParameterType(11), -1);
}

TEST_F(ParamsTest, StoredValueLeavesValidityAlone) {
  Interval valid(10, 20);
  int v = 0;
  ASSERT_TRUE(pb->GetValue(pFrames, 15, v, valid));
  EXPECT_EQ(v, 3);
  EXPECT_EQ(valid, Interval(10, 20));
}

TEST_F(ParamsTest, AnimatedIntFollowsItsControllerRoundedToNearest) {
  auto* c = new LinearFloatControl();
  c->AddKey(0, 3.0f);
  c->AddKey(50 * kFrame, 20.0f);
  ASSERT_TRUE(pb->SetController(pFrames, 0, c));
  EXPECT_EQ(pb->GetController(pFrames), c);
  EXPECT_EQ(c->NumDependents(), 1);

  Interval valid = FOREVER;
  int v = 0;
  ASSERT_TRUE(pb->GetValue(pFrames, 25 * kFrame, v, valid));
  EXPECT_EQ(v, 12);  // 11.5 rounds up
  EXPECT_TRUE(valid.InInterval(25 * kFrame));
  EXPECT_NE(valid, FOREVER);
  EXPECT_EQ(pb->GetInt(pFrames, 10 * kFrame), 6);  // 6.4
  EXPECT_EQ(pb->GetInt(pFrames, 0), 3);
  valid = FOREVER;
  ASSERT_TRUE(pb->GetValue(pFrames, 80 * kFrame, v, valid));
  EXPECT_EQ(v, 20);
  EXPECT_EQ(valid.Start(), 50 * kFrame);  // constant after the last key

  // Writing an animated parameter writes the controller.
  ASSERT_TRUE(pb->SetValue(pFrames, 25 * kFrame, 8));
  EXPECT_EQ(pb->GetInt(pFrames, 25 * kFrame), 8);
  EXPECT_EQ(c->NumKeys(), 3);

  // A plain parameter takes no controller.
  auto* other = new LinearFloatControl();
  EXPECT_FALSE(pb->SetController(pSegments, 0, other));
  other->DeleteThis();

  // Removing the controller goes back to the stored value and deletes the orphaned controller.
  long live = MAX_heapLiveCount();
  ASSERT_TRUE(pb->SetController(pFrames, 0, nullptr));
  EXPECT_EQ(pb->GetController(pFrames), nullptr);
  EXPECT_EQ(pb->GetInt(pFrames, 25 * kFrame), 3);
  EXPECT_EQ(MAX_heapLiveCount(), live - 1);
}

TEST_F(ParamsTest, TableEntriesHaveTheirOwnControllers) {
  auto* c = new LinearFloatControl();
  c->AddKey(0, 0.0f);
  c->AddKey(10 * kFrame, 1.0f);
  ASSERT_TRUE(pb->SetController(pWeights, 1, c));
  EXPECT_EQ(pb->GetController(pWeights, 0), nullptr);
  EXPECT_FLOAT_EQ(pb->GetFloat(pWeights, 5 * kFrame, 1), 0.5f);
  EXPECT_FLOAT_EQ(pb->GetFloat(pWeights, 8 * kFrame, 1), 0.8f);
  EXPECT_FLOAT_EQ(pb->GetFloat(pWeights, 8 * kFrame, 0), 0.5f);
}

TEST_F(ParamsTest, ChangesAreNotifiedToTheOwnerWithTheBlockAsSource) {
  ASSERT_TRUE(pb->SetValue(pSegments, 0, 5));
  EXPECT_EQ(pb->LastNotifyParamID(), pSegments);
  ASSERT_EQ(owner->notes.size(), 1u);
  EXPECT_EQ(owner->notes[0].target, pb);
  EXPECT_EQ(owner->notes[0].message, RefMessage(REFMSG_CHANGE));
  EXPECT_EQ(owner->notes[0].lastParam, pSegments);

  INode* pf = scene->Add("PF Source 001");
  ASSERT_TRUE(pb->SetValue(pParticles, 0, pf));
  EXPECT_EQ(owner->notes.back().lastParam, pParticles);

  // A controller's own change reaches the owner through the block, naming the parameter.
  auto* c = new LinearFloatControl(4.0f);
  ASSERT_TRUE(pb->SetController(pFrames, 0, c));
  owner->notes.clear();
  c->AddKey(kFrame, 9.0f);
  ASSERT_EQ(owner->notes.size(), 1u);
  EXPECT_EQ(owner->notes.back().target, pb);
  EXPECT_EQ(owner->notes.back().lastParam, pFrames);

  // Writing the animated parameter is heard once, whether or not the controller reports it itself.
  owner->notes.clear();
  ASSERT_TRUE(pb->SetValue(pSegments, 0, 6));
  ASSERT_TRUE(pb->SetValue(pFrames, kFrame, 5));
  ASSERT_EQ(owner->notes.size(), 2u);
  EXPECT_EQ(owner->notes.back().lastParam, pFrames);
  EXPECT_EQ(pb->LastNotifyParamID(), pFrames);
}

TEST_F(ParamsTest, ValidatorDecidesWhichNodesAreStored) {
  INode* box = scene->Add("Box001");
  INode* pf = scene->Add("PF Source 001");
  owner->notes.clear();
  EXPECT_FALSE(pb->SetValue(pParticles, 0, box));
  EXPECT_EQ(validator.calls, 1);
  EXPECT_EQ(pb->GetINode(pParticles), nullptr);
  EXPECT_EQ(box->NumDependents(), 1);  // only the scene
  EXPECT_TRUE(owner->notes.empty());

  EXPECT_TRUE(pb->SetValue(pParticles, 0, pf));
  EXPECT_EQ(pb->GetINode(pParticles), pf);
  EXPECT_EQ(pf->NumDependents(), 2);  // the scene and the block

  // Refusing a later node keeps the accepted one.
  EXPECT_FALSE(pb->SetValue(pParticles, 0, box));
  EXPECT_EQ(pb->GetINode(pParticles), pf);
  // Clearing needs the validator's consent too; this one refuses an empty value.
  EXPECT_FALSE(pb->SetValue(pParticles, 0, static_cast<INode*>(nullptr)));
  // A node parameter takes nodes only.
  auto* notANode = new LinearFloatControl();
  EXPECT_FALSE(pb->SetValue(pParticles, 0, static_cast<ReferenceTarget*>(notANode)));
  notANode->DeleteThis();
}

// The default four-argument Validate hands the value to the one-argument form.
TEST(ParamValidator, FourArgumentFormForwardsToOneArgumentForm) {
  NamePrefixValidator v;
  TestNode node("PF x");
  PB2Value value;
  value.r = &node;
  PBValidator& base = v;
  EXPECT_TRUE(base.Validate(value, nullptr, 7, 0));
  EXPECT_EQ(v.calls, 1);
  EXPECT_EQ(base.GetInterface(Interface_ID(1, 2)), nullptr);
  EXPECT_EQ(value.n, &node);
}

TEST_F(ParamsTest, AccessorSeesWritesAndAdjustsReads) {
  ASSERT_TRUE(pb->SetValue(pAccessed, 0, 21));
  EXPECT_EQ(accessor.lastSet, 21);
  EXPECT_EQ(accessor.lastOwner, owner);
  EXPECT_EQ(pb->GetInt(pAccessed), 42);
}

TEST_F(ParamsTest, NodeListAppendInsertCountDelete) {
  INode* a = scene->Add("Event 001");
  INode* b = scene->Add("Event 002");
  INode* c = scene->Add("Event 003");
  INode* ab[] = {a, b};
  EXPECT_EQ(pb->Append(pEvents, 2, ab), 0);
  EXPECT_EQ(pb->LastNotifyParamID(), pEvents);
  EXPECT_EQ(pb->Append(pEvents, 1, &c), 2);
  ASSERT_EQ(pb->Count(pEvents), 3);
  EXPECT_EQ(pb->GetINode(pEvents, 0, 0), a);
  EXPECT_EQ(pb->GetINode(pEvents, 0, 2), c);
  EXPECT_EQ(a->NumDependents(), 2);

  EXPECT_EQ(pb->Delete(pEvents, 0, 1), 2);
  EXPECT_EQ(pb->GetINode(pEvents, 0, 0), b);
  EXPECT_EQ(a->NumDependents(), 1);         // the block let go
  EXPECT_EQ(pb->Delete(pEvents, 5, 1), 2);  // nothing there

  EXPECT_EQ(pb->Insert(pEvents, 0, 1, &a), 0);
  EXPECT_EQ(pb->GetINode(pEvents, 0, 0), a);
  EXPECT_EQ(pb->GetINode(pEvents, 0, 1), b);
  // References stay in step with the entries after insertion.
  for (int i = 0; i < pb->NumRefs(); ++i) {
    ReferenceTarget* r = pb->GetReference(i);
    EXPECT_TRUE(r == nullptr || r == a || r == b || r == c);
  }
  int held = 0;
  for (int i = 0; i < pb->NumRefs(); ++i) held += pb->GetReference(i) ? 1 : 0;
  EXPECT_EQ(held, 3);

  pb->SetCount(pEvents, 1);
  EXPECT_EQ(pb->Count(pEvents), 1);
  EXPECT_EQ(b->NumDependents(), 1);
  EXPECT_EQ(c->NumDependents(), 1);
  pb->SetCount(pEvents, 3);
  EXPECT_EQ(pb->GetINode(pEvents, 0, 2), nullptr);

  // Table operations on a plain parameter or with the wrong element type are refused.
  EXPECT_EQ(pb->Append(pParticles, 1, &a), -1);
  EXPECT_EQ(pb->Append(pWeights, 1, &a), -1);
  pb->SetCount(pSegments, 5);
  EXPECT_EQ(pb->Count(pSegments), 1);

  pb->ZeroCount(pEvents);
  EXPECT_EQ(pb->Count(pEvents), 0);
  EXPECT_EQ(a->NumDependents(), 1);
}

TEST_F(ParamsTest, DeletedNodeClearsItsSlots) {
  INode* pf = scene->Add("PF Source 001");
  INode* ev = scene->Add("Event 001");
  ASSERT_TRUE(pb->SetValue(pParticles, 0, pf));
  INode* evs[] = {ev, pf};
  pb->Append(pEvents, 2, evs);
  owner->notes.clear();

  pf->DeleteMe();  // also drops the scene's reference
  EXPECT_EQ(pb->GetINode(pParticles), nullptr);
  ASSERT_EQ(pb->Count(pEvents), 2);  // the entry stays, empty
  EXPECT_EQ(pb->GetINode(pEvents, 0, 0), ev);
  EXPECT_EQ(pb->GetINode(pEvents, 0, 1), nullptr);
  ASSERT_FALSE(owner->notes.empty());
  EXPECT_EQ(owner->notes.back().target, pb);
  EXPECT_EQ(owner->notes.back().message, RefMessage(REFMSG_CHANGE));
}

TEST_F(ParamsTest, CloneIsIndependentAndSharesNodes) {
  INode* pf = scene->Add("PF Source 001");
  INode* ev = scene->Add("Event 001");
  ASSERT_TRUE(pb->SetValue(pParticles, 0, pf));
  pb->Append(pEvents, 1, &ev);
  ASSERT_TRUE(pb->SetValue(pSegments, 0, 42));
  ASSERT_TRUE(pb->SetValue(pLabel, 0, "first"));
  auto* c = new LinearFloatControl();
  c->AddKey(0, 3.0f);
  c->AddKey(50 * kFrame, 20.0f);
  ASSERT_TRUE(pb->SetController(pFrames, 0, c));

  RemapDir* remap = NewRemapDir();
  auto* copy = static_cast<IParamBlock2*>(pb->Clone(*remap));
  remap->DeleteThis();
  ASSERT_NE(copy, nullptr);
  auto* copyOwner = new TestOwner;
  copyOwner->ReplaceReference(0, copy);
  EXPECT_EQ(copy->GetOwner(), copyOwner);

  EXPECT_EQ(copy->GetDesc(), desc.get());
  EXPECT_EQ(copy->GetInt(pSegments), 42);
  EXPECT_STREQ(copy->GetStr(pLabel), "first");
  EXPECT_EQ(copy->GetINode(pParticles), pf);
  ASSERT_EQ(copy->Count(pEvents), 1);
  EXPECT_EQ(copy->GetINode(pEvents, 0, 0), ev);
  EXPECT_EQ(pf->NumDependents(), 3);  // scene, block, copy
  ASSERT_NE(copy->GetController(pFrames), nullptr);
  EXPECT_NE(copy->GetController(pFrames), c);
  EXPECT_EQ(copy->GetInt(pFrames, 25 * kFrame), 12);

  // Changing one leaves the other as it was.
  ASSERT_TRUE(copy->SetValue(pSegments, 0, 7));
  ASSERT_TRUE(copy->SetValue(pFrames, 25 * kFrame, 1));
  ASSERT_TRUE(copy->SetValue(pLabel, 0, "second"));
  copy->ZeroCount(pEvents);
  EXPECT_EQ(pb->GetInt(pSegments), 42);
  EXPECT_EQ(pb->GetInt(pFrames, 25 * kFrame), 12);
  EXPECT_STREQ(pb->GetStr(pLabel), "first");
  EXPECT_EQ(pb->Count(pEvents), 1);
  for (const auto& note : owner->notes) EXPECT_NE(note.target, copy);
  for (const auto& note : copyOwner->notes) EXPECT_EQ(note.target, copy);

  delete copyOwner;
}

TEST_F(ParamsTest, ResetAllRestoresDefaultsAndDropsReferences) {
  INode* pf = scene->Add("PF Source 001");
  ASSERT_TRUE(pb->SetValue(pParticles, 0, pf));
  ASSERT_TRUE(pb->SetValue(pSegments, 0, 9));
  ASSERT_TRUE(pb->SetController(pFrames, 0, new LinearFloatControl(50.0f)));
  pb->ResetAll();
  EXPECT_EQ(pb->GetInt(pSegments), 3);
  EXPECT_EQ(pb->GetINode(pParticles), nullptr);
  EXPECT_EQ(pb->GetController(pFrames), nullptr);
  EXPECT_EQ(pb->GetInt(pFrames), 3);
  EXPECT_EQ(pf->NumDependents(), 1);
}

}  // namespace
