// Class descriptors: automatic blocks, and the rollouts opened and closed around editing with their user
// dialog procedures.
#include "params_fixture.h"

namespace {

struct ProcLog {
  struct Msg {
    int proc;
    UINT msg;
    HWND hWnd;
    IParamMap2* map;
    TimeValue t = 0;
  };
  std::vector<Msg> msgs;
  std::vector<int> deleted;
  int updates = 0;
};

// A heap procedure that logs its messages and its release, as the plug-in's rollout procedures are.
class LoggingProc : public ParamMap2UserDlgProc {
 public:
  LoggingProc(ProcLog* log, int id) : log_(log), id_(id) {}
  INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM, LPARAM) override {
    log_->msgs.push_back({id_, msg, hWnd, map, t});
    return FALSE;
  }
  void DeleteThis() override {
    log_->deleted.push_back(id_);
    delete this;
  }
  void Update(TimeValue, Interval&, IParamMap2*) override { ++log_->updates; }

 private:
  ProcLog* log_;
  int id_;
};

// A rollout host that counts what it is asked to do.
class CountingRolloutHost : public IRolloutHost {
 public:
  HWND CreateRollout(HINSTANCE, int dlgTemplate, int titleId, IParamMap2* map) override {
    created.push_back(dlgTemplate);
    titles.push_back(titleId);
    return reinterpret_cast<HWND>(new int(dlgTemplate));
  }
  void DestroyRollout(HWND h) override {
    ++destroyed;
    delete reinterpret_cast<int*>(h);
  }
  void RefreshRollout(HWND, IParamMap2* map) override { refreshed.push_back(map->GetMapID()); }
  TimeValue CurrentTime() override { return 7; }
  std::vector<int> created, titles;
  std::vector<MapID> refreshed;
  int destroyed = 0;
};

// Installs a rollout host for one case and restores the default however the case ends.
struct RolloutHostGuard {
  explicit RolloutHostGuard(IRolloutHost* host) { SetRolloutHost(host); }
  ~RolloutHostGuard() { SetRolloutHost(nullptr); }
};

TEST_F(ParamsTest, MakeAutoParamBlocksInstallsTheBlockThroughSetReference) {
  EXPECT_EQ(owner->setReferenceCalls, 1);
  EXPECT_EQ(owner->GetReference(0), pb);
  EXPECT_EQ(pb->NumDependents(), 1);
  EXPECT_EQ(pb->Dependent(0), owner);
  EXPECT_EQ(pb->GetOwner(), owner);

  // A description without P_AUTO_CONSTRUCT makes no block.
  auto* manual = new ParamBlockDesc2(9, "manual", 0, &cd, 0, 1, "x", TYPE_INT, 0, 0, p_end, p_end);
  auto* second = new TestOwner;
  cd.MakeAutoParamBlocks(second);
  EXPECT_EQ(second->setReferenceCalls, 1);
  EXPECT_EQ(second->pblock->GetDesc(), desc.get());
  delete second;
  delete manual;
}

TEST_F(ParamsTest, OwnerWithoutTheReferenceSlotIsReported) {
  class NoRefs : public ReferenceMaker {
   public:
    SClass_ID SuperClassID() override { return OSM_CLASS_ID; }
    RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
  };
  AssertCapture asserts;
  long live = MAX_heapLiveCount();
  auto* bad = new NoRefs;
  cd.MakeAutoParamBlocks(bad);
  EXPECT_EQ(asserts.Count(), 1u);
  delete bad;
  EXPECT_EQ(MAX_heapLiveCount(), live);  // the block that found no home was deleted
}

TEST_F(ParamsTest, EditingOpensOneRolloutPerMapBoundToTheOwnersBlock) {
  CountingRolloutHost host;
  RolloutHostGuard guard(&host);
  cd.BeginEditParams(nullptr, owner, 0, nullptr);
  EXPECT_EQ(cd.EditedObject(), owner);
  ASSERT_EQ(cd.NumOpenRollouts(), 2);
  EXPECT_EQ(host.created, (std::vector<int>{101, 103}));
  EXPECT_EQ(host.titles, (std::vector<int>{4, 1507}));
  IParamMap2* m0 = cd.GetOpenRollout(0);
  IParamMap2* m1 = cd.GetOpenRollout(1);
  EXPECT_EQ(cd.GetOpenRollout(2), nullptr);
  EXPECT_EQ(m0->GetMapID(), 0);
  EXPECT_EQ(m1->GetMapID(), 1);
  EXPECT_EQ(m0->GetParamBlock(), pb);
  EXPECT_EQ(m0->GetDesc(), desc.get());
  EXPECT_EQ(desc->GetMap(1), m1);
  EXPECT_EQ(pb->GetMap(1), m1);
  EXPECT_NE(m0->GetHWnd(), nullptr);

  // A value change shows in the rollouts of this block.
  ASSERT_TRUE(pb->SetValue(pSegments, 0, 4));
  EXPECT_FALSE(host.refreshed.empty());
  host.refreshed.clear();
  desc->InvalidateUI();
  EXPECT_EQ(host.refreshed, (std::vector<MapID>{0, 1}));
  host.refreshed.clear();
  desc->InvalidateUI(pFlip);  // bound to map 1 only
  EXPECT_EQ(host.refreshed, (std::vector<MapID>{1}));

  cd.EndEditParams(nullptr, owner, 0, nullptr);
  EXPECT_EQ(cd.NumOpenRollouts(), 0);
  EXPECT_EQ(cd.EditedObject(), nullptr);
  EXPECT_EQ(host.destroyed, 2);
  EXPECT_EQ(pb->GetMap(0), nullptr);
}

TEST_F(ParamsTest, UserProceduresLiveFromInstallationToClose) {
  ProcLog log;
  long live = MAX_heapLiveCount();
  GetCOREInterface()->SetTime(12 * kFrame, FALSE);
  for (int cycle = 0; cycle < 2; ++cycle) {
    SCOPED_TRACE(cycle);
    log = ProcLog();
    cd.BeginEditParams(nullptr, owner, 0, nullptr);
    // As the plug-in does: one new procedure per rollout, installed after the rollouts opened.
    desc->SetUserDlgProc(0, new LoggingProc(&log, 0));
    desc->SetUserDlgProc(1, new LoggingProc(&log, 1));
    ASSERT_EQ(log.msgs.size(), 2u);
    EXPECT_EQ(log.msgs[0].msg, UINT(WM_INITDIALOG));
    EXPECT_EQ(log.msgs[1].t, 12 * kFrame);  // the scene's current time
    EXPECT_EQ(log.msgs[0].map, desc->GetMap(0));
    EXPECT_EQ(log.msgs[0].hWnd, desc->GetMap(0)->GetHWnd());
    EXPECT_EQ(log.msgs[1].hWnd, desc->GetMap(1)->GetHWnd());
    EXPECT_NE(log.msgs[0].hWnd, log.msgs[1].hWnd);
    EXPECT_EQ(desc->GetMap(1)->GetUserDlgProc(), desc->GetUserDlgProc(1));

    desc->InvalidateUI();
    EXPECT_EQ(log.updates, 2);

    cd.EndEditParams(nullptr, owner, 0, nullptr);
    ASSERT_EQ(log.msgs.size(), 4u);
    EXPECT_EQ(log.msgs[2].msg, UINT(WM_DESTROY));
    EXPECT_EQ(log.msgs[3].msg, UINT(WM_DESTROY));
    EXPECT_EQ(log.deleted, (std::vector<int>{0, 1}));
    EXPECT_EQ(desc->GetUserDlgProc(0), nullptr);
    EXPECT_EQ(MAX_heapLiveCount(), live) << "procedures or rollouts left alive";
  }
  GetCOREInterface()->SetTime(0, FALSE);
}

TEST_F(ParamsTest, ReplacingAProcedureReleasesTheOldOne) {
  ProcLog log;
  cd.BeginEditParams(nullptr, owner, 0, nullptr);
  auto* first = new LoggingProc(&log, 1);
  desc->SetUserDlgProc(0, first);
  desc->SetUserDlgProc(0, first);  // the same one again is kept
  EXPECT_TRUE(log.deleted.empty());
  desc->SetUserDlgProc(0, new LoggingProc(&log, 2));
  EXPECT_EQ(log.deleted, (std::vector<int>{1}));
  desc->SetUserDlgProc(0, nullptr);  // a failed allocation installs null
  EXPECT_EQ(log.deleted, (std::vector<int>{1, 2}));
  cd.EndEditParams(nullptr, owner, 0, nullptr);
  EXPECT_EQ(log.deleted, (std::vector<int>{1, 2}));  // nothing left to release

  // A procedure installed while closed gets its first message when the rollout opens.
  log = ProcLog();
  desc->SetUserDlgProc(1, new LoggingProc(&log, 3));
  EXPECT_TRUE(log.msgs.empty());
  cd.BeginEditParams(nullptr, owner, 0, nullptr);
  ASSERT_EQ(log.msgs.size(), 1u);
  EXPECT_EQ(log.msgs[0].msg, UINT(WM_INITDIALOG));
  cd.EndEditParams(nullptr, owner, 0, nullptr);
  EXPECT_EQ(log.deleted, (std::vector<int>{3}));

  AssertCapture asserts;
  desc->SetUserDlgProc(5, new LoggingProc(&log, 4));  // no such rollout
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(log.deleted, (std::vector<int>{3, 4}));
}

TEST_F(ParamsTest, SwitchingObjectsRebindsTheRollouts) {
  ProcLog log;
  auto* second = new TestOwner;
  cd.MakeAutoParamBlocks(second);
  cd.BeginEditParams(nullptr, owner, 0, nullptr);
  desc->SetUserDlgProc(0, new LoggingProc(&log, 1));
  // Opening another object's rollouts closes this one's first.
  cd.BeginEditParams(nullptr, second, 0, nullptr);
  EXPECT_EQ(log.deleted, (std::vector<int>{1}));
  EXPECT_EQ(cd.EditedObject(), second);
  EXPECT_EQ(desc->GetMap(0)->GetParamBlock(), second->pblock);
  cd.EndEditParams(nullptr, second, 0, nullptr);
  delete second;
}

TEST_F(ParamsTest, DescriptorProcedureIsDeliveredEveryTime) {
  ProcLog log;
  // A static-style procedure given in the description: DeleteThis must not free it.
  class StaticProc : public ParamMap2UserDlgProc {
   public:
    explicit StaticProc(ProcLog* l) : log(l) {}
    INT_PTR DlgProc(TimeValue t, IParamMap2*, HWND h, UINT msg, WPARAM, LPARAM) override {
      log->msgs.push_back({int(t), msg, h, nullptr});
      return FALSE;
    }
    void DeleteThis() override { log->deleted.push_back(0); }
    ProcLog* log;
  } proc(&log);
  CountingRolloutHost host;
  RolloutHostGuard guard(&host);
  cd.ClearParamBlockDescs();
  std::unique_ptr<ParamBlockDesc2> d(MakeTestDesc(&cd, &validator, &accessor, &proc));
  for (int cycle = 0; cycle < 2; ++cycle) {
    cd.BeginEditParams(nullptr, owner, 0, nullptr);  // owner's block is of the other description
    EXPECT_EQ(d->NumOpenMaps(), 0);
    cd.EndEditParams(nullptr, owner, 0, nullptr);
  }
  EXPECT_TRUE(log.msgs.empty());

  auto* o = new TestOwner;
  cd.MakeAutoParamBlocks(o);
  for (int cycle = 0; cycle < 2; ++cycle) {
    cd.BeginEditParams(nullptr, o, 0, nullptr);
    cd.EndEditParams(nullptr, o, 0, nullptr);
  }
  ASSERT_EQ(log.msgs.size(), 4u);
  EXPECT_EQ(log.msgs[0].msg, UINT(WM_INITDIALOG));
  EXPECT_EQ(log.msgs[0].proc, 7);  // delivered at the host's current time
  EXPECT_EQ(log.msgs[1].msg, UINT(WM_DESTROY));
  EXPECT_EQ(log.deleted.size(), 2u);
  EXPECT_EQ(d->GetUserDlgProc(1), &proc);
  delete o;
  d.reset();
}

TEST_F(ParamsTest, DeletedBlockLeavesOpenRolloutsHarmless) {
  auto* second = new TestOwner;
  cd.MakeAutoParamBlocks(second);
  cd.BeginEditParams(nullptr, second, 0, nullptr);
  ASSERT_NE(desc->GetMap(0), nullptr);
  delete second;  // its block goes with it
  EXPECT_EQ(desc->GetMap(0)->GetParamBlock(), nullptr);
  desc->InvalidateUI();
  cd.EndEditParams(nullptr, nullptr, 0, nullptr);
  EXPECT_EQ(cd.NumOpenRollouts(), 0);
}

}  // namespace
