// The host's heap: plain malloc/free with a count of live blocks for leak checks.
#include "maxheap.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<long> g_live{0};
}

void* MAX_malloc(size_t size) {
  // malloc(0) may return nullptr, which callers would take for failure.
  void* p = malloc(size ? size : 1);
  if (p) g_live.fetch_add(1, std::memory_order_relaxed);
  return p;
}

void MAX_free(void* p) {
  if (!p) return;
  g_live.fetch_sub(1, std::memory_order_relaxed);
  free(p);
}

long MAX_heapLiveCount() { return g_live.load(std::memory_order_relaxed); }
