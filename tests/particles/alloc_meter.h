#pragma once
// Counts what the global operator new hands out while metering is on (this test program replaces it).
#include <cstddef>

namespace alloc_meter {
struct Reading {
  size_t largest = 0;  // largest single request
  size_t total = 0;    // sum of all requests
  size_t count = 0;
};
void Start();
Reading Stop();
}  // namespace alloc_meter
