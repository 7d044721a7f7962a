// Saving and loading parameter blocks through chunk files, including damaged data.
#include "params_fixture.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

// Chunk ids and layout of a saved block (see paramblock.cpp).
constexpr USHORT kHeader = 0x0001;
constexpr USHORT kParam = 0x0010;

struct Bytes {
  std::vector<uint8_t> b;
  template <class T>
  Bytes& put(T v) {
    const auto* p = reinterpret_cast<const uint8_t*>(&v);
    b.insert(b.end(), p, p + sizeof v);
    return *this;
  }
  Bytes& str(const char* s, uint32_t claimed) {
    put<uint32_t>(claimed);
    b.insert(b.end(), s, s + std::strlen(s));
    return *this;
  }
};

Bytes Header(int16_t blockId = 0) { return Bytes().put<int16_t>(blockId).put<int32_t>(0).put<int32_t>(15); }
Bytes ParamHead(int16_t id, int32_t type, int32_t count) {
  return Bytes().put<int16_t>(id).put<int32_t>(type).put<int32_t>(count);
}

void WriteChunks(const std::string& path, const std::vector<std::pair<USHORT, Bytes>>& chunks) {
  FileSave fs(path);
  for (const auto& [id, data] : chunks) {
    fs.BeginChunk(id);
    ULONG written = 0;
    if (!data.b.empty()) fs.Write(data.b.data(), ULONG(data.b.size()), &written);
    fs.EndChunk();
  }
  ASSERT_EQ(fs.Close(), IO_OK);
}

IOResult LoadFrom(const std::string& path, IParamBlock2* pb) {
  FileLoad fl(path);
  if (fl.Status() != IO_OK) return IO_ERROR;
  return pb->Load(&fl);
}

class ParamsIoTest : public ParamsTest {
 protected:
  // A second owner with its own fresh block, as a loaded scene would make it.
  IParamBlock2* FreshBlock() {
    other = new TestOwner;
    cd.MakeAutoParamBlocks(other);
    return other->pblock;
  }
  void TearDown() override {
    delete other;
    std::remove(path.c_str());
    ParamsTest::TearDown();
  }
  TestOwner* other = nullptr;
  std::string path = TempPath(::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(ParamsIoTest, RoundTripRestoresValuesAndTransientDefaults) {
  INode* a = scene->Add("Event 001");
  INode* b = scene->Add("Event 002");
  INode* pf = scene->Add("PF Source 001");
  ASSERT_TRUE(pb->SetValue(pSegments, 0, 42));
  ASSERT_TRUE(pb->SetValue(pFlip, 0, TRUE));
  ASSERT_TRUE(pb->SetValue(pKind, 0, 1));
  ASSERT_TRUE(pb->SetValue(pPerFrame, 0, 2.5f));
  ASSERT_TRUE(pb->SetValue(pEndFrame, 0, 30 * kFrame));
  ASSERT_TRUE(pb->SetValue(pLabel, 0, "saved text"));
  ASSERT_TRUE(pb->SetValue(pOffset, 0, Point3(4.0f, -5.0f, 6.0f)));
  float w[] = {0.25f};
  pb->Append(pWeights, 1, w);
  ASSERT_TRUE(pb->SetValue(pFadeMid, 0, 0.3f));
  ASSERT_TRUE(pb->SetValue(pApplyTex, 0, TRUE));
  ASSERT_TRUE(pb->SetValue(pParticles, 0, pf));
  INode* ab[] = {a, b};
  pb->Append(pEvents, 2, ab);

  {
    FileSave fs(path);
    ASSERT_EQ(pb->Save(&fs), IO_OK);
    ASSERT_EQ(fs.Close(), IO_OK);
  }

  IParamBlock2* loaded = FreshBlock();
  ASSERT_TRUE(loaded->SetValue(pFadeMid, 0, 0.5f));  // whatever it held, loading resets it
  ASSERT_EQ(LoadFrom(path, loaded), IO_OK);
  EXPECT_EQ(loaded->GetInt(pSegments), 42);
  EXPECT_EQ(loaded->GetInt(pFlip), TRUE);
  EXPECT_EQ(loaded->GetInt(pKind), 1);
  EXPECT_FLOAT_EQ(loaded->GetFloat(pPerFrame), 2.5f);
  EXPECT_EQ(loaded->GetInt(pEndFrame), 30 * kFrame);
  EXPECT_STREQ(loaded->GetStr(pLabel), "saved text");
  EXPECT_EQ(loaded->GetPoint3(pOffset), Point3(4.0f, -5.0f, 6.0f));
  ASSERT_EQ(loaded->Count(pWeights), 3);
  EXPECT_FLOAT_EQ(loaded->GetFloat(pWeights, 0, 2), 0.25f);
  EXPECT_FLOAT_EQ(loaded->GetFloat(pFadeMid), 0.8f);
  EXPECT_EQ(loaded->GetInt(pApplyTex), FALSE);

  // Node references are not in the block's data: the table comes back with its length and empty
  // entries, and the reference numbering matches the saved block's, so the scene loader can fill it.
  ASSERT_EQ(loaded->Count(pEvents), 2);
  EXPECT_EQ(loaded->GetINode(pEvents, 0, 0), nullptr);
  EXPECT_EQ(loaded->GetINode(pParticles), nullptr);
  ASSERT_EQ(loaded->NumRefs(), pb->NumRefs());
  for (int i = 0; i < pb->NumRefs(); ++i)
    if (ReferenceTarget* r = pb->GetReference(i)) loaded->ReplaceReference(i, r);
  EXPECT_EQ(loaded->GetINode(pEvents, 0, 0), a);
  EXPECT_EQ(loaded->GetINode(pEvents, 0, 1), b);
  EXPECT_EQ(loaded->GetINode(pParticles), pf);
}

TEST_F(ParamsIoTest, TransientValuesAreNotWritten) {
  ASSERT_TRUE(pb->SetValue(pFadeMid, 0, 0.3f));
  {
    FileSave fs(path);
    ASSERT_EQ(pb->Save(&fs), IO_OK);
    ASSERT_EQ(fs.Close(), IO_OK);
  }
  FileLoad fl(path);
  ASSERT_EQ(fl.Status(), IO_OK);
  std::vector<int> ids;
  while (fl.OpenChunk() == IO_OK) {
    if (fl.CurChunkID() == kParam) {
      int16_t id = -1;
      ULONG got = 0;
      fl.Read(&id, sizeof id, &got);
      ids.push_back(id);
    }
    fl.CloseChunk();
  }
  EXPECT_EQ(ids.size(), 13u);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), int(pFadeMid)), 0);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), int(pApplyTex)), 0);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), int(pSegments)), 1);
}

TEST_F(ParamsIoTest, ParameterUnknownToThisVersionIsSkipped) {
  WriteChunks(path, {{kHeader, Header()},
                     {kParam, ParamHead(300, TYPE_INT, 1).put<int32_t>(5)},
                     {kParam, ParamHead(pSegments, TYPE_INT, 1).put<int32_t>(77)}});
  EXPECT_EQ(LoadFrom(path, pb), IO_OK);
  EXPECT_EQ(pb->GetInt(pSegments), 77);
}

TEST_F(ParamsIoTest, LoadedValuesOutsideTheRangeAreClamped) {
  WriteChunks(path, {{kHeader, Header()}, {kParam, ParamHead(pSegments, TYPE_INT, 1).put<int32_t>(-50)}});
  EXPECT_EQ(LoadFrom(path, pb), IO_OK);
  EXPECT_EQ(pb->GetInt(pSegments), 1);
}

TEST_F(ParamsIoTest, DamagedBlockDataIsRefusedAndChangesNothing) {
  const Bytes goodSegments = ParamHead(pSegments, TYPE_INT, 1).put<int32_t>(99);
  const std::vector<std::vector<std::pair<USHORT, Bytes>>> damaged = {
      // A node table claiming far more entries than the chunk holds.
      {{kHeader, Header()}, {kParam, ParamHead(pEvents, TYPE_INODE_TAB, 1000000000).put<uint8_t>(1)}},
      // A negative count.
      {{kHeader, Header()}, {kParam, ParamHead(pWeights, TYPE_FLOAT_TAB, -1)}},
      // A type that is not the parameter's.
      {{kHeader, Header()}, {kParam, ParamHead(pSegments, TYPE_FLOAT, 1).put<float>(2.0f)}},
      // A plain parameter with two values.
      {{kHeader, Header()}, {kParam, ParamHead(pSegments, TYPE_INT, 2).put<int32_t>(1).put<int32_t>(2)}},
      // A string longer than its chunk.
      {{kHeader, Header()}, {kParam, ParamHead(pLabel, TYPE_STRING, 1).str("abc", 100000)}},
      // A chunk cut short, and one with bytes left over.
      {{kHeader, Header()}, {kParam, Bytes().put<int16_t>(pSegments).put<uint8_t>(4)}},
      {{kHeader, Header()}, {kParam, ParamHead(pSegments, TYPE_INT, 1).put<int32_t>(5).put<int32_t>(6)}},
      // A node entry flag that is neither 0 nor 1.
      {{kHeader, Header()}, {kParam, ParamHead(pParticles, TYPE_INODE, 1).put<uint8_t>(7)}},
      // Another block's data, no header at all, a header twice, a chunk no block writes.
      {{kHeader, Header(4)}, {kParam, goodSegments}},
      {{kParam, goodSegments}},
      {{kHeader, Header()}, {kHeader, Header()}},
      {{kHeader, Header()}, {0x7777, Bytes().put<int32_t>(1)}},
      // Good data followed by damage: nothing of it may be applied.
      {{kHeader, Header()}, {kParam, goodSegments}, {kParam, ParamHead(pFlip, TYPE_BOOL, 1)}},
      {{kHeader, Header()}, {kParam, goodSegments}, {kParam, goodSegments}},
  };
  ASSERT_TRUE(pb->SetValue(pSegments, 0, 42));
  ASSERT_TRUE(pb->SetValue(pFadeMid, 0, 0.3f));
  for (size_t k = 0; k < damaged.size(); ++k) {
    SCOPED_TRACE(k);
    WriteChunks(path, damaged[k]);
    EXPECT_EQ(LoadFrom(path, pb), IO_ERROR);
    EXPECT_EQ(pb->GetInt(pSegments), 42);
    EXPECT_FLOAT_EQ(pb->GetFloat(pFadeMid), 0.3f);
    EXPECT_EQ(pb->Count(pEvents), 0);
  }
}

// Every single damaged byte of a real saved block either loads or is refused; none crashes or leaks.
TEST_F(ParamsIoTest, AnyDamagedByteIsSurvived) {
  ASSERT_TRUE(pb->SetValue(pLabel, 0, "text"));
  INode* a = scene->Add("Event 001");
  pb->Append(pEvents, 1, &a);
  {
    FileSave fs(path);
    ASSERT_EQ(pb->Save(&fs), IO_OK);
    ASSERT_EQ(fs.Close(), IO_OK);
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<char> good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  ASSERT_GT(good.size(), 100u);
  IParamBlock2* target = FreshBlock();
  int refused = 0;
  for (size_t pos = 0; pos < good.size(); ++pos) {
    for (unsigned char bad : {0x00, 0xFF}) {
      std::vector<char> bytes = good;
      if (bytes[pos] == char(bad)) continue;
      bytes[pos] = char(bad);
      {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
      }
      if (LoadFrom(path, target) != IO_OK) ++refused;
      EXPECT_LE(target->Count(pEvents), 1);
      EXPECT_LE(target->Count(pWeights), 2);
    }
  }
  EXPECT_GT(refused, 0);
}

}  // namespace
