// The modifier object: identity, references and sub-animatables, the host's questions, change
// notification, editing, cloning and saving.
#include "plugin_test_util.h"

#include <chunkfile.h>

#include <cstring>
#include <filesystem>

#include "modifier/WakeweaveLocalModData.h"

namespace {

class ModifierObject : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    mod_ = NewModifier();
    ASSERT_NE(mod_, nullptr);
    ASSERT_NE(mod_->pblock, nullptr);
  }
  void TearDown() override {
    if (mod_) mod_->DeleteThis();
    SceneTest::TearDown();
  }
  static IObjParam* EditIP() { return dynamic_cast<IObjParam*>(ip()); }

  Wakeweave* mod_ = nullptr;
};

TEST_F(ModifierObject, Identity) {
  TSTR name("something else");
  mod_->GetClassName(name);
  EXPECT_STREQ(name.data(), "Wakeweave");
  EXPECT_STREQ(mod_->GetObjectName(), "Wakeweave");
  EXPECT_EQ(mod_->SuperClassID(), SClass_ID(0x810));
  EXPECT_EQ(mod_->ClassID(), Class_ID(0x4E32E5B7, 0x668E2C09));
  EXPECT_EQ(mod_->ClassID(), GetWakeweaveDesc()->ClassID());
  EXPECT_EQ(mod_->GetCreateMouseCallBack(), nullptr);
}

TEST_F(ModifierObject, TheBlockIsTheOnlyReferenceAndSubAnimatable) {
  IParamBlock2* pb = mod_->pblock;
  EXPECT_EQ(pb->GetDesc(), GetWakeweaveParamBlockDesc());
  EXPECT_EQ(pb->GetOwner(), mod_);
  EXPECT_EQ(mod_->NumRefs(), 1);
  EXPECT_EQ(mod_->GetReference(0), pb);
  EXPECT_EQ(mod_->NumSubs(), 1);
  EXPECT_EQ(mod_->SubAnim(0), pb);
  EXPECT_STREQ(mod_->SubAnimName(0).data(), "Parameters");
  EXPECT_EQ(mod_->NumParamBlocks(), 1);
  EXPECT_EQ(mod_->GetParamBlock(0), pb);
  // The block knows the modifier as its dependent, so its changes reach the modifier.
  ASSERT_EQ(pb->NumDependents(), 1);
  EXPECT_EQ(pb->Dependent(0), mod_);
}

TEST_F(ModifierObject, ParamBlockByIdAnswersOnlyTheBlocksOwnId) {
  EXPECT_EQ(mod_->GetParamBlockByID(0), mod_->pblock);
  for (short id : {1, 2, -1, 255}) EXPECT_EQ(mod_->GetParamBlockByID(id), nullptr) << "id " << id;
}

TEST_F(ModifierObject, ChannelsInputAndMapping) {
  EXPECT_EQ(mod_->ChannelsUsed(), ChannelMask(3));
  EXPECT_EQ(mod_->ChannelsChanged(), ChannelMask(0x800037FF));
  EXPECT_EQ(mod_->InputType(), genericShapeClassID);
  // The host asks per map channel through its Modifier interface.
  Modifier& asHost = *mod_;
  EXPECT_TRUE(asHost.HasUVW());
  EXPECT_TRUE(asHost.HasUVW(1));
  EXPECT_FALSE(asHost.HasUVW(2));
  // Mapping follows "generateMap" only: the host's switch changes nothing.
  asHost.SetGenUVW(FALSE);
  asHost.SetGenUVW(1, FALSE);
  EXPECT_TRUE(asHost.HasUVW(1));
  EXPECT_EQ(mod_->pblock->GetInt(pb_generate_map), TRUE);
}

TEST_F(ModifierObject, LocalValidityIsTheInstantUnlessBeingEdited) {
  for (TimeValue t : {0, 160, 4800, -320}) {
    Interval v = mod_->LocalValidity(t);
    EXPECT_EQ(v.Start(), t);
    EXPECT_EQ(v.End(), t);
  }
  mod_->SetAFlag(A_MOD_BEING_EDITED);
  Interval edited = mod_->LocalValidity(160);
  EXPECT_EQ(edited.Start(), TIME_NegInfinity);
  EXPECT_EQ(edited.End(), TIME_NegInfinity);
  mod_->ClearAFlag(A_MOD_BEING_EDITED);
  EXPECT_EQ(mod_->LocalValidity(160), Interval(160, 160));
}

TEST_F(ModifierObject, SettingChangesReachDependentsExceptTheParticleNode) {
  RefWatcher watcher;
  ASSERT_EQ(watcher.ReplaceReference(0, mod_), REF_SUCCEED);
  INode* ps = AddNode("PF Source 001", new FakeParticleObject(true), nullptr);

  ASSERT_TRUE(mod_->pblock->SetValue(pb_spline_steps, 0, 12));
  EXPECT_EQ(watcher.Count(REFMSG_CHANGE), 1);
  watcher.messages.clear();

  ASSERT_TRUE(mod_->pblock->SetValue(pb_particle_node, 0, ps));
  EXPECT_EQ(watcher.Count(REFMSG_CHANGE), 0) << "picking a particle system alone must not re-evaluate";

  // The next change of another setting is passed on again.
  ASSERT_TRUE(mod_->pblock->SetValue(pb_segments_per_frame, 0, 2.0f));
  EXPECT_EQ(watcher.Count(REFMSG_CHANGE), 1);

  // The watcher goes first; it holds the last reference, so the modifier goes with it.
  watcher.DeleteAllRefsFromMe();
  mod_ = nullptr;
}

TEST_F(ModifierObject, NotifyRefChangedAnswers) {
  PartID part = PART_ALL;
  ASSERT_TRUE(mod_->pblock->SetValue(pb_spline_steps, 0, 8));
  EXPECT_EQ(mod_->NotifyRefChanged(FOREVER, mod_->pblock, part, REFMSG_CHANGE), REF_SUCCEED);
  EXPECT_EQ(mod_->NotifyRefChanged(FOREVER, mod_->pblock, part, 0x162), REF_STOP);
  EXPECT_EQ(mod_->NotifyRefChanged(FOREVER, nullptr, part, 0x162), REF_STOP);
  EXPECT_EQ(mod_->NotifyRefChanged(FOREVER, mod_->pblock, part, REFMSG_TARGET_DELETED), REF_SUCCEED);
  EXPECT_EQ(mod_->NotifyRefChanged(FOREVER, mod_->pblock, part, 0x161), REF_SUCCEED);

  INode* ps = AddNode("PF Source 001", new FakeParticleObject(true), nullptr);
  ASSERT_TRUE(mod_->pblock->SetValue(pb_particle_node, 0, ps));
  EXPECT_EQ(mod_->NotifyRefChanged(FOREVER, mod_->pblock, part, REFMSG_CHANGE), REF_STOP);
  // A change from anything but the block is never stopped.
  EXPECT_EQ(mod_->NotifyRefChanged(FOREVER, ps, part, REFMSG_CHANGE), REF_SUCCEED);
}

TEST_F(ModifierObject, ParticleNodeChangeDoesNotInvalidateTheNodeOfTheStack) {
  // The same rule seen through a real stack: the node carrying the modifier is told of a setting change.
  RefWatcher nodeWatcher;
  INode* node = AddNode("Circle001", Circle(10.0f), mod_);
  ASSERT_EQ(nodeWatcher.ReplaceReference(0, node), REF_SUCCEED);
  INode* ps = AddNode("PF Source 001", new FakeParticleObject(true), nullptr);
  ASSERT_TRUE(mod_->pblock->SetValue(pb_particle_node, 0, ps));
  EXPECT_EQ(nodeWatcher.Count(REFMSG_CHANGE), 0);
  ASSERT_TRUE(mod_->pblock->SetValue(pb_flip_normals, 0, TRUE));
  EXPECT_GE(nodeWatcher.Count(REFMSG_CHANGE), 1);
  nodeWatcher.DeleteAllRefsFromMe();
  mod_ = nullptr;  // the scene owns it now
}

TEST_F(ModifierObject, EditingStoresTheInterfaceAndOpensTheRollouts) {
  IObjParam* editIp = EditIP();
  ASSERT_NE(editIp, nullptr);
  // Stale windows from an earlier editing session.
  for (HWND& h : s_hRollout) h = reinterpret_cast<HWND>(0x1234);
  mod_->BeginEditParams(editIp, 0, nullptr);
  EXPECT_EQ(s_ip, editIp);
  EXPECT_EQ(GetWakeweaveDesc()->EditedObject(), mod_);
  EXPECT_EQ(GetWakeweaveDesc()->NumOpenRollouts(), 4);
  for (MapID m = 0; m < 4; ++m) {
    SCOPED_TRACE("map " + std::to_string(m));
    IParamMap2* map = mod_->pblock->GetMap(m);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->GetParamBlock(), mod_->pblock);
    // Reset by the opening; only a rollout's own procedure may fill in its window.
    EXPECT_TRUE(s_hRollout[m] == nullptr || s_hRollout[m] == map->GetHWnd());
  }
  mod_->EndEditParams(editIp, 0, nullptr);
  EXPECT_EQ(s_ip, nullptr);
  EXPECT_EQ(GetWakeweaveDesc()->NumOpenRollouts(), 0);
  for (MapID m = 0; m < 4; ++m) EXPECT_EQ(mod_->pblock->GetMap(m), nullptr);
}

TEST_F(ModifierObject, OpeningAndClosingTwiceLeaksNothing) {
  IObjParam* editIp = EditIP();
  ASSERT_NE(editIp, nullptr);
  Wakeweave* other = NewModifier();
  // One session first, so that anything made once per process is made.
  mod_->BeginEditParams(editIp, 0, nullptr);
  mod_->EndEditParams(editIp, 0, other);
  const long live = MAX_heapLiveCount();
  for (int cycle = 0; cycle < 2; ++cycle) {
    mod_->BeginEditParams(editIp, 0, other);
    EXPECT_EQ(GetWakeweaveDesc()->NumOpenRollouts(), 4);
    mod_->EndEditParams(editIp, 0, other);
    // Switching to another modifier and back.
    other->BeginEditParams(editIp, 0, mod_);
    EXPECT_EQ(s_ip, editIp);
    other->EndEditParams(editIp, 0, mod_);
  }
  EXPECT_EQ(MAX_heapLiveCount(), live);
  EXPECT_EQ(s_ip, nullptr);
  other->DeleteThis();
}

class ModifierClone : public ModifierObject {
 protected:
  Wakeweave* CloneOf(Wakeweave* m) {
    RemapDir* remap = NewRemapDir();
    RefTargetHandle c = m->Clone(*remap);
    remap->DeleteThis();
    return static_cast<Wakeweave*>(c);
  }
};

TEST_F(ModifierClone, CopyHasItsOwnBlockWithTheSameValues) {
  IParamBlock2* pb = mod_->pblock;
  INode* ps = AddNode("PF Source 001", new FakeParticleObject(true), nullptr);
  ASSERT_TRUE(pb->SetValue(pb_spline_steps, 0, 17));
  ASSERT_TRUE(pb->SetValue(pb_segments_per_frame, 0, 3.5f));
  ASSERT_TRUE(pb->SetValue(pb_moving_or_still, 0, 1));
  ASSERT_TRUE(pb->SetValue(pb_generate_map, 0, FALSE));
  ASSERT_TRUE(pb->SetValue(pb_particle_node, 0, ps));

  Wakeweave* copy = CloneOf(mod_);
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, mod_);
  ASSERT_NE(copy->pblock, nullptr);
  EXPECT_NE(copy->pblock, pb);
  EXPECT_EQ(copy->GetReference(0), copy->pblock);
  EXPECT_EQ(copy->pblock->GetOwner(), copy);
  EXPECT_EQ(copy->pblock->GetInt(pb_spline_steps), 17);
  EXPECT_FLOAT_EQ(copy->pblock->GetFloat(pb_segments_per_frame), 3.5f);
  EXPECT_EQ(copy->pblock->GetInt(pb_moving_or_still), 1);
  EXPECT_EQ(copy->pblock->GetInt(pb_generate_map), FALSE);
  EXPECT_EQ(copy->pblock->GetINode(pb_particle_node), ps);

  // Independent from here on, both ways.
  ASSERT_TRUE(copy->pblock->SetValue(pb_spline_steps, 0, 2));
  EXPECT_EQ(pb->GetInt(pb_spline_steps), 17);
  ASSERT_TRUE(pb->SetValue(pb_nummtls, 0, 4));
  EXPECT_EQ(copy->pblock->GetInt(pb_nummtls), 1);
  copy->DeleteThis();
  EXPECT_EQ(mod_->pblock, pb);
  EXPECT_EQ(pb->GetInt(pb_spline_steps), 17);
}

TEST_F(ModifierClone, CopyStartsWithoutRecordingAndLeavesTheLockFree) {
  ParticleState life;
  life.addKey(ParticlePositionKey(0, Point3(1.0f, 2.0f, 3.0f), 0));
  life.addKey(ParticlePositionKey(160, Point3(2.0f, 2.0f, 3.0f), 160));
  ParticleSystemState recording;
  recording.addParticle(life);
  ASSERT_EQ(LoadRecording(mod_, recording), IO_OK);
  ASSERT_EQ(mod_->particleState().numParticles(), 1);
  std::strcpy(mod_->m_szTexturePath, "C:\\maps\\trail.png");

  const long before = MAX_heapLiveCount();
  Wakeweave* copy = CloneOf(mod_);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->particleState().numParticles(), 0);
  EXPECT_EQ(copy->m_pathLengths.GetSize(), 0);
  EXPECT_EQ(copy->m_szTexturePath[0], '\0');
  EXPECT_FALSE(copy->isRebuildingTrails());
  EXPECT_EQ(mod_->particleState().numParticles(), 1);
  EXPECT_TRUE(LockIsFree(mod_));
  EXPECT_TRUE(LockIsFree(copy));
  copy->DeleteThis();
  // The block the copy's constructor made was let go when the cloned one replaced it.
  EXPECT_EQ(MAX_heapLiveCount(), before);
}

TEST_F(ModifierClone, CloneOfAModifierInAStackIsFreeStanding) {
  AddNode("Circle001", Circle(10.0f), mod_);
  Wakeweave* copy = CloneOf(mod_);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->NumDependents(), 0);
  EXPECT_EQ(copy->pblock->NumDependents(), 1);
  copy->DeleteThis();
  mod_ = nullptr;  // the scene owns it
}

class ModifierSave : public ModifierObject {
 protected:
  void TearDown() override {
    std::filesystem::remove(path_);
    ModifierObject::TearDown();
  }
  std::string path_ =
      (std::filesystem::temp_directory_path() / ("ww_plugin_mod_" + std::to_string(::getpid()) + ".wwcf")).string();
};

TEST_F(ModifierSave, EmptyRecordingSavesAndLoads) {
  ASSERT_EQ(mod_->particleState().numParticles(), 0);
  {
    FileSave out(path_);
    EXPECT_EQ(mod_->Save(&out), IO_OK);
    ASSERT_EQ(out.Close(), IO_OK);
  }
  Wakeweave* loaded = NewModifier();
  {
    FileLoad in(path_);
    ASSERT_EQ(in.Status(), IO_OK);
    EXPECT_EQ(loaded->Load(&in), IO_OK);
  }
  EXPECT_EQ(loaded->particleState().numParticles(), 0);
  loaded->DeleteThis();
}

TEST_F(ModifierSave, RecordingComesBackAfterLoad) {
  ParticleState life;
  life.addKey(ParticlePositionKey(0, Point3(1.0f, 2.0f, 3.0f), 0));
  life.addKey(ParticlePositionKey(320, Point3(4.0f, 5.0f, 6.0f), 320));
  ParticleSystemState recording;
  recording.addParticle(life);
  ASSERT_EQ(LoadRecording(mod_, recording), IO_OK);
  {
    FileSave out(path_);
    EXPECT_EQ(mod_->Save(&out), IO_OK);
    ASSERT_EQ(out.Close(), IO_OK);
  }
  Wakeweave* loaded = NewModifier();
  {
    FileLoad in(path_);
    ASSERT_EQ(in.Status(), IO_OK);
    EXPECT_EQ(loaded->Load(&in), IO_OK);
  }
  ASSERT_EQ(loaded->particleState().numParticles(), 1);
  ASSERT_EQ(loaded->particleState().particle(0).numKeys(), 2);
  EXPECT_EQ(loaded->particleState().particle(0).key(1).time, 320);
  loaded->DeleteThis();
}

TEST(WakeweaveLocalModDataTest, CloneFindsItsOwnNode) {
  AttachPlugin();
  GetCOREInterface()->ResetScene();
  INode* node = GetCOREInterface()->CreateObjectNode(nullptr);
  WakeweaveLocalModData data;
  EXPECT_EQ(data.node, nullptr);
  data.node = node;
  LocalModData* copy = data.Clone();
  ASSERT_NE(copy, nullptr);
  auto* wcopy = dynamic_cast<WakeweaveLocalModData*>(copy);
  ASSERT_NE(wcopy, nullptr);
  EXPECT_EQ(wcopy->node, nullptr);
  EXPECT_EQ(data.node, node);
  delete copy;
  // A context copies its local data through Clone as well.
  ModContext mc(nullptr, nullptr, new WakeweaveLocalModData());
  static_cast<WakeweaveLocalModData*>(mc.localData)->node = node;
  ModContext mc2(mc);
  ASSERT_NE(mc2.localData, nullptr);
  EXPECT_NE(mc2.localData, mc.localData);
  EXPECT_EQ(static_cast<WakeweaveLocalModData*>(mc2.localData)->node, nullptr);
  GetCOREInterface()->ResetScene();
}

}  // namespace
