// The bitmap manager's file chooser: what the person is shown, and what the caller gets back.
#include <cstring>
#include <string>
#include <vector>

#include <win32/useragent.h>

#include "materials_fixture.h"

namespace {

// A person who chooses path (or cancels, when empty), and notes what the chooser showed.
class Person : public Win32UserAgent {
 public:
  std::string path;
  int asked = 0;
  HWND owner = nullptr;
  bool ownerEnabled = true;
  std::string title;
  std::vector<std::string> filter;  // descriptions and patterns, in order

  Person() { previous_ = Win32SetUserAgent(this); }
  ~Person() override { Win32SetUserAgent(previous_); }
  bool ChooseOpenFile(HWND w, const char* caption, const char* pairs, std::string& chosen) override {
    ++asked;
    owner = w;
    ownerEnabled = w && IsWindowEnabled(w);
    title = caption;
    for (const char* p = pairs; *p; p += std::strlen(p) + 1) filter.push_back(p);
    chosen = path;
    return !path.empty();
  }

 private:
  Win32UserAgent* previous_;
};

}  // namespace

TEST(BitmapChooser, GivesTheChosenFilesFullNameAskedWithImageFilesUnderTheCallersCaption) {
  ASSERT_NE(TheManager, nullptr);
  Person person;
  person.path = "C:\\maps\\wake trail.png";
  HWND owner = GetCOREInterface()->GetMAXHWnd();
  BitmapInfo bi;
  ASSERT_TRUE(TheManager->SelectFileInputEx(&bi, owner, "Wakeweave"));
  EXPECT_STREQ(bi.Name(), "C:\\maps\\wake trail.png");
  EXPECT_EQ(person.asked, 1);
  EXPECT_EQ(person.owner, owner);
  EXPECT_FALSE(person.ownerEnabled) << "the owner waits while the person chooses";
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(person.title, "Wakeweave");
  ASSERT_EQ(person.filter.size(), 4u) << "two pairs: image files, all files";
  for (const char* ext : {"*.bmp", "*.jpg", "*.png", "*.tga", "*.tif"})
    EXPECT_NE(person.filter[1].find(ext), std::string::npos) << ext;
  EXPECT_EQ(person.filter[3], "*.*");
}

TEST(BitmapChooser, ACancelLeavesTheCallersNameAsItWas) {
  Person person;  // chooses nothing
  BitmapInfo bi("C:\\maps\\old.png");
  EXPECT_FALSE(TheManager->SelectFileInputEx(&bi, GetCOREInterface()->GetMAXHWnd(), "Wakeweave"));
  EXPECT_EQ(person.asked, 1);
  EXPECT_STREQ(bi.Name(), "C:\\maps\\old.png");
}

TEST(BitmapChooser, ANameLongerThanAPathIsNotTakenAndOneThatJustFitsIs) {
  Person person;
  const std::string folder = "C:\\" + std::string(200, 'd') + "\\";
  person.path = folder + std::string(MAX_PATH - folder.size(), 'n');  // one byte too many with its zero
  BitmapInfo bi("before");
  EXPECT_FALSE(TheManager->SelectFileInputEx(&bi, nullptr, "Wakeweave"));
  EXPECT_STREQ(bi.Name(), "before");

  person.path.pop_back();
  ASSERT_TRUE(TheManager->SelectFileInputEx(&bi, nullptr, "Wakeweave"));
  EXPECT_EQ(std::string(bi.Name()), person.path);
  EXPECT_EQ(std::strlen(bi.Name()), size_t(MAX_PATH - 1));
}

TEST(BitmapChooser, NoInfoToFillIsAFaultAndAsksNobody) {
  AssertCapture asserts;
  Person person;
  person.path = "C:\\maps\\a.png";
  EXPECT_FALSE(TheManager->SelectFileInputEx(nullptr, nullptr, "Wakeweave"));
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(person.asked, 0);
}
