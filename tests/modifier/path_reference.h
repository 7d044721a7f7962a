#pragma once
// The length of a node's path as it was first measured: the position decomposed out of the node's
// transform at every point, the start asked twice. Kept as the reference for path-length mapping.
#include <max.h>

#include <algorithm>
#include <cstdint>

inline double ReferencePathLength(INode* node, TimeValue t0, TimeValue t1, int64_t step, int tpf) {
  auto pos = [&](int64_t t) {
    AffineParts parts;
    decomp_affine(node->GetNodeTM(TimeValue(t)), &parts);
    return parts.t;
  };
  if (t0 >= t1) return 0.0;
  const int64_t diff = int64_t(t1) - t0;
  if (step <= 0) step = diff < tpf ? tpf : diff;
  Point3 p = pos(t0);
  double sum = 0;
  int64_t d = std::min(diff, step);
  for (int64_t cur = t0; cur <= t1;) {
    Point3 q = pos(cur);
    sum += double((q - p).Length());
    p = q;
    if (cur >= t1) break;
    if (cur + d > t1) d = t1 - cur;
    cur += d;
  }
  return sum;
}
