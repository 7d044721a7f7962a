#include "plain_baseline.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace bench {

namespace {

// Removes the run's folder when the program ends.
struct TempDir {
  std::string path;
  ~TempDir() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
};

// A baseline repeats until it has taken this long as well: one of a few microseconds, measured a few
// times, would move with every cache miss; a write, with the page cache's state.
constexpr double kFillMinMs = 20.0;
constexpr double kWriteMinMs = 100.0;
constexpr int kBaselineMaxReps = 1 << 20;

// Runs once(r) for r = 0, 1, ... at least reps times and until minMs have passed, looking at the clock
// only after each doubling; the mean of one.
template <class Once>
Millis MeanOfRepeats(int reps, double minMs, Once once) {
  const Stopwatch watch;
  int done = 0;
  for (int batch = reps < 1 ? 1 : reps;; batch = done) {
    for (int end = done + batch; done < end; ++done) once(done);
    if (done >= kBaselineMaxReps) break;
    if (watch.Elapsed().cpu >= minMs) break;
  }
  return watch.Elapsed() / done;
}

}  // namespace

double Stopwatch::CpuNow() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double Stopwatch::WallNow() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<size_t> MeshArrayBytes(const Mesh& mesh) {
  std::vector<size_t> arrays = {size_t(mesh.getNumVerts()) * sizeof(Point3), size_t(mesh.getNumFaces()) * sizeof(Face)};
  for (int mp = 0; mp < mesh.getNumMaps(); ++mp) {
    if (!mesh.mapSupport(mp)) continue;
    arrays.push_back(size_t(mesh.getNumMapVerts(mp)) * sizeof(UVVert));
    arrays.push_back(size_t(mesh.getNumMapFaces(mp)) * sizeof(TVFace));
  }
  return arrays;
}

size_t TotalBytes(const std::vector<size_t>& arrays) {
  size_t sum = 0;
  for (size_t b : arrays) sum += b;
  return sum;
}

Millis PlainFill(const std::vector<size_t>& arrays, int reps) {
  std::vector<unsigned char*> blocks(arrays.size(), nullptr);
  return MeanOfRepeats(reps, kFillMinMs, [&](int r) {
    for (size_t i = 0; i < arrays.size(); ++i) blocks[i] = new unsigned char[arrays[i] ? arrays[i] : 1];
    // A value other than zero, so that no page can stay the kernel's shared zero page.
    for (size_t i = 0; i < arrays.size(); ++i) {
      std::memset(blocks[i], 0x5a + (r & 1), arrays[i]);
      benchmark::DoNotOptimize(blocks[i]);
    }
    benchmark::ClobberMemory();
    for (unsigned char*& b : blocks) {
      delete[] b;
      b = nullptr;
    }
  });
}

const std::string& OutputDir() {
  static TempDir dir = [] {
    TempDir d;
    if (const char* env = std::getenv("WAKEWEAVE_BENCH_DIR"); env && *env) {
      std::filesystem::create_directories(env);
      d.path = std::string(env) + "/wakeweave-bench-XXXXXX";
    } else {
      d.path = "/tmp/wakeweave-bench-XXXXXX";
    }
    if (!mkdtemp(d.path.data())) throw std::runtime_error("cannot create a folder for the written files");
    return d;
  }();
  return dir.path;
}

Millis PlainWrite(const std::vector<size_t>& fileBytes, int reps) {
  size_t largest = 0;
  for (size_t b : fileBytes) largest = b > largest ? b : largest;
  // The bytes exist before the clock starts, as a writer's text would if it were free to make.
  std::unique_ptr<char[]> bytes(new char[largest ? largest : 1]);
  std::memset(bytes.get(), 'x', largest);
  const std::string dir = OutputDir();
  const Millis mean = MeanOfRepeats(reps, kWriteMinMs, [&](int) {
    for (size_t f = 0; f < fileBytes.size(); ++f) {
      const std::string target = dir + "/plain" + std::to_string(f), temp = target + ".tmp";
      int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) throw std::runtime_error("cannot create " + temp);
      for (size_t done = 0; done < fileBytes[f];) {
        ssize_t n = ::write(fd, bytes.get() + done, fileBytes[f] - done);
        if (n <= 0) throw std::runtime_error("cannot write " + temp);
        done += size_t(n);
      }
      if (::close(fd) != 0 || std::rename(temp.c_str(), target.c_str()) != 0)
        throw std::runtime_error("cannot finish " + target);
    }
  });
  for (size_t f = 0; f < fileBytes.size(); ++f) std::remove((dir + "/plain" + std::to_string(f)).c_str());
  return mean;
}

int BaselineReps(const benchmark::State& state) {
  return int(std::max<benchmark::IterationCount>(state.iterations(), 3));
}

Millis PerIteration(const Millis& total, const benchmark::State& state) {
  return total / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

void ReportBeside(benchmark::State& state, const std::string& name, const Millis& measured, const std::string& baseName,
                  const Millis& base, double limit) {
  state.counters[name + "_ms"] = measured.cpu;
  state.counters[baseName + "_ms"] = base.cpu;
  state.counters[name + "_wall_ms"] = measured.wall;
  state.counters[baseName + "_wall_ms"] = base.wall;
  state.counters["ratio"] = base.cpu > 0 ? measured.cpu / base.cpu : 0.0;
  state.counters["limit"] = limit;
}

size_t FileBytes(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? size_t(st.st_size) : 0;
}

}  // namespace bench
