// The modifier's parameter block: its description, the values of a new modifier, clamping, what survives
// a save and load, and the particle system picker's validator.
#include "plugin_test_util.h"

#include <chunkfile.h>

#include <filesystem>

namespace {

constexpr float kAuto = SPIN_AUTOSCALE;

struct ParamSpec {
  int id;
  const char* name;
  int type;
  int flags;
  int localName;
  double def;  // int, bool and float defaults; 0 for nodes and tables
  bool hasRange;
  double lo, hi;
  int map;  // -1: no rollout control
  int ctrlType;
  int editType;
  std::vector<int> ctrls;
  float scale;
};

// What each setting must be, as the rollouts, the scripts and the saved scenes know it.
const std::vector<ParamSpec> kParams = {
    {0,
     "old_frames",
     TYPE_INT,
     P_ANIMATABLE,
     9,
     3,
     true,
     0,
     100000,
     0,
     TYPE_SPINNER,
     EDITTYPE_INT,
     {1491, 1497},
     kAuto},
    {1, "segments", TYPE_INT, 0, 7, 3, true, 1, 10000, -1, 0, 0, {}, 0},
    {2, "flipNormals", TYPE_BOOL, 0, 8, FALSE, false, 0, 0, 1, TYPE_SINGLECHEKBOX, 0, {1002}, 0},
    {3, "spline steps", TYPE_INT, 0, 10, 6, true, 0, 10000, 1, TYPE_SPINNER, EDITTYPE_INT, {1493, 1499}, kAuto},
    {4, "moving or still", TYPE_INT, 0, 1508, 0, false, 0, 0, 0, TYPE_RADIO, 0, {1004, 1005}, 0},
    {5, "pb_userange", TYPE_BOOL, 0, 1525, FALSE, false, 0, 0, 0, TYPE_SINGLECHEKBOX, 0, {1030}, 0},
    {6, "start frame", TYPE_INT, 0, 1500, 0, true, 0, 100000000, 0, TYPE_SPINNER, EDITTYPE_TIME, {1494, 1500}, kAuto},
    {7, "end frame", TYPE_INT, 0, 1505, 160, true, 0, 100000000, 0, TYPE_SPINNER, EDITTYPE_TIME, {1504, 1505}, kAuto},
    {8,
     "segments per frame",
     TYPE_FLOAT,
     0,
     1506,
     1.0,
     true,
     0.0001,
     10000.0,
     1,
     TYPE_SPINNER,
     EDITTYPE_POS_FLOAT,
     {1492, 1498},
     0.1f},
    {9,
     "pb_urepeat",
     TYPE_FLOAT,
     0,
     1509,
     1.0,
     true,
     0.0001,
     10000.0,
     1,
     TYPE_SPINNER,
     EDITTYPE_FLOAT,
     {1496, 1502},
     0.1f},
    {10, "pb_apply_tex_b", TYPE_BOOL, P_TRANSIENT, 1512, FALSE, false, 0, 0, 2, TYPE_SINGLECHEKBOX, 0, {1019}, 0},
    {12,
     "pb_apply_tex_vrepeat",
     TYPE_FLOAT,
     P_TRANSIENT,
     1519,
     1.0,
     true,
     0.0001,
     10000.0,
     2,
     TYPE_SPINNER,
     EDITTYPE_FLOAT,
     {1024, 1025},
     1.0f},
    {13, "pb_apply_fade_b", TYPE_BOOL, P_TRANSIENT, 1514, FALSE, false, 0, 0, 2, TYPE_SINGLECHEKBOX, 0, {1012}, 0},
    {14,
     "pb_apply_fade_mp",
     TYPE_FLOAT,
     P_TRANSIENT,
     1521,
     0.8,
     true,
     0.0001,
     1.0,
     2,
     TYPE_SPINNER,
     EDITTYPE_POS_FLOAT,
     {1014, 1017},
     0.1f},
    {15, "pb_particle_trails_b", TYPE_BOOL, 0, 1526, FALSE, false, 0, 0, 3, TYPE_SINGLECHEKBOX, 0, {1052}, 0},
    {16, "pb_particle_node", TYPE_INODE, 0, 1527, 0, false, 0, 0, 3, TYPE_PICKNODEBUTTON, 0, {1053}, 0},
    {17, "generateMap", TYPE_BOOL, 0, 1529, TRUE, false, 0, 0, 1, TYPE_SINGLECHEKBOX, 0, {1056}, 0},
    {18, "generateAgeMap", TYPE_BOOL, 0, 1530, FALSE, false, 0, 0, 3, TYPE_SINGLECHEKBOX, 0, {1057}, 0},
    {19, "useAllPFEvents", TYPE_BOOL, 0, 1532, TRUE, false, 0, 0, 3, TYPE_SINGLECHEKBOX, 0, {1055}, 0},
    {20, "pfEventList", TYPE_INODE_TAB, 0x1004, 1533, 0, false, 0, 0, 3, TYPE_NODELISTBOX, 0, {1006, 0, 0, 1007}, 0},
    {21, "pb_skippart", TYPE_INT, 0, 1535, 1, true, 1, 1000, 3, TYPE_SPINNER, EDITTYPE_INT, {1059, 1060}, kAuto},
    {22, "pb_startpart", TYPE_INT, 0, 1536, 1, true, 1, 1000, 3, TYPE_SPINNER, EDITTYPE_INT, {1495, 1501}, kAuto},
    {23, "maptype", TYPE_INT, 0, 1537, 0, false, 0, 0, 1, TYPE_RADIO, 0, {1068, 1066}, 0},
    {24, "pb_nummtls", TYPE_INT, 0, 1538, 1, true, 1, 1000, 1, TYPE_SPINNER, EDITTYPE_INT, {1497, 1503}, kAuto},
};

bool IsFloat(int type) { return type == TYPE_FLOAT; }
bool IsIntLike(int type) { return type == TYPE_INT || type == TYPE_BOOL; }

class ParamDescription : public ::testing::Test {
 protected:
  void SetUp() override { AttachPlugin(); }
  static ParamBlockDesc2* Desc() { return GetWakeweaveParamBlockDesc(); }
};

TEST_F(ParamDescription, BlockIsDescribedAndRegisteredWithTheClass) {
  ParamBlockDesc2* d = Desc();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->valid);
  EXPECT_EQ(d->ID, 0);
  EXPECT_STREQ(d->int_name.data(), "main");
  EXPECT_EQ(d->local_name, 0);
  EXPECT_EQ(d->cd, static_cast<ClassDesc2*>(GetWakeweaveDesc()));
  EXPECT_EQ(d->flags, 0x26);
  EXPECT_EQ(d->ref_no, 0);
  EXPECT_EQ(GetWakeweaveDesc()->GetParamBlockDescByID(0), d);
  EXPECT_EQ(GetWakeweaveDesc()->NumParamBlockDescs(), 1);
}

TEST_F(ParamDescription, FourRolloutsInStackingOrder) {
  struct Rollout {
    int map, dlg, title;
  };
  const Rollout expected[] = {{0, 101, 4}, {1, 103, 1507}, {2, 115, 1524}, {3, 121, 1511}};
  ASSERT_EQ(Desc()->rollouts.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE("rollout " + std::to_string(i));
    const ParamRolloutDef& r = Desc()->rollouts[i];
    EXPECT_EQ(r.map_id, expected[i].map);
    EXPECT_EQ(r.dlg_template, expected[i].dlg);
    EXPECT_EQ(r.title, expected[i].title);
    EXPECT_EQ(r.test_flags, 0);
    EXPECT_EQ(r.rollup_flags, 0);
  }
}

TEST_F(ParamDescription, EveryParameterAsDefined) {
  ASSERT_EQ(Desc()->Count(), int(kParams.size()));
  EXPECT_EQ(Desc()->IDtoIndex(11), -1) << "there is no parameter 11";
  for (size_t i = 0; i < kParams.size(); ++i) {
    const ParamSpec& s = kParams[i];
    SCOPED_TRACE(std::string("parameter ") + std::to_string(s.id) + " \"" + s.name + "\"");
    ASSERT_EQ(Desc()->IDtoIndex(ParamID(s.id)), int(i)) << "parameters are kept in id order";
    const ParamDef& d = Desc()->GetParamDef(ParamID(s.id));
    EXPECT_EQ(d.ID, s.id);
    EXPECT_STREQ(d.int_name.data(), s.name);
    EXPECT_EQ(Desc()->FindParamByName(s.name), &d);
    EXPECT_EQ(d.type, s.type);
    EXPECT_EQ(d.flags, s.flags);
    EXPECT_EQ(d.local_name, s.localName);
    EXPECT_EQ(d.tab_size, 0);
    if (IsFloat(s.type)) {
      EXPECT_FLOAT_EQ(d.def.f, float(s.def));
    } else if (IsIntLike(s.type)) {
      EXPECT_EQ(d.def.i, int(s.def));
    } else {
      EXPECT_EQ(d.def.r, nullptr);
    }
    EXPECT_EQ(d.has_range, s.hasRange);
    if (s.hasRange && IsFloat(s.type)) {
      EXPECT_FLOAT_EQ(d.range_low.f, float(s.lo));
      EXPECT_FLOAT_EQ(d.range_high.f, float(s.hi));
    } else if (s.hasRange) {
      EXPECT_EQ(d.range_low.i, int(s.lo));
      EXPECT_EQ(d.range_high.i, int(s.hi));
    }
    EXPECT_EQ(d.has_ui, s.map >= 0);
    if (s.map < 0) continue;
    EXPECT_EQ(d.map_id, s.map);
    EXPECT_EQ(d.ctrl_type, s.ctrlType);
    EXPECT_EQ(d.ctrl_IDs, s.ctrls);
    if (s.ctrlType == TYPE_SPINNER) {
      EXPECT_EQ(d.edit_type, s.editType);
      EXPECT_FLOAT_EQ(d.scale, s.scale);
    }
  }
}

TEST_F(ParamDescription, OnlyTheParticleNodeHasAValidatorAndAPrompt) {
  for (const ParamSpec& s : kParams) {
    const ParamDef& d = Desc()->GetParamDef(ParamID(s.id));
    SCOPED_TRACE(s.name);
    EXPECT_EQ(d.accessor, nullptr);
    if (s.id == pb_particle_node) {
      EXPECT_NE(d.validator, nullptr);
      EXPECT_EQ(d.prompt, 1528);
      EXPECT_STREQ(GetString(d.prompt), "Choose a Particle System");
    } else {
      EXPECT_EQ(d.validator, nullptr);
      EXPECT_EQ(d.prompt, 0);
    }
  }
}

TEST_F(ParamDescription, LocalNamesReadFromTheStringTable) {
  // Track view and undo labels show these.
  EXPECT_STREQ(GetString(Desc()->GetParamDef(pb_old_frames).local_name), "Frames");
  EXPECT_STREQ(GetString(Desc()->GetParamDef(pb_apply_fade_mp).local_name),
               "Fade Midpoint (similar to gradient midpoint)");
  for (const ParamSpec& s : kParams) EXPECT_NE(GetString(s.localName), nullptr) << s.name;
}

class NewModifierValues : public SceneTest {};

TEST_F(NewModifierValues, EqualTheDefaults) {
  Wakeweave* mod = NewModifier();
  ASSERT_NE(mod->pblock, nullptr);
  IParamBlock2* pb = mod->pblock;
  EXPECT_EQ(pb->NumParams(), int(kParams.size()));
  for (const ParamSpec& s : kParams) {
    SCOPED_TRACE(s.name);
    const ParamID id = ParamID(s.id);
    EXPECT_EQ(pb->GetParameterType(id), s.type);
    if (IsFloat(s.type)) {
      EXPECT_FLOAT_EQ(pb->GetFloat(id), float(s.def));
    } else if (IsIntLike(s.type)) {
      EXPECT_EQ(pb->GetInt(id), int(s.def));
    } else if (s.type == TYPE_INODE) {
      EXPECT_EQ(pb->GetINode(id), nullptr);
    } else {
      EXPECT_EQ(pb->Count(id), 0);
    }
  }
  // Only "Frames to Lag" is animatable, and nothing is animated yet.
  EXPECT_EQ(pb->GetController(pb_old_frames), nullptr);
  mod->DeleteThis();
}

TEST_F(NewModifierValues, EndFrameKeepsTheFrameRateOfLoadTime) {
  // The default was read once, when the library was loaded at 160 ticks per frame.
  SetTicksPerFrame(200);
  Wakeweave* mod = NewModifier();
  EXPECT_EQ(mod->pblock->GetInt(pb_end_frame), 160);
  EXPECT_EQ(mod->pblock->GetInt(pb_start_frame), 0);
  mod->DeleteThis();
}

class ParamClamping : public SceneTest {};

TEST_F(ParamClamping, ValuesOutsideTheRangeAreClamped) {
  struct IntCase {
    ParamID id;
    int typed, stored;
  };
  const IntCase ints[] = {
      {pb_skippart, 2000, 1000}, {pb_skippart, 0, 1},
      {pb_old_frames, 0, 0},     {pb_old_frames, 100001, 100000},
      {pb_startpart, -5, 1},     {pb_nummtls, 1001, 1000},
      {pb_spline_steps, -1, 0},  {pb_segments, 0, 1},
      {pb_start_frame, -160, 0}, {pb_end_frame, 200000000, 100000000},
  };
  struct FloatCase {
    ParamID id;
    float typed, stored;
  };
  const FloatCase floats[] = {
      {pb_segments_per_frame, 0.0f, 0.0001f}, {pb_segments_per_frame, 20000.0f, 10000.0f},
      {pb_urepeat, -1.0f, 0.0001f},           {pb_apply_tex_vrepeat, 0.0f, 0.0001f},
      {pb_apply_fade_mp, 2.0f, 1.0f},         {pb_apply_fade_mp, 0.5f, 0.5f},
  };
  Wakeweave* mod = NewModifier();
  IParamBlock2* pb = mod->pblock;
  for (const IntCase& c : ints) {
    EXPECT_TRUE(pb->SetValue(c.id, 0, c.typed));
    EXPECT_EQ(pb->GetInt(c.id), c.stored) << "parameter " << c.id << " set to " << c.typed;
  }
  for (const FloatCase& c : floats) {
    EXPECT_TRUE(pb->SetValue(c.id, 0, c.typed));
    EXPECT_FLOAT_EQ(pb->GetFloat(c.id), c.stored) << "parameter " << c.id << " set to " << c.typed;
  }
  mod->DeleteThis();
}

// Saving and loading the block as a scene does: transient options come back at their defaults.
class ParamPersistence : public SceneTest {
 protected:
  void TearDown() override {
    std::filesystem::remove(path_);
    SceneTest::TearDown();
  }
  std::string path_ =
      (std::filesystem::temp_directory_path() / ("ww_plugin_pb_" + std::to_string(::getpid()) + ".wwcf")).string();
};

TEST_F(ParamPersistence, TransientSettingsAreNotSaved) {
  struct Setting {
    ParamID id;
    double value;  // not the default
  };
  const Setting settings[] = {
      {pb_old_frames, 7},
      {pb_segments, 5},
      {pb_flip_normals, TRUE},
      {pb_spline_steps, 11},
      {pb_moving_or_still, 1},
      {pb_userange, TRUE},
      {pb_start_frame, 480},
      {pb_end_frame, 3200},
      {pb_segments_per_frame, 2.5},
      {pb_urepeat, 3.25},
      {pb_apply_tex_b, TRUE},
      {pb_apply_tex_vrepeat, 4.5},
      {pb_apply_fade_b, TRUE},
      {pb_apply_fade_mp, 0.25},
      {pb_particle_trails_b, TRUE},
      {pb_generate_map, FALSE},
      {pb_generate_age_map, TRUE},
      {pb_use_all_pf_events, FALSE},
      {pb_skippart, 4},
      {pb_startpart, 9},
      {pb_maptype, 1},
      {pb_nummtls, 6},
  };
  auto isTransient = [](ParamID id) {
    return id == pb_apply_tex_b || id == pb_apply_tex_vrepeat || id == pb_apply_fade_b || id == pb_apply_fade_mp;
  };
  auto defaultOf = [](ParamID id) {
    for (const ParamSpec& s : kParams)
      if (s.id == id) return s.def;
    return -1.0;
  };

  Wakeweave* saved = NewModifier();
  IParamBlock2* pb = saved->pblock;
  for (const Setting& s : settings) {
    ASSERT_NE(s.value, defaultOf(s.id));
    if (pb->GetParameterType(s.id) == TYPE_FLOAT)
      ASSERT_TRUE(pb->SetValue(s.id, 0, float(s.value)));
    else
      ASSERT_TRUE(pb->SetValue(s.id, 0, int(s.value)));
  }
  // Both node settings too: a particle system and two events.
  INode* ps = AddNode("PF Source 001", new FakeParticleObject(true), nullptr);
  INode* ev1 = AddNode("Event 001", nullptr, nullptr);
  INode* ev2 = AddNode("Event 002", nullptr, nullptr);
  ASSERT_TRUE(pb->SetValue(pb_particle_node, 0, ps));
  INode* events[] = {ev1, ev2};
  ASSERT_EQ(pb->Append(pb_pf_event_list, 2, events), 0);
  {
    FileSave out(path_);
    ASSERT_EQ(pb->Save(&out), IO_OK);
    ASSERT_EQ(out.Close(), IO_OK);
  }

  Wakeweave* loaded = NewModifier();
  IParamBlock2* lb = loaded->pblock;
  // The transient options are on in the receiving block before the load: the load must reset them.
  ASSERT_TRUE(lb->SetValue(pb_apply_tex_b, 0, TRUE));
  ASSERT_TRUE(lb->SetValue(pb_apply_fade_mp, 0, 0.5f));
  {
    FileLoad in(path_);
    ASSERT_EQ(in.Status(), IO_OK);
    ASSERT_EQ(lb->Load(&in), IO_OK);
  }
  for (const Setting& s : settings) {
    SCOPED_TRACE("parameter " + std::to_string(s.id));
    const double expected = isTransient(s.id) ? defaultOf(s.id) : s.value;
    if (lb->GetParameterType(s.id) == TYPE_FLOAT)
      EXPECT_FLOAT_EQ(lb->GetFloat(s.id), float(expected));
    else
      EXPECT_EQ(lb->GetInt(s.id), int(expected));
  }
  // Node references are restored by the scene loader; the block keeps the event list's length.
  EXPECT_EQ(lb->Count(pb_pf_event_list), 2);
  saved->DeleteThis();
  loaded->DeleteThis();
}

// The particle system picker accepts only nodes whose object is a particle system.
class ParticlePicker : public SceneTest {};

TEST_F(ParticlePicker, AcceptsAParticleSystemNode) {
  Wakeweave* mod = NewModifier();
  INode* node = AddNode("PF Source 001", new FakeParticleObject(true), nullptr);
  EXPECT_TRUE(mod->pblock->SetValue(pb_particle_node, 0, node));
  EXPECT_EQ(mod->pblock->GetINode(pb_particle_node), node);
  mod->DeleteThis();
}

TEST_F(ParticlePicker, RefusesOtherNodesAndKeepsWhatWasStored) {
  Wakeweave* mod = NewModifier();
  IParamBlock2* pb = mod->pblock;
  INode* box = AddNode("Box001", new FakeParticleObject(false), nullptr);
  INode* empty = AddNode("Point001", nullptr, nullptr);
  INode* shape = AddNode("Circle001", Circle(5.0f), nullptr);

  for (INode* n : {box, empty, shape}) {
    EXPECT_FALSE(pb->SetValue(pb_particle_node, 0, n)) << n->GetName();
    EXPECT_EQ(pb->GetINode(pb_particle_node), nullptr) << n->GetName();
  }
  // A refused pick leaves the particle system chosen before.
  INode* ps = AddNode("PF Source 001", new FakeParticleObject(true), nullptr);
  ASSERT_TRUE(pb->SetValue(pb_particle_node, 0, ps));
  for (INode* n : {box, empty}) {
    EXPECT_FALSE(pb->SetValue(pb_particle_node, 0, n));
    EXPECT_EQ(pb->GetINode(pb_particle_node), ps);
  }
  mod->DeleteThis();
}

TEST_F(ParticlePicker, AcceptsTheHostsParticleSystemsOfBothKinds) {
  Wakeweave* mod = NewModifier();
  IParamBlock2* pb = mod->pblock;
  auto* flow = new FlowParticleSystem();
  INode* flowNode = AddNode("PF Source 001", flow, nullptr);
  INode* eventNode = flow->GetEvent(flow->AddEvent("Event 001"));
  INode* legacyNode = AddNode("Spray001", new LegacyParticleSystem(), nullptr);
  EXPECT_TRUE(pb->SetValue(pb_particle_node, 0, legacyNode));
  EXPECT_EQ(pb->GetINode(pb_particle_node), legacyNode);
  EXPECT_TRUE(pb->SetValue(pb_particle_node, 0, flowNode));
  EXPECT_EQ(pb->GetINode(pb_particle_node), flowNode);
  // An event of the system is not itself a particle system.
  EXPECT_FALSE(pb->SetValue(pb_particle_node, 0, eventNode));
  EXPECT_EQ(pb->GetINode(pb_particle_node), flowNode);
  mod->DeleteThis();
}

TEST_F(ParticlePicker, ValidatorAnswersOnItsOwn) {
  PBValidator* v = GetWakeweaveParamBlockDesc()->GetParamDef(pb_particle_node).validator;
  ASSERT_NE(v, nullptr);
  PB2Value none;
  EXPECT_FALSE(v->Validate(none));
  PB2Value good;
  good.n = AddNode("PF Source 001", new FakeParticleObject(true), nullptr);
  EXPECT_TRUE(v->Validate(good));
  // The host asks with the four-argument form; it must agree.
  EXPECT_TRUE(v->Validate(good, nullptr, pb_particle_node, 0));
  PB2Value bad;
  bad.n = AddNode("Box001", new FakeParticleObject(false), nullptr);
  EXPECT_FALSE(v->Validate(bad, nullptr, pb_particle_node, 0));
  // The static validator is never deleted.
  v->DeleteThis();
  EXPECT_TRUE(v->Validate(good));
}

}  // namespace
