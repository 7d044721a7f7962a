// The About box as the person sees and closes it, and the help command from the registry to the document.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "panel_agent.h"
#include "plugin/resource.h"
#include "plugin_fixture.h"
#include "ui/AboutBox.h"

namespace {

class AboutBox : public SceneTest {};

struct AboutSeen {
  std::string caption, version, site;
  int centreOffset = -1;
  LONG pictureWidth = 0, pictureHeight = 0;
  WORD pictureBits = 0;
};

AboutSeen Look(HWND d) {
  AboutSeen seen;
  seen.caption = WindowText(d);
  RECT box, main;
  GetWindowRect(d, &box);
  GetWindowRect(GetCOREInterface()->GetMAXHWnd(), &main);
  seen.centreOffset = std::abs((box.left + box.right) - (main.left + main.right)) +
                      std::abs((box.top + box.bottom) - (main.top + main.bottom));
  EnumChildWindows(
      d,
      [](HWND c, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<AboutSeen*>(p);
        const std::string text = WindowText(c);
        if (text == "Version 3.56") s->version = text;
        if (text.find("example.com") != std::string::npos) s->site = text;
        if (auto bmp = reinterpret_cast<HBITMAP>(SendMessageA(c, STM_GETIMAGE, IMAGE_BITMAP, 0))) {
          BITMAP info{};
          if (GetObjectA(bmp, sizeof info, &info)) {
            s->pictureWidth = info.bmWidth;
            s->pictureHeight = info.bmHeight;
            s->pictureBits = info.bmBitsPixel;
          }
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&seen));
  return seen;
}

}  // namespace

TEST_F(AboutBox, ShowsVersionSiteAndPictureCentredOnTheHostWindowAndClosesWithOk) {
  PanelAgent agent;
  AboutSeen seen;
  agent.onShown = [&](HWND d) {
    seen = Look(d);
    Win32PressButton(d, IDOK);
  };
  ShowAboutBox();
  ASSERT_EQ(agent.shown.size(), 1u);
  EXPECT_FALSE(IsWindow(agent.shown[0])) << "the box is gone once ShowAboutBox returns";
  EXPECT_EQ(seen.caption, "About Wakeweave");
  EXPECT_EQ(seen.version, "Version 3.56");
  EXPECT_NE(seen.site.find("http://www.example.com/"), std::string::npos) << seen.site;
  EXPECT_LE(seen.centreOffset, 2);
  EXPECT_EQ(seen.pictureWidth, 400);
  EXPECT_EQ(seen.pictureHeight, 50);
  EXPECT_EQ(seen.pictureBits, 32);
}

TEST_F(AboutBox, ClosesWithTheCloseBoxAndWithEnterButNotWithEscape) {
  for (int way = 0; way < 2; ++way) {
    PanelAgent agent;
    agent.onShown = [&](HWND d) {
      if (way == 0)
        Win32CloseWindow(d);
      else
        Win32PressKey(d, VK_RETURN);
    };
    ShowAboutBox();
    EXPECT_EQ(agent.shown.size(), 1u) << way;
  }
  // Escape means Cancel, which the box does not answer: it stays until OK.
  PanelAgent agent;
  int idles = 0;
  bool openAfterEscape = false;
  agent.onShown = [&](HWND d) { Win32PressKey(d, VK_ESCAPE); };
  agent.onIdle = [&](HWND d) {
    if (++idles == 1) {
      openAfterEscape = IsWindow(d);
      Win32PressButton(d, IDOK);
    }
  };
  ShowAboutBox();
  EXPECT_TRUE(openAfterEscape);
}

namespace {

const char* kProduct = "SOFTWARE\\Quillory Software\\Wake Weave";

class HelpCommand : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    Win32ResetRegistry();
    Win32ResetOpenedDocuments();
    char dirTemplate[] = "/tmp/wakeweave-help-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    folder = dirTemplate;
  }
  void TearDown() override {
    std::remove((folder + "/wakeweave.chm").c_str());
    std::remove(folder.c_str());
    Win32ResetRegistry();
    SceneTest::TearDown();
  }
  static void Put(HKEY root, const char* name, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, kProduct, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void MakeDocument() {
    FILE* f = std::fopen((folder + "/wakeweave.chm").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("help", f);
    std::fclose(f);
  }

  std::string folder;
};

}  // namespace

TEST_F(HelpCommand, OpensTheDocumentNamedByPathAndHelpWithOneBackslashBetween) {
  MakeDocument();
  for (const std::string& path : {folder, folder + "\\"}) {
    Win32ResetOpenedDocuments();
    Put(HKEY_LOCAL_MACHINE, "path", path);
    Put(HKEY_LOCAL_MACHINE, "help", "wakeweave.chm");
    PanelAgent agent;
    HWND owner = ip()->GetMAXHWnd();
    ShowHelp(owner);
    EXPECT_TRUE(agent.boxes.empty());
    ASSERT_EQ(Win32OpenedDocumentCount(), 1) << path;
    EXPECT_EQ(std::string(Win32LastOpenedDocument()), folder + "\\wakeweave.chm");
  }
}

TEST_F(HelpCommand, AMissingValueOrDocumentIsSaidOnceAndNothingOpens) {
  Put(HKEY_LOCAL_MACHINE, "path", folder);
  {
    PanelAgent agent;
    ShowHelp(ip()->GetMAXHWnd());
    ASSERT_EQ(agent.boxes.size(), 1u);
    EXPECT_EQ(agent.boxes[0].text, "Help path not found in registry");
    EXPECT_EQ(agent.boxes[0].caption, "Failed");
    EXPECT_EQ(agent.boxes[0].owner, ip()->GetMAXHWnd());
  }
  // Both values, but no such document: the person is told rather than left waiting for a window.
  Put(HKEY_LOCAL_MACHINE, "help", "wakeweave.chm");
  PanelAgent agent;
  ShowHelp(ip()->GetMAXHWnd());
  ASSERT_EQ(agent.boxes.size(), 1u);
  EXPECT_EQ(agent.boxes[0].text, "The help document could not be opened");
  EXPECT_EQ(Win32OpenedDocumentCount(), 0);
}

TEST_F(HelpCommand, ReadsTheUsersKeyWhenTheMachineHiveIsReadOnly) {
  MakeDocument();
  Put(HKEY_CURRENT_USER, "path", folder);
  Put(HKEY_CURRENT_USER, "help", "wakeweave.chm");
  ASSERT_TRUE(Win32SetHiveReadOnly(HKEY_LOCAL_MACHINE, TRUE));
  PanelAgent agent;
  ShowHelp(ip()->GetMAXHWnd());
  Win32SetHiveReadOnly(HKEY_LOCAL_MACHINE, FALSE);
  EXPECT_TRUE(agent.boxes.empty());
  EXPECT_EQ(Win32OpenedDocumentCount(), 1);
}
