// Undo: the hold's steps (nesting, cancel, suspend, the undo and redo stacks, ownership of restore
// objects), and the undo records parameter blocks make of their changes.
#include "params_fixture.h"
#include "hold.h"

#include <functional>
#include <iterator>
#include <map>

namespace {

// ---- the hold ---------------------------------------------------------------

// A restore object that logs what is asked of it and counts its own destruction by name.
struct Journal {
  std::vector<std::string> events;
  std::map<std::string, int> deleted;
  int live = 0;
};

class LoggedRestore : public RestoreObj {
 public:
  LoggedRestore(Journal& j, std::string name) : j_(j), name_(std::move(name)) { ++j_.live; }
  ~LoggedRestore() override {
    --j_.live;
    ++j_.deleted[name_];
  }
  void Restore(int isUndo) override { j_.events.push_back((isUndo ? "undo " : "cancel ") + name_); }
  void Redo() override { j_.events.push_back("redo " + name_); }
  void EndHold() override { j_.events.push_back("end " + name_); }

 private:
  Journal& j_;
  std::string name_;
};

class HoldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    theHold.ResetUndo();
    liveAtStart = MAX_heapLiveCount();
  }
  void TearDown() override {
    theHold.ResetUndo();
    EXPECT_EQ(j.live, 0) << "restore objects not freed";
    for (const auto& [name, n] : j.deleted) EXPECT_EQ(n, 1) << name << " deleted " << n << " times";
    EXPECT_EQ(MAX_heapLiveCount(), liveAtStart);
  }
  RestoreObj* Obj(const char* name) { return new LoggedRestore(j, name); }
  // Undo and redo steps as the Edit menu would show them.
  std::string Stacks() {
    return std::to_string(theHold.NumUndoSteps()) + ":" + theHold.UndoName().str() + " / " +
           std::to_string(theHold.NumRedoSteps()) + ":" + theHold.RedoName().str();
  }

  Journal j;
  long liveAtStart = 0;
};

using Events = std::vector<std::string>;

TEST_F(HoldTest, NestedHoldsCloseIntoOneStepNamedByTheOutermostAccept) {
  EXPECT_FALSE(theHold.Holding());
  theHold.Begin();
  theHold.Put(Obj("a"));
  theHold.Begin();
  theHold.Put(Obj("b"));
  theHold.Accept("inner");
  EXPECT_TRUE(theHold.Holding()) << "the inner Accept closed the whole hold";
  EXPECT_EQ(theHold.NumUndoSteps(), 0);
  EXPECT_TRUE(j.events.empty());
  theHold.Put(Obj("c"));
  theHold.Accept("Add Events");
  EXPECT_FALSE(theHold.Holding());
  EXPECT_EQ(Stacks(), "1:Add Events / 0:");
  EXPECT_EQ(j.events, (Events{"end a", "end b", "end c"}));
  EXPECT_EQ(j.live, 3);

  // The step is taken back whole, newest change first, and comes back in the order made.
  j.events.clear();
  EXPECT_TRUE(theHold.Undo());
  EXPECT_EQ(j.events, (Events{"undo c", "undo b", "undo a"}));
  EXPECT_EQ(Stacks(), "0: / 1:Add Events");
  j.events.clear();
  EXPECT_TRUE(theHold.Redo());
  EXPECT_EQ(j.events, (Events{"redo a", "redo b", "redo c"}));
  EXPECT_EQ(Stacks(), "1:Add Events / 0:");
  EXPECT_EQ(j.live, 3);
}

TEST_F(HoldTest, UndoAndRedoWalkTheStepsNewestFirstAndAnswerFalseAtTheEnds) {
  EXPECT_FALSE(theHold.Undo());
  EXPECT_FALSE(theHold.Redo());
  for (const char* name : {"one", "two"}) {
    theHold.Begin();
    theHold.Put(Obj(name));
    theHold.Accept(name);
  }
  EXPECT_EQ(Stacks(), "2:two / 0:");
  EXPECT_TRUE(theHold.Undo());
  EXPECT_EQ(Stacks(), "1:one / 1:two");
  EXPECT_TRUE(theHold.Undo());
  EXPECT_EQ(Stacks(), "0: / 2:one");
  EXPECT_FALSE(theHold.Undo());
  EXPECT_TRUE(theHold.Redo());
  EXPECT_EQ(Stacks(), "1:one / 1:two");
  EXPECT_EQ(j.events, (Events{"end one", "end two", "undo two", "undo one", "redo one"}));
}

TEST_F(HoldTest, ANewStepFreesWhatWasUndoneButAnEmptyOneLeavesItAlone) {
  theHold.Begin();
  theHold.Put(Obj("first"));
  theHold.Accept("first");
  theHold.Undo();
  EXPECT_EQ(Stacks(), "0: / 1:first");

  // Nothing recorded: nothing pushed, the redo step stays.
  theHold.Begin();
  theHold.Accept("empty");
  EXPECT_EQ(Stacks(), "0: / 1:first");
  theHold.Begin();
  theHold.Begin();
  theHold.Accept("inner");
  theHold.Accept("empty too");
  EXPECT_EQ(Stacks(), "0: / 1:first");

  theHold.Begin();
  theHold.Put(Obj("second"));
  EXPECT_EQ(j.deleted["first"], 0) << "the redo step is dropped only when the new one is accepted";
  theHold.Accept("second");
  EXPECT_EQ(Stacks(), "1:second / 0:");
  EXPECT_EQ(j.deleted["first"], 1);
  EXPECT_FALSE(theHold.Redo());
}

TEST_F(HoldTest, CancelRestoresEverythingSinceTheOutermostBeginAndClosesTheHold) {
  theHold.Begin();
  theHold.Put(Obj("kept"));
  theHold.Accept("kept");
  j.events.clear();

  theHold.Begin();
  theHold.Put(Obj("a"));
  theHold.Begin();
  theHold.Put(Obj("b"));
  theHold.Cancel();
  EXPECT_EQ(j.events, (Events{"cancel b", "cancel a"}));
  EXPECT_EQ(j.deleted["a"], 1);
  EXPECT_EQ(j.deleted["b"], 1);
  EXPECT_FALSE(theHold.Holding());
  EXPECT_EQ(Stacks(), "1:kept / 0:");

  // The cancelled hold is closed: a change made now is not recorded, and the hold opens afresh.
  theHold.Put(Obj("after"));
  EXPECT_EQ(j.deleted["after"], 1);
  theHold.Begin();
  theHold.Put(Obj("next"));
  theHold.Accept("next");
  EXPECT_EQ(Stacks(), "2:next / 0:");
}

TEST_F(HoldTest, OutsideAHoldOrWhileSuspendedPutDeletesAtOnce) {
  theHold.Put(Obj("outside"));
  EXPECT_EQ(j.deleted["outside"], 1);
  theHold.Put(nullptr);  // nothing to record

  theHold.Begin();
  theHold.Suspend();
  theHold.Suspend();
  EXPECT_FALSE(theHold.Holding());
  theHold.Put(Obj("suspended"));
  EXPECT_EQ(j.deleted["suspended"], 1);
  theHold.Resume();
  EXPECT_FALSE(theHold.Holding()) << "suspends are counted";
  theHold.Resume();
  EXPECT_TRUE(theHold.Holding());
  theHold.Put(Obj("held"));
  theHold.Accept("held");
  EXPECT_EQ(Stacks(), "1:held / 0:");
  EXPECT_EQ(j.deleted["held"], 0);
}

TEST_F(HoldTest, MisuseIsReportedAndRefused) {
  AssertCapture asserts;
  theHold.Begin();
  theHold.Put(Obj("done"));
  theHold.Accept("done");

  theHold.Begin();
  theHold.Put(Obj("open"));
  EXPECT_FALSE(theHold.Undo());
  EXPECT_FALSE(theHold.Redo());
  EXPECT_EQ(asserts.Count(), 2u);
  EXPECT_TRUE(theHold.Holding());
  theHold.Accept("open");
  EXPECT_EQ(Stacks(), "2:open / 0:");
  EXPECT_EQ(j.events, (Events{"end done", "end open"})) << "a refused undo restored something";

  theHold.Accept("stray");
  theHold.Cancel();
  theHold.Resume();
  EXPECT_EQ(asserts.Count(), 5u);
  EXPECT_EQ(Stacks(), "2:open / 0:");
  EXPECT_FALSE(theHold.Holding());
}

// Plays back like a block's record: what it changes while being undone must not be recorded again.
class ReentrantRestore : public RestoreObj {
 public:
  ReentrantRestore(Journal& j, std::string tag) : j_(j), tag_(std::move(tag)) {}
  void Restore(int) override { touch("restore"); }
  void Redo() override { touch("redo"); }

 private:
  void touch(const char* what) {
    j_.events.push_back(std::string(what) + (theHold.Holding() ? " holding" : " not holding"));
    theHold.Put(new LoggedRestore(j_, std::string(what) + " by " + tag_));
  }
  Journal& j_;
  std::string tag_;
};

TEST_F(HoldTest, PlaybackIsNotRecorded) {
  theHold.Begin();
  theHold.Put(new ReentrantRestore(j, "step"));
  theHold.Accept("step");
  theHold.Undo();
  theHold.Redo();
  EXPECT_EQ(j.events, (Events{"restore not holding", "redo not holding"}));
  EXPECT_EQ(j.deleted["restore by step"], 1);
  EXPECT_EQ(j.deleted["redo by step"], 1);
  EXPECT_EQ(Stacks(), "1:step / 0:");

  // Also while a cancelled hold is rolled back.
  theHold.Begin();
  theHold.Put(new ReentrantRestore(j, "cancel"));
  theHold.Cancel();
  EXPECT_EQ(j.events.back(), "restore not holding");
  EXPECT_EQ(j.deleted["restore by cancel"], 1);
  EXPECT_EQ(Stacks(), "1:step / 0:");
}

TEST_F(HoldTest, ResetUndoFreesEveryStepAndWhatAnOpenHoldRecorded) {
  for (const char* name : {"u1", "u2", "r1"}) {
    theHold.Begin();
    theHold.Put(Obj(name));
    theHold.Accept(name);
  }
  theHold.Undo();
  theHold.Begin();
  theHold.Put(Obj("open"));
  theHold.ResetUndo();
  EXPECT_EQ(j.live, 0);
  EXPECT_EQ(Stacks(), "0: / 0:");
  // The open hold is still open; its Accept has nothing left to push.
  EXPECT_TRUE(theHold.Holding());
  theHold.Accept("open");
  EXPECT_EQ(Stacks(), "0: / 0:");
  EXPECT_FALSE(theHold.Undo());
}

}  // namespace

// ---- parameter blocks -------------------------------------------------------

namespace {

// "id:value" of the segment count, "id:[names]" of the event list (an empty entry shows as "-").
std::string Show(IParamBlock2* pb, ParamID id) {
  std::string s = std::to_string(id) + ":";
  if (id == pSegments) return s + std::to_string(pb->GetInt(pSegments));
  if (id != pEvents) return s + "?";
  s += "[";
  for (int k = 0; k < pb->Count(pEvents); ++k) {
    INode* n = pb->GetINode(pEvents, 0, k);
    s += (k ? "," : "") + std::string(n ? n->GetName() : "-");
  }
  return s + "]";
}

// Sees the block's change messages as a modifier does, with what the block holds when each arrives.
class Watcher : public ReferenceMaker {
 public:
  explicit Watcher(IParamBlock2* pb) { ReplaceReference(0, pb); }
  ~Watcher() override { DeleteAllRefsFromMe(); }
  SClass_ID SuperClassID() override { return OSM_CLASS_ID; }
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int) override { return pb_; }
  void SetReference(int, RefTargetHandle t) override { pb_ = static_cast<IParamBlock2*>(t); }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle from, PartID&, RefMessage message) override {
    if (message == REFMSG_CHANGE && from == pb_) seen.push_back(Show(pb_, pb_->LastNotifyParamID()));
    return REF_SUCCEED;
  }
  std::vector<std::string> seen;

 private:
  IParamBlock2* pb_ = nullptr;
};

// A node that reports its deletion.
class CountedNode : public TestNode {
 public:
  CountedNode(const char* name, int* deleted) : TestNode(name), deleted_(deleted) {}
  ~CountedNode() override { ++*deleted_; }

 private:
  int* deleted_;
};

// The block's undo records; every case leaves the hold empty again, so that the fixture's heap check
// also proves each record freed what it kept.
class BlockUndoTest : public ParamsTest {
 protected:
  void SetUp() override {
    theHold.ResetUndo();
    ParamsTest::SetUp();
    a = scene->Add("PF a");
    b = scene->Add("PF b");
    c = scene->Add("PF c");
  }
  void TearDown() override {
    theHold.ResetUndo();
    ParamsTest::TearDown();
  }
  std::string Events() { return Show(pb, pEvents); }
  void AppendEvent(INode* n) { pb->Append(pEvents, 1, &n); }

  INode *a = nullptr, *b = nullptr, *c = nullptr;
};

// One value of every stored type, as a script would set them.
struct Settings {
  int segments;
  float perFrame;
  int flip;
  TimeValue endFrame;
  Point3 offset;
  const char* label;
  INode* particles;
  float weight;

  void Set(IParamBlock2* pb) const {
    pb->SetValue(pSegments, 0, segments);
    pb->SetValue(pPerFrame, 0, perFrame);
    pb->SetValue(pFlip, 0, flip);
    pb->SetValue(pEndFrame, 0, endFrame);
    pb->SetValue(pOffset, 0, offset);
    pb->SetValue(pLabel, 0, label);
    pb->SetValue(pParticles, 0, particles);
    pb->SetValue(pWeights, 0, weight, 1);
  }
  void ExpectIn(IParamBlock2* pb) const {
    EXPECT_EQ(pb->GetInt(pSegments), segments);
    EXPECT_FLOAT_EQ(pb->GetFloat(pPerFrame), perFrame);
    EXPECT_EQ(pb->GetInt(pFlip), flip);
    EXPECT_EQ(pb->GetTimeValue(pEndFrame), endFrame);
    EXPECT_EQ(pb->GetPoint3(pOffset), offset);
    EXPECT_STREQ(pb->GetStr(pLabel), label);
    EXPECT_EQ(pb->GetINode(pParticles), particles);
    EXPECT_FLOAT_EQ(pb->GetFloat(pWeights, 0, 1), weight);
  }
};

TEST_F(BlockUndoTest, AScriptedChangeOfScalarsIsOneNamedStepThatUndoesAndRedoes) {
  const Settings defaults{3, 1.0f, FALSE, kFrame, Point3(1.0f, 2.0f, 3.0f), "trail", nullptr, 0.5f};
  const Settings changed{7, 2.5f, TRUE, 30 * kFrame, Point3(4.0f, -5.0f, 6.0f), "ribbon", a, 0.25f};
  defaults.ExpectIn(pb);
  theHold.Begin();
  changed.Set(pb);
  theHold.Accept("Trail Settings");
  EXPECT_EQ(theHold.NumUndoSteps(), 1);
  EXPECT_STREQ(theHold.UndoName(), "Trail Settings");

  ASSERT_TRUE(theHold.Undo());
  defaults.ExpectIn(pb);
  EXPECT_EQ(theHold.NumUndoSteps(), 0);
  EXPECT_STREQ(theHold.RedoName(), "Trail Settings");

  ASSERT_TRUE(theHold.Redo());
  changed.ExpectIn(pb);
  EXPECT_EQ(theHold.NumRedoSteps(), 0);
}

TEST_F(BlockUndoTest, AppendingTwoNodesIsOneStepWhoseUndoRemovesThemNewestFirst) {
  Watcher watcher(pb);
  theHold.Begin();
  AppendEvent(a);
  AppendEvent(b);
  theHold.Accept("Add Events");
  ASSERT_EQ(theHold.NumUndoSteps(), 1);
  EXPECT_EQ(watcher.seen, (std::vector<std::string>{"8:[PF a]", "8:[PF a,PF b]"}));

  watcher.seen.clear();
  theHold.Undo();
  EXPECT_EQ(watcher.seen, (std::vector<std::string>{"8:[PF a]", "8:[]"}));
  watcher.seen.clear();
  theHold.Redo();
  EXPECT_EQ(watcher.seen, (std::vector<std::string>{"8:[PF a]", "8:[PF a,PF b]"}));
}

TEST_F(BlockUndoTest, TableChangesOfEveryKindUndoToTheirEarlierContents) {
  AppendEvent(a);
  AppendEvent(b);
  struct Case {
    const char* name;
    std::function<void()> change;
    const char* after;
  };
  INode* two[] = {c, a};
  const Case cases[] = {
      {"insert", [&] { pb->Insert(pEvents, 1, 2, two); }, "8:[PF a,PF c,PF a,PF b]"},
      {"delete", [&] { pb->Delete(pEvents, 0, 1); }, "8:[PF b]"},
      {"grow", [&] { pb->SetCount(pEvents, 4); }, "8:[PF a,PF b,-,-]"},
      {"shrink", [&] { pb->SetCount(pEvents, 1); }, "8:[PF a]"},
      {"zero", [&] { pb->ZeroCount(pEvents); }, "8:[]"},
      {"set element", [&] { pb->SetValue(pEvents, 0, c, 1); }, "8:[PF a,PF c]"},
      {"clear element", [&] { pb->SetValue(pEvents, 0, static_cast<INode*>(nullptr), 0); }, "8:[-,PF b]"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    theHold.Begin();
    k.change();
    theHold.Accept(k.name);
    EXPECT_EQ(Events(), k.after);
    EXPECT_TRUE(theHold.Undo());
    EXPECT_EQ(Events(), "8:[PF a,PF b]");
    EXPECT_TRUE(theHold.Redo());
    EXPECT_EQ(Events(), k.after);
    EXPECT_TRUE(theHold.Undo());
  }
  // Each new step dropped the one undone before it.
  EXPECT_EQ(theHold.NumUndoSteps(), 0);
  EXPECT_EQ(theHold.NumRedoSteps(), 1);
  EXPECT_STREQ(theHold.RedoName(), cases[std::size(cases) - 1].name);

  // Number tables: appended entries go, counts come back with their values.
  float more[] = {0.75f, 2.0f};
  theHold.Begin();
  pb->Append(pWeights, 2, more);
  pb->SetCount(pWeights, 1);
  theHold.Accept("weights");
  EXPECT_EQ(pb->Count(pWeights), 1);
  theHold.Undo();
  ASSERT_EQ(pb->Count(pWeights), 2);
  EXPECT_FLOAT_EQ(pb->GetFloat(pWeights, 0, 1), 0.5f);
  theHold.Redo();
  EXPECT_EQ(pb->Count(pWeights), 1);
}

TEST_F(BlockUndoTest, ARestoredNodeEntryReferencesItsNodeAgain) {
  AppendEvent(a);
  AppendEvent(b);
  theHold.Begin();
  pb->Delete(pEvents, 0, 1);
  theHold.Accept("Remove Event");
  theHold.Undo();
  ASSERT_EQ(Events(), "8:[PF a,PF b]");
  // The block is a's dependent again: deleting a clears the entry instead of leaving it dangling.
  bool blockIsDependent = false;
  DependentIterator it(static_cast<ReferenceTarget*>(a));
  for (ReferenceMaker* m = it.Next(); m; m = it.Next()) blockIsDependent |= m == pb;
  EXPECT_TRUE(blockIsDependent);
  static_cast<ReferenceTarget*>(a)->DeleteMe();
  EXPECT_EQ(Events(), "8:[-,PF b]");
  // Redo removes the (now empty) first entry; undo brings back what the record could keep: nothing.
  theHold.Redo();
  EXPECT_EQ(Events(), "8:[PF b]");
  theHold.Undo();
  EXPECT_EQ(Events(), "8:[-,PF b]");
}

TEST_F(BlockUndoTest, ANodeOnlyTheRecordsHoldLivesUntilTheRecordsGo) {
  int deleted = 0;
  INode* loose = new CountedNode("PF loose", &deleted);  // in no scene: the block alone references it
  theHold.Begin();
  AppendEvent(loose);
  theHold.Accept("Add Events");
  theHold.Begin();
  pb->ZeroCount(pEvents);
  theHold.Accept("Clear Events");
  EXPECT_EQ(deleted, 0) << "the removed node was deleted while its removal can be undone";
  theHold.Undo();
  EXPECT_EQ(Events(), "8:[PF loose]");
  theHold.Undo();
  EXPECT_EQ(Events(), "8:[]");
  EXPECT_EQ(deleted, 0) << "redo can still put the node back";
  theHold.Redo();
  EXPECT_EQ(Events(), "8:[PF loose]");
  theHold.Undo();

  // A new step drops the redo steps, the last holders of the node.
  theHold.Begin();
  pb->SetValue(pSegments, 0, 5);
  theHold.Accept("Segments");
  EXPECT_EQ(deleted, 1);
}

TEST_F(BlockUndoTest, CancelRollsBackAndRecordsNoStep) {
  Watcher watcher(pb);
  theHold.Begin();
  pb->SetValue(pSegments, 0, 9);
  AppendEvent(a);
  theHold.Begin();
  pb->SetValue(pSegments, 0, 11);
  theHold.Cancel();
  EXPECT_EQ(pb->GetInt(pSegments), 3);
  EXPECT_EQ(Events(), "8:[]");
  EXPECT_EQ(theHold.NumUndoSteps(), 0);
  EXPECT_EQ(watcher.seen, (std::vector<std::string>{"1:9", "8:[PF a]", "1:11", "1:9", "8:[]", "1:3"}));
}

TEST_F(BlockUndoTest, NestedHoldsMakeOneStep) {
  theHold.Begin();
  pb->SetValue(pSegments, 0, 9);
  theHold.Begin();
  AppendEvent(a);
  theHold.Accept("inner");
  theHold.Accept("Pick");
  EXPECT_EQ(theHold.NumUndoSteps(), 1);
  theHold.Undo();
  EXPECT_EQ(pb->GetInt(pSegments), 3);
  EXPECT_EQ(Events(), "8:[]");
}

TEST_F(BlockUndoTest, ChangesOutsideAHoldRecordNothingAndLeaveRedoAlone) {
  long live = MAX_heapLiveCount();
  pb->SetValue(pSegments, 0, 4);
  AppendEvent(a);
  pb->Delete(pEvents, 0, 1);
  pb->ResetAll();
  EXPECT_EQ(MAX_heapLiveCount(), live) << "a change outside a hold left a record behind";
  EXPECT_EQ(theHold.NumUndoSteps(), 0);

  theHold.Begin();
  pb->SetValue(pSegments, 0, 6);
  theHold.Accept("Segments");
  theHold.Undo();
  pb->SetValue(pPerFrame, 0, 3.0f);
  EXPECT_EQ(theHold.NumUndoSteps(), 0);
  EXPECT_EQ(theHold.NumRedoSteps(), 1);
  theHold.Redo();
  EXPECT_EQ(pb->GetInt(pSegments), 6);
  EXPECT_FLOAT_EQ(pb->GetFloat(pPerFrame), 3.0f);

  // Suspended, a hold records nothing either: the step is empty and not pushed.
  theHold.Begin();
  theHold.Suspend();
  pb->SetValue(pSegments, 0, 8);
  theHold.Resume();
  theHold.Accept("nothing");
  EXPECT_EQ(theHold.NumUndoSteps(), 1);
  EXPECT_STREQ(theHold.UndoName(), "Segments");
}

TEST_F(BlockUndoTest, UndoNotifiesAndRefreshesAsTheSetDid) {
  // The owner's log of one SetValue...
  pb->SetValue(pSegments, 0, 5);
  const auto bySet = owner->notes;
  ASSERT_EQ(bySet.size(), 1u);
  owner->notes.clear();

  theHold.Begin();
  pb->SetValue(pSegments, 0, 6);
  theHold.Accept("Segments");
  owner->notes.clear();
  theHold.Undo();
  ASSERT_EQ(owner->notes.size(), bySet.size());
  EXPECT_EQ(owner->notes[0].target, bySet[0].target);
  EXPECT_EQ(owner->notes[0].message, bySet[0].message);
  EXPECT_EQ(owner->notes[0].lastParam, bySet[0].lastParam);

  // ...and an open panel shows the undone value when it is asked to draw again.
  class ShowingProc : public ParamMap2UserDlgProc {
   public:
    INT_PTR DlgProc(TimeValue, IParamMap2*, HWND, UINT, WPARAM, LPARAM) override { return FALSE; }
    void DeleteThis() override {}
    void Update(TimeValue, Interval&, IParamMap2* map) override {
      shown.push_back(map->GetParamBlock()->GetInt(pSegments));
    }
    std::vector<int> shown;
  } proc;
  desc->SetUserDlgProc(MapID(0), &proc);
  cd.BeginEditParams(nullptr, owner, 0, nullptr);
  theHold.Redo();
  theHold.Undo();
  cd.EndEditParams(nullptr, owner, 0, nullptr);
  desc->SetUserDlgProc(MapID(0), nullptr);
  EXPECT_EQ(proc.shown, (std::vector<int>{6, 5}));
}

TEST_F(BlockUndoTest, AnimatedValuesUndoTheirKeys) {
  auto* ctrl = new LinearFloatControl(0.0f);
  ctrl->AddKey(0, 0.0f);
  ctrl->AddKey(10 * kFrame, 100.0f);
  ASSERT_TRUE(pb->SetController(pFrames, 0, ctrl));
  Watcher watcher(pb);

  // A set between keys makes a key; undo deletes it, redo makes it again.
  theHold.Begin();
  pb->SetValue(pFrames, 5 * kFrame, 7);
  theHold.Accept("Frames");
  EXPECT_EQ(ctrl->NumKeys(), 3);
  theHold.Undo();
  EXPECT_EQ(ctrl->NumKeys(), 2);
  EXPECT_EQ(pb->GetInt(pFrames, 5 * kFrame), 50);
  theHold.Redo();
  EXPECT_EQ(ctrl->NumKeys(), 3);
  EXPECT_EQ(pb->GetInt(pFrames, 5 * kFrame), 7);

  // A set at a key changes its value; undo puts the old one back.
  theHold.Begin();
  pb->SetValue(pFrames, 10 * kFrame, 40);
  theHold.Accept("Frames");
  theHold.Undo();
  EXPECT_EQ(ctrl->NumKeys(), 3);
  EXPECT_EQ(pb->GetInt(pFrames, 10 * kFrame), 100);
  EXPECT_EQ(watcher.seen.size(), 5u) << "each set, undo and redo is heard once";

  // Replacing the controller is undone too, with the same controller.
  theHold.Begin();
  pb->SetController(pFrames, 0, nullptr);
  theHold.Accept("Remove Controller");
  EXPECT_EQ(pb->GetController(pFrames), nullptr);
  theHold.Undo();
  EXPECT_EQ(pb->GetController(pFrames), ctrl);
  EXPECT_EQ(pb->GetInt(pFrames, 5 * kFrame), 7);
}

TEST_F(BlockUndoTest, AnUnanimatedControllerGetsItsValueBack) {
  auto* ctrl = new LinearFloatControl(0.5f);
  ASSERT_TRUE(pb->SetController(pWeights, 1, ctrl));
  theHold.Begin();
  pb->SetValue(pWeights, 3 * kFrame, 0.9f, 1);
  theHold.Accept("Weight");
  theHold.Undo();
  EXPECT_EQ(ctrl->NumKeys(), 0);
  EXPECT_FLOAT_EQ(pb->GetFloat(pWeights, 0, 1), 0.5f);
  theHold.Redo();
  EXPECT_FLOAT_EQ(pb->GetFloat(pWeights, 0, 1), 0.9f);
}

TEST_F(BlockUndoTest, ResetAllIsUndone) {
  pb->SetValue(pSegments, 0, 12);
  AppendEvent(b);
  pb->SetValue(pLabel, 0, "kept");
  theHold.Begin();
  pb->ResetAll();
  theHold.Accept("Reset");
  theHold.Undo();
  EXPECT_EQ(pb->GetInt(pSegments), 12);
  EXPECT_EQ(Events(), "8:[PF b]");
  EXPECT_STREQ(pb->GetStr(pLabel), "kept");
}

TEST_F(BlockUndoTest, RecordsOfADeletedBlockChangeNothing) {
  theHold.Begin();
  pb->SetValue(pSegments, 0, 9);
  AppendEvent(a);
  theHold.Accept("Settings");
  delete owner;  // and with it the block
  owner = new TestOwner;
  cd.MakeAutoParamBlocks(owner);
  pb = owner->pblock;
  EXPECT_TRUE(theHold.Undo());
  EXPECT_TRUE(theHold.Redo());
  EXPECT_EQ(pb->GetInt(pSegments), 3) << "a record of the old block changed the new one";
  EXPECT_EQ(Events(), "8:[]");
}

}  // namespace
