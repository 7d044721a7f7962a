// The recording's saved form: exact bytes, round trips through memory and through a scene file, and
// how damaged or foreign chunks load.
#include <gtest/gtest.h>

#include <chunkfile.h>
#include <max.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <unistd.h>

#include "alloc_meter.h"
#include "memory_chunks.h"
#include "particle_test_util.h"
#include "particles/ParticleStateBuilder.h"

namespace {

constexpr USHORT kStateChunk = 1000;

// Three lives with awkward contents: odd floats (signed zero, a denormal, huge and infinite values),
// flags words that do not match the rows, a life without keys whose start and end are arbitrary.
ParticleSystemState OddState() {
  ParticleSystemState s;
  const float a[12] = {1.0f / 3.0f, -0.0f, 1e-40f, 3.4e38f,     -2.5f, 7.0f,
                       0.1f,        0.2f,  0.3f,   -1234.5678f, 1e-7f, std::numeric_limits<float>::infinity()};
  const float b[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const float c[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 5.5f, -6.25f, 1e30f};
  const float d[12] = {-std::numeric_limits<float>::infinity(), 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

  ParticleState life0;
  life0.addKey(ParticlePositionKey(-320, RawMatrix(a, 0), 0));
  life0.addKey(ParticlePositionKey(160, RawMatrix(b, 5), 480));
  life0.addKey(ParticlePositionKey(170, RawMatrix(c, 7), 490));
  s.addParticle(life0);

  ParticleState life1;
  life1.setStart(77);
  life1.setEnd(-5);
  s.addParticle(life1);

  ParticleState life2;
  life2.addKey(ParticlePositionKey(2147483000, RawMatrix(d, 0x80000002u), -1));
  s.addParticle(life2);

  s.setParticleFlow(1);
  s.computeMaxLifeSpan();
  return s;
}

std::vector<uint8_t> SavedBody(ParticleSystemState& s) {
  MemSave out;
  EXPECT_EQ(s.save(&out), IO_OK);
  EXPECT_EQ(out.chunks.size(), 1u);
  return out.chunks.empty() ? std::vector<uint8_t>() : out.chunks[0].data;
}

std::vector<uint8_t> Header(int32_t version, int32_t r0, int32_t r1, int32_t r2, int32_t maxLife, int32_t flow,
                            int32_t count) {
  return LeBytes().i32(version).i32(r0).i32(r1).i32(r2).i32(maxLife).i32(flow).i32(count).bytes;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

TEST(ParticleStateSavedForm, NewStateIsTheTwentyEightByteDefaultChunk) {
  ParticleStateBuilder state;  // the type the modifier holds
  MemSave out;
  ASSERT_EQ(state.save(&out), IO_OK);
  EXPECT_EQ(out.begun, std::vector<USHORT>{kStateChunk});
  EXPECT_EQ(out.ended, 1);
  ASSERT_EQ(out.chunks.size(), 1u);
  const std::vector<uint8_t> expected = {1, 0, 0,    0,    0,    0,    0, 0, 1, 0, 0, 0, 40, 0,
                                         0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0,  0};
  EXPECT_EQ(out.chunks[0].data, expected);
}

TEST(ParticleStateSavedForm, LivesAndKeysAreLaidOutByteForByte) {
  ParticleSystemState state;
  const float m0[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1.5f, -2.0f, 3.25f};
  const float m1[12] = {0, 1, 0, -1, 0, 0, 0, 0, 2, 4.0f, 5.0f, -6.0f};
  ParticleState life;
  life.addKey(ParticlePositionKey(160, RawMatrix(m0, 5), 0));
  life.addKey(ParticlePositionKey(320, RawMatrix(m1, 0), 160));
  state.addParticle(life);
  ParticleState empty;
  empty.setStart(-3);
  empty.setEnd(9);
  state.addParticle(empty);
  state.setParticleFlow(1);
  state.computeMaxLifeSpan();

  LeBytes expected;
  expected.i32(1).i32(0).i32(1).i32(40).i32(160).i32(1).i32(2);
  expected.i32(160).i32(320).i32(2).key(m0, 5, 160, 0).key(m1, 0, 320, 160);
  expected.i32(-3).i32(9).i32(0);
  EXPECT_EQ(SavedBody(state), expected.bytes);
}

TEST(ParticleStateSavedForm, SaveStopsAtTheFirstFailedWriteAndLeavesTheChunkOpen) {
  ParticleSystemState state = OddState();
  for (int okWrites : {0, 1, 6, 7, 9}) {
    SCOPED_TRACE(okWrites);
    MemSave out;
    out.failAtWrite = okWrites;
    EXPECT_EQ(state.save(&out), IO_ERROR);
    EXPECT_EQ(out.writes, okWrites + 1) << "no write after the failed one";
    EXPECT_EQ(out.ended, 0);
  }
}

TEST(ParticleStateRoundTrip, OddValuesComeBackBitForBit) {
  ParticleSystemState original = OddState();
  MemSave out;
  ASSERT_EQ(original.save(&out), IO_OK);

  ParticleSystemState loaded;
  loaded.addParticle(LifeAt({{0, Point3(1, 2, 3)}}));  // replaced by the load
  MemLoad in(out.chunks);
  ASSERT_EQ(loaded.load(&in), IO_OK);
  ExpectSameState(original, loaded);
  EXPECT_EQ(loaded.isParticleFlow(), 1);
  EXPECT_EQ(in.closed, 1);
}

TEST(ParticleStateRoundTrip, HeaderValuesAreKeptAsStored) {
  // Reserved values, a maximum life span that disagrees with the lives and an unusual flag value are
  // all taken as they are and written back unchanged.
  const float m[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  std::vector<uint8_t> body =
      Concat(Header(1, 11, -22, 0x12345678, 12345, 3, 2), LeBytes().i32(999).i32(-7).i32(0).bytes);
  body = Concat(body, LeBytes().i32(10).i32(20).i32(1).key(m, 6, 15, 2).bytes);
  ParticleSystemState state;
  MemLoad in({MemChunk{kStateChunk, body}});
  ASSERT_EQ(state.load(&in), IO_OK);
  EXPECT_EQ(state.getMaxLifeSpan(), 12345);
  EXPECT_EQ(state.isParticleFlow(), 3);
  ASSERT_EQ(state.numParticles(), 2);
  EXPECT_EQ(state.particle(0).getStart(), 999);  // no keys: start and end as stored
  EXPECT_EQ(state.particle(0).getEnd(), -7);
  EXPECT_EQ(state.particle(1).getStart(), 15);  // keys: start and end follow the key times
  EXPECT_EQ(state.particle(1).getEnd(), 15);

  // Written back, only the second life's start and end differ: they now follow its key.
  std::vector<uint8_t> expected =
      Concat(Header(1, 11, -22, 0x12345678, 12345, 3, 2), LeBytes().i32(999).i32(-7).i32(0).bytes);
  expected = Concat(expected, LeBytes().i32(15).i32(15).i32(1).key(m, 6, 15, 2).bytes);
  EXPECT_EQ(SavedBody(state), expected);
}

TEST(ParticleStateRoundTrip, ThroughASceneFileOnDisk) {
  namespace fs = std::filesystem;
  const fs::path path = fs::temp_directory_path() / ("ww_particles_" + std::to_string(::getpid()) + "_roundtrip.scene");
  ParticleSystemState original = OddState();
  {
    FileSave out(path.string());
    out.BeginChunk(7);  // a neighbour before and after, as in a scene
    ULONG n = 0;
    ASSERT_EQ(out.Write("abc", 3, &n), IO_OK);
    out.EndChunk();
    ASSERT_EQ(original.save(&out), IO_OK);
    out.BeginChunk(9);
    out.EndChunk();
    ASSERT_EQ(out.Close(), IO_OK);
  }
  {
    FileLoad in(path.string());
    ASSERT_EQ(in.Status(), IO_OK);
    ParticleSystemState loaded;
    EXPECT_EQ(loaded.load(&in), IO_OK);
    ExpectSameState(original, loaded);
  }

  // A later chunk whose length lies is damage: the load fails and keeps what the good chunk held.
  ParticleSystemState second;
  second.addParticle(LifeAt({{0, Point3(1, 1, 1)}, {160, Point3(2, 2, 2)}}));
  {
    FileSave out(path.string());
    ASSERT_EQ(original.save(&out), IO_OK);
    ASSERT_EQ(second.save(&out), IO_OK);
    ASSERT_EQ(out.Close(), IO_OK);
  }
  std::vector<char> raw;
  {
    std::ifstream f(path, std::ios::binary);
    raw.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  const size_t firstLenAt = ChunkFormat::kFileHeaderSize + 2;
  ASSERT_GT(raw.size(), firstLenAt + 4);
  uint32_t firstLen = uint8_t(raw[firstLenAt]) | uint8_t(raw[firstLenAt + 1]) << 8 |
                      uint8_t(raw[firstLenAt + 2]) << 16 | uint32_t(uint8_t(raw[firstLenAt + 3])) << 24;
  const size_t secondLenAt = ChunkFormat::kFileHeaderSize + ChunkFormat::kChunkHeaderSize + firstLen + 2;
  ASSERT_LT(secondLenAt + 4, raw.size());
  raw[secondLenAt] = char(0xF0);
  raw[secondLenAt + 1] = char(0xFF);
  raw[secondLenAt + 2] = char(0xFF);
  raw[secondLenAt + 3] = char(0x7F);
  {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(raw.data(), std::streamsize(raw.size()));
  }
  {
    FileLoad in(path.string());
    ParticleSystemState loaded;
    EXPECT_EQ(loaded.load(&in), IO_ERROR);
    ExpectSameState(original, loaded);
  }
  fs::remove(path);
}

TEST(ParticleStateLoad, OtherVersionsLoadAsAnEmptyStateAndStopTheLoad) {
  ParticleSystemState good = OddState();
  std::vector<uint8_t> goodBody = SavedBody(good);
  std::vector<uint8_t> v2 = Concat(Header(2, 0, 1, 40, 480, 1, 1), LeBytes().i32(0).i32(480).i32(0).bytes);

  {
    ParticleSystemState state = OddState();
    MemLoad in({MemChunk{kStateChunk, v2}, MemChunk{kStateChunk, goodBody}});
    EXPECT_EQ(state.load(&in), IO_OK);
    EXPECT_EQ(state.numParticles(), 0);
    EXPECT_EQ(state.getMaxLifeSpan(), -1);
    EXPECT_EQ(in.opened, 1) << "no chunk is opened after the unknown version";
    EXPECT_EQ(in.closed, 1);
  }
  {
    // What an earlier chunk brought is dropped too.
    ParticleSystemState state;
    MemLoad in({MemChunk{kStateChunk, goodBody}, MemChunk{kStateChunk, v2}});
    EXPECT_EQ(state.load(&in), IO_OK);
    EXPECT_EQ(state.numParticles(), 0);
    EXPECT_EQ(state.getMaxLifeSpan(), -1);
  }
  {
    ParticleSystemState state;
    MemLoad in({MemChunk{kStateChunk, LeBytes().i32(0).bytes}});
    EXPECT_EQ(state.load(&in), IO_OK);
    EXPECT_EQ(state.numParticles(), 0);
  }
}

TEST(ParticleStateLoad, TruncatedChunkFailsAndKeepsTheCompleteLives) {
  ParticleSystemState original;
  original.addParticle(LifeAt({{0, Point3(1, 2, 3)}, {160, Point3(4, 5, 6)}}));                            // 132 bytes
  original.addParticle(LifeAt({{160, Point3(0, 0, 1)}, {320, Point3(0, 1, 1)}, {480, Point3(1, 1, 1)}}));  // 192
  original.addParticle(LifeAt({{480, Point3(9, 9, 9)}}));                                                  // 72
  original.computeMaxLifeSpan();
  const std::vector<uint8_t> body = SavedBody(original);
  ASSERT_EQ(body.size(), 28u + 132u + 192u + 72u);

  struct Cut {
    size_t at;
    int lives;
    const char* where;
  };
  const Cut cuts[] = {
      {2, 0, "inside the version"},
      {10, 0, "inside the header"},
      {27, 0, "inside the count"},
      {28, 0, "after the header"},
      {28 + 5, 0, "inside the first life's header"},
      {28 + 12 + 30, 0, "inside the first key's matrix"},
      {28 + 12 + 60 + 55, 0, "inside the second key's time"},
      {160, 1, "at the end of the first life"},
      {160 + 8, 1, "inside the second life's header"},
      {160 + 12 + 60 + 59, 1, "one byte short of a key"},
      {352 + 12 + 52, 2, "after the last key's matrix"},
      {body.size() - 1, 2, "one byte short"},
  };
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.where);
    ParticleSystemState state;
    MemLoad in({MemChunk{kStateChunk, std::vector<uint8_t>(body.begin(), body.begin() + long(cut.at))}});
    EXPECT_EQ(state.load(&in), IO_ERROR);
    EXPECT_EQ(state.numParticles(), cut.lives);
    ExpectSameLives(original, state, cut.lives);
  }

  ParticleSystemState whole;
  MemLoad in({MemChunk{kStateChunk, body}});
  EXPECT_EQ(whole.load(&in), IO_OK);
  ExpectSameState(original, whole);
}

TEST(ParticleStateLoad, SeveralStateChunksAppendAndOtherChunksAreSkipped) {
  ParticleSystemState first;
  first.addParticle(LifeAt({{0, Point3(1, 0, 0)}}));
  first.computeMaxLifeSpan();
  ParticleSystemState second = OddState();
  second.setParticleFlow(0);

  MemLoad in({MemChunk{5, {1, 2, 3}}, MemChunk{kStateChunk, SavedBody(first)},
              MemChunk{1001, Header(1, 0, 1, 40, 0, 0, 9)}, MemChunk{0x7FFF, {}},
              MemChunk{kStateChunk, SavedBody(second)}});
  ParticleSystemState state;
  ASSERT_EQ(state.load(&in), IO_OK);
  ASSERT_EQ(state.numParticles(), 1 + second.numParticles());
  ExpectSameLife(first.particle(0), state.particle(0));
  for (int i = 0; i < second.numParticles(); ++i) ExpectSameLife(second.particle(i), state.particle(i + 1));
  // The header values are those of the last chunk read.
  EXPECT_EQ(state.getMaxLifeSpan(), second.getMaxLifeSpan());
  EXPECT_EQ(state.isParticleFlow(), 0);
  EXPECT_EQ(in.closed, 5);

  // Only foreign chunks: an empty state.
  ParticleSystemState other = OddState();
  MemLoad foreign({MemChunk{1001, SavedBody(first)}, MemChunk{999, {}}});
  EXPECT_EQ(other.load(&foreign), IO_OK);
  EXPECT_EQ(other.numParticles(), 0);
  EXPECT_EQ(other.getMaxLifeSpan(), -1);
}

TEST(ParticleStateLoad, DamagedChunkHeaderIsAnErrorAndKeepsEarlierChunks) {
  ParticleSystemState first = OddState();
  MemLoad in({MemChunk{kStateChunk, SavedBody(first)}, MemChunk{kStateChunk, SavedBody(first)}});
  in.damageAt = 1;
  ParticleSystemState state;
  EXPECT_EQ(state.load(&in), IO_ERROR);
  ExpectSameState(first, state);
}

TEST(ParticleStateLoad, NegativeLifeCountReadsAsNoLives) {
  std::vector<uint8_t> body = Concat(Header(1, 0, 1, 40, 160, 0, -3), LeBytes().i32(0).i32(160).i32(0).bytes);
  ParticleSystemState state = OddState();
  MemLoad in({MemChunk{kStateChunk, body}});
  EXPECT_EQ(state.load(&in), IO_OK);
  EXPECT_EQ(state.numParticles(), 0);
  EXPECT_EQ(in.closed, 1);
}

TEST(ParticleStateLoad, OverstatedCountsFailWithoutAllocatingForThem) {
  const float m[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 2, 3, 4};
  const std::vector<uint8_t> lifeA = LeBytes().i32(0).i32(0).i32(1).key(m, 6, 0, 0).bytes;
  const std::vector<uint8_t> lifeB = LeBytes().i32(5).i32(9).i32(0).bytes;
  const std::vector<uint8_t> threeKeys =
      LeBytes().i32(0).i32(320).i32(0x7FFFFFFF).key(m, 6, 0, 0).key(m, 6, 160, 160).key(m, 6, 320, 320).bytes;
  struct Case {
    const char* what;
    std::vector<uint8_t> body;
    int lives;
  };
  const Case cases[] = {
      {"life count", Concat(Concat(Header(1, 0, 1, 40, 0, 0, 0x7FFFFFFF), lifeA), lifeB), 2},
      {"key count", Concat(Concat(Header(1, 0, 1, 40, 0, 0, 2), lifeA), threeKeys), 1},
      {"both", Concat(Header(1, 0, 1, 40, 0, 0, 0x7FFFFFFF), threeKeys), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ParticleSystemState state;
    MemLoad in({MemChunk{kStateChunk, c.body}});
    auto begin = std::chrono::steady_clock::now();
    alloc_meter::Start();
    IOResult r = state.load(&in);
    alloc_meter::Reading used = alloc_meter::Stop();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(r, IO_ERROR);
    EXPECT_EQ(state.numParticles(), c.lives);
    EXPECT_GT(used.count, 0u) << "the meter must see the load's allocations";
    EXPECT_LT(used.largest, size_t(64 * 1024)) << "no allocation sized by the claimed count";
    EXPECT_LT(used.total, size_t(1024 * 1024));
    EXPECT_LT(in.reads, 100) << "the load must stop at the first failed read";
    EXPECT_LT(seconds, 5.0);
  }
}
