// Counts live bytes by the size malloc really gave each block, so a block is counted the same at its
// allocation and at its release.
#include "heap_meter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> g_live{0}, g_peak{0}, g_start{0};

void* Counted(void* p) {
  if (!p) return nullptr;
  size_t live = g_live.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) + malloc_usable_size(p);
  size_t peak = g_peak.load(std::memory_order_relaxed);
  while (live > peak && !g_peak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
  return p;
}

void Release(void* p) {
  if (!p) return;
  g_live.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
  std::free(p);
}
}  // namespace

namespace heap_meter {
void Reset() {
  g_start = g_live.load();
  g_peak = g_start.load();
}
size_t PeakAboveStart() { return g_peak.load() - g_start.load(); }
}  // namespace heap_meter

void* operator new(size_t n) {
  void* p = Counted(std::malloc(n ? n : 1));
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return Counted(std::malloc(n ? n : 1)); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return Counted(std::malloc(n ? n : 1)); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
