#pragma once
// Shared pieces of the parameter block tests: a small node, an owner that records what it is told, a class
// descriptor, and a block description that uses every tag form.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "max.h"
#include "chunkfile.h"
#include "assert_capture.h"

constexpr TimeValue kFrame = 160;  // ticks per frame at the default rate

// Parameter ids of the test description.
enum : ParamID {
  pFrames = 0,     // int, animatable, 0..100000, spinner on map 0
  pSegments = 1,   // int 1..10000, no rollout control
  pFlip = 2,       // bool, check box on map 1
  pKind = 3,       // int, radio pair on map 0
  pPerFrame = 4,   // float 0.0001..10000, spinner on map 1
  pFadeMid = 5,    // float, transient, 0.0001..1
  pApplyTex = 6,   // bool, transient
  pParticles = 7,  // node with validator and prompt
  pEvents = 8,     // node table, flags 0x1004
  pEndFrame = 9,   // int (ticks), time spinner
  pGenerate = 10,  // bool default TRUE
  pLabel = 12,     // string
  pOffset = 13,    // point, -10..10
  pWeights = 14,   // float table of 2, animatable, 0..1
  pAccessed = 15,  // int with an accessor
};

// A scene node with just a name; nothing in these tests evaluates it.
class TestNode : public INode {
 public:
  explicit TestNode(const char* name) : name_(name) {}
  const char* GetName() override { return name_.c_str(); }
  void SetName(const char* name) override { name_ = name ? name : ""; }
  Object* GetObjectRef() override { return nullptr; }
  void SetObjectRef(Object*) override {}
  Mtl* GetMtl() override { return nullptr; }
  void SetMtl(Mtl*) override {}
  Matrix3 GetNodeTM(TimeValue, Interval*) override { return Matrix3(); }
  Matrix3 GetObjectTM(TimeValue, Interval*) override { return Matrix3(); }
  const ObjectState& EvalWorldState(TimeValue, BOOL) override { return state_; }
  void InvalidateWS() override {}
  INode* GetParentNode() override { return nullptr; }
  int NumberOfChildren() override { return 0; }
  INode* GetChildNode(int) override { return nullptr; }
  BOOL IsRootNode() override { return FALSE; }
  void AttachChild(INode*, int) override {}  // a node of no scene takes no children
  Control* GetPositionController() override { return nullptr; }
  Control* GetRotationController() override { return nullptr; }
  Control* GetScaleController() override { return nullptr; }
  void SetPositionController(Control*) override {}
  void SetRotationController(Control*) override {}
  void SetScaleController(Control*) override {}
  void SetObjOffsetPos(const Point3&) override {}
  Point3 GetObjOffsetPos() override { return Point3(); }
  void SetObjOffsetRot(const Quat&) override {}
  Quat GetObjOffsetRot() override { return Quat(); }
  void SetObjOffsetScale(const Point3&) override {}
  Point3 GetObjOffsetScale() override { return Point3(1.0f, 1.0f, 1.0f); }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }

 private:
  std::string name_;
  ObjectState state_;
};

// Stands in for the scene: it references its nodes, so that a block letting go of one does not delete it.
class TestScene : public ReferenceMaker {
 public:
  ~TestScene() override { DeleteAllRefsFromMe(); }
  SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
  int NumRefs() override { return int(nodes_.size()); }
  RefTargetHandle GetReference(int i) override { return nodes_[size_t(i)]; }
  void SetReference(int i, RefTargetHandle t) override { nodes_[size_t(i)] = static_cast<INode*>(t); }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
  INode* Add(const char* name) {
    nodes_.push_back(nullptr);
    ReplaceReference(int(nodes_.size()) - 1, new TestNode(name));
    return nodes_.back();
  }

 private:
  std::vector<INode*> nodes_;
};

// The owner of a block: one reference, and a log of what the block tells it.
class TestOwner : public ReferenceMaker {
 public:
  struct Note {
    RefTargetHandle target;
    RefMessage message;
    ParamID lastParam;
  };
  SClass_ID SuperClassID() override { return OSM_CLASS_ID; }
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int) override { return pblock; }
  void SetReference(int, RefTargetHandle t) override {
    pblock = static_cast<IParamBlock2*>(t);
    ++setReferenceCalls;
  }
  IParamBlock2* GetParamBlockByID(short id) override { return pblock && pblock->ID() == id ? pblock : nullptr; }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle target, PartID&, RefMessage message) override {
    notes.push_back({target, message, pblock ? pblock->LastNotifyParamID() : ParamID(-1)});
    return REF_SUCCEED;
  }

  IParamBlock2* pblock = nullptr;
  int setReferenceCalls = 0;
  std::vector<Note> notes;
};

class TestClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return TRUE; }
  void* Create(BOOL) override { return nullptr; }
  const char* ClassName() override { return "ParamsTest"; }
  SClass_ID SuperClassID() override { return OSM_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x1234, 0x5678); }
  const char* Category() override { return "Tests"; }
};

// Accepts nodes whose name starts with "PF".
class NamePrefixValidator : public PBValidator {
 public:
  BOOL Validate(PB2Value& v) override {
    ++calls;
    return v.r && std::strncmp(static_cast<INode*>(v.r)->GetName(), "PF", 2) == 0;
  }
  int calls = 0;
};

// Doubles values on their way out and records what goes in.
class DoublingAccessor : public PBAccessor {
 public:
  void Get(PB2Value& v, ReferenceMaker*, ParamID, int, TimeValue, Interval&) override { v.i *= 2; }
  void Set(PB2Value& v, ReferenceMaker* owner, ParamID, int, TimeValue) override {
    lastSet = v.i;
    lastOwner = owner;
  }
  int lastSet = 0;
  ReferenceMaker* lastOwner = nullptr;
};

// Builds the test description with every tag form. Two rollouts: map 0 (dialog 101, title 4) and
// map 1 (dialog 103, title 1507), the second with a descriptor-given procedure when one is passed.
inline ParamBlockDesc2* MakeTestDesc(ClassDesc2* cd, PBValidator* validator, PBAccessor* accessor,
                                     ParamMap2UserDlgProc* map1Proc = nullptr) {
  return new ParamBlockDesc2(
      0, "main", 0, cd, P_AUTO_CONSTRUCT + P_AUTO_UI + P_MULTIMAP,
      0,  // reference number
      2, 0, 101, 4, 0, 0, nullptr, 1, 103, 1507, 0, 0, map1Proc, pFrames, "old_frames", TYPE_INT, P_ANIMATABLE, 9,
      p_default, 3, p_range, 0, 100000, p_ui, 0, TYPE_SPINNER, EDITTYPE_INT, 1491, 1497, SPIN_AUTOSCALE, p_end,
      pSegments, "segments", TYPE_INT, 0, 7, p_default, 3, p_range, 1, 10000, p_end, pFlip, "flipNormals", TYPE_BOOL, 0,
      8, p_default, FALSE, p_ui, 1, TYPE_SINGLECHEKBOX, 1002, p_end, pKind, "moving or still", TYPE_INT, 0, 1508,
      p_default, 0, p_ui, 0, TYPE_RADIO, 2, 1004, 1005, p_end, pPerFrame, "segments per frame", TYPE_FLOAT, 0, 1506,
      p_default, 1.0f, p_range, 0.0001f, 10000.0f, p_ui, 1, TYPE_SPINNER, EDITTYPE_POS_FLOAT, 1492, 1498, 0.1f, p_end,
      pFadeMid, "pb_apply_fade_mp", TYPE_FLOAT, P_TRANSIENT, 1521, p_default, 0.8f, p_range, 0.0001f, 1.0f, p_ui, 1,
      TYPE_SPINNER, EDITTYPE_POS_FLOAT, 1014, 1017, 0.1f, p_end, pApplyTex, "pb_apply_tex_b", TYPE_BOOL, P_TRANSIENT,
      1512, p_default, FALSE, p_ui, 1, TYPE_CHECKBUTTON, 1019, p_end, pParticles, "pb_particle_node", TYPE_INODE, 0,
      1527, p_ui, 1, TYPE_PICKNODEBUTTON, 1053, p_validator, validator, p_prompt, 1528, p_tooltip, 1528, p_end, pEvents,
      "pfEventList", TYPE_INODE_TAB, 0, P_VARIABLE_SIZE + 0x0004, 1533, p_ui, 1, TYPE_NODELISTBOX, 1006, 0, 0, 1007,
      p_end, pEndFrame, "end frame", TYPE_INT, 0, 1505, p_default, kFrame, p_range, 0, 100000000, p_ui, 0, TYPE_SPINNER,
      EDITTYPE_TIME, 1504, 1505, SPIN_AUTOSCALE, p_end, pGenerate, "generateMap", TYPE_BOOL, 0, 1529, p_default, TRUE,
      p_ms_default, FALSE, p_end, pLabel, "label", TYPE_STRING, 0, 0, p_default, "trail", p_ui, 1, TYPE_EDITBOX, 1023,
      p_end, pOffset, "offset", TYPE_POINT3, 0, 0, p_default, Point3(1.0f, 2.0f, 3.0f), p_range, -10.0f, 10.0f, p_end,
      pWeights, "weights", TYPE_FLOAT_TAB, 2, P_ANIMATABLE, 0, p_default, 0.5f, p_range, 0.0f, 1.0f, p_end, pAccessed,
      "accessed", TYPE_INT, 0, 0, p_accessor, accessor, p_dim, static_cast<ParamDimension*>(nullptr), p_end, p_end);
}

// A class descriptor, its block description and one owner with its block; checks that every host
// allocation made by a case is given back.
class ParamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCOREInterface();  // made once on first use; rollout messages ask it for the time
    liveAtStart = MAX_heapLiveCount();
    scene.reset(new TestScene);
    desc.reset(MakeTestDesc(&cd, &validator, &accessor));
    owner = new TestOwner;
    cd.MakeAutoParamBlocks(owner);
    pb = owner->pblock;
    ASSERT_NE(pb, nullptr);
  }
  void TearDown() override {
    delete owner;  // lets go of the block, which deletes itself
    scene.reset();
    desc.reset();
    EXPECT_EQ(MAX_heapLiveCount(), liveAtStart) << "host objects leaked or freed twice";
  }

  long liveAtStart = 0;
  TestClassDesc cd;
  NamePrefixValidator validator;
  DoublingAccessor accessor;
  std::unique_ptr<ParamBlockDesc2> desc;
  TestOwner* owner = nullptr;
  IParamBlock2* pb = nullptr;
  std::unique_ptr<TestScene> scene;
};

inline std::string TempPath(const char* name) {
  return (std::string(::testing::TempDir()) + "ww_params_" + name + ".wwcf");
}
