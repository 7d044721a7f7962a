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
  if (reps < 1) reps = 1;
  std::vector<unsigned char*> blocks(arrays.size(), nullptr);
  // One watch around all the repetitions: a small fill takes microseconds, a call to the CPU clock nearly one.
  const Stopwatch watch;
  for (int r = 0; r < reps; ++r) {
    for (size_t i = 0; i < arrays.size(); ++i) blocks[i] = new unsigned char[arrays[i] ? arrays[i] : 1];
    // A value other than zero, so that no page can stay the kernel's shared zero page.
    for (size_t i = 0; i < arrays.size(); ++i) {
      std::memset(blocks[i], 0x5a + r, arrays[i]);
      benchmark::DoNotOptimize(blocks[i]);
    }
    benchmark::ClobberMemory();
    for (unsigned char*& b : blocks) {
      delete[] b;
      b = nullptr;
    }
  }
  return watch.Elapsed() / reps;
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
  if (reps < 1) reps = 1;
  size_t largest = 0;
  for (size_t b : fileBytes) largest = b > largest ? b : largest;
  // The bytes exist before the clock starts, as a writer's text would if it were free to make.
  std::unique_ptr<char[]> bytes(new char[largest ? largest : 1]);
  std::memset(bytes.get(), 'x', largest);
  const std::string dir = OutputDir();
  const Stopwatch watch;
  for (int r = 0; r < reps; ++r) {
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
  }
  const Millis elapsed = watch.Elapsed() / reps;
  for (size_t f = 0; f < fileBytes.size(); ++f) std::remove((dir + "/plain" + std::to_string(f)).c_str());
  return elapsed;
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
