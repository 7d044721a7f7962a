// Damaged and hostile saved scenes: truncated anywhere, bytes flipped anywhere, counts and references that
// lie behind a digest made to match. Each is refused with one line, the scene open before stays as it was,
// nothing built on the way is left behind, and no allocation is sized by a number the file made up.
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>

#include "saved_scene_util.h"

#include "largest_alloc.h"

namespace {

constexpr SClass_ID kEventSuper = 0x50;  // the events' objects are helpers

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& b, size_t n) {
  std::filesystem::remove(path);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(n));
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + size_t(i)) = uint8_t(v >> (8 * i));
}

uint32_t GetU32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 | uint32_t(b.at(at + 3)) << 24;
}

class DamagedScene : public SavedSceneTest {
 protected:
  void SetUp() override {
    SavedSceneTest::SetUp();
    BuildEverything(ip);
    good_ = File("good.wws");
    std::string error;
    ASSERT_EQ(SaveScene(good_, &error), IO_OK) << error;
    bytes_ = ReadBytes(good_);
    KeepScene();
  }

  // The scene that is open while damaged files are loaded.
  void KeepScene() {
    ip->ResetScene();
    ip->CreateObjectNode(new SplineShape())->SetName("Keep");
    keep_ = Fingerprint::Of(ip);
    live_ = MAX_heapLiveCount();
  }

  // Loads the file at path: refused with one line, the open scene as it was, nothing left over.
  ::testing::AssertionResult Refused(const std::string& path) {
    std::string error;
    if (LoadScene(path, &error) != IO_ERROR) {
      KeepScene();
      return ::testing::AssertionFailure() << "loaded";
    }
    if (error.empty() || error.find('\n') != std::string::npos)
      return ::testing::AssertionFailure() << "not one line: \"" << error << "\"";
    if (Fingerprint::Of(ip) != keep_) return ::testing::AssertionFailure() << "the open scene changed: " << error;
    if (MAX_heapLiveCount() != live_) return ::testing::AssertionFailure() << "host objects left over: " << error;
    return ::testing::AssertionSuccess() << error;
  }

  // The saved file as a chunk tree, to be edited and written back with a digest that matches.
  std::vector<ChunkNode> Tree() { return WalkFile(good_).top; }
  std::string Sealed(const std::vector<ChunkNode>& top) {
    const std::string path = File("hostile.wws");
    EXPECT_EQ(SaveTree(path, top), IO_OK);
    std::string error;
    EXPECT_EQ(ResealSceneFile(path, &error), IO_OK) << error;
    return path;
  }
  static std::vector<ChunkNode>& Items(std::vector<ChunkNode>& top) { return top.at(0).kids.at(1).kids; }
  // The first item of that class.
  static ChunkNode& Item(std::vector<ChunkNode>& top, SClass_ID super, Class_ID cls) {
    for (ChunkNode& item : Items(top)) {
      const std::vector<uint8_t>& c = item.kids.at(0).data;
      if (GetU32(c, 0) == super && GetU32(c, 4) == cls.PartA() && GetU32(c, 8) == cls.PartB()) return item;
    }
    throw std::runtime_error("no such item");
  }
  static int IndexOf(std::vector<ChunkNode>& top, const ChunkNode& item) { return int(&item - Items(top).data()); }
  // The data an item of the host wrote.
  static std::vector<uint8_t>& Data(ChunkNode& item) { return item.kids.at(2).kids.at(0).data; }
  static std::vector<uint8_t>& Refs(ChunkNode& item) { return item.kids.at(1).data; }

  std::string good_, keep_;
  std::vector<uint8_t> bytes_;
  long live_ = 0;
};

TEST_F(DamagedScene, TruncatedAtEveryByteIsRefused) {
  const std::string path = File("cut.wws");
  for (size_t n = 0; n < bytes_.size(); ++n) {
    WriteBytes(path, bytes_, n);
    ASSERT_TRUE(Refused(path)) << "cut to " << n << " of " << bytes_.size() << " bytes";
  }
}

TEST_F(DamagedScene, EveryByteFlippedIsRefused) {
  const std::string path = File("flipped.wws");
  std::vector<uint8_t> b = bytes_;
  for (size_t i = 0; i < b.size(); ++i) {
    for (uint8_t mask : {uint8_t(0x01), uint8_t(0x80)}) {
      b[i] ^= mask;
      WriteBytes(path, b, b.size());
      ASSERT_TRUE(Refused(path)) << "byte " << i << " ^ " << int(mask);
      b[i] ^= mask;
    }
  }
  // A byte too many.
  b.push_back(0);
  WriteBytes(path, b, b.size());
  EXPECT_TRUE(Refused(path));
}

TEST_F(DamagedScene, NotASceneAtAllIsSaidSo) {
  std::string error;
  EXPECT_EQ(LoadScene(File("missing.wws"), &error), IO_ERROR);
  EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
  EXPECT_EQ(LoadScene(dir.Path().string(), &error), IO_ERROR);
  EXPECT_NE(error.find("directory"), std::string::npos) << error;
  std::ofstream(File("text.wws")) << "{\"nodes\": []}";
  EXPECT_TRUE(Refused(File("text.wws")));
  EXPECT_EQ(LoadScene(File("text.wws"), &error), IO_ERROR);
  EXPECT_NE(error.find("not a saved scene"), std::string::npos) << error;
  // A chunk file that holds something else.
  EXPECT_EQ(SaveTree(File("other.wws"), {DataChunk(0x0001, Bytes(20, 3))}), IO_OK);
  EXPECT_TRUE(Refused(File("other.wws")));
}

// Every byte of the scene changed with the digest made to match: whatever the loader makes of it, it never
// fails untidily, and no allocation is sized by a made-up number.
TEST_F(DamagedScene, HostileBytesBehindAMatchingDigestLoadOrAreRefused) {
  const std::string path = File("mutated.wws");
  int refused = 0, loaded = 0;
  const size_t sceneEnd = bytes_.size() - ChunkFormat::kChunkHeaderSize - 4;  // the digest chunk follows
  INode* keepNode = ip->GetINodeByName("Keep");
  for (size_t i = ChunkFormat::kFileHeaderSize; i < sceneEnd; ++i) {
    // One change a byte, a small step or a large one by turns: counts, indices, flags and lengths all move.
    const uint8_t value = i % 2 ? uint8_t(bytes_[i] + 1) : uint8_t(bytes_[i] ^ 0xF0);
    std::vector<uint8_t> b(bytes_.begin(), bytes_.begin() + std::ptrdiff_t(sceneEnd));
    b[i] = value;
    PutU32(b, 8, uint32_t(b.size() - ChunkFormat::kFileHeaderSize));
    WriteBytes(path, b, b.size());
    std::string error;
    if (ResealSceneFile(path, &error) != IO_OK) continue;  // the chunk structure itself broke
    bool refusedNow;
    size_t largest;
    {
      LargestAlloc meter;
      refusedNow = LoadScene(path, &error) == IO_ERROR;
      largest = meter.Bytes();
    }
    ASSERT_LE(largest, 8 * bytes_.size()) << "byte " << i << " = " << int(value);
    if (refusedNow) {
      ++refused;
      ASSERT_FALSE(error.empty());
      ASSERT_EQ(error.find('\n'), std::string::npos) << error;
      ASSERT_EQ(ip->GetINodeByName("Keep"), keepNode) << "byte " << i << ": " << error;
      ASSERT_EQ(ip->GetRootNode()->NumberOfChildren(), 1) << "byte " << i << ": " << error;
      ASSERT_EQ(MAX_heapLiveCount(), live_) << "byte " << i << ": " << error;
    } else {
      ++loaded;
      // What loaded evaluates, and goes whole with the scene.
      for (int n = 0; n < ip->GetRootNode()->NumberOfChildren(); ++n)
        ip->GetRootNode()->GetChildNode(n)->EvalWorldState(ip->GetTime());
      ip->ResetScene();
      ASSERT_EQ(MAX_heapLiveCount(), liveAtStart) << "byte " << i << ": the loaded scene left objects behind";
      KeepScene();
      keepNode = ip->GetINodeByName("Keep");
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(loaded, 0) << "values in the data that change nothing of the structure load";
}

TEST_F(DamagedScene, ACountThatClaimsMoreThanTheDataHoldsIsRefusedBeforeAnythingIsMade) {
  std::vector<ChunkNode> top = Tree();
  PutU32(Data(Item(top, GEOMOBJECT_CLASS_ID, FLOW_PARTICLES_CLASS_ID)), 8, 0x7FFFFFFF);
  const std::string path = Sealed(top);
  size_t largest;
  {
    LargestAlloc meter;
    EXPECT_TRUE(Refused(path));
    largest = meter.Bytes();
  }
  EXPECT_LE(largest, 2 * bytes_.size());

  top = Tree();
  PutU32(Refs(Items(top).at(0)), 0, 1000);  // a node with a thousand references
  EXPECT_TRUE(Refused(Sealed(top)));
  top = Tree();
  PutU32(Data(Item(top, SHAPE_CLASS_ID, splineShapeClassID)), 22, 1u << 30);  // knots of the first spline
  EXPECT_TRUE(Refused(Sealed(top)));
}

TEST_F(DamagedScene, ReferencesToTheWrongKindOfObjectAreRefused) {
  std::vector<ChunkNode> top = Tree();
  const int spline = IndexOf(top, Item(top, SHAPE_CLASS_ID, splineShapeClassID));
  // The first node's position controller is a shape.
  PutU32(Refs(Items(top).at(0)), 4 + 4 * 1, uint32_t(spline));
  auto r = Refused(Sealed(top));
  EXPECT_TRUE(r);
  EXPECT_NE(std::string(r.message()).find("controller"), std::string::npos) << r.message();

  // A node carries a modifier instead of an object.
  top = Tree();
  const int nudge = IndexOf(top, Item(top, OSM_CLASS_ID, NudgeModifier::kClassID));
  PutU32(Refs(Items(top).at(0)), 4, uint32_t(nudge));
  EXPECT_TRUE(Refused(Sealed(top)));

  // A modifier stack that sits on itself, and two that sit on each other.
  top = Tree();
  ChunkNode& derived = Item(top, GEN_DERIVOB_CLASS_ID, derivObjClassID);
  PutU32(Refs(derived), 4, uint32_t(IndexOf(top, derived)));
  r = Refused(Sealed(top));
  EXPECT_TRUE(r);
  EXPECT_NE(std::string(r.message()).find("loop"), std::string::npos) << r.message();

  // The modifier's own controller slot given a node.
  top = Tree();
  PutU32(Refs(Item(top, OSM_CLASS_ID, NudgeModifier::kClassID)), 4, 0);
  EXPECT_TRUE(Refused(Sealed(top)));
  // A reference past the last item.
  top = Tree();
  PutU32(Refs(Items(top).at(0)), 4, uint32_t(Items(top).size()));
  EXPECT_TRUE(Refused(Sealed(top)));
}

TEST_F(DamagedScene, ValuesOutsideWhatTheObjectsHoldAreRefused) {
  // A mesh face naming a vertex that is not there.
  std::vector<ChunkNode> top = Tree();
  std::vector<uint8_t>& mesh = Data(Item(top, GEOMOBJECT_CLASS_ID, triObjectClassID));
  PutU32(mesh, 4 + 12 * GetU32(mesh, 0) + 4, 99);
  EXPECT_TRUE(Refused(Sealed(top)));

  // An event at a place outside its system's list, then at a place another event holds.
  top = Tree();
  ChunkNode& event = Item(top, kEventSuper, PARTICLE_EVENT_CLASS_ID);
  PutU32(Data(event), 0, 5);
  EXPECT_TRUE(Refused(Sealed(top)));
  top = Tree();
  PutU32(Data(Item(top, kEventSuper, PARTICLE_EVENT_CLASS_ID)), 0, 1);
  EXPECT_TRUE(Refused(Sealed(top)));

  // A float that is not a number, in a node's offset.
  top = Tree();
  std::vector<uint8_t>& node = Data(Items(top).at(0));
  PutU32(node, 4 + GetU32(node, 0), 0x7FC00000);
  EXPECT_TRUE(Refused(Sealed(top)));

  // Controller keys out of time order.
  top = Tree();
  std::vector<uint8_t>& pos = Data(Item(top, CTRL_POSITION_CLASS_ID, Class_ID(LININTERP_POSITION_CLASS_ID, 0)));
  PutU32(pos, 12 + 4 + 16, 0);  // the second key at the first key's time
  EXPECT_TRUE(Refused(Sealed(top)));

  // Ticks per frame of nothing.
  top = Tree();
  PutU32(top.at(0).kids.at(0).data, 4, 0);
  EXPECT_TRUE(Refused(Sealed(top)));
}

TEST_F(DamagedScene, TheSceneStructureMustHoldTogether) {
  // The node list leaves a node out.
  std::vector<ChunkNode> top = Tree();
  std::vector<uint8_t>& nodes = top.at(0).kids.at(2).data;
  PutU32(nodes, 0, GetU32(nodes, 0) - 1);
  nodes.resize(nodes.size() - 8);
  EXPECT_TRUE(Refused(Sealed(top)));

  // A node listed before the node it hangs under.
  top = Tree();
  std::vector<uint8_t>& order = top.at(0).kids.at(2).data;
  PutU32(order, 4 + 4, 3);  // the first node under one listed later
  EXPECT_TRUE(Refused(Sealed(top)));

  // An item without its data, and a scene saved in a format version to come.
  top = Tree();
  Items(top).at(1).kids.pop_back();
  EXPECT_TRUE(Refused(Sealed(top)));
  top = Tree();
  PutU32(top.at(0).kids.at(0).data, 0, 2);
  auto r = Refused(Sealed(top));
  EXPECT_TRUE(r);
  EXPECT_NE(std::string(r.message()).find("version 2"), std::string::npos) << r.message();

  // Chunks nested deeper than a scene has them, inside a plug-in object's data.
  top = Tree();
  ChunkNode deep = DataChunk(1, {1});
  for (int i = 0; i < 40; ++i) deep = Group(1, {deep});
  Item(top, OSM_CLASS_ID, NudgeModifier::kClassID).kids.at(2).kids.push_back(deep);
  ASSERT_EQ(SaveTree(File("deep.wws"), top), IO_OK);
  r = Refused(File("deep.wws"));
  EXPECT_TRUE(r);
  EXPECT_NE(std::string(r.message()).find("nested"), std::string::npos) << r.message();

  // An object nothing refers to: no scene saves one.
  top = Tree();
  ChunkNode& stack = Item(top, GEN_DERIVOB_CLASS_ID, derivObjClassID);
  const uint32_t base = GetU32(Refs(stack), 4);
  for (ChunkNode& item : Items(top))
    if (&item != &stack && GetU32(item.kids.at(0).data, 0) == BASENODE_CLASS_ID &&
        GetU32(Refs(item), 4) == uint32_t(IndexOf(top, stack)))
      PutU32(Refs(item), 4, base);  // the node carries the shape, and the stack is left alone
  r = Refused(Sealed(top));
  EXPECT_TRUE(r);
  EXPECT_NE(std::string(r.message()).find("nothing"), std::string::npos) << r.message();
}

TEST_F(DamagedScene, APlugInObjectThatReadsPastItsDataMakesTheFileDamaged) {
  std::vector<ChunkNode> top = Tree();
  ChunkNode& nudge = Item(top, OSM_CLASS_ID, NudgeModifier::kClassID);
  nudge.kids.at(2).kids.at(0).data.resize(5);  // shorter than its offset
  auto r = Refused(Sealed(top));
  EXPECT_TRUE(r);
  EXPECT_NE(std::string(r.message()).find("Nudge"), std::string::npos) << r.message();
}

}  // namespace
