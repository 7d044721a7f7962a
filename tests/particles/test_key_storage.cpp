// What a life's keys cost in memory: a recording holds millions of keys, so the arrays may not waste much
// beyond their contents, and emptied lives give their storage back.
#include <gtest/gtest.h>

#include "alloc_meter.h"
#include "particles/ParticleSystemState.h"

namespace {

ParticlePositionKey KeyAt(int t) { return ParticlePositionKey(t, Point3(float(t), 0.0f, 0.0f), t); }

TEST(KeyStorage, GrowingALifeNeverAsksForMuchMoreThanItsKeys) {
  // 520 keys: an array that doubled would hold room for 1024.
  for (int n : {5, 65, 520, 5000}) {
    ParticleState life;
    alloc_meter::Start();
    for (int i = 0; i < n; ++i) life.addKey(KeyAt(i * 160));
    alloc_meter::Reading used = alloc_meter::Stop();
    const double keyBytes = double(n) * sizeof(ParticlePositionKey);
    EXPECT_LE(double(used.largest), 1.2 * keyBytes + 4 * sizeof(ParticlePositionKey)) << n << " keys";
    ASSERT_EQ(life.numKeys(), n);
    EXPECT_EQ(life.key(n - 1).time, (n - 1) * 160);
  }
}

TEST(KeyStorage, ClearingKeysReleasesThem) {
  ParticleState life;
  for (int i = 0; i < 100; ++i) life.addKey(KeyAt(i));
  life.clearKeys();
  EXPECT_EQ(life.numKeys(), 0);
  // Storage kept after the clear would serve the next key without asking.
  alloc_meter::Start();
  life.addKey(KeyAt(7));
  alloc_meter::Reading used = alloc_meter::Stop();
  EXPECT_GE(used.count, 1u);
  EXPECT_LT(used.largest, 10 * sizeof(ParticlePositionKey));
  EXPECT_EQ(life.getStart(), 7);
}

}  // namespace
