#pragma once
// The limits each figure is shown beside: a plain fill of a mesh's arrays (allocate, write every byte once,
// free) and a plain write of a file's bytes. Measured in the same run as the work they bound, so that a
// machine shared with other work slows both alike.
#include <benchmark/benchmark.h>
#include <max.h>

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

// Milliseconds of a piece of work. The figures compare CPU time (the process's, kernel time included, so
// page faults and write(2) count): on a machine shared with other work the wall clock also counts the time
// other programs held the cores. The wall time is kept beside it.
struct Millis {
  double cpu = 0, wall = 0;
  Millis& operator+=(const Millis& o) {
    cpu += o.cpu;
    wall += o.wall;
    return *this;
  }
  Millis operator/(double n) const { return Millis{cpu / n, wall / n}; }
};

class Stopwatch {
 public:
  Stopwatch() : cpu_(CpuNow()), wall_(WallNow()) {}
  Millis Elapsed() const { return Millis{CpuNow() - cpu_, WallNow() - wall_}; }

 private:
  static double CpuNow();
  static double WallNow();
  double cpu_, wall_;
};

// The byte sizes of the arrays an evaluation fills: vertices, faces, and the vertices and faces of every
// map channel in use (channel 1 texture coordinates, channel 2 the age map).
std::vector<size_t> MeshArrayBytes(const Mesh& mesh);
size_t TotalBytes(const std::vector<size_t>& arrays);

// One plain fill of arrays of these sizes (all allocated, each written whole, all freed): the mean of at
// least `reps` fills and of at least 20 ms of them.
Millis PlainFill(const std::vector<size_t>& arrays, int reps);

// A folder of this run for written files (WAKEWEAVE_BENCH_DIR, else a new folder under /tmp), removed at
// exit with what is left in it.
const std::string& OutputDir();

// A plain write of files of these sizes to the same folder, each as the exporters write theirs: a temporary
// written with write(2), closed and renamed over the target. The mean of at least `reps` writes and of at
// least 100 ms of them.
Millis PlainWrite(const std::vector<size_t>& fileBytes, int reps);

// Size of a file in bytes; 0 when it does not exist.
size_t FileBytes(const std::string& path);

// Repetitions of a baseline for a case that ran `state`'s iterations: as many, and at least 3.
int BaselineReps(const benchmark::State& state);
// The mean of a total over state's iterations.
Millis PerIteration(const Millis& total, const benchmark::State& state);

// Counters <name>_ms and <baseName>_ms (CPU time, what the ratio compares), <name>_wall_ms and
// <baseName>_wall_ms, ratio and limit: the summary at the end of the run lists the case by them.
void ReportBeside(benchmark::State& state, const std::string& name, const Millis& measured, const std::string& baseName,
                  const Millis& base, double limit);

}  // namespace bench
