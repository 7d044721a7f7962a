// Scene file chunks: saving and loading trees, navigation, and misuse of the writer.
#include "chunk_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

std::vector<ChunkNode> SampleTree() {
  return {
      DataChunk(0x0001, Bytes(4, 1)),
      Group(0x2000,
            {
                DataChunk(0x0010, {}),
                DataChunk(0x0011, Bytes(1, 2)),
                Group(0x2100,
                      {DataChunk(0x0020, Bytes(100 * 1024, 3)), Group(0x2200, {}), DataChunk(0x0021, Bytes(255, 4))}),
                Group(0x2101, {Group(0x2201, {Group(0x2301, {DataChunk(0xFFFF, Bytes(65537, 5))})})}),
            }),
      DataChunk(0x0000, Bytes(7, 6)),
      Group(0x3000, {DataChunk(0x0030, Bytes(3, 7))}),
  };
}

TEST(ChunkFile, NestedTreeRoundTrips) {
  TempDir dir;
  std::string path = dir.File("scene.ww");
  ASSERT_EQ(SaveTree(path, SampleTree()), IO_OK);
  WalkResult w = WalkFile(path);
  EXPECT_FALSE(w.error);
  EXPECT_FALSE(w.violation);
  EXPECT_EQ(w.top, SampleTree());
  EXPECT_EQ(dir.EntryCount(), 1u);  // no temporary left behind
}

TEST(ChunkFile, DeepNestingRoundTrips) {
  TempDir dir;
  std::string path = dir.File("deep.ww");
  ChunkNode n = DataChunk(999, Bytes(10, 9));
  for (USHORT d = 0; d < 200; ++d) n = Group(d, {n, DataChunk(USHORT(1000 + d), Bytes(d % 5, d))});
  ASSERT_EQ(SaveTree(path, {n}), IO_OK);
  WalkResult w = WalkFile(path);
  EXPECT_FALSE(w.error || w.violation);
  ASSERT_EQ(w.top.size(), 1u);
  EXPECT_EQ(w.top[0], n);
}

TEST(ChunkFile, EmptyFileTreeHasNoChunks) {
  TempDir dir;
  std::string path = dir.File("empty.ww");
  ASSERT_EQ(SaveTree(path, {}), IO_OK);
  FileLoad f(path);
  ASSERT_EQ(f.Status(), IO_OK);
  EXPECT_EQ(f.OpenChunk(), IO_END);
  EXPECT_EQ(f.OpenChunk(), IO_END);
}

TEST(ChunkFile, OnDiskLayout) {
  // The layout is what other tools (and older files) rely on: pin it down once.
  TempDir dir;
  std::string path = dir.File("layout.ww");
  ASSERT_EQ(SaveTree(path, {Group(0x1234, {DataChunk(0x0102, {0xAA, 0xBB})})}), IO_OK);
  std::vector<uint8_t> expect = {'W',  'W',  'C', 'F', 1, 0,    0,    0,   14, 0, 0, 0,  // header, body of 14 bytes
                                 0x34, 0x12, 8,   0,   0, 0x80,                          // group, 8 bytes of sub-chunks
                                 0x02, 0x01, 2,   0,   0, 0,    0xAA, 0xBB};             // data chunk
  EXPECT_EQ(ReadBytes(path), expect);
}

class Navigation : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("nav.ww");
    ASSERT_EQ(SaveTree(path_, {DataChunk(1, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19}),
                               Group(2, {DataChunk(21, {1}), DataChunk(22, {2, 2}), Group(23, {DataChunk(231, {3})})}),
                               DataChunk(3, {}), DataChunk(4, {40, 41, 42, 43})}),
              IO_OK);
  }
  TempDir dir_;
  std::string path_;
};

TEST_F(Navigation, IdsLengthsAndEndOfEachLevel) {
  FileLoad f(path_);
  ASSERT_EQ(f.Status(), IO_OK);
  ASSERT_EQ(f.OpenChunk(), IO_OK);
  EXPECT_EQ(f.CurChunkID(), 1);
  EXPECT_EQ(f.CurChunkLength(), 10u);
  EXPECT_FALSE(f.CurChunkHasSubChunks());
  ASSERT_EQ(f.CloseChunk(), IO_OK);

  ASSERT_EQ(f.OpenChunk(), IO_OK);
  EXPECT_EQ(f.CurChunkID(), 2);
  EXPECT_TRUE(f.CurChunkHasSubChunks());
  EXPECT_EQ(f.CurChunkLength(), ULONG(6 + 1 + 6 + 2 + 6 + 7));  // its sub-chunks, headers included
  ASSERT_EQ(f.OpenChunk(), IO_OK);
  EXPECT_EQ(f.CurChunkID(), 21);
  ASSERT_EQ(f.CloseChunk(), IO_OK);
  ASSERT_EQ(f.OpenChunk(), IO_OK);
  EXPECT_EQ(f.CurChunkID(), 22);
  ASSERT_EQ(f.CloseChunk(), IO_OK);
  ASSERT_EQ(f.OpenChunk(), IO_OK);
  EXPECT_EQ(f.CurChunkID(), 23);
  ASSERT_EQ(f.OpenChunk(), IO_OK);
  EXPECT_EQ(f.CurChunkID(), 231);
  ASSERT_EQ(f.CloseChunk(), IO_OK);
  EXPECT_EQ(f.OpenChunk(), IO_END);  // end of 23
  EXPECT_EQ(f.OpenChunk(), IO_END);  // and it stays there
  ASSERT_EQ(f.CloseChunk(), IO_OK);
  EXPECT_EQ(f.CurChunkID(), 2);      // back in the parent
  EXPECT_EQ(f.OpenChunk(), IO_END);  // end of 2
  ASSERT_EQ(f.CloseChunk(), IO_OK);

  ASSERT_EQ(f.OpenChunk(), IO_OK);
  EXPECT_EQ(f.CurChunkID(), 3);
  EXPECT_EQ(f.CurChunkLength(), 0u);
  EXPECT_EQ(f.OpenChunk(), IO_END);  // an empty chunk reads as one without sub-chunks
  ASSERT_EQ(f.CloseChunk(), IO_OK);
  ASSERT_EQ(f.OpenChunk(), IO_OK);
  EXPECT_EQ(f.CurChunkID(), 4);
  ASSERT_EQ(f.CloseChunk(), IO_OK);
  EXPECT_EQ(f.OpenChunk(), IO_END);     // end of the file
  EXPECT_EQ(f.CloseChunk(), IO_ERROR);  // nothing open
}

TEST_F(Navigation, CloseChunkSkipsUnreadData) {
  FileLoad f(path_);
  ASSERT_EQ(f.OpenChunk(), IO_OK);
  uint8_t b[3] = {};
  ULONG n = 0;
  ASSERT_EQ(f.Read(b, 3, &n), IO_OK);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(b[2], 12);
  ASSERT_EQ(f.CloseChunk(), IO_OK);
  // Chunk 2 is skipped whole, sub-chunks unopened.
  ASSERT_EQ(f.OpenChunk(), IO_OK);
  ASSERT_EQ(f.CurChunkID(), 2);
  ASSERT_EQ(f.OpenChunk(), IO_OK);  // opens 21, left unread
  ASSERT_EQ(f.CloseChunk(), IO_OK);
  ASSERT_EQ(f.CloseChunk(), IO_OK);
  ASSERT_EQ(f.OpenChunk(), IO_OK);
  EXPECT_EQ(f.CurChunkID(), 3);
  ASSERT_EQ(f.CloseChunk(), IO_OK);
  ASSERT_EQ(f.OpenChunk(), IO_OK);
  EXPECT_EQ(f.CurChunkID(), 4);
  ASSERT_EQ(f.Read(b, 2, &n), IO_OK);
  EXPECT_EQ(b[0], 40);
  EXPECT_EQ(b[1], 41);
}

TEST_F(Navigation, ReadingPastTheEndOfAChunkFails) {
  FileLoad f(path_);
  ASSERT_EQ(f.OpenChunk(), IO_OK);  // 10 bytes
  uint8_t b[16];
  memset(b, 0xEE, sizeof b);
  ULONG n = 99;
  ASSERT_EQ(f.Read(b, 4, &n), IO_OK);
  EXPECT_EQ(f.Read(b, 7, &n), IO_ERROR);
  EXPECT_EQ(n, 6u);  // what was left is handed over...
  EXPECT_EQ(b[5], 19);
  EXPECT_EQ(b[6], 0xEE);  // ...and nothing beyond it
  EXPECT_EQ(f.Read(b, 1, &n), IO_ERROR);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(f.Read(b, 0, &n), IO_OK);  // nothing asked, nothing wrong
  ASSERT_EQ(f.CloseChunk(), IO_OK);
  // The next chunk is unaffected by the failed read.
  ASSERT_EQ(f.OpenChunk(), IO_OK);
  EXPECT_EQ(f.CurChunkID(), 2);
  EXPECT_EQ(f.Read(b, 1, &n), IO_ERROR);  // a chunk of sub-chunks has no data to read
  ASSERT_EQ(f.OpenChunk(), IO_OK);
  ASSERT_EQ(f.Read(b, 1, &n), IO_OK);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(f.OpenChunk(), IO_ERROR);  // a data chunk holds no sub-chunks
}

TEST_F(Navigation, ReadWithNoOpenChunkFails) {
  FileLoad f(path_);
  uint8_t b[4];
  ULONG n = 5;
  EXPECT_EQ(f.Read(b, 1, &n), IO_ERROR);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(f.CurChunkID(), 0);
  EXPECT_EQ(f.CurChunkLength(), 0u);
}

TEST(ChunkFileLoad, MissingOrForeignFilesAreErrors) {
  TempDir dir;
  std::string good = dir.File("good.ww");
  ASSERT_EQ(SaveTree(good, {DataChunk(1, {1, 2, 3})}), IO_OK);
  std::vector<uint8_t> bytes = ReadBytes(good);

  auto expectBad = [&](const std::vector<uint8_t>& b, const char* what) {
    std::string p = dir.File("bad.ww");
    WriteBytes(p, b);
    FileLoad f(p);
    EXPECT_EQ(f.Status(), IO_ERROR) << what;
    EXPECT_EQ(f.OpenChunk(), IO_ERROR) << what;
    uint8_t x;
    ULONG n;
    EXPECT_EQ(f.Read(&x, 1, &n), IO_ERROR) << what;
  };
  expectBad({}, "empty file");
  expectBad({'W', 'W', 'C'}, "short header");
  std::vector<uint8_t> b = bytes;
  b[0] = 'X';
  expectBad(b, "wrong magic");
  b = bytes;
  b[4] = 2;
  expectBad(b, "newer version");
  b = bytes;
  b.push_back(0);
  expectBad(b, "trailing byte");
  std::string text = "this is not a chunk file at all\n";
  expectBad(std::vector<uint8_t>(text.begin(), text.end()), "text file");

  EXPECT_EQ(FileLoad(dir.File("missing.ww")).Status(), IO_ERROR);
  EXPECT_EQ(FileLoad(dir.Path().string()).Status(), IO_ERROR);  // a directory
  EXPECT_EQ(FileLoad(good).Status(), IO_OK);
}

class SaveMisuse : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("keep.ww");
    ASSERT_EQ(SaveTree(path_, {DataChunk(7, {7, 7, 7})}), IO_OK);
    original_ = ReadBytes(path_);
  }
  // A failed save leaves the earlier file exactly as it was, and no temporary beside it.
  void ExpectOriginalKept() {
    EXPECT_EQ(ReadBytes(path_), original_);
    EXPECT_EQ(dir_.EntryCount(), 1u);
  }
  TempDir dir_;
  std::string path_;
  std::vector<uint8_t> original_;
};

TEST_F(SaveMisuse, DataThenSubChunksFailsClose) {
  FileSave f(path_);
  f.BeginChunk(1);
  ULONG w;
  ASSERT_EQ(f.Write("ab", 2, &w), IO_OK);
  f.BeginChunk(2);
  f.EndChunk();
  f.EndChunk();
  EXPECT_EQ(f.Close(), IO_ERROR);
  ExpectOriginalKept();
}

TEST_F(SaveMisuse, SubChunksThenDataFailsWriteAndClose) {
  FileSave f(path_);
  f.BeginChunk(1);
  f.BeginChunk(2);
  f.EndChunk();
  ULONG w = 9;
  EXPECT_EQ(f.Write("ab", 2, &w), IO_ERROR);
  EXPECT_EQ(w, 0u);
  f.EndChunk();
  EXPECT_EQ(f.Close(), IO_ERROR);
  ExpectOriginalKept();
}

TEST_F(SaveMisuse, WriteOutsideAnyChunkFails) {
  FileSave f(path_);
  ULONG w;
  EXPECT_EQ(f.Write("x", 1, &w), IO_ERROR);
  EXPECT_EQ(f.Close(), IO_ERROR);
  ExpectOriginalKept();
}

TEST_F(SaveMisuse, UnbalancedChunksFailClose) {
  {
    FileSave f(path_);
    f.BeginChunk(1);
    EXPECT_EQ(f.Close(), IO_ERROR);
  }
  ExpectOriginalKept();
  {
    FileSave f(path_);
    f.BeginChunk(1);
    f.EndChunk();
    f.EndChunk();
    EXPECT_EQ(f.Close(), IO_ERROR);
  }
  ExpectOriginalKept();
}

TEST_F(SaveMisuse, DestroyedWithoutCloseWritesNothing) {
  {
    FileSave f(path_);
    SaveNode(f, DataChunk(1, Bytes(50, 1)));
  }
  ExpectOriginalKept();
}

TEST_F(SaveMisuse, UnwritablePlacesFailWithoutDamage) {
  {
    FileSave f(dir_.File("no/such/dir/x.ww"));
    SaveNode(f, DataChunk(1, {1}));
    EXPECT_EQ(f.Close(), IO_ERROR);
  }
  {
    std::filesystem::create_directory(dir_.File("sub"));
    FileSave f(dir_.File("sub"));  // a directory stands where the file should go
    SaveNode(f, DataChunk(1, {1}));
    EXPECT_EQ(f.Close(), IO_ERROR);
    EXPECT_TRUE(std::filesystem::is_directory(dir_.File("sub")));
    EXPECT_TRUE(std::filesystem::is_empty(dir_.File("sub")));
    std::filesystem::remove(dir_.File("sub"));
  }
  ExpectOriginalKept();
}

TEST_F(SaveMisuse, SuccessfulSaveReplacesAndCloseIsIdempotent) {
  FileSave f(path_);
  SaveNode(f, DataChunk(8, {8}));
  ASSERT_EQ(f.Close(), IO_OK);
  EXPECT_EQ(f.Close(), IO_OK);
  ULONG w;
  EXPECT_EQ(f.Write("x", 1, &w), IO_ERROR);  // closed
  WalkResult r = WalkFile(path_);
  EXPECT_EQ(r.top, (std::vector<ChunkNode>{DataChunk(8, {8})}));
  EXPECT_EQ(dir_.EntryCount(), 1u);
}

}  // namespace
