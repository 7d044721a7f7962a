// CRegKey over the registry stand-in, and the help lookup through it with a scripted person answering
// its message box.
#include <gtest/gtest.h>

#include "assert_capture.h"
#include "support/Regkey.h"
#include "win32/ui_fixture.h"

#include <string>
#include <vector>

namespace {

const char* kProduct = "SOFTWARE\\Quillory Software\\Wake Weave";

class RegKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { Win32ResetRegistry(); }
  void TearDown() override { Win32ResetRegistry(); }

  // Sets string values (each stored with its terminating zero unless raw) under root\path.
  static void Put(HKEY root, const char* path, std::vector<std::pair<const char*, std::string>> values,
                  bool withZero = true) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    for (const auto& [name, text] : values) {
      const DWORD size = static_cast<DWORD>(text.size() + (withZero ? 1 : 0));
      ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), size), ERROR_SUCCESS);
    }
    RegCloseKey(key);
  }
  static bool KeyExists(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
};

// ---- CRegKey ----------------------------------------------------------------

TEST_F(RegKeyTest, OpenCreatesTheKeyWithFullAccessAndTheObjectClosesIt) {
  {
    CRegKey key;
    EXPECT_EQ(key.Open(HKEY_CURRENT_USER, kProduct), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kProduct)) << "created when missing";
    EXPECT_EQ(Win32OpenRegistryKeyCount(), 1);
    key.Close();
    EXPECT_EQ(Win32OpenRegistryKeyCount(), 0);
    key.Close();  // nothing open: nothing to do
    EXPECT_EQ(key.Open(HKEY_CURRENT_USER, kProduct), ERROR_SUCCESS) << "usable again after Close";
  }
  EXPECT_EQ(Win32OpenRegistryKeyCount(), 0) << "the destructor closes the key";

  // Full access is asked for, so a read-only hive refuses even a key that exists; the object stays closed.
  Win32SetHiveReadOnly(HKEY_CURRENT_USER, TRUE);
  AssertCapture asserts;
  CRegKey key;
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, kProduct), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Win32OpenRegistryKeyCount(), 0);
  EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, kProduct), ERROR_SUCCESS);
  EXPECT_EQ(asserts.Count(), 0u) << "a failed Open leaves no key open";
}

TEST_F(RegKeyTest, OpenOnAnOpenKeyIsAProgrammingErrorAndKeepsTheFirstKey) {
  Put(HKEY_CURRENT_USER, kProduct, {{"path", "first"}});
  Put(HKEY_CURRENT_USER, "SOFTWARE\\Other", {{"path", "second"}});
  AssertCapture asserts;
  CRegKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kProduct), ERROR_SUCCESS);
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, "SOFTWARE\\Other"), ERROR_ACCESS_DENIED);
  ASSERT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(asserts.Entries()[0].expression, "0");
  EXPECT_EQ(asserts.Entries()[0].file, "Regkey");
  EXPECT_EQ(asserts.Entries()[0].line, 66);
  CString value;
  EXPECT_EQ(key.ReadString("path", value), ERROR_SUCCESS);
  EXPECT_EQ(value, "first");
  EXPECT_EQ(Win32OpenRegistryKeyCount(), 1);
}

TEST_F(RegKeyTest, ReadStringAssignsOnlyOnSuccessAndOnlyTheBytesReturned) {
  const std::string fits(199, 'f'), tooLong(200, 'l');
  Put(HKEY_CURRENT_USER, kProduct, {{"path", "C:\\Help"}, {"fits", fits}, {"long", tooLong}, {"zero", "ab"}});
  Put(HKEY_CURRENT_USER, kProduct, {{"noterm", "xyz"}, {"inner", std::string("ab\0cd", 5)}}, false);
  CRegKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kProduct), ERROR_SUCCESS);

  CString value("unchanged");
  EXPECT_EQ(key.ReadString("missing", value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, "unchanged");
  // With its terminating zero a 200-character text is 201 bytes: more than the buffer.
  EXPECT_EQ(key.ReadString("long", value), ERROR_MORE_DATA);
  EXPECT_EQ(value, "unchanged");
  EXPECT_EQ(key.ReadString("fits", value), ERROR_SUCCESS);
  EXPECT_EQ(value, fits.c_str());

  // The buffer still holds the 199 characters read before; a value without its zero ends where its bytes do.
  EXPECT_EQ(key.ReadString("noterm", value), ERROR_SUCCESS);
  EXPECT_EQ(value, "xyz");
  EXPECT_EQ(key.ReadString("inner", value), ERROR_SUCCESS);
  EXPECT_EQ(value, "ab") << "the text ends at its first zero";
  EXPECT_EQ(key.ReadString("PATH", value), ERROR_SUCCESS);
  EXPECT_EQ(value, "C:\\Help");
}

TEST_F(RegKeyTest, ReadStringWithoutAKeyOrANameIsReported) {
  AssertCapture asserts;
  CRegKey key;
  CString value("unchanged");
  EXPECT_EQ(key.ReadString("path", value), ERROR_INVALID_HANDLE) << "the query's own result";
  EXPECT_EQ(value, "unchanged");
  ASSERT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(asserts.Entries()[0].expression, "m_hKey");
  EXPECT_EQ(asserts.Entries()[0].file, "Regkey");
  EXPECT_EQ(asserts.Entries()[0].line, 215);

  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kProduct), ERROR_SUCCESS);
  key.ReadString(nullptr, value);
  ASSERT_EQ(asserts.Count(), 2u);
  EXPECT_EQ(asserts.Entries()[1].expression, "pszKey");
  EXPECT_EQ(asserts.Entries()[1].line, 216);
  key.Close();
  key.ReadString("path", value);
  EXPECT_EQ(asserts.Count(), 3u) << "a closed key is no key";
}

// ---- The help lookup --------------------------------------------------------

// Counts the message boxes the person sees and answers them with OK.
struct HelpLookup : RegKeyTest {
  struct Box {
    HWND owner;
    std::string text, caption;
    UINT type;
  };
  std::vector<Box> boxes;
  ui_test::ScriptedAgent agent;
  HWND owner = nullptr;
  CString fullPath{"unchanged"};

  void SetUp() override {
    RegKeyTest::SetUp();
    owner = Win32CreateMainWindow("Rollout");
    agent.answer = [this](HWND o, const char* text, const char* caption, UINT type) {
      boxes.push_back({o, text, caption, type});
      return IDOK;
    };
  }
  void TearDown() override {
    DestroyWindow(owner);
    EXPECT_EQ(Win32OpenRegistryKeyCount(), 0) << "the lookup closes its key";
    RegKeyTest::TearDown();
  }
  BOOL Find() { return FindHelpDocument(owner, fullPath); }
  void ExpectOneNotFoundBox() {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Help path not found in registry");
    EXPECT_EQ(boxes[0].caption, "Failed");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(boxes[0].owner, owner);
    EXPECT_EQ(fullPath, "unchanged");
  }
};

TEST_F(HelpLookup, JoinsPathAndFileWithExactlyOneBackslash) {
  Put(HKEY_LOCAL_MACHINE, kProduct, {{"path", "C:\\Program Files\\Wakeweave"}, {"help", "wakeweave.chm"}});
  EXPECT_TRUE(Find());
  EXPECT_EQ(fullPath, "C:\\Program Files\\Wakeweave\\wakeweave.chm");
  Put(HKEY_LOCAL_MACHINE, kProduct, {{"path", "C:\\Program Files\\Wakeweave\\"}});
  EXPECT_TRUE(Find());
  EXPECT_EQ(fullPath, "C:\\Program Files\\Wakeweave\\wakeweave.chm") << "no second backslash";
  EXPECT_TRUE(boxes.empty());
}

TEST_F(HelpLookup, KeyOnlyUnderTheUserIsFoundWhenTheMachineHiveIsReadOnly) {
  Put(HKEY_CURRENT_USER, kProduct, {{"path", "D:\\Docs"}, {"help", "ww.chm"}});
  Win32SetHiveReadOnly(HKEY_LOCAL_MACHINE, TRUE);
  EXPECT_TRUE(Find());
  EXPECT_EQ(fullPath, "D:\\Docs\\ww.chm");
  EXPECT_TRUE(boxes.empty());
  Win32SetHiveReadOnly(HKEY_LOCAL_MACHINE, FALSE);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE")) << "nothing was created in the read-only hive";
}

TEST_F(HelpLookup, WritableMachineHiveGetsAnEmptyKeyAndTheUserKeyIsNotTried) {
  Put(HKEY_CURRENT_USER, kProduct, {{"path", "D:\\Docs"}, {"help", "ww.chm"}});
  EXPECT_FALSE(Find());
  ExpectOneNotFoundBox();
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProduct)) << "the missing key is created, empty";
}

TEST_F(HelpLookup, MissingHelpValueGivesTheMessageOnce) {
  Put(HKEY_LOCAL_MACHINE, kProduct, {{"path", "C:\\Help"}});
  EXPECT_FALSE(Find());
  ExpectOneNotFoundBox();
}

TEST_F(HelpLookup, PathOfTwoHundredCharactersCountsAsMissing) {
  Put(HKEY_LOCAL_MACHINE, kProduct, {{"path", std::string(200, 'p')}, {"help", "ww.chm"}});
  EXPECT_FALSE(Find());
  ExpectOneNotFoundBox();
}

TEST_F(HelpLookup, NoRootThatOpensMeansNoMessage) {
  Win32SetHiveReadOnly(HKEY_LOCAL_MACHINE, TRUE);
  Win32SetHiveReadOnly(HKEY_CURRENT_USER, TRUE);
  EXPECT_FALSE(Find());
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(fullPath, "unchanged");
}

}  // namespace
