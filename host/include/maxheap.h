#pragma once
// The host's heap operators: objects handed to the host are allocated and freed through the host's heap,
// so a module never frees memory that another allocated with a different runtime.
#include "maxtypes.h"
#include <cstddef>
#include <new>

HOSTAPI void* MAX_malloc(size_t size);
HOSTAPI void MAX_free(void* p);
// Live allocations made through the heap operators (for leak checks in tests).
HOSTAPI long MAX_heapLiveCount();

class MaxHeapOperators {
 public:
  static void* operator new(size_t size) {
    void* p = MAX_malloc(size);
    if (!p) throw std::bad_alloc();
    return p;
  }
  static void* operator new(size_t size, const std::nothrow_t&) noexcept { return MAX_malloc(size); }
  static void* operator new(size_t, void* where) noexcept { return where; }
  static void* operator new[](size_t size) {
    void* p = MAX_malloc(size);
    if (!p) throw std::bad_alloc();
    return p;
  }
  static void operator delete(void* p) noexcept { MAX_free(p); }
  static void operator delete(void* p, const std::nothrow_t&) noexcept { MAX_free(p); }
  static void operator delete(void*, void*) noexcept {}
  static void operator delete[](void* p) noexcept { MAX_free(p); }
};
