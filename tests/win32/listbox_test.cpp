// List boxes: entries, single and multiple selection with Windows' answers at the edges, and a person's
// choice with its notification.
#include "panel_fixture.h"

namespace {

using namespace panel_test;

using ListBox = PanelFixture;

LRESULT Send(HWND list, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  return SendMessageA(list, message, wParam, lParam);
}

LPARAM Text(const char* text) { return reinterpret_cast<LPARAM>(text); }

std::string Entries(HWND list) {
  std::string all;
  const LRESULT count = Send(list, LB_GETCOUNT);
  for (LRESULT i = 0; i < count; ++i) {
    std::string entry(Send(list, LB_GETTEXTLEN, i), '\0');
    EXPECT_EQ(Send(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data())), LRESULT(entry.size()));
    all += (all.empty() ? "" : ",") + entry;
  }
  return all;
}

TEST_F(ListBox, EntriesAreAddedInsertedAndDeletedInOrderWithIndicesChecked) {
  HWND list = item(kList);
  EXPECT_EQ(Send(list, LB_ADDSTRING, 0, Text("Sphere")), 0);
  EXPECT_EQ(Send(list, LB_ADDSTRING, 0, Text("Box")), 1) << "insertion order: LBS_SORT is not carried";
  EXPECT_EQ(Send(list, LB_INSERTSTRING, 0, Text("Plane")), 0);
  EXPECT_EQ(Send(list, LB_INSERTSTRING, WPARAM(-1), Text("Torus")), 3);
  EXPECT_EQ(Send(list, LB_INSERTSTRING, 4, Text("End")), 4) << "just past the last entry is the end";
  EXPECT_EQ(Send(list, LB_INSERTSTRING, 6, Text("Beyond")), LB_ERR);
  EXPECT_EQ(Entries(list), "Plane,Sphere,Box,Torus,End");
  EXPECT_EQ(Send(list, LB_DELETESTRING, 4), 4);
  EXPECT_EQ(Send(list, LB_DELETESTRING, 4), LB_ERR);
  EXPECT_EQ(Send(list, LB_GETTEXTLEN, 4), LB_ERR);
  char buffer[16] = "untouched";
  EXPECT_EQ(Send(list, LB_GETTEXT, 4, reinterpret_cast<LPARAM>(buffer)), LB_ERR);
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(Send(list, LB_GETTEXT, WPARAM(-1), reinterpret_cast<LPARAM>(buffer)), LB_ERR);
  EXPECT_EQ(Entries(list), "Plane,Sphere,Box,Torus");
  EXPECT_EQ(Send(list, LB_RESETCONTENT), 0);
  EXPECT_EQ(Send(list, LB_GETCOUNT), 0);
}

TEST_F(ListBox, ASingleSelectionListHoldsOneAndRefusesTheMultipleMessages) {
  HWND list = item(kList);
  for (const char* name : {"a", "b", "c"}) Send(list, LB_ADDSTRING, 0, Text(name));
  EXPECT_EQ(Send(list, LB_GETCURSEL), LB_ERR) << "none selected";
  EXPECT_EQ(Send(list, LB_SETCURSEL, 2), 2);
  EXPECT_EQ(Send(list, LB_SETCURSEL, 1), 1);
  EXPECT_EQ(Send(list, LB_GETCURSEL), 1);
  EXPECT_EQ(Send(list, LB_GETSEL, 2), 0) << "the earlier selection went";
  EXPECT_GT(Send(list, LB_GETSEL, 1), 0);
  EXPECT_EQ(Send(list, LB_SETCURSEL, 3), LB_ERR);
  EXPECT_EQ(Send(list, LB_GETCURSEL), 1) << "an index out of range changes nothing";
  EXPECT_EQ(Send(list, LB_SETSEL, TRUE, 0), LB_ERR);
  EXPECT_EQ(Send(list, LB_GETSELCOUNT), LB_ERR);
  int items[3] = {-5, -5, -5};
  EXPECT_EQ(Send(list, LB_GETSELITEMS, 3, reinterpret_cast<LPARAM>(items)), LB_ERR);
  EXPECT_EQ(items[0], -5);
  // Deleting the selected entry takes the selection with it; -1 selects none (and answers LB_ERR).
  Send(list, LB_DELETESTRING, 0);
  EXPECT_EQ(Send(list, LB_GETCURSEL), 0) << "the selection moves with its entry";
  EXPECT_EQ(Send(list, LB_SETCURSEL, WPARAM(-1)), LB_ERR);
  EXPECT_EQ(Send(list, LB_GETCURSEL), LB_ERR);
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "") << "the program's own selection notifies nobody";
}

TEST_F(ListBox, AMultipleSelectionListHoldsAnySetAndGetSelItemsWritesOnlyItsRoom) {
  HWND list = item(kMultiList);
  for (const char* name : {"a", "b", "c", "d"}) Send(list, LB_ADDSTRING, 0, Text(name));
  EXPECT_EQ(Send(list, LB_SETSEL, TRUE, 3), 0);
  EXPECT_EQ(Send(list, LB_SETSEL, TRUE, 1), 0);
  EXPECT_EQ(Send(list, LB_SETSEL, TRUE, 0), 0);
  EXPECT_EQ(Send(list, LB_SETSEL, TRUE, 4), LB_ERR);
  EXPECT_EQ(Send(list, LB_GETSELCOUNT), 3);
  int items[4] = {-5, -5, -5, -5};
  EXPECT_EQ(Send(list, LB_GETSELITEMS, 2, reinterpret_cast<LPARAM>(items)), 2);
  EXPECT_EQ(items[0], 0);
  EXPECT_EQ(items[1], 1) << "ascending";
  EXPECT_EQ(items[2], -5) << "nothing written past the room given";
  EXPECT_EQ(Send(list, LB_GETSELITEMS, 4, reinterpret_cast<LPARAM>(items)), 3);
  EXPECT_EQ(items[2], 3);
  EXPECT_EQ(items[3], -5);
  EXPECT_EQ(Send(list, LB_SETSEL, FALSE, 1), 0);
  EXPECT_EQ(Send(list, LB_GETSEL, 1), 0);
  EXPECT_EQ(Send(list, LB_GETCURSEL), LB_ERR) << "a single-selection message";
  EXPECT_EQ(Send(list, LB_SETCURSEL, 0), LB_ERR);
  EXPECT_EQ(Send(list, LB_SETSEL, TRUE, LPARAM(-1)), 0);
  EXPECT_EQ(Send(list, LB_GETSELCOUNT), 4);
  EXPECT_EQ(Send(list, LB_SETSEL, FALSE, LPARAM(-1)), 0);
  EXPECT_EQ(Send(list, LB_GETSELCOUNT), 0);
}

TEST_F(ListBox, APersonsChoiceIsMadeBeforeTheNotifyingListTellsItsDialog) {
  for (HWND list : {item(kList), item(kMultiList), item(kQuietList)})
    for (const char* name : {"a", "b", "c"}) Send(list, LB_ADDSTRING, 0, Text(name));
  proc = [this](HWND d, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
    if (m == WM_COMMAND && HIWORD(w) == LBN_SELCHANGE)
      log.add(Notification(w) + " cur " + std::to_string(SendMessageA(reinterpret_cast<HWND>(l), LB_GETCURSEL, 0, 0)) +
              " count " + std::to_string(SendMessageA(reinterpret_cast<HWND>(l), LB_GETSELCOUNT, 0, 0)));
    return FALSE;
  };
  const int one[] = {2};
  ASSERT_TRUE(Win32SelectListItems(panel, kList, one, 1));
  EXPECT_EQ(Send(item(kList), LB_GETCURSEL), LB_ERR) << "queued";
  EXPECT_EQ(Win32DispatchPendingMessages(), 1);
  EXPECT_EQ(take(), "LBN_SELCHANGE 1050 cur 2 count -1");
  EXPECT_EQ(GetFocus(), item(kList));

  // A multiple choice replaces the whole selection.
  Send(item(kMultiList), LB_SETSEL, TRUE, 1);
  const int two[] = {0, 2};
  ASSERT_TRUE(Win32SelectListItems(panel, kMultiList, two, 2));
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "LBN_SELCHANGE 1051 cur -1 count 2");
  EXPECT_EQ(Send(item(kMultiList), LB_GETSEL, 1), 0);
  // Choosing nothing clears the selection.
  ASSERT_TRUE(Win32SelectListItems(panel, kMultiList, nullptr, 0));
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "LBN_SELCHANGE 1051 cur -1 count 0");

  // A list without LBS_NOTIFY takes the choice silently.
  ASSERT_TRUE(Win32SelectListItems(panel, kQuietList, one, 1));
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "");
  EXPECT_EQ(Send(item(kQuietList), LB_GETCURSEL), 2);
}

TEST_F(ListBox, ChoicesNoPersonCouldMakeAreRefusedOrDropped) {
  for (const char* name : {"a", "b"}) Send(item(kList), LB_ADDSTRING, 0, Text(name));
  const int both[] = {0, 1};
  const int outside[] = {2};
  const int negative[] = {-1};
  EXPECT_FALSE(Win32SelectListItems(panel, kList, both, 2)) << "a single-selection list";
  EXPECT_FALSE(Win32SelectListItems(panel, kList, outside, 1));
  EXPECT_FALSE(Win32SelectListItems(panel, kList, negative, 1));
  EXPECT_FALSE(Win32SelectListItems(panel, kEdit1, nullptr, 0)) << "no list box";
  EXPECT_FALSE(Win32SelectListItems(panel, 4242, nullptr, 0));
  // The entry chosen is gone by the time the choice is delivered.
  ASSERT_TRUE(Win32SelectListItems(panel, kList, both + 1, 1));
  Send(item(kList), LB_DELETESTRING, 1);
  Win32DispatchPendingMessages();
  EXPECT_EQ(take(), "");
  EXPECT_EQ(Send(item(kList), LB_GETCURSEL), LB_ERR);
}

}  // namespace
