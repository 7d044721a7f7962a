// The recalculation dialog with a real worker and a real timer: what the person sees, how the dialog ends,
// and that nothing of the job is in use once DoModal has returned.
#include <gtest/gtest.h>

#include <max.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <string>
#include <thread>

#include "particles/ParticleStateBuilder.h"
#include "plugin/resource.h"
#include "plugin_fixture.h"
#include "recalc/DlgProgress.h"
#include "recalc/RecalcDlg.h"
#include "recalc_support.h"

namespace {

std::string Text(HWND w) {
  char buf[256] = {0};
  GetWindowTextA(w, buf, int(sizeof buf));
  return buf;
}

class RecalcDialog : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    particles = new HeldParticleObject(2);
    node = ip()->CreateObjectNode(particles);
  }

  HeldParticleObject* particles = nullptr;
  INode* node = nullptr;
  ParticleStateBuilder builder;
};

}  // namespace

TEST_F(RecalcDialog, AWorkerDoneBeforeTheFirstTickEndsTheDialogWithSuccessAtThatTick) {
  DlgProgress dialog(&builder, Interval(0, 3 * kTpf), node, nullptr);
  ScriptedAgent agent;
  std::string caption, cancel, barClass;
  int lo = -1, hi = -1, pos = -1, step = -1, centreOffset = -1, boxWidth = 0;
  bool doneAtShow = false;
  agent.onShown = [&](HWND d) {
    caption = Text(d);
    cancel = Text(GetDlgItem(d, IDCANCEL));
    barClass = Win32WindowClass(GetDlgItem(d, IDC_RECALC_PROGRESS));
    Win32ProgressBarState(GetDlgItem(d, IDC_RECALC_PROGRESS), &lo, &hi, &pos, &step);
    RECT box, main;
    GetWindowRect(d, &box);
    GetWindowRect(ip()->GetMAXHWnd(), &main);
    centreOffset = std::abs((box.left + box.right) - (main.left + main.right)) +
                   std::abs((box.top + box.bottom) - (main.top + main.bottom));
    boxWidth = box.right - box.left;
    // Let the worker finish before the loop runs: the first tick then finds it done.
    for (int k = 0; k < 5000 && dialog.state() != DlgProgress::kFinished; ++k)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    doneAtShow = dialog.state() == DlgProgress::kFinished;
  };
  int endPos = -1;
  agent.onEnded = [&](HWND d, INT_PTR) { endPos = BarPosition(d); };

  EXPECT_EQ(dialog.DoModal(), 1);
  ASSERT_EQ(agent.shown.size(), 1u) << "the dialog is shown even for work that is over at once";
  EXPECT_TRUE(doneAtShow);
  EXPECT_EQ(caption, "Wakeweave");
  EXPECT_EQ(cancel, "Cancel");
  EXPECT_EQ(barClass, "msctls_progress32");
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 100);
  EXPECT_EQ(step, 1);
  EXPECT_EQ(pos, 0);
  EXPECT_LE(centreOffset, 2) << "centred over the host's main window";
  EXPECT_EQ(boxWidth, 186 * 6 / 4);
  EXPECT_EQ(agent.ended, std::vector<INT_PTR>{1});
  EXPECT_EQ(endPos, 100) << "the tick shows the last report before the dialog ends";
  // Ended by the first tick of the 250 ms timer, not before it and not a tick later.
  EXPECT_GE(agent.MsShown(), 240.0);
  EXPECT_LT(agent.MsShown(), 480.0);
  EXPECT_EQ(Win32RunningThreadCount(), 0);
  EXPECT_FALSE(dialog.isCancelled());
  ASSERT_EQ(builder.numParticles(), 2);
  EXPECT_EQ(builder.particle(1).numKeys(), 4);
}

TEST_F(RecalcDialog, TheBarShowsTheTruncatedPercentageOfTheLastReportAtEachTick) {
  // Three frames: the reports are 0, 160 and 320 of 480. Held first before any report (start only), then
  // at the sample after the report of 320.
  particles->HoldAtUpdate(1);
  particles->HoldAtUpdate(4);
  DlgProgress dialog(&builder, Interval(0, 3 * kTpf), node, nullptr);
  ScriptedAgent agent;
  int phase = 0, beforeReports = -1, atTwoThirds = -1;
  // Each observation waits for the idle moment after the one that saw the worker held: a tick has come
  // between them.
  agent.onIdle = [&](HWND d) {
    switch (phase) {
      case 0:
        if (particles->IsHeld()) phase = 1;
        break;
      case 1:
        beforeReports = BarPosition(d);
        phase = 2;
        particles->Release();
        break;
      case 2:
        if (particles->IsHeld()) phase = 3;
        break;
      case 3:
        atTwoThirds = BarPosition(d);
        phase = 4;
        particles->Release();
        break;
    }
  };
  int endPos = -1;
  agent.onEnded = [&](HWND d, INT_PTR) { endPos = BarPosition(d); };
  EXPECT_EQ(dialog.DoModal(), 1);
  EXPECT_EQ(phase, 4);
  EXPECT_EQ(beforeReports, 0) << "nothing done of the first total of 100";
  EXPECT_EQ(atTwoThirds, 66) << "320 of 480 is 66.67 %, truncated";
  EXPECT_EQ(endPos, 100);
}

TEST_F(RecalcDialog, AReportOfNoTotalLeavesTheBarAtZero) {
  // A range of one instant: the only report is 0 of 0.
  DlgProgress dialog(&builder, Interval(5 * kTpf, 5 * kTpf), node, nullptr);
  ScriptedAgent agent;
  int endPos = -1;
  agent.onEnded = [&](HWND d, INT_PTR) { endPos = BarPosition(d); };
  EXPECT_EQ(dialog.DoModal(), 1);
  EXPECT_EQ(dialog.total(), 0);
  EXPECT_EQ(endPos, 0);
  ASSERT_EQ(builder.numParticles(), 2);
  EXPECT_EQ(builder.particle(0).numKeys(), 1);
}

TEST_F(RecalcDialog, CancelEscAndTheCloseBoxStopTheWorkerWaitForItAndEndWithZero) {
  // Far more frames than a cancel lets the worker reach, each taking a moment.
  particles->SetUpdateDelay(std::chrono::milliseconds(2));
  struct Way {
    const char* name;
    BOOL (*act)(HWND);
  };
  const Way ways[] = {
      {"Cancel", [](HWND d) { return Win32PressButton(d, IDCANCEL); }},
      {"Esc", [](HWND d) { return Win32PressKey(d, VK_ESCAPE); }},
      {"close box", [](HWND d) { return Win32CloseWindow(d); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    ParticleStateBuilder recording;
    DlgProgress dialog(&recording, Interval(0, 100000 * kTpf), node, nullptr);
    const int updatesBefore = particles->Updates();
    ScriptedAgent agent;
    // The worker is under way before the person acts.
    agent.onShown = [&](HWND) {
      for (int k = 0; k < 5000 && particles->Updates() - updatesBefore < 2; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    bool acted = false;
    agent.onIdle = [&](HWND d) {
      if (!acted && dialog.state() == DlgProgress::kRunning) acted = way.act(d) != FALSE;
    };
    int runningAtEnd = -1;
    agent.onEnded = [&](HWND, INT_PTR) { runningAtEnd = Win32RunningThreadCount(); };
    EXPECT_EQ(dialog.DoModal(), 0);
    EXPECT_TRUE(acted);
    EXPECT_TRUE(dialog.isCancelled());
    EXPECT_EQ(runningAtEnd, 0) << "the dialog waited for the worker before it ended";
    EXPECT_EQ(dialog.state(), DlgProgress::kFinished);
    EXPECT_LT(particles->Updates() - updatesBefore, 5000);
    EXPECT_EQ(recording.numParticles(), 0);
    EXPECT_EQ(recording.getMaxLifeSpan(), -1);
  }
}

// The dialog gives up waiting for a worker that does not stop in time; DoModal must not return to a caller
// who frees the job and reads the recording while the worker still writes it.
TEST_F(RecalcDialog, AWorkerThatOutlivesTheDialogsWaitHasEndedBeforeDoModalReturns) {
  DlgProgress dialog(&builder, Interval(0, 10 * kTpf), node, nullptr);
  ScriptedAgent agent;
  OutlivedWait outlived(agent, particles);
  const int result = dialog.DoModal();
  outlived.CallerReturned();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(outlived.runningAtEnd, 1) << "the dialog's own wait gave up with the worker still held";
  EXPECT_FALSE(outlived.returnedBeforeRelease) << "DoModal returned while the worker was still running";
  EXPECT_EQ(Win32RunningThreadCount(), 0);
  EXPECT_EQ(builder.numParticles(), 0) << "the worker saw the cancel and emptied the recording";
}

TEST_F(RecalcDialog, ATimerOrThreadThatCannotBeCreatedIsReportedAndEndsWithZero) {
  struct Failure {
    void (*set)(BOOL);
    const char* text;
  };
  const Failure failures[] = {
      {Win32SetTimerCreationFails, "Could not create recalculation timer"},
      {Win32SetThreadCreationFails, "Could not create recalculation thread"},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.text);
    Win32Switch fails(f.set);
    ParticleStateBuilder recording;
    recording.addParticle(ParticleState());
    DlgProgress dialog(&recording, Interval(0, 3 * kTpf), node, nullptr);
    ScriptedAgent agent;
    const int updatesBefore = particles->Updates();
    EXPECT_EQ(dialog.DoModal(), 0);
    ASSERT_EQ(agent.shown.size(), 1u);
    ASSERT_EQ(agent.boxes.size(), 1u);
    EXPECT_EQ(agent.boxes[0].text, f.text);
    EXPECT_EQ(agent.boxes[0].caption, "Wakeweave");
    EXPECT_EQ(agent.boxes[0].type & MB_ICONMASK, UINT(MB_ICONERROR));
    EXPECT_EQ(agent.boxes[0].type & MB_TYPEMASK, UINT(MB_OK));
    EXPECT_EQ(agent.boxes[0].owner, agent.shown[0]) << "owned by the dialog";
    EXPECT_EQ(agent.ended, std::vector<INT_PTR>{0});
    EXPECT_EQ(particles->Updates(), updatesBefore) << "no worker ran";
    EXPECT_EQ(recording.numParticles(), 1) << "the recording is left as it was";
    EXPECT_EQ(Win32RunningThreadCount(), 0);
  }
}

TEST_F(RecalcDialog, TheWorkerRunsItsJobAtTheHostsFrameStep) {
  EXPECT_EQ(RecalcThreadProc(nullptr), 0u);

  SetTicksPerFrame(200);
  DlgProgress progress(&builder, Interval(320, 960), node, nullptr);
  EXPECT_EQ(RecalcThreadProc(progress.job()), 1u);
  // The range's end first, then a sample every frame of 200 ticks, then back to the scene time.
  EXPECT_EQ(particles->UpdateTimes(), (std::vector<TimeValue>{960, 320, 520, 720, 920, 0}));
  EXPECT_EQ(progress.state(), DlgProgress::kFinished);
  EXPECT_EQ(progress.current(), 600);
  EXPECT_EQ(progress.total(), 640);
  ASSERT_EQ(builder.numParticles(), 2);
  EXPECT_EQ(builder.particle(0).numKeys(), 4);

  // The events go to the recorder: none of these particles is in the one chosen event.
  Tab<INode*> events;
  INode* other = ip()->CreateObjectNode(nullptr);
  events.Append(1, &other);
  DlgProgress filtered(&builder, Interval(320, 960), node, &events);
  EXPECT_EQ(filtered.job()->pEvents, &events);
  EXPECT_EQ(filtered.job()->pProgress, &filtered);
  EXPECT_EQ(RecalcThreadProc(filtered.job()), 1u);
  ASSERT_EQ(builder.numParticles(), 2);
  EXPECT_EQ(builder.particle(0).numKeys(), 0);
  EXPECT_EQ(builder.particle(1).numKeys(), 0);

  // A failed recording (no particle system) is still a job done.
  DlgProgress none(&builder, Interval(0, 960), nullptr, nullptr);
  EXPECT_EQ(RecalcThreadProc(none.job()), 1u);
  EXPECT_EQ(builder.numParticles(), 0);
}
