// The class directory: one descriptor per super class and class id, found by both, safe from any thread.
#include "fnpub_fixture.h"

#include <deque>
#include <thread>

namespace {

// A descriptor of another super class with the same class id as a modifier one.
class ObjectClassDesc : public FnpubClassDesc {
 public:
  using FnpubClassDesc::FnpubClassDesc;
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
};

TEST(ClassDirectory, FindsByBothIdsRefusesASecondDescriptorOfOneClassAndCountsRegistrations) {
  FnpubClassDesc mod(Class_ID(0xD1, 1));
  ObjectClassDesc obj(Class_ID(0xD1, 1));
  FnpubClassDesc sameAsMod(Class_ID(0xD1, 1));
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, Class_ID(0xD1, 1)), nullptr);

  ASSERT_TRUE(RegisterClassDesc(&mod));
  ASSERT_TRUE(RegisterClassDesc(&obj));  // same class id, other super class: another class
  EXPECT_FALSE(RegisterClassDesc(&sameAsMod));
  EXPECT_TRUE(RegisterClassDesc(&mod));  // the same one again: counted, it stays until removed twice
  EXPECT_FALSE(RegisterClassDesc(nullptr));
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, Class_ID(0xD1, 1)), &mod);
  EXPECT_EQ(FindClassDesc(GEOMOBJECT_CLASS_ID, Class_ID(0xD1, 1)), &obj);
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, Class_ID(0xD1, 2)), nullptr);

  // Removing the refused one changes nothing; removing the first makes room for another.
  UnregisterClassDesc(&sameAsMod);
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, Class_ID(0xD1, 1)), &mod);
  UnregisterClassDesc(&mod);
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, Class_ID(0xD1, 1)), &mod);
  UnregisterClassDesc(&mod);
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, Class_ID(0xD1, 1)), nullptr);
  EXPECT_TRUE(RegisterClassDesc(&sameAsMod));
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, Class_ID(0xD1, 1)), &sameAsMod);
  UnregisterClassDesc(&sameAsMod);
  UnregisterClassDesc(&obj);
  UnregisterClassDesc(nullptr);
  EXPECT_EQ(FindClassDesc(GEOMOBJECT_CLASS_ID, Class_ID(0xD1, 1)), nullptr);
}

// Two threads register, find and remove their own classes at once, while racing for one shared class:
// exactly one of them wins it.
TEST(ClassDirectory, KeepsItsEntriesWhenThreadsRegisterAtOnce) {
  constexpr int kPerThread = 200;
  std::deque<FnpubClassDesc> a, b;  // descriptors are not movable
  for (int i = 0; i < kPerThread; ++i) {
    a.emplace_back(Class_ID(0xA0, ULONG(i)));
    b.emplace_back(Class_ID(0xB0, ULONG(i)));
  }
  FnpubClassDesc sharedA(Class_ID(0xC0, 0)), sharedB(Class_ID(0xC0, 0));
  struct Outcome {
    bool won = false;
    int lost = 0;
  };
  auto run = [](std::deque<FnpubClassDesc>& mine, FnpubClassDesc& shared, Outcome& out) {
    out.won = RegisterClassDesc(&shared);
    for (FnpubClassDesc& cd : mine)
      if (!RegisterClassDesc(&cd) || FindClassDesc(OSM_CLASS_ID, cd.ClassID()) != &cd) ++out.lost;
    for (size_t i = 0; i < mine.size(); i += 2) UnregisterClassDesc(&mine[i]);
  };
  Outcome outA, outB;
  std::thread tb([&] { run(b, sharedB, outB); });
  run(a, sharedA, outA);
  tb.join();
  EXPECT_EQ(outA.lost + outB.lost, 0);
  EXPECT_EQ(int(outA.won) + int(outB.won), 1);
  for (int i = 0; i < kPerThread; ++i) {
    const bool kept = i % 2 == 1;
    EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, Class_ID(0xA0, ULONG(i))), kept ? &a[size_t(i)] : nullptr);
    EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, Class_ID(0xB0, ULONG(i))), kept ? &b[size_t(i)] : nullptr);
  }
  for (auto& cd : a) UnregisterClassDesc(&cd);
  for (auto& cd : b) UnregisterClassDesc(&cd);
  UnregisterClassDesc(&sharedA);
  UnregisterClassDesc(&sharedB);
}

}  // namespace
