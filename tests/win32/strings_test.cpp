// String, dialog and bitmap resources of an in-process module.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const Win32StringResource kStrings[] = {
    {1, "Wakeweave"},
    {2, "Trail"},
    {3, ""},  // an empty entry reads as absent, as in a string table
    {65535, "Last id"},
};

const Win32DialogControl kPanelControls[] = {
    {1001, "BUTTON", "Regenerate", 0x50010000, 4, 4, 60, 14},
    {1002, "msctls_progress32", "", 0x50000000, 4, 22, 100, 8},
};
const Win32DialogResource kDialogs[] = {
    {101, "Panel", 0x40000000, 108, 60, kPanelControls, 2},
};

const unsigned char kPixels[] = {
    1,  2,  3,  4,  5,  6,  7,  8,  9,  //
    10, 11, 12, 13, 14, 15, 16, 17, 18,
};
const Win32BitmapResource kBitmaps[] = {{300, 3, 2, kPixels, 24}};

const Win32ResourceImage kImage = {kStrings, 4, kDialogs, 1, kBitmaps, 1};

class ModuleResources : public ::testing::Test {
 protected:
  void SetUp() override { module = Win32RegisterModule("resources-test", &kImage); }
  void TearDown() override { Win32UnregisterModule(module); }
  HMODULE module = nullptr;
};

TEST_F(ModuleResources, LoadStringCopiesWholeStringWhenItFits) {
  char buffer[32];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(LoadStringA(module, 1, buffer, sizeof buffer), 9);
  EXPECT_STREQ(buffer, "Wakeweave");
  EXPECT_EQ(LoadStringA(module, 65535, buffer, sizeof buffer), 7);
  EXPECT_STREQ(buffer, "Last id");
}

TEST_F(ModuleResources, LoadStringExactFitAndTruncation) {
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  // Exactly the length plus the terminating zero.
  EXPECT_EQ(LoadStringA(module, 1, buffer, 10), 9);
  EXPECT_STREQ(buffer, "Wakeweave");

  // One short: the last character gives way to the zero.
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(LoadStringA(module, 1, buffer, 9), 8);
  EXPECT_STREQ(buffer, "Wakeweav");
  EXPECT_EQ(buffer[9], 'x') << "wrote past cchBufferMax";

  // Room for the zero only.
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(LoadStringA(module, 2, buffer, 1), 0);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'x');
}

TEST_F(ModuleResources, AbsentStringGivesZeroAndEmptyBuffer) {
  char buffer[8] = "junk";
  SetLastError(0);
  EXPECT_EQ(LoadStringA(module, 42, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));

  std::strcpy(buffer, "junk");
  EXPECT_EQ(LoadStringA(module, 3, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
}

TEST_F(ModuleResources, ZeroLengthBufferReturnsPointerToResourceText) {
  const char* text = nullptr;
  EXPECT_EQ(LoadStringA(module, 2, reinterpret_cast<LPSTR>(&text), 0), 5);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text, kStrings[1].text) << "should point at the resource itself, not a copy";

  text = "stale";
  EXPECT_EQ(LoadStringA(module, 42, reinterpret_cast<LPSTR>(&text), 0), 0);
  EXPECT_EQ(text, nullptr);
}

TEST_F(ModuleResources, NullInstanceNullBufferAndDeadHandleLoadNothing) {
  char buffer[8] = "junk";
  EXPECT_EQ(LoadStringA(nullptr, 1, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(LoadStringA(module, 1, nullptr, 8), 0);
  EXPECT_EQ(LoadStringA(module, 1, buffer, -1), 0);

  HMODULE gone = Win32RegisterModule("gone", &kImage);
  Win32UnregisterModule(gone);
  std::strcpy(buffer, "junk");
  EXPECT_EQ(LoadStringA(gone, 1, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(Win32ModuleImage(gone), nullptr);
}

TEST(ModuleWithoutResources, FindsNothing) {
  HMODULE bare = Win32RegisterModule("bare", nullptr);
  char buffer[8] = "junk";
  EXPECT_EQ(LoadStringA(bare, 1, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
  EXPECT_EQ(Win32FindDialog(bare, 101), nullptr);
  EXPECT_EQ(LoadBitmapA(bare, MAKEINTRESOURCE(300)), nullptr);
  EXPECT_EQ(GetProcAddress(bare, "DllMain"), nullptr);
  EXPECT_FALSE(FreeLibrary(bare)) << "in-process modules are unregistered, not freed";
  Win32UnregisterModule(bare);
}

TEST_F(ModuleResources, ModulesAreDistinctAndKeepTheirOwnImages) {
  const Win32StringResource otherStrings[] = {{1, "Other"}};
  const Win32ResourceImage otherImage = {otherStrings, 1, nullptr, 0, nullptr, 0};
  HMODULE other = Win32RegisterModule("other", &otherImage);
  ASSERT_NE(other, module);
  char buffer[16];
  LoadStringA(other, 1, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "Other");
  LoadStringA(module, 1, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "Wakeweave");
  EXPECT_EQ(Win32FindDialog(other, 101), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  Win32UnregisterModule(other);
}

TEST_F(ModuleResources, FindDialogByIdWithItsControls) {
  const Win32DialogResource* dialog = Win32FindDialog(module, 101);
  ASSERT_NE(dialog, nullptr);
  EXPECT_STREQ(dialog->caption, "Panel");
  ASSERT_EQ(dialog->numControls, 2);
  EXPECT_EQ(dialog->controls[1].id, 1002);
  EXPECT_STREQ(dialog->controls[1].className, "msctls_progress32");
  EXPECT_EQ(Win32FindDialog(module, 102), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(ModuleResources, BitmapLoadsDescribesItselfAndOutlivesTheModule) {
  ASSERT_NE(Win32FindBitmap(module, 300), nullptr);
  HBITMAP bitmap = LoadBitmapA(module, MAKEINTRESOURCE(300));
  ASSERT_NE(bitmap, nullptr);

  EXPECT_EQ(GetObjectA(bitmap, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
  BITMAP bm{};
  ASSERT_EQ(GetObjectA(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 3);
  EXPECT_EQ(bm.bmHeight, 2);
  EXPECT_EQ(bm.bmBitsPixel, 24);
  EXPECT_EQ(bm.bmWidthBytes, 10) << "3 pixels * 3 bytes, rounded up to a WORD";
  EXPECT_EQ(GetObjectA(bitmap, sizeof bm - 1, &bm), 0);

  // The pixels are the bitmap's own: they stay after the module is gone.
  Win32UnregisterModule(module);
  module = Win32RegisterModule("resources-test", &kImage);
  const unsigned char* pixels = Win32BitmapPixels(bitmap);
  ASSERT_NE(pixels, nullptr);
  EXPECT_NE(pixels, kPixels);
  EXPECT_EQ(std::memcmp(pixels, kPixels, sizeof kPixels), 0);

  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_FALSE(DeleteObject(bitmap)) << "a deleted handle is no longer an object";
  EXPECT_EQ(GetObjectA(bitmap, sizeof bm, &bm), 0);
  EXPECT_EQ(Win32BitmapPixels(bitmap), nullptr);
}

TEST_F(ModuleResources, MissingOrNamedBitmapsDoNotLoad) {
  EXPECT_EQ(LoadBitmapA(module, MAKEINTRESOURCE(301)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(LoadBitmapA(module, "NAMED"), nullptr);
  EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCE(300)), nullptr);
}

}  // namespace
