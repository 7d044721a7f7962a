// CenterWindow: a window's centre moved onto another's, or onto the screen's.
#include "max.h"

#include <gtest/gtest.h>

namespace {

RECT RectOf(HWND h) {
  RECT r{};
  EXPECT_TRUE(GetWindowRect(h, &r));
  return r;
}

TEST(CenterWindow, PutsTheChildsCentreOnTheParentsKeepingItsSize) {
  HWND parent = Win32CreateMainWindow("Parent");
  HWND child = Win32CreateMainWindow("Child");
  ASSERT_TRUE(MoveWindow(parent, 100, 50, 801, 600, FALSE));
  ASSERT_TRUE(MoveWindow(child, 0, 0, 279, 115, FALSE));
  ASSERT_TRUE(CenterWindow(child, parent));
  const RECT r = RectOf(child);
  EXPECT_EQ(r.right - r.left, 279);
  EXPECT_EQ(r.bottom - r.top, 115);
  // Centres agree to the pixel that an odd difference leaves over.
  EXPECT_EQ(r.left, 100 + (801 - 279) / 2);
  EXPECT_EQ(r.top, 50 + (600 - 115) / 2);
  EXPECT_LE(std::abs((r.left + r.right) - (100 + 901)), 1);

  // A child larger than the parent hangs over it evenly.
  MoveWindow(child, 0, 0, 1001, 700, FALSE);
  ASSERT_TRUE(CenterWindow(child, parent));
  EXPECT_EQ(RectOf(child).left, 100 - 100);
  EXPECT_EQ(RectOf(child).top, 50 - 50);
  DestroyWindow(child);
  DestroyWindow(parent);
}

TEST(CenterWindow, WithoutParentCentresOnTheScreen) {
  HWND child = Win32CreateMainWindow("Child");
  MoveWindow(child, 5, 5, 200, 100, FALSE);
  ASSERT_TRUE(CenterWindow(child, nullptr));
  const RECT r = RectOf(child);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 200) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 100) / 2);
  DestroyWindow(child);
}

TEST(CenterWindow, ADeadWindowIsReportedAndNothingMoves) {
  HWND child = Win32CreateMainWindow("Child");
  HWND gone = Win32CreateMainWindow("Gone");
  DestroyWindow(gone);
  MoveWindow(child, 5, 6, 200, 100, FALSE);
  EXPECT_FALSE(CenterWindow(child, gone));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(RectOf(child).left, 5);
  EXPECT_FALSE(CenterWindow(gone, child));
  DestroyWindow(child);
}

}  // namespace
