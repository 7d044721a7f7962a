// Settings that would need more memory or time than there is: the memory budget, allocation failure,
// times beyond the 32-bit time line, and path lengths over very long ranges.
#include <membudget.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <string>

#include "path_reference.h"
#include "sanitized_build.h"
#include "trail_scene.h"

namespace {

const char kFailed[] = "Wakeweave::ModifyObject failed: ";

// Sets the evaluation memory budget for one test and puts the previous setting back.
class BudgetGuard {
 public:
  explicit BudgetGuard(uint64_t bytes) : prev_(SetEvalMemoryBudget(bytes)) {}
  ~BudgetGuard() { SetEvalMemoryBudget(prev_); }
  void Set(uint64_t bytes) { SetEvalMemoryBudget(bytes); }

 private:
  uint64_t prev_;
};

// How far the peak resident size of this process (getrusage) rose while `run` ran, in KiB. The peak is
// first reset to the present, so that what an earlier test used does not hide the growth.
template <class F>
long PeakGrowthKb(F run) {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  run();
  getrusage(RUSAGE_SELF, &after);
  return after.ru_maxrss - before.ru_maxrss;
}

// The bytes named by the budget line, or 0 when there is none.
uint64_t BudgetNeeds(const DebugCapture& debug, uint64_t* budget = nullptr) {
  const std::string prefix = std::string(kFailed) + "out of memory budget (needs ";
  for (const std::string& l : debug.lines) {
    if (l.compare(0, prefix.size(), prefix) != 0) continue;
    uint64_t needs = 0, has = 0;
    if (std::sscanf(l.c_str() + prefix.size(), "%" SCNu64 " bytes, budget %" SCNu64 " bytes)", &needs, &has) != 2)
      continue;
    EXPECT_EQ(l.back(), '\n');
    if (budget) *budget = has;
    return needs;
  }
  return 0;
}

// A position controller that counts how often it is asked: the cost of measuring a node's path.
class CountingPositionControl : public LinearPositionControl {
 public:
  void GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod method) override {
    ++calls;
    LinearPositionControl::GetValue(t, val, valid, method);
  }
  long calls = 0;
};

}  // namespace

class Bounds : public TrailTest {
 protected:
  // The circle trail that needs gigabytes: 404 points per sample (4 segments of 101 steps).
  INode* HeavyCircle(Wakeweave** mod, int oldFrames, float spf) {
    INode* node = MovingNode(Circle(10.0f), mod);
    Set(*mod, pb_old_frames, oldFrames);
    Set(*mod, pb_segments_per_frame, spf);
    Set(*mod, pb_spline_steps, 100);
    return node;
  }
};

TEST_F(Bounds, MeshNeedingGigabytesFailsOnTheBudgetBeforeItIsAllocated) {
  Wakeweave* mod;
  INode* node = HeavyCircle(&mod, 1000, 1000.0f);  // a million samples
  BudgetGuard budget(64u << 20);
  DebugCapture debug;
  const long grownKb = PeakGrowthKb([&] { EXPECT_TRUE(IsFallbackTriangle(EvalMesh(node, 50 * kTpf))); });
  uint64_t has = 0;
  const uint64_t needs = BudgetNeeds(debug, &has);
  // At least the vertices: 400 points x 10^6 samples x 12 bytes.
  EXPECT_GT(needs, uint64_t(400) * 1000000 * sizeof(Point3));
  EXPECT_EQ(has, uint64_t(64) << 20);
  // The times themselves (4 MB) are allowed for; the mesh is not.
  EXPECT_LT(grownKb, 48 * 1024) << "peak grew by " << grownKb << " KiB";
  EXPECT_TRUE(LockIsFree(mod));
}

TEST_F(Bounds, SampleTimesAreBoundedBeforeTheyAreFilled) {
  Wakeweave* mod;
  INode* node = MovingNode(Dot(), &mod);
  Set(mod, pb_old_frames, 100000);
  Set(mod, pb_segments_per_frame, 40.0f);  // four million samples: 16 MB of times, 32 MB of path lengths
  BudgetGuard budget(1u << 20);
  DebugCapture debug;
  const long grownKb = PeakGrowthKb([&] { EXPECT_TRUE(IsFallbackTriangle(EvalMesh(node, 50 * kTpf))); });
  EXPECT_GE(BudgetNeeds(debug), uint64_t(4000000) * sizeof(int));
  EXPECT_LT(grownKb, 8 * 1024) << "peak grew by " << grownKb << " KiB";
}

TEST_F(Bounds, BudgetLineNamesTheBytesThatAreChecked) {
  Wakeweave* mod;
  INode* node = MovingNode(Polyline({Point3(0, 0, 0), Point3(0, 10, 0)}, false), &mod);
  Set(mod, pb_old_frames, 3);  // 4 samples of 2 points: 8 vertices, 6 faces, 8 texture vertices
  Set(mod, pb_spline_steps, 0);
  BudgetGuard budget(1);
  auto needsAt = [&](uint64_t bytes) {
    budget.Set(bytes);
    DebugCapture debug;
    mod->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    const bool fell = IsFallbackTriangle(EvalMesh(node, 50 * kTpf));
    const uint64_t needs = BudgetNeeds(debug);
    EXPECT_EQ(fell, needs != 0) << bytes;
    return needs;
  };
  // First the sample times are checked, then the whole output, which includes them.
  const uint64_t samples = needsAt(1);
  ASSERT_GT(samples, 0u);
  const uint64_t all = needsAt(samples);
  ASSERT_GT(all, samples);
  EXPECT_EQ(needsAt(all - 1), all);
  EXPECT_EQ(needsAt(all), 0u);
  EXPECT_EQ(EvalMesh(node, 50 * kTpf).getNumVerts(), 8);
  // The age map's channel adds its vertices and faces.
  Set(mod, pb_generate_age_map, 1);
  EXPECT_EQ(needsAt(samples), all + 8 * sizeof(UVVert) + 6 * sizeof(TVFace));
  Set(mod, pb_generate_age_map, 0);
  Set(mod, pb_generate_map, 0);
  EXPECT_EQ(needsAt(samples), all - 8 * sizeof(UVVert) - 6 * sizeof(TVFace));
}

// The budget is huge but the address space is not: the mesh cannot be sized. Run in a child process,
// whose address space can be limited without harming the test program.
TEST_F(Bounds, MeshThatCannotBeAllocatedGivesTheFallbackNotACrash) {
  if (WAKEWEAVE_SANITIZED) GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
  Wakeweave* mod;
  // 10 001 samples of 404 points: 48 MB of vertices, 160 MB of faces, 100 MB of texture vertices.
  INode* node = HeavyCircle(&mod, 10, 1000.0f);
  std::fflush(nullptr);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    SetEvalMemoryBudget(uint64_t(1) << 62);
    long vmKb = 0;
    std::ifstream status("/proc/self/status");
    for (std::string l; std::getline(status, l);)
      if (l.rfind("VmSize:", 0) == 0) vmKb = std::stol(l.substr(7));
    rlimit lim{};
    lim.rlim_cur = lim.rlim_max = rlim_t(vmKb + 96 * 1024) * 1024;
    if (vmKb == 0 || setrlimit(RLIMIT_AS, &lim) != 0) _exit(10);
    std::vector<std::string> lines;
    SetDebugSink([&](const std::string& s) { lines.push_back(s); });
    const ObjectState& os = node->EvalWorldState(50 * kTpf);
    TriObject* tri = dynamic_cast<TriObject*>(os.obj);
    if (!tri || !IsFallbackTriangle(tri->GetMesh())) _exit(11);
    int reasons = 0;
    for (const std::string& l : lines) reasons += l == std::string(kFailed) + "not enough memory to size the mesh\n";
    _exit(reasons == 1 ? 0 : 12);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "the evaluation died of signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no limit set, 11: not the fallback, 12: reason missing";
}

TEST_F(Bounds, EvaluationsWriteNoElementOutOfRange) {
  AssertCapture asserts;
  Wakeweave* mod;
  SplineShape* two = Polyline({Point3(0, 0, 0), Point3(0, 1, 0), Point3(0, 2, 0)}, false);
  AddPolyline(two, {Point3(1, 0, 0), Point3(2, 0, 0), Point3(2, 1, 0)}, true);
  INode* node = MovingNode(two, &mod);
  Set(mod, pb_generate_age_map, 1);
  for (int flip = 0; flip < 2; ++flip)
    for (int mapType = 0; mapType < 2; ++mapType) {
      Set(mod, pb_flip_normals, flip);
      Set(mod, pb_maptype, mapType);
      Set(mod, pb_moving_or_still, flip);
      EXPECT_GT(EvalMesh(node, 1600 + 80 * mapType).getNumFaces(), 0);
    }
  EXPECT_TRUE(IsFallbackTriangle(EvalMesh(node, -100 * kTpf)));
  EXPECT_EQ(asserts.Count(), 0u);
}

TEST_F(Bounds, PresentAtTheStartOfTheTimeLineFailsWithTheReason) {
  // The circle trail of the examples (12 frames of lag, 2 segments per frame) at frame -13421772.
  Wakeweave* mod = NewModifier();
  INode* node = AddNode("Circle001", Circle(10.0f), mod);
  KeyPosition(node, 0, Point3(0, 0, 0));
  KeyPosition(node, 50 * kTpf, Point3(200, 80, 0));
  KeyPosition(node, 100 * kTpf, Point3(400, 0, 0));
  Set(mod, pb_old_frames, 12);
  Set(mod, pb_segments_per_frame, 2.0f);
  Set(mod, pb_spline_steps, 3);
  DebugCapture debug;
  EXPECT_TRUE(IsFallbackTriangle(EvalMesh(node, -13421772 * kTpf)));
  EXPECT_EQ(debug.Count(std::string(kFailed) + "sample times out of range\n"), 1);
  // Anchored, the same moment is before the range: that reason stays.
  Set(mod, pb_moving_or_still, 1);
  DebugCapture anchored;
  EXPECT_TRUE(IsFallbackTriangle(EvalMesh(node, -13421772 * kTpf + 1)));
  EXPECT_EQ(anchored.Count(std::string(kFailed) + "frame range invalid\n"), 1);
  // A trail ending inside the time line is drawn.
  EXPECT_FALSE(IsFallbackTriangle(EvalMesh(node, 30 * kTpf)));
}

TEST_F(Bounds, AnchoredTrailOverTheWholeTimeLine) {
  // Ends four billion ticks apart: their difference does not fit an int.
  Wakeweave* mod = NewModifier();
  INode* node = AddNode("Runner", Dot(), mod);
  const int from = -2000000000, to = 2000000000;
  KeyPosition(node, from, Point3(-2.0e6f, 0.0f, 0.0f));  // a unit every thousand ticks
  KeyPosition(node, to, Point3(2.0e6f, 0.0f, 0.0f));
  ip()->SetAnimRange(Interval(from, to));
  Set(mod, pb_moving_or_still, 1);
  Set(mod, pb_segments_per_frame, 0.0001f);  // a sample every 1.6 million ticks
  Mesh& m = EvalMesh(node, to);
  ASSERT_FALSE(IsFallbackTriangle(m));
  const double tps = 160.0 / double(0.0001f);
  const int n = int(4.0e9 / tps);
  ASSERT_EQ(m.getNumVerts(), n + 2);
  EXPECT_NEAR(m.verts[0].x * 1000.0, double(from) - to, 1e4);
  EXPECT_NEAR(m.verts[n].x * 1000.0, std::trunc(n * tps) - 4.0e9, 1e4);
  EXPECT_EQ(m.verts[n + 1].x, 0.0f);
}

TEST_F(Bounds, OrdinaryRangesKeepTheirPathLengths) {
  // A zigzag whose corners fall inside sub-steps, so that the sub-step size shows in the lengths.
  Wakeweave* mod = NewModifier();
  INode* node = AddNode("Zigzag", Dot(), mod);
  KeyPosition(node, 0, Point3(0, 0, 0));
  KeyPosition(node, 250, Point3(40, 30, 0));
  KeyPosition(node, 777, Point3(-20, 90, 5));
  KeyPosition(node, 2100, Point3(60, 10, -7));
  KeyPosition(node, 20 * kTpf, Point3(100, 100, 0));
  ip()->SetAnimRange(Interval(0, 20 * kTpf));
  Set(mod, pb_moving_or_still, 1);
  Set(mod, pb_segments_per_frame, 3.0f);
  const TimeValue t = 13 * kTpf + 50;
  Mesh& m = EvalMesh(node, t);
  ASSERT_FALSE(IsFallbackTriangle(m));
  const int N = m.getNumTVerts();
  ASSERT_EQ(N, m.getNumVerts());
  // The sample times and the path lengths by the old rule: sub-step half a step, at least a frame.
  const double tps = (1.0 / 3.0f) * kTpf;  // as the frame range computes it, to the last bit
  std::vector<int> times;
  for (int i = 0; double(i) <= (t - 0) / tps; ++i) times.push_back(int(i * tps));
  times.push_back(t);
  ASSERT_EQ(int(times.size()), N);
  const int64_t sub = std::max<int64_t>(int64_t(tps / 2.0), kTpf);
  const double total = ReferencePathLength(node, 0, 20 * kTpf, sub, kTpf);
  std::vector<double> expected;
  double acc = 0;
  for (int i = 0; i < N; ++i) {
    acc += ReferencePathLength(node, i ? times[size_t(i - 1)] : times[0], times[size_t(i)], sub, kTpf);
    expected.push_back(acc / total);
  }
  for (int i = 0; i + 1 < N; ++i)
    EXPECT_NEAR(m.tVerts[i].y, expected[size_t(i)], 1e-6 * expected[size_t(i)] + 1e-7) << "sample " << i;
  // The present, interpolated between the last two path samples as before.
  const int64_t last = std::abs((times[size_t(N - 2)] - times[size_t(N - 1)]) / 5);
  const double A = ReferencePathLength(node, times[size_t(N - 2)], t, last, kTpf);
  const double B = ReferencePathLength(node, times[size_t(N - 2)], times[size_t(N - 1)], last, kTpf);
  const double present = B < 1e-6
                             ? expected[size_t(N - 2)]
                             : expected[size_t(N - 2)] + (A / B) * (expected[size_t(N - 1)] - expected[size_t(N - 2)]);
  EXPECT_NEAR(m.tVerts[N - 1].y, present, 1e-6);
}

TEST_F(Bounds, PathLengthsOverTenMillionFramesCostWhatTheSamplesCost) {
  Wakeweave* mod = NewModifier();
  INode* node = AddNode("Runner", Dot(), mod);
  auto* counter = new CountingPositionControl();
  node->SetPositionController(counter);
  const int end = 10000000 * kTpf;
  KeyPosition(node, 0, Point3(0, 0, 0));
  KeyPosition(node, end, Point3(float(end) / 1000.0f, 0.0f, 0.0f));
  ip()->SetAnimRange(Interval(0, end));
  Set(mod, pb_moving_or_still, 1);
  const auto start = std::chrono::steady_clock::now();
  Mesh& m = EvalMesh(node, 50 * kTpf);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(m.getNumTVerts(), 52);
  // The whole range is measured in at most 65 536 sub-steps, the samples in a few each.
  EXPECT_LT(counter->calls, 100000) << seconds << " s";
  // V is the share of the whole range's path covered, here proportional to time.
  for (int i = 0; i < 51; ++i) EXPECT_NEAR(m.tVerts[i].y, double(i * kTpf) / end, 1e-4 * i * kTpf / end) << i;
}
