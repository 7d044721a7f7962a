// Replaces the global allocation functions of this test program so that a test can see how much a
// load asks for. Plain malloc/free underneath, so the sanitizers still see every block.
#include "alloc_meter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> g_on{false};
std::atomic<size_t> g_largest{0}, g_total{0}, g_count{0};

void Note(size_t n) {
  if (!g_on.load(std::memory_order_relaxed)) return;
  size_t prev = g_largest.load(std::memory_order_relaxed);
  while (n > prev && !g_largest.compare_exchange_weak(prev, n, std::memory_order_relaxed)) {
  }
  g_total.fetch_add(n, std::memory_order_relaxed);
  g_count.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

namespace alloc_meter {
void Start() {
  g_largest = 0;
  g_total = 0;
  g_count = 0;
  g_on = true;
}
Reading Stop() {
  g_on = false;
  return Reading{g_largest.load(), g_total.load(), g_count.load()};
}
}  // namespace alloc_meter

void* operator new(size_t n) {
  Note(n);
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  Note(n);
  return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
