// The library's string loader and its string table.
#include "plugin_fixture.h"

#include <map>

namespace {

class PluginStrings : public ::testing::Test {
 protected:
  void SetUp() override { AttachPlugin(); }
};

// The whole table; ids in the two ranges that are not listed here must be absent.
const std::map<int, std::string> kTable = {
    {1, "Wakeweave"},
    {2, "Quillory Software"},
    {3, "Wakeweave"},
    {4, "Parameters"},
    {5, "Spin"},
    {6, "Frames"},
    {7, "Segments"},
    {8, "Flip Normals"},
    {9, "Frames"},
    {10, "Spline Steps"},
    {1500, "Start Frame"},
    {1505, "End Frame"},
    {1506, "Segments Per Frame"},
    {1507, "Mesh Parameters"},
    {1508, "Type"},
    {1509, "U Repeat"},
    {1510, "V Repeat"},
    {1511, "Particle Trails"},
    {1512, "Apply Texture"},
    {1513, "Texture Path"},
    {1514, "Fade"},
    {1515, "Fade Start Color"},
    {1516, "Fade End Color"},
    {1517, "Fade To"},
    {1518, "Reorient"},
    {1519, "Repeat lengthways"},
    {1521, "Fade Midpoint (similar to gradient midpoint)"},
    {1522, "Fade-In or Fade-Out"},
    {1524, "Effects"},
    {1525, "Use Range"},
    {1526, "Use Particle Trails"},
    {1527, "Particle Node"},
    {1528, "Choose a Particle System"},
    {1529, "Generate UV Mapping"},
    {1530, "Generate Particle Age UV Mapping"},
    {1531, "Use Particle Trail Banking"},
    {1532, "Use all Events"},
    {1533, "Event List"},
    {1534, "Add Events"},
    {1535, "every n'th particle"},
    {1536, "Start at particle n"},
    {1537, "Map Type"},
    {1538, "Number Of Materials"},
};

TEST_F(PluginStrings, EveryIdInBothRangesHasItsExactTextOrNone) {
  std::vector<int> ids;
  for (int id = 1; id <= 10; ++id) ids.push_back(id);
  for (int id = 1500; id <= 1538; ++id) ids.push_back(id);
  int present = 0;
  for (int id : ids) {
    SCOPED_TRACE("string id " + std::to_string(id));
    const char* text = GetString(id);
    auto it = kTable.find(id);
    if (it == kTable.end()) {
      EXPECT_EQ(text, nullptr) << "unexpected text \"" << (text ? text : "") << "\"";
    } else {
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(std::string(text), it->second);
      ++present;
    }
  }
  EXPECT_EQ(present, int(kTable.size()));
}

TEST_F(PluginStrings, IdsOutsideTheTableGiveNull) {
  for (int id : {0, 11, 100, 1499, 1501, 1520, 1523, 1539, -1, 65535}) {
    EXPECT_EQ(GetString(id), nullptr) << "id " << id;
  }
}

TEST_F(PluginStrings, OneBufferSharedByAllCalls) {
  const char* first = GetString(1527);
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "Particle Node");
  const char* second = GetString(1507);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first, second);
  // The first text is gone: the buffer now holds the second.
  EXPECT_STREQ(first, "Mesh Parameters");
  // A longer text followed by a shorter one leaves no tail of the longer one.
  GetString(1521);
  EXPECT_STREQ(GetString(1514), "Fade");
}

TEST_F(PluginStrings, BeforeAttachEverythingNamedFromTheTableIsNull) {
  HINSTANCE saved = hInstance;
  hInstance = nullptr;
  const char* text = GetString(1);
  const char* className = GetWakeweaveDesc()->ClassName();
  const char* category = GetWakeweaveDesc()->Category();
  HINSTANCE desc = GetWakeweaveDesc()->HInstance();
  hInstance = saved;
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(className, nullptr);
  EXPECT_EQ(category, nullptr);
  EXPECT_EQ(desc, nullptr);
  // The internal name does not come from the table.
  EXPECT_STREQ(GetWakeweaveDesc()->InternalName(), "Wakeweave");
  EXPECT_STREQ(GetString(1), "Wakeweave");
}

TEST_F(PluginStrings, AttachStoresTheModuleHandle) {
  EXPECT_EQ(hInstance, AttachPlugin());
  EXPECT_EQ(GetWakeweaveDesc()->HInstance(), AttachPlugin());
}

}  // namespace
