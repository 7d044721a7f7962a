// The modifier in a saved scene: its parameters come back as they were (the effect options at their
// defaults), its node parameters point at the loaded nodes, its animated parameter keeps its keys, its
// particle recording comes back bit for bit, and it evaluates to the same mesh. A damaged recording makes the
// file damaged.
#include <classdir.h>
#include <scenefile.h>

#include <cstring>
#include <filesystem>

#include "host_core/chunk_tree.h"
#include "particles/memory_chunks.h"
#include "plugin_test_util.h"
#include "recording_loader.h"

namespace {

class SavedModifier : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    ASSERT_TRUE(RegisterClassDesc(GetWakeweaveDesc()));
    path_ = dir_.File("scene.wws");

    auto* flow = new FlowParticleSystem();
    AddNode("PF Source", flow, nullptr);
    flow->AddEvent("Event 1");
    flow->AddEvent("Event 2");
    FlowParticle p;
    p.born = 0;
    p.path.Set(0, Point3(0, 0, 0));
    p.path.Set(3200, Point3(50, 10, 0));
    flow->AddParticle(p);

    mod_ = NewModifier();
    KeyPosition(AddNode("Circle", Circle(10), mod_), 1600, Point3(30, 0, 0));
    IParamBlock2* pb = mod_->pblock;
    pb->SetValue(pb_spline_steps, 0, 9);
    pb->SetValue(pb_segments, 0, 7);
    pb->SetValue(pb_flip_normals, 0, 1);
    pb->SetValue(pb_segments_per_frame, 0, 2.5f);
    pb->SetValue(pb_urepeat, 0, 0.375f);
    pb->SetValue(pb_end_frame, 0, 4800);
    pb->SetValue(pb_particle_trails_b, 0, 1);
    pb->SetValue(pb_use_all_pf_events, 0, 0);
    pb->SetValue(pb_generate_age_map, 0, 1);
    pb->SetValue(pb_nummtls, 0, 3);
    ASSERT_TRUE(pb->SetValue(pb_particle_node, 0, ip()->GetINodeByName("PF Source")));
    INode* event2 = ip()->GetINodeByName("Event 2");
    ASSERT_EQ(pb->Append(pb_pf_event_list, 1, &event2), 0);
    auto* frames = new LinearFloatControl();
    frames->AddKey(0, 2);
    frames->AddKey(3200, 12);
    ASSERT_TRUE(pb->SetController(pb_old_frames, 0, frames));
    // The effect options, which are not saved.
    pb->SetValue(pb_apply_tex_b, 0, 1);
    pb->SetValue(pb_apply_tex_vrepeat, 0, 4.0f);
    pb->SetValue(pb_apply_fade_b, 0, 1);
    pb->SetValue(pb_apply_fade_mp, 0, 0.25f);

    // A recording with every field off its default, flags words included.
    ParticleState life;
    Matrix3 turned = RotateZMatrix(0.5f) * TransMatrix(Point3(1, 2, 3));
    life.addKey(ParticlePositionKey(0, turned, 0));
    life.addKey(ParticlePositionKey(160, Point3(4.25f, -5.0f, 6.0f), 160));
    ParticleStateBuilder recording;
    recording.addParticle(life);
    recording.addParticle(ParticleState());
    recording.setParticleFlow(1);
    recording.computeMaxLifeSpan();
    ASSERT_EQ(LoadRecording(mod_, recording), IO_OK);
  }
  void TearDown() override {
    ip()->ResetScene();
    UnregisterClassDesc(GetWakeweaveDesc());
    SceneTest::TearDown();
  }

  static Wakeweave* ModifierOf(const char* node) {
    INode* n = ip()->GetINodeByName(node);
    auto* d = n ? dynamic_cast<IDerivedObject*>(n->GetObjectRef()) : nullptr;
    return d && d->NumModifiers() == 1 ? dynamic_cast<Wakeweave*>(d->GetModifier(0)) : nullptr;
  }
  static std::vector<uint8_t> RecordingBytes(Wakeweave* mod) {
    MemSave out;
    ParticleSystemState copy = mod->particleState();
    copy.save(&out);
    return out.chunks.empty() ? std::vector<uint8_t>() : out.chunks[0].data;
  }
  static std::vector<uint32_t> MeshBits(INode* node, TimeValue t) {
    std::vector<uint32_t> out;
    auto* tri = dynamic_cast<TriObject*>(node->EvalWorldState(t).obj);
    if (!tri) return out;
    const Mesh& m = tri->GetMesh();
    for (int i = 0; i < m.getNumVerts(); ++i)
      for (float f : {m.verts[i].x, m.verts[i].y, m.verts[i].z}) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        out.push_back(u);
      }
    for (int i = 0; i < m.getNumFaces(); ++i) out.push_back(m.faces[i].flags);
    return out;
  }
  void SaveAndLoad() {
    std::string error;
    ASSERT_EQ(SaveScene(path_, &error), IO_OK) << error;
    ip()->ResetScene();
    ASSERT_EQ(LoadScene(path_, &error), IO_OK) << error;
  }

  TempDir dir_;
  std::string path_;
  Wakeweave* mod_ = nullptr;
};

TEST_F(SavedModifier, ParametersComeBackAndTheEffectOptionsAtTheirDefaults) {
  ParamBlockDesc2* desc = mod_->pblock->GetDesc();
  std::vector<std::pair<int, float>> saved;
  for (const ParamDef& d : desc->paramdefs)
    if (d.type == TYPE_INT || d.type == TYPE_BOOL || d.type == TYPE_FLOAT)
      for (TimeValue t : {0, 800, 3200})
        saved.push_back(
            {d.ID, d.type == TYPE_FLOAT ? mod_->pblock->GetFloat(d.ID, t) : float(mod_->pblock->GetInt(d.ID, t))});
  SaveAndLoad();

  Wakeweave* mod = ModifierOf("Circle");
  ASSERT_NE(mod, nullptr);
  ASSERT_NE(mod->pblock, nullptr);
  EXPECT_EQ(mod->pblock->GetOwner(), mod);
  size_t at = 0;
  for (const ParamDef& d : desc->paramdefs) {
    if (!(d.type == TYPE_INT || d.type == TYPE_BOOL || d.type == TYPE_FLOAT)) continue;
    for (TimeValue t : {0, 800, 3200}) {
      SCOPED_TRACE(std::string(d.int_name.data()) + " at " + std::to_string(t));
      const float now = d.type == TYPE_FLOAT ? mod->pblock->GetFloat(d.ID, t) : float(mod->pblock->GetInt(d.ID, t));
      if (d.flags & P_TRANSIENT)
        EXPECT_EQ(now, d.type == TYPE_FLOAT ? d.def.f : float(d.def.i));
      else
        EXPECT_EQ(now, saved[at].second);
      ++at;
    }
  }
  // The animated parameter is driven by its keys again.
  Control* c = mod->pblock->GetController(pb_old_frames);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->NumKeys(), 2);
  EXPECT_EQ(mod->pblock->GetInt(pb_old_frames, 1600), 7);
}

TEST_F(SavedModifier, NodeParametersPointAtTheLoadedNodes) {
  SaveAndLoad();
  Wakeweave* mod = ModifierOf("Circle");
  ASSERT_NE(mod, nullptr);
  EXPECT_EQ(mod->pblock->GetINode(pb_particle_node), ip()->GetINodeByName("PF Source"));
  ASSERT_EQ(mod->pblock->Count(pb_pf_event_list), 1);
  EXPECT_EQ(mod->pblock->GetINode(pb_pf_event_list, 0, 0), ip()->GetINodeByName("Event 2"));
  // They are references as before: deleting the event empties the entry.
  ip()->DeleteNode(ip()->GetINodeByName("Event 2"));
  EXPECT_EQ(mod->pblock->GetINode(pb_pf_event_list, 0, 0), nullptr);
}

TEST_F(SavedModifier, TheRecordingComesBackBitForBitAndTheTrailIsTheSame) {
  INode* node = ip()->GetINodeByName("Circle");
  const std::vector<uint8_t> recording = RecordingBytes(mod_);
  std::vector<std::vector<uint32_t>> meshes;
  for (TimeValue t : {0, 80, 160, 1600}) meshes.push_back(MeshBits(node, t));
  ASSERT_FALSE(meshes[2].empty());
  SaveAndLoad();

  Wakeweave* mod = ModifierOf("Circle");
  ASSERT_NE(mod, nullptr);
  EXPECT_EQ(RecordingBytes(mod), recording);
  node = ip()->GetINodeByName("Circle");
  size_t i = 0;
  for (TimeValue t : {0, 80, 160, 1600}) EXPECT_EQ(MeshBits(node, t), meshes[i++]) << "at " << t;
}

TEST_F(SavedModifier, ADamagedRecordingMakesTheFileDamaged) {
  std::string error;
  ASSERT_EQ(SaveScene(path_, &error), IO_OK) << error;
  // The recording's life count made to claim one life more than the chunk holds, the digest made to match.
  std::vector<ChunkNode> top = WalkFile(path_).top;
  bool found = false;
  for (ChunkNode& item : top.at(0).kids.at(1).kids)
    for (ChunkNode& c : item.kids.at(2).kids)
      if (c.id == ParticleSystemState::kChunkId) {
        c.data.at(24) += 1;
        found = true;
      }
  ASSERT_TRUE(found);
  ASSERT_EQ(SaveTree(path_, top), IO_OK);
  ASSERT_EQ(ResealSceneFile(path_, &error), IO_OK) << error;
  ip()->ResetScene();
  EXPECT_EQ(LoadScene(path_, &error), IO_ERROR);
  EXPECT_NE(error.find("Wakeweave"), std::string::npos) << error;
  EXPECT_NE(error.find("damaged"), std::string::npos) << error;
  EXPECT_EQ(ip()->GetRootNode()->NumberOfChildren(), 0);
}

TEST_F(SavedModifier, AModifierWithABlockOfAnotherClassIsRefused) {
  std::string error;
  ASSERT_EQ(SaveScene(path_, &error), IO_OK) << error;
  // The block's owner class made a class the directory does not know.
  std::vector<ChunkNode> top = WalkFile(path_).top;
  for (ChunkNode& item : top.at(0).kids.at(1).kids) {
    std::vector<uint8_t>& cls = item.kids.at(0).data;
    if (cls.size() > 16 && cls[0] == uint8_t(PARAMETER_BLOCK2_CLASS_ID)) cls[20] ^= 1;
  }
  ASSERT_EQ(SaveTree(path_, top), IO_OK);
  ASSERT_EQ(ResealSceneFile(path_, &error), IO_OK) << error;
  EXPECT_EQ(LoadScene(path_, &error), IO_ERROR);
  EXPECT_NE(error.find("not known"), std::string::npos) << error;
  EXPECT_NE(ip()->GetINodeByName("Circle"), nullptr) << "the open scene stays";
}

}  // namespace
