#pragma once
// The largest single allocation made while tracking is on: catches a loader that sizes a buffer from a
// number read from a file. Replacing the global operator new reaches the host library too. Include in one
// source file of a test program only: it defines the program's operator new and delete.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

static std::atomic<bool> g_trackAllocs{false};
static std::atomic<size_t> g_largestAlloc{0};

inline void* MeteredAlloc(size_t n) {
  if (g_trackAllocs.load(std::memory_order_relaxed)) {
    size_t prev = g_largestAlloc.load(std::memory_order_relaxed);
    while (n > prev && !g_largestAlloc.compare_exchange_weak(prev, n)) {
    }
  }
  return std::malloc(n ? n : 1);
}

// Every form of the pair is replaced, so that whatever form allocates, its delete is the matching free.
void* operator new(size_t n) {
  if (void* p = MeteredAlloc(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) {
  if (void* p = MeteredAlloc(n)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t n, const std::nothrow_t&) noexcept { return MeteredAlloc(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return MeteredAlloc(n); }
// GCC cannot tell that these replace the global pair and warns that free() does not match operator new.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

// Tracks the allocations made while alive.
class LargestAlloc {
 public:
  LargestAlloc() {
    g_largestAlloc = 0;
    g_trackAllocs = true;
  }
  ~LargestAlloc() { g_trackAllocs = false; }
  size_t Bytes() const { return g_largestAlloc.load(); }
};
