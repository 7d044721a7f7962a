// Regenerating particle trails through the real dialog, worker and timer: what the recording holds
// afterwards, when the dependents hear of it, how an evaluation on another thread fares meanwhile (one on
// the dialog's own thread: test_failures), and the snapshot of the recorded paths.
#include <classdir.h>
#include <ifnpub.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "recalc_support.h"
#include "trail_scene.h"

namespace {

// References the modifier and calls back at every change message it hears.
class ChangeWatcher : public ReferenceMaker {
 public:
  explicit ChangeWatcher(ReferenceTarget* target) { ReplaceReference(0, target); }
  ~ChangeWatcher() override { DeleteAllRefsFromMe(); }
  SClass_ID SuperClassID() override { return SClass_ID(0x100); }
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int) override { return target_; }
  void SetReference(int, RefTargetHandle t) override { target_ = t; }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage message) override {
    if (message == REFMSG_CHANGE) {
      ++changes;
      if (onChange) onChange();
    }
    return REF_SUCCEED;
  }
  int changes = 0;
  std::function<void()> onChange;

 private:
  RefTargetHandle target_ = nullptr;
};

class Regeneration : public TrailTest {
 protected:
  static constexpr TimeValue kNow = 5 * kTpf;

  // Frames 0 to 10; a still node drawing the particle trails of a held-back system of two particles, three
  // frames long.
  void SetUp() override {
    TrailTest::SetUp();
    ip()->SetAnimRange(Interval(0, 10 * kTpf));
    particles = new HeldParticleObject(2);
    particleNode = AddNode("PF Source 001", particles, nullptr);
    MakeTrail("Trail001");
    ASSERT_TRUE(mod->pblock->SetValue(pb_particle_node, 0, particleNode));
  }

  // A new modifier drawing particle trails on a node of its own, with no particle system chosen yet.
  void MakeTrail(const char* name) {
    mod = NewModifier();
    trail = AddNode(name, Dot(), mod);
    Set(mod, pb_particle_trails_b, 1);
    Set(mod, pb_spline_steps, 0);
    Set(mod, pb_old_frames, 3);
    Set(mod, pb_segments_per_frame, 1.0f);
  }

  // A recording of three lives along y = 100, 101, 102, as a loaded scene would bring.
  void LoadOldRecording() {
    ParticleSystemState old;
    old.setParticleFlow(1);
    for (int i = 0; i < 3; ++i)
      old.addParticle(
          Life({{0, Point3(0.0f, 100.0f + float(i), 0.0f)}, {10, Point3(1600.0f, 100.0f + float(i), 0.0f)}}));
    ASSERT_EQ(LoadRecording(mod, old), IO_OK);
    ASSERT_EQ(EvalMesh(trail, kNow).getNumVerts(), 3 * 4);
  }

  // The trails of the held-back particles at kNow: two trails of samples 800, 640, 480, 320 at (g, i, 0).
  static void ExpectNewTrails(const Mesh& m) {
    ASSERT_EQ(m.getNumVerts(), 2 * 4);
    const float samples[4] = {800, 640, 480, 320};
    for (int i = 0; i < 2; ++i)
      for (int k = 0; k < 4; ++k) {
        const Point3& v = m.verts[i * 4 + k];
        EXPECT_NEAR(v.x, samples[k], 1e-3) << "trail " << i << " sample " << k;
        EXPECT_NEAR(v.y, float(i), 1e-4) << "trail " << i << " sample " << k;
      }
  }

  static int NodesNamed(const char* name) {
    int n = 0;
    INode* root = ip()->GetRootNode();
    for (int i = 0; i < root->NumberOfChildren(); ++i) n += std::string(root->GetChildNode(i)->GetName()) == name;
    return n;
  }

  HeldParticleObject* particles = nullptr;
  INode* particleNode = nullptr;
  Wakeweave* mod = nullptr;
  INode* trail = nullptr;
};

}  // namespace

TEST_F(Regeneration, RecordsTheParticlesThenNotifiesOnceWithTheFlagDownAndTheWorkerGone) {
  LoadOldRecording();
  ChangeWatcher watcher(mod);
  bool rebuildingAtNotify = true, lockFreeAtNotify = true;
  int runningAtNotify = -1, livesAtNotify = -1;
  watcher.onChange = [&] {
    rebuildingAtNotify = mod->isRebuildingTrails();
    lockFreeAtNotify = LockIsFree(mod);
    runningAtNotify = Win32RunningThreadCount();
    livesAtNotify = mod->particleState().numParticles();
  };
  ScriptedAgent agent;
  bool rebuildingInDialog = false, lockFreeInDialog = true;
  agent.onShown = [&](HWND) {
    rebuildingInDialog = mod->isRebuildingTrails();
    lockFreeInDialog = LockIsFree(mod);
  };

  mod->regenerateParticleTrails();

  EXPECT_EQ(agent.shown.size(), 1u);
  EXPECT_EQ(agent.ended, std::vector<INT_PTR>{1});
  EXPECT_TRUE(rebuildingInDialog);
  EXPECT_FALSE(lockFreeInDialog) << "the lock is held for the whole dialog";
  EXPECT_EQ(watcher.changes, 1);
  EXPECT_FALSE(rebuildingAtNotify) << "the flag is cleared before the dependents hear";
  EXPECT_FALSE(lockFreeAtNotify) << "the lock is let go only after the notification";
  EXPECT_EQ(runningAtNotify, 0);
  EXPECT_EQ(livesAtNotify, 2);
  EXPECT_TRUE(LockIsFree(mod));
  EXPECT_FALSE(mod->isRebuildingTrails());

  // The old lives are gone; the whole range was recorded a frame at a time, in full transforms.
  const ParticleSystemState& rec = mod->particleState();
  EXPECT_EQ(rec.isParticleFlow(), 1);
  ASSERT_EQ(rec.numParticles(), 2);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(rec.particle(i).numKeys(), 11);
    EXPECT_EQ(rec.particle(i).key(10).time, 10 * kTpf);
    EXPECT_EQ(rec.particle(i).key(10).tm.GetTrans(), Point3(float(10 * kTpf), float(i), 0.0f));
  }
  EXPECT_EQ(rec.getMaxLifeSpan(), 10 * kTpf);
  ExpectNewTrails(EvalMesh(trail, kNow));

  // The snapshot draws what was recorded: one spline per life, a knot per key.
  mod->snapshotParticlePaths();
  INode* snap = ip()->GetINodeByName("DOVerazi");
  ASSERT_NE(snap, nullptr);
  SplineShape* shape = dynamic_cast<SplineShape*>(snap->GetObjectRef());
  ASSERT_NE(shape, nullptr);
  ASSERT_EQ(shape->shape.splineCount, 2);
  EXPECT_EQ(shape->shape.splines[1]->KnotCount(), 11);
  EXPECT_EQ(shape->shape.splines[1]->GetKnotPoint(10), Point3(float(10 * kTpf), 1.0f, 0.0f));
}

TEST_F(Regeneration, AnEvaluationOnAnotherThreadWaitsForTheNewRecording) {
  LoadOldRecording();
  IDerivedObject* d = static_cast<IDerivedObject*>(trail->GetObjectRef());
  ModContext* mc = d->GetModContext(0);
  ObjectState os(d->GetObjRef());
  ScriptedAgent agent;
  CallWhileRecording other(agent, particles, [&] { mod->ModifyObject(kNow, *mc, &os, trail); });
  mod->regenerateParticleTrails();
  other.Join();
  EXPECT_TRUE(other.looked);
  EXPECT_FALSE(other.returnedWhileHeld) << "the evaluation did not wait for the lock";
  ASSERT_TRUE(other.Returned());
  TriObject* out = dynamic_cast<TriObject*>(os.obj);
  ASSERT_NE(out, nullptr);
  ExpectNewTrails(out->GetMesh());
  out->DeleteThis();
}

TEST_F(Regeneration, WithoutAParticleNodeTheTrailsAreClearedSilently) {
  MakeTrail("Trail002");
  ASSERT_EQ(mod->pblock->GetINode(pb_particle_node), nullptr);
  LoadOldRecording();
  ChangeWatcher watcher(mod);
  ScriptedAgent agent;
  DebugCapture debug;
  mod->regenerateParticleTrails();
  EXPECT_TRUE(agent.shown.empty()) << "no dialog";
  EXPECT_EQ(watcher.changes, 0) << "no notification";
  EXPECT_EQ(mod->particleState().numParticles(), 0);
  EXPECT_EQ(particles->Updates(), 0);
  // Under the lock from start to end, and nothing else happened.
  EXPECT_EQ(debug.lines,
            (std::vector<std::string>{"ScopeLock::EnterCriticalSection()\n", "ScopeLock::LeaveCriticalSection()\n"}));
  EXPECT_TRUE(LockIsFree(mod));
  EXPECT_FALSE(mod->isRebuildingTrails());
}

TEST_F(Regeneration, TheChosenEventsRestrictAFlowRecordingButNotALegacyOne) {
  auto* flow = new FlowParticleSystem();
  INode* flowNode = AddNode("PF Source 002", flow, nullptr);
  for (int e = 0; e < 3; ++e) flow->AddEvent(("Event 00" + std::to_string(e + 1)).c_str());
  for (int i = 0; i < 3; ++i) {
    FlowParticle p;
    p.path.Set(0, Point3(0.0f, float(i), 0.0f));
    p.path.Set(10 * kTpf, Point3(100.0f, float(i), 0.0f));
    p.event.Set(0, i);  // particle i in event i
    flow->AddParticle(p);
  }
  ASSERT_TRUE(mod->pblock->SetValue(pb_particle_node, 0, flowNode));
  Set(mod, pb_use_all_pf_events, 0);
  ScriptedAgent agent;
  auto keysPerLife = [&] {
    mod->regenerateParticleTrails();
    std::vector<int> keys;
    for (int i = 0; i < mod->particleState().numParticles(); ++i)
      keys.push_back(mod->particleState().particle(i).numKeys());
    return keys;
  };

  // No event chosen: every life is recorded empty.
  ASSERT_EQ(mod->pblock->Count(pb_pf_event_list), 0);
  EXPECT_EQ(keysPerLife(), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(mod->particleState().isParticleFlow(), 1);
  EXPECT_EQ(EvalMesh(trail, kNow).getNumVerts(), 0) << "empty lives draw no trails";

  // The first and the last event, with an empty entry between them.
  mod->pblock->SetCount(pb_pf_event_list, 3);
  ASSERT_TRUE(mod->pblock->SetValue(pb_pf_event_list, 0, flow->GetEvent(0), 0));
  ASSERT_TRUE(mod->pblock->SetValue(pb_pf_event_list, 0, flow->GetEvent(2), 2));
  ASSERT_EQ(mod->pblock->GetINode(pb_pf_event_list, 0, 1), nullptr);
  EXPECT_EQ(keysPerLife(), (std::vector<int>{11, 0, 11}));

  // All events, whatever the list holds.
  Set(mod, pb_use_all_pf_events, 1);
  EXPECT_EQ(keysPerLife(), (std::vector<int>{11, 11, 11}));

  // A legacy system is recorded in full even with no event chosen.
  auto* legacy = new LegacyParticleSystem();
  LegacyParticleLife life;
  life.path.Set(0, Point3(0.0f, 0.0f, 0.0f));
  life.path.Set(10 * kTpf, Point3(100.0f, 0.0f, 0.0f));
  legacy->AddSlot({life});
  ASSERT_TRUE(mod->pblock->SetValue(pb_particle_node, 0, AddNode("Spray001", legacy, nullptr)));
  Set(mod, pb_use_all_pf_events, 0);
  mod->pblock->ZeroCount(pb_pf_event_list);
  EXPECT_EQ(keysPerLife(), (std::vector<int>{11}));
  EXPECT_EQ(mod->particleState().isParticleFlow(), 0);
  EXPECT_EQ(agent.ended, (std::vector<INT_PTR>{1, 1, 1, 1}));
}

// Cancelled, and the worker does not stop within the dialog's wait: the regeneration still may not clear
// the flag, notify, let go of the lock or return before the worker is done with the recording.
TEST_F(Regeneration, ACancelledWorkerThatOutlivesTheDialogsWaitIsWaitedForBeforeAnythingElse) {
  LoadOldRecording();
  ChangeWatcher watcher(mod);
  std::atomic<bool> notified{false};
  bool notifiedBeforeRelease = true;
  int runningAtNotify = -1;
  watcher.onChange = [&] {
    runningAtNotify = Win32RunningThreadCount();
    notified = true;
  };
  ScriptedAgent agent;
  OutlivedWait outlived(agent, particles, [&] { notifiedBeforeRelease = notified.load(); });
  mod->regenerateParticleTrails();
  outlived.CallerReturned();
  EXPECT_EQ(agent.ended, std::vector<INT_PTR>{0});
  EXPECT_EQ(outlived.runningAtEnd, 1) << "the dialog ended with the worker still held";
  EXPECT_FALSE(outlived.returnedBeforeRelease);
  EXPECT_FALSE(notifiedBeforeRelease);
  EXPECT_EQ(runningAtNotify, 0);
  EXPECT_EQ(watcher.changes, 1) << "a cancelled regeneration is notified too";
  EXPECT_EQ(mod->particleState().numParticles(), 0);
  Mesh& m = EvalMesh(trail, kNow);
  EXPECT_FALSE(IsFallbackTriangle(m));
  EXPECT_EQ(m.getNumVerts(), 0) << "no particle trails are left";
  EXPECT_TRUE(LockIsFree(mod));
}

TEST_F(Regeneration, ADialogThatCannotStartItsWorkLeavesNoTrailsAndStillNotifies) {
  int k = 0;
  for (void (*fail)(BOOL) : {Win32SetTimerCreationFails, Win32SetThreadCreationFails}) {
    MakeTrail(("Trail00" + std::to_string(++k + 1)).c_str());
    ASSERT_TRUE(mod->pblock->SetValue(pb_particle_node, 0, particleNode));
    LoadOldRecording();
    Win32Switch fails(fail);
    ChangeWatcher watcher(mod);
    ScriptedAgent agent;
    mod->regenerateParticleTrails();
    ASSERT_EQ(agent.boxes.size(), 1u);
    EXPECT_EQ(agent.boxes[0].caption, "Wakeweave");
    EXPECT_EQ(agent.ended, std::vector<INT_PTR>{0});
    EXPECT_EQ(watcher.changes, 1);
    EXPECT_EQ(mod->particleState().numParticles(), 0);
    EXPECT_EQ(particles->Updates(), 0);
    EXPECT_EQ(EvalMesh(trail, kNow).getNumVerts(), 0);
    EXPECT_TRUE(LockIsFree(mod));
  }
}

TEST_F(Regeneration, EachSnapshotAddsANodeAndOneWithoutLivesSaysSo) {
  ScriptedAgent agent;
  mod->snapshotParticlePaths();
  ASSERT_EQ(agent.boxes.size(), 1u);
  EXPECT_EQ(agent.boxes[0].text, "No particle animation.");
  EXPECT_EQ(agent.boxes[0].caption, "Wake Weave");
  EXPECT_EQ(agent.boxes[0].type, UINT(MB_OK));
  EXPECT_EQ(agent.boxes[0].owner, ip()->GetMAXHWnd());
  EXPECT_EQ(NodesNamed("DOVerazi"), 0);

  LoadOldRecording();
  mod->snapshotParticlePaths();
  mod->snapshotParticlePaths();
  EXPECT_EQ(NodesNamed("DOVerazi"), 2) << "a further node each time; none replaced";
  EXPECT_EQ(agent.boxes.size(), 1u);
  EXPECT_TRUE(agent.shown.empty()) << "the snapshot runs no dialog";
}

// The scripted command is the regeneration itself, found by name as a script finds it, and it runs with
// particle trails switched off (the rollout's button would not).
TEST_F(Regeneration, TheScriptedCommandRecordsEvenWithParticleTrailsOff) {
  LoadOldRecording();
  Set(mod, pb_particle_trails_b, 0);
  ScriptedAgent agent;
  ASSERT_TRUE(RegisterClassDesc(GetWakeweaveDesc()));
  const FPStatus status = CallPublishedFunction(mod, "regenerate_particle_trails", kNow);
  UnregisterClassDesc(GetWakeweaveDesc());
  EXPECT_EQ(status, FPS_OK);
  EXPECT_EQ(agent.shown.size(), 1u) << "through the progress dialog";
  EXPECT_EQ(agent.ended, std::vector<INT_PTR>{1});
  EXPECT_EQ(mod->particleState().numParticles(), 2) << "the held-back system's two lives, not the old three";
  Set(mod, pb_particle_trails_b, 1);
  ExpectNewTrails(EvalMesh(trail, kNow));
}
