// Undo: the hold's steps (nesting, cancel, suspend, the undo and redo stacks, ownership of restore
// objects), and the undo records parameter blocks make of their changes.
#include "params_fixture.h"
#include "hold.h"

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
