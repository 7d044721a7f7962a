// Damaged scene files: truncated anywhere, lengths that lie, random byte flips. Loading must report
// IO_ERROR, never crash, never read past the data, and never allocate more than the file's size.
#include "chunk_tree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>
#include <random>

#include "largest_alloc.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const uint8_t* b, size_t n) {
  // A new file each time: truncating one in place makes some file systems flush it, which is slow.
  std::filesystem::remove(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b), std::streamsize(n));
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

uint32_t GetU32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Where each chunk's header sits in a valid file, and where its parent's content ends.
struct ChunkAt {
  size_t header;
  size_t parentEnd;
  bool sub;
  uint32_t length;
  int depth;
};

void Locate(const std::vector<uint8_t>& b, size_t pos, size_t end, std::vector<ChunkAt>& out, int depth = 0) {
  while (pos < end) {
    uint32_t word = GetU32(b, pos + 2);
    ChunkAt c{pos, end, (word & ChunkFormat::kSubChunksBit) != 0, word & ChunkFormat::kMaxChunkLength, depth};
    out.push_back(c);
    size_t begin = pos + ChunkFormat::kChunkHeaderSize;
    if (c.sub) Locate(b, begin, begin + c.length, out, depth + 1);
    pos = begin + c.length;
  }
}

// Mid-sized on purpose: every truncation of it is loaded.
std::vector<ChunkNode> DamageTree() {
  return {
      DataChunk(0x0001, Bytes(9, 1)),
      Group(0x2000,
            {
                DataChunk(0x0010, {}),
                Group(0x2100, {DataChunk(0x0020, Bytes(300, 2)), Group(0x2200, {}), DataChunk(0x0021, Bytes(1, 3))}),
                Group(0x2101, {Group(0x2201, {DataChunk(0x0022, Bytes(40, 4)), DataChunk(0x0023, Bytes(2, 5))})}),
                DataChunk(0x0011, Bytes(70, 6)),
            }),
      DataChunk(0x0002, {}),
      Group(0x3000, {DataChunk(0x0030, Bytes(5, 7))}),
  };
}

class Damage : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string good = dir_.File("good.ww");
    ASSERT_EQ(SaveTree(good, DamageTree()), IO_OK);
    valid_ = ReadBytes(good);
    Locate(valid_, ChunkFormat::kFileHeaderSize, valid_.size(), chunks_);
    ASSERT_GT(chunks_.size(), 10u);
    path_ = dir_.File("damaged.ww");
  }

  // Loads bytes and walks the whole tree while watching allocations.
  WalkResult Load(const std::vector<uint8_t>& bytes, size_t size) {
    WriteBytes(path_, bytes.data(), size);
    g_largestAlloc = 0;
    g_trackAllocs = true;
    WalkResult r = WalkFile(path_);
    g_trackAllocs = false;
    // The file's bytes, plus small change (path strings, frames) -- never a length field's worth.
    EXPECT_LE(g_largestAlloc.load(), size + 1024) << "size " << size;
    EXPECT_FALSE(r.violation) << "size " << size;
    return r;
  }
  WalkResult Load(const std::vector<uint8_t>& bytes) { return Load(bytes, bytes.size()); }

  TempDir dir_;
  std::string path_;
  std::vector<uint8_t> valid_;
  std::vector<ChunkAt> chunks_;
};

TEST_F(Damage, ValidFileLoadsClean) {
  WalkResult r = Load(valid_);
  EXPECT_FALSE(r.error);
  EXPECT_EQ(r.top, DamageTree());
}

TEST_F(Damage, EveryTruncationIsAnError) {
  for (size_t size = 0; size < valid_.size(); ++size) {
    WalkResult r = Load(valid_, size);
    EXPECT_TRUE(r.error) << "truncated to " << size << " of " << valid_.size();
  }
}

TEST_F(Damage, TruncationWithConsistentHeaderIsCaughtInTheTree) {
  // The file header's body length is fixed up to match, so only the chunk lengths can tell. A cut at a
  // boundary between top-level chunks leaves a smaller valid file; every other cut must be an error.
  std::vector<size_t> boundaries;
  for (const ChunkAt& c : chunks_)
    if (c.depth == 0) boundaries.push_back(c.header);
  for (size_t size = ChunkFormat::kFileHeaderSize; size < valid_.size(); ++size) {
    std::vector<uint8_t> b(valid_.begin(), valid_.begin() + long(size));
    PutU32(b, 8, uint32_t(size - ChunkFormat::kFileHeaderSize));
    WalkResult r = Load(b);
    size_t k = 0;
    while (k < boundaries.size() && boundaries[k] != size) ++k;
    if (k < boundaries.size()) {
      EXPECT_FALSE(r.error) << size;
      std::vector<ChunkNode> prefix = DamageTree();
      prefix.resize(k);
      EXPECT_EQ(r.top, prefix) << size;
    } else {
      EXPECT_TRUE(r.error) << "truncated to " << size;
    }
  }
}

TEST_F(Damage, HugeLengthsAreErrors) {
  for (const ChunkAt& c : chunks_) {
    for (uint32_t huge : {0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u | 0x7FFFFFF0u}) {
      std::vector<uint8_t> b = valid_;
      PutU32(b, c.header + 2, huge);
      EXPECT_TRUE(Load(b).error) << "chunk at " << c.header << " length " << huge;
    }
  }
  std::vector<uint8_t> b = valid_;
  PutU32(b, 8, 0xFFFFFFFFu);  // the file header's own length
  EXPECT_TRUE(Load(b).error);
}

TEST_F(Damage, LengthsJustPastTheParentAreErrors) {
  for (const ChunkAt& c : chunks_) {
    size_t begin = c.header + ChunkFormat::kChunkHeaderSize;
    uint32_t past = uint32_t(c.parentEnd - begin + 1);
    std::vector<uint8_t> b = valid_;
    PutU32(b, c.header + 2, past | (c.sub ? ChunkFormat::kSubChunksBit : 0));
    EXPECT_TRUE(Load(b).error) << "chunk at " << c.header;
  }
}

TEST_F(Damage, ShortenedGroupsAreErrors) {
  // A group one byte shorter than its children: the last child now runs past its parent.
  int tried = 0;
  for (const ChunkAt& c : chunks_) {
    if (!c.sub) continue;
    std::vector<uint8_t> b = valid_;
    PutU32(b, c.header + 2, (c.length - 1) | ChunkFormat::kSubChunksBit);
    EXPECT_TRUE(Load(b).error) << "group at " << c.header;
    ++tried;
  }
  EXPECT_GE(tried, 4);
}

TEST_F(Damage, RandomByteFlipsNeverCrash) {
  std::mt19937 rng(20240611);
  int errors = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<uint8_t> b = valid_;
    int flips = 1 + int(rng() % 4);
    bool headerHit = false;
    for (int i = 0; i < flips; ++i) {
      size_t at = rng() % b.size();
      uint8_t mask = uint8_t(1 + rng() % 255);
      b[at] ^= mask;
      if (at < 8) headerHit = true;  // magic or version
    }
    WalkResult r = Load(b);
    if (headerHit) {
      EXPECT_TRUE(r.error) << "round " << round;
    }
    // Whatever was read came from the file.
    EXPECT_LE(r.dataBytes, b.size()) << "round " << round;
    errors += r.error;
  }
  // Most flips land in data bytes, but a good share hit structure and must have been noticed.
  EXPECT_GT(errors, 20);
}

}  // namespace
