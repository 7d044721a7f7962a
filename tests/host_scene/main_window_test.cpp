// The host's main window: one for the process, made on first use, the owner of the plug-in's dialogs.
#include "max.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(MainWindow, OneLiveMainWindowForTheProcess) {
  Interface* ip = GetCOREInterface();
  HWND main = ip->GetMAXHWnd();
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(IsWindow(main));
  EXPECT_STREQ(Win32WindowClass(main), "Win32MainWindow");
  EXPECT_EQ(ip->GetMAXHWnd(), main);
  // Asked from another thread, it is still the same window.
  HWND fromWorker = nullptr;
  std::thread([&] { fromWorker = GetCOREInterface()->GetMAXHWnd(); }).join();
  EXPECT_EQ(fromWorker, main);
  EXPECT_TRUE(IsWindow(main));
  // A scene reset leaves the window alone.
  ip->ResetScene();
  EXPECT_EQ(ip->GetMAXHWnd(), main);
  EXPECT_TRUE(IsWindowEnabled(main));
}

TEST(MainWindow, AMainWindowWhoseThreadEndedIsMadeAnewNotHandedOutDead) {
  // Stands for a host whose first caller was a thread that has since ended.
  HWND first = GetCOREInterface()->GetMAXHWnd();
  HWND fromWorker = nullptr;
  bool liveOnWorker = false;
  BOOL destroyedOnWorker = TRUE;
  std::thread([&] {
    destroyedOnWorker = DestroyWindow(first);  // not the worker's: refused, the window stays
    fromWorker = GetCOREInterface()->GetMAXHWnd();
    liveOnWorker = IsWindow(fromWorker);
  }).join();
  EXPECT_FALSE(destroyedOnWorker);
  EXPECT_EQ(fromWorker, first);
  EXPECT_TRUE(liveOnWorker);
  ASSERT_TRUE(DestroyWindow(first));  // as the end of its thread would
  HWND again = GetCOREInterface()->GetMAXHWnd();
  EXPECT_NE(again, first);
  EXPECT_TRUE(IsWindow(again));
  EXPECT_EQ(GetCOREInterface()->GetMAXHWnd(), again);
}

}  // namespace
