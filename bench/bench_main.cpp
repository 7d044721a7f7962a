// The benchmark program: Google Benchmark's usual output, then a table of every case that carries a limit,
// each figure beside its baseline measured in the same run, their ratio and the limit the ratio must keep.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct Row {
  std::string name, unit, error;
  double value = 0, base = 0, ratio = 0, limit = 0;
};

// A case carries a limit by its counters: eval_ms beside fill_ms, write_ms beside plain_ms, or peak_MB
// beside mesh_MB, with ratio and limit.
bool RowOf(const benchmark::BenchmarkReporter::Run& run, Row& row) {
  const auto& c = run.counters;
  static const char* const kPairs[][3] = {
      {"eval_ms", "fill_ms", "ms"}, {"write_ms", "plain_ms", "ms"}, {"peak_MB", "mesh_MB", "MB"}};
  row.name = run.benchmark_name();
  if (run.error_occurred) {
    row.error = run.error_message;
    return true;
  }
  if (!c.count("ratio") || !c.count("limit")) return false;
  for (const auto& p : kPairs) {
    if (c.count(p[0]) && c.count(p[1])) {
      row.value = c.at(p[0]).value;
      row.base = c.at(p[1]).value;
      row.unit = p[2];
      row.ratio = c.at("ratio").value;
      row.limit = c.at("limit").value;
      return true;
    }
  }
  return false;
}

class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  explicit SummaryReporter(OutputOptions opts) : ConsoleReporter(opts) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      Row row;
      if (run.run_type == Run::RT_Iteration && RowOf(run, row)) rows_.push_back(row);
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    if (rows_.empty()) return;
    GetOutputStream().flush();
    std::FILE* out = stdout;
    size_t width = 4;
    for (const Row& r : rows_) width = r.name.size() > width ? r.name.size() : width;
    std::fprintf(out,
                 "\nEach figure beside its baseline in the same run: an evaluation beside a plain fill of its output's "
                 "arrays,\na writer beside a plain write of the same bytes (both in CPU time, the process's, kernel "
                 "time included;\nthe wall times are in the counters above), the peak heap of an export beside the "
                 "mesh arrays' bytes.\n\n");
    std::fprintf(out, "%-*s %12s %12s %4s %9s %7s  %s\n", int(width), "case", "measured", "baseline", "", "ratio",
                 "limit", "");
    int over = 0;
    for (const Row& r : rows_) {
      if (!r.error.empty()) {
        std::fprintf(out, "%-*s  error: %s\n", int(width), r.name.c_str(), r.error.c_str());
        ++over;
        continue;
      }
      const bool within = r.ratio <= r.limit;
      over += !within;
      std::fprintf(out, "%-*s %12.3f %12.3f %-4s %8.2fx %6.1fx  %s\n", int(width), r.name.c_str(), r.value, r.base,
                   r.unit.c_str(), r.ratio, r.limit, within ? "within" : "OVER");
    }
    std::fprintf(out, "\n%zu cases, %d over their limit or failed\n", rows_.size(), over);
    std::fflush(out);
  }

 private:
  std::vector<Row> rows_;
};

}  // namespace

int main(int argc, char** argv) {
  // Every block from the heap, which is never trimmed: glibc otherwise gives large blocks pages of their
  // own, slides that threshold as they are freed and trims the heap's top, and the same fill of the same
  // arrays took 1x or 30x by what had run before it (fresh pages fault at about 1.5 GB/s). So each
  // evaluation after the first, and each fill, writes memory the process already has: both are measured
  // at the speed of memory, page faults apart. The peak heap is counted by the program's allocation
  // functions and does not depend on this.
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, -1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Color
                                                 : benchmark::ConsoleReporter::OO_None);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
