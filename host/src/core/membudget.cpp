#include "membudget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<uint64_t> g_budget{0};

// Physical memory, or the address-space limit (ulimit -v) when that is lower.
uint64_t UsableMemory() {
  uint64_t total = UINT64_MAX;
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) total = uint64_t(pages) * uint64_t(pageSize);
  struct rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    total = std::min<uint64_t>(total, uint64_t(limit.rlim_cur));
  return total == UINT64_MAX ? uint64_t(1) << 32 : total;
}

}  // namespace

uint64_t DefaultEvalMemoryBudget() { return UsableMemory() / 4; }

uint64_t GetEvalMemoryBudget() {
  const uint64_t set = g_budget.load();
  return set ? set : DefaultEvalMemoryBudget();
}

uint64_t SetEvalMemoryBudget(uint64_t bytes) { return g_budget.exchange(bytes); }
