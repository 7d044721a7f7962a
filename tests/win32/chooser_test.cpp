// The open-file chooser answered by the person, and pictures: static controls that show a module's
// bitmap, 24 and 32 bits a pixel.
#include "panel_fixture.h"

#include <cstring>

namespace {

using namespace panel_test;

// A person who chooses path (or cancels, when empty), and notes what the chooser showed.
class Chooser : public Win32UserAgent {
 public:
  std::string path;
  std::string seen;
  int asked = 0;
  bool ownerEnabled = true;
  HWND watched = nullptr;  // another window whose state during the choice a test wants
  bool watchedEnabled = true;
  Chooser() { previous_ = Win32SetUserAgent(this); }
  ~Chooser() override { Win32SetUserAgent(previous_); }
  bool ChooseOpenFile(HWND owner, const char* title, const char* filter, std::string& chosen) override {
    ++asked;
    ownerEnabled = owner && IsWindowEnabled(owner);
    watchedEnabled = IsWindowEnabled(watched);
    seen = std::string(title) + "|" + filter + "|" + (filter + std::strlen(filter) + 1);
    chosen = path;
    return !path.empty();
  }

 private:
  Win32UserAgent* previous_;
};

OPENFILENAMEA Request(HWND owner, char* file, DWORD size) {
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = "Scenes (*.wws)\0*.wws\0\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = size;
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  return ofn;
}

TEST(OpenFile, TheChosenFileWithItsBareNameWhileTheOwnerWaitsDisabled) {
  Chooser person;
  person.path = "C:\\scenes\\trail.v2.wws";
  HWND owner = Win32CreateMainWindow("Host");
  char file[MAX_PATH] = "";
  char title[8];
  OPENFILENAMEA ofn = Request(owner, file, MAX_PATH);
  ofn.lpstrFileTitle = title;
  ofn.nMaxFileTitle = sizeof title;
  ASSERT_TRUE(GetOpenFileNameA(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_STREQ(file, "C:\\scenes\\trail.v2.wws");
  EXPECT_EQ(ofn.nFileOffset, 10);
  EXPECT_EQ(ofn.nFileExtension, 19) << "after the last dot";
  EXPECT_STREQ(title, "trail.v") << "the bare name, cut to its buffer";
  EXPECT_EQ(person.seen, "Open|Scenes (*.wws)|*.wws");
  EXPECT_FALSE(person.ownerEnabled);
  EXPECT_TRUE(IsWindowEnabled(owner)) << "enabled again afterwards";
  // A name without folder or extension, and the caller's caption.
  person.path = "scene";
  ofn.lpstrTitle = "Load Trail Scene";
  ASSERT_TRUE(GetOpenFileNameA(&ofn));
  EXPECT_EQ(ofn.nFileOffset, 0);
  EXPECT_EQ(ofn.nFileExtension, 5) << "no extension: the terminating zero";
  EXPECT_EQ(person.seen.substr(0, 17), "Load Trail Scene|");
  // A panel's chooser disables the panel's top-level window.
  Proc quiet = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
  ofn.hwndOwner = Open(kPanel, owner, &quiet);
  person.watched = owner;
  ASSERT_TRUE(GetOpenFileNameA(&ofn));
  EXPECT_FALSE(person.watchedEnabled);
  EXPECT_TRUE(person.ownerEnabled) << "the panel itself is left alone";
  EXPECT_TRUE(IsWindowEnabled(owner));
  ofn.hwndOwner = owner;
  // An owner disabled before stays disabled.
  EnableWindow(owner, FALSE);
  GetOpenFileNameA(&ofn);
  EXPECT_FALSE(IsWindowEnabled(owner));
  DestroyWindow(owner);
}

TEST(OpenFile, ANameTooLongForTheBufferIsReportedAndNothingWrittenPastIt) {
  Chooser person;
  person.path = "C:\\scenes\\trail.wws";  // 19 characters and the zero
  char file[32];
  std::memset(file, 'x', sizeof file);
  OPENFILENAMEA ofn = Request(nullptr, file, 19);
  EXPECT_FALSE(GetOpenFileNameA(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), DWORD(FNERR_BUFFERTOOSMALL));
  WORD needed = 0;
  std::memcpy(&needed, file, sizeof needed);
  EXPECT_EQ(needed, 20) << "the size needed, in the first two bytes";
  for (size_t i = 2; i < sizeof file; ++i) ASSERT_EQ(file[i], 'x') << "byte " << i;
  // One more char is room enough.
  ofn.nMaxFile = 20;
  EXPECT_TRUE(GetOpenFileNameA(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_STREQ(file, "C:\\scenes\\trail.wws");
  EXPECT_EQ(file[20], 'x');
}

TEST(OpenFile, CancelWrongSizesAndDeadOwnersAnswerFalseWithTheirErrors) {
  Chooser person;
  char file[MAX_PATH] = "initial";
  OPENFILENAMEA ofn = Request(nullptr, file, MAX_PATH);
  EXPECT_FALSE(GetOpenFileNameA(&ofn)) << "the person cancels";
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_STREQ(file, "initial");
  EXPECT_EQ(person.asked, 1);
  person.path = "C:\\a.wws";
  ofn.lStructSize = sizeof ofn - 4;
  EXPECT_FALSE(GetOpenFileNameA(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), DWORD(CDERR_STRUCTSIZE));
  EXPECT_FALSE(GetOpenFileNameA(nullptr));
  EXPECT_EQ(CommDlgExtendedError(), DWORD(CDERR_STRUCTSIZE));
  ofn.lStructSize = sizeof ofn;
  HWND gone = Win32CreateMainWindow("Gone");
  DestroyWindow(gone);
  ofn.hwndOwner = gone;
  EXPECT_FALSE(GetOpenFileNameA(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), DWORD(CDERR_DIALOGFAILURE));
  EXPECT_EQ(person.asked, 1) << "nobody is asked by a chooser that cannot open";
  EXPECT_STREQ(file, "initial");
}

TEST(OpenFile, TheDefaultPersonCancels) {
  char file[MAX_PATH] = "";
  OPENFILENAMEA ofn = Request(nullptr, file, MAX_PATH);
  EXPECT_FALSE(GetOpenFileNameA(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
}

BITMAP Describe(HBITMAP bitmap) {
  BITMAP bm{};
  EXPECT_EQ(GetObjectA(bitmap, sizeof bm, &bm), int(sizeof bm));
  return bm;
}

TEST(Bitmaps, ThirtyTwoBitResourcesKeepFourBytesAPixel) {
  HBITMAP old = LoadBitmapA(Module(), MAKEINTRESOURCE(kBitmap24));
  HBITMAP wide = LoadBitmapA(Module(), MAKEINTRESOURCE(kBitmap32));
  ASSERT_NE(old, nullptr);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(Describe(old).bmBitsPixel, 24) << "bitsPerPixel 0 means 24";
  EXPECT_EQ(Describe(old).bmWidthBytes, 6);
  const BITMAP bm = Describe(wide);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  EXPECT_EQ(bm.bmWidth, 2);
  EXPECT_EQ(bm.bmWidthBytes, 8);
  EXPECT_EQ(std::memcmp(Win32BitmapPixels(wide), kPixels32, sizeof kPixels32), 0);
  EXPECT_EQ(std::memcmp(Win32BitmapPixels(old), kPixels24, sizeof kPixels24), 0);
  DeleteObject(old);
  DeleteObject(wide);
}

TEST(Bitmaps, AnOddDepthIsADamagedResource) {
  static const unsigned char pixels[8] = {};
  static const Win32BitmapResource odd[] = {{1, 2, 1, pixels, 16}};
  static const Win32ResourceImage image = {nullptr, 0, nullptr, 0, odd, 1};
  HMODULE module = Win32RegisterModule("odd-depth", &image);
  SetLastError(0);
  EXPECT_EQ(LoadBitmapA(module, MAKEINTRESOURCE(1)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
  Win32UnregisterModule(module);
}

using Pictures = PanelFixture;

TEST_F(Pictures, APictureLoadsItsBitmapAndOwnsItUntilHandedBack) {
  HWND picture = item(kPicture);
  auto shown = reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(Describe(shown).bmWidth, 2);
  EXPECT_EQ(std::memcmp(Win32BitmapPixels(shown), kPixels24, sizeof kPixels24), 0);
  EXPECT_EQ(SendMessageA(item(kMissingPicture), STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "a missing bitmap: empty";
  EXPECT_EQ(SendMessageA(item(kLabel), STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "no picture";

  // Setting another picture hands the old one back, which then outlives the control.
  HBITMAP wide = LoadBitmapA(Module(), MAKEINTRESOURCE(kBitmap32));
  EXPECT_EQ(SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(wide)),
            reinterpret_cast<LRESULT>(shown));
  EXPECT_EQ(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0), reinterpret_cast<LRESULT>(wide));
  HWND other = item(kMissingPicture);
  DestroyWindow(panel);
  EXPECT_FALSE(IsWindow(other));
  EXPECT_EQ(Describe(shown).bmBitsPixel, 24) << "handed back: the caller's now";
  EXPECT_EQ(Describe(wide).bmBitsPixel, 32) << "set by the caller: still the caller's";
  DeleteObject(shown);
  DeleteObject(wide);
}

TEST_F(Pictures, APictureLoadedFromTheTemplateGoesWithItsControl) {
  auto shown = reinterpret_cast<HBITMAP>(SendMessageA(item(kPicture), STM_GETIMAGE, IMAGE_BITMAP, 0));
  ASSERT_NE(shown, nullptr);
  DestroyWindow(panel);
  BITMAP bm{};
  EXPECT_EQ(GetObjectA(shown, sizeof bm, &bm), 0) << "deleted with the control that loaded it";
  EXPECT_FALSE(DeleteObject(shown));
}

}  // namespace
