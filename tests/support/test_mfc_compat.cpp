#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "support/mfc_compat.h"

namespace {

// Shaped like the particle model: a life holds its own array of samples.
struct Key {
  int frame = 0;
  double x = 0.0;
};

struct Life {
  int id = -7;
  CArray<Key, Key&> keys;
};

const char* kBoundsDeath =
    "Assertion failed: static_cast<unsigned>\\(idx\\) < _array\\.size\\(\\), file mfc_compat, line 293";

CArray<int, int> Filled(std::initializer_list<int> values) {
  CArray<int, int> a;
  for (int v : values) a.Add(v);
  return a;
}

// ---- CArray -----------------------------------------------------------------

TEST(CArray, AddAppendsInOrderAndRemoveAllEmpties) {
  CArray<int, int> a = Filled({4, 5, 6});
  ASSERT_EQ(a.GetSize(), 3);
  EXPECT_EQ(a[0], 4);
  EXPECT_EQ(a[1], 5);
  EXPECT_EQ(a.GetAt(2), 6);
  a.RemoveAll();
  EXPECT_EQ(a.GetSize(), 0);
  a.Add(9);  // still usable after clearing
  EXPECT_EQ(a.GetSize(), 1);
  EXPECT_EQ(a[0], 9);
}

TEST(CArray, ElementAccessReturnsWritableReference) {
  CArray<double, double> a;
  a.Add(1.5);
  a[0] += 2.0;
  EXPECT_DOUBLE_EQ(a.GetAt(0), 3.5);
  a.GetAt(0) = -1.0;
  EXPECT_DOUBLE_EQ(a[0], -1.0);
}

TEST(CArray, SetSizeShrinksFromTheEndAndGrowsWithDefaults) {
  CArray<int, int> a = Filled({1, 2, 3, 4});
  a.SetSize(2);
  ASSERT_EQ(a.GetSize(), 2);
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(a[1], 2);
  a.SetSize(4);
  ASSERT_EQ(a.GetSize(), 4);
  EXPECT_EQ(a[2], 0);
  EXPECT_EQ(a[3], 0);
  a.SetSize(0);
  EXPECT_EQ(a.GetSize(), 0);
}

TEST(CArray, SetSizeWithFillAppendsCopiesOfFill) {
  CArray<int, int&> a;
  a.SetSize(3, -1);
  ASSERT_EQ(a.GetSize(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(a.GetAt(i), -1);
  a.GetAt(0) = 8;
  int fill = 2;
  a.SetSize(5, fill);
  EXPECT_EQ(a.GetAt(0), 8);  // existing elements are kept
  EXPECT_EQ(a.GetAt(2), -1);
  EXPECT_EQ(a.GetAt(3), 2);
  EXPECT_EQ(a.GetAt(4), 2);
  a.SetSize(1, 99);  // shrinking ignores the fill
  ASSERT_EQ(a.GetSize(), 1);
  EXPECT_EQ(a.GetAt(0), 8);
}

TEST(CArray, SetSizeOnEmptyArrayOfStructsGivesDefaultElements) {
  CArray<Life, Life&> lives;
  lives.SetSize(3);
  ASSERT_EQ(lives.GetSize(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lives.GetAt(i).id, -7);
    EXPECT_EQ(lives.GetAt(i).keys.GetSize(), 0);
  }
}

TEST(CArray, RemoveAtMovesFollowingElementsDown) {
  CArray<int, int> a = Filled({10, 20, 30});
  a.RemoveAt(0);
  ASSERT_EQ(a.GetSize(), 2);
  EXPECT_EQ(a[0], 20);
  EXPECT_EQ(a[1], 30);

  CArray<int, int> b = Filled({10, 20, 30});
  b.RemoveAt(1);
  ASSERT_EQ(b.GetSize(), 2);
  EXPECT_EQ(b[0], 10);
  EXPECT_EQ(b[1], 30);
  b.RemoveAt(1);
  ASSERT_EQ(b.GetSize(), 1);
  EXPECT_EQ(b[0], 10);
}

TEST(CArray, CopyReplacesPreviousContents) {
  CArray<int, int> dst = Filled({1, 2, 3, 4, 5});
  CArray<int, int> src = Filled({7, 8});
  dst.Copy(src);
  ASSERT_EQ(dst.GetSize(), 2);
  EXPECT_EQ(dst[0], 7);
  EXPECT_EQ(dst[1], 8);
  dst.Copy(CArray<int, int>());
  EXPECT_EQ(dst.GetSize(), 0);
  EXPECT_EQ(src.GetSize(), 2);  // the source is untouched
}

TEST(CArray, CopiesOfNestedArraysAreDeep) {
  CArray<Life, Life&> lives;
  Life life;
  life.id = 1;
  Key k{3, 0.25};
  life.keys.Add(k);
  lives.Add(life);

  // Copy construction, Copy and assignment each must give independent keys.
  CArray<Life, Life&> byCtor(lives);
  CArray<Life, Life&> byCopy;
  byCopy.Copy(lives);
  CArray<Life, Life&> byAssign;
  byAssign = lives;

  lives.GetAt(0).keys.GetAt(0).frame = 100;
  lives.GetAt(0).keys.Add(k);
  lives.GetAt(0).id = 2;

  for (const CArray<Life, Life&>* c : {&byCtor, &byCopy, &byAssign}) {
    ASSERT_EQ(c->GetSize(), 1);
    EXPECT_EQ(c->GetAt(0).id, 1);
    ASSERT_EQ(c->GetAt(0).keys.GetSize(), 1);
    EXPECT_EQ(c->GetAt(0).keys.GetAt(0).frame, 3);
    EXPECT_DOUBLE_EQ(c->GetAt(0).keys.GetAt(0).x, 0.25);
  }
  // Copying a life on its own copies its keys too.
  Life copied = lives.GetAt(0);
  copied.keys.GetAt(0).frame = -5;
  EXPECT_EQ(lives.GetAt(0).keys.GetAt(0).frame, 100);
}

TEST(CArray, NestedArraysSurviveGrowthAndRemoval) {
  // Growing and erasing move whole lives around inside the vector; their keys
  // must travel with them.
  CArray<Life, Life&> lives;
  for (int i = 0; i < 50; ++i) {
    Life l;
    l.id = i;
    for (int j = 0; j <= i % 4; ++j) {
      Key k{i * 10 + j, 0.0};
      l.keys.Add(k);
    }
    lives.Add(l);
  }
  lives.RemoveAt(0);
  ASSERT_EQ(lives.GetSize(), 49);
  for (int i = 0; i < 49; ++i) {
    const Life& l = lives.GetAt(i);
    EXPECT_EQ(l.id, i + 1);
    ASSERT_EQ(l.keys.GetSize(), (i + 1) % 4 + 1);
    EXPECT_EQ(l.keys.GetAt(l.keys.GetSize() - 1).frame, (i + 1) * 10 + (i + 1) % 4);
  }
}

TEST(CArray, AssigningToItselfKeepsContents) {
  CArray<int, int> a = Filled({1, 2});
  CArray<int, int>& alias = a;
  a = alias;
  ASSERT_EQ(a.GetSize(), 2);
  EXPECT_EQ(a[1], 2);
}

TEST(CArray, GetAtOutsideTheArrayThrowsInsteadOfAsserting) {
  CArray<int, int> a = Filled({1});
  EXPECT_THROW(a.GetAt(1), std::out_of_range);
  EXPECT_THROW(a.GetAt(-1), std::out_of_range);
  EXPECT_THROW(a.RemoveAt(1), std::out_of_range);
  EXPECT_EQ(a.GetSize(), 1);
}

using CArrayDeathTest = ::testing::Test;

TEST_F(CArrayDeathTest, IndexingPastTheEndAsserts) {
  CArray<int, int> a = Filled({1, 2, 3});
  EXPECT_DEATH(a[a.GetSize()], kBoundsDeath);
  const CArray<int, int>& ca = a;
  EXPECT_DEATH(ca[3], kBoundsDeath);
}

TEST_F(CArrayDeathTest, NegativeIndexAsserts) {
  CArray<int, int> a = Filled({1, 2, 3});
  EXPECT_DEATH(a[-1], kBoundsDeath);
}

TEST_F(CArrayDeathTest, IndexingAnEmptyArrayAsserts) {
  CArray<double, double> a;
  EXPECT_DEATH(a[0], kBoundsDeath);
}

// ---- CString ----------------------------------------------------------------

TEST(CString, ConstructionLengthAndConversion) {
  CString empty;
  EXPECT_EQ(empty.GetLength(), 0);
  EXPECT_STREQ(static_cast<const char*>(empty), "");

  CString s("C:\\maps");
  EXPECT_EQ(s.GetLength(), 7);
  EXPECT_STREQ(s, "C:\\maps");

  CString copy(s);
  s.Empty();
  EXPECT_EQ(s.GetLength(), 0);
  EXPECT_STREQ(copy, "C:\\maps");  // the copy owns its own characters
}

TEST(CString, LengthCountsBytes) {
  CString s("gr\xC3\xBC\xC3\x9F");  // two two-byte characters
  EXPECT_EQ(s.GetLength(), 6);
}

TEST(CString, AppendAndConcatenate) {
  CString a("trail");
  CString b("_01");
  CString c = a + b;
  EXPECT_STREQ(c, "trail_01");
  EXPECT_STREQ(a, "trail");
  EXPECT_STREQ(b, "_01");
  a += b;
  a += b;
  EXPECT_STREQ(a, "trail_01_01");
  CString e;
  e += CString();
  EXPECT_EQ(e.GetLength(), 0);
}

TEST(CString, AssignmentCopiesAndSelfAssignmentChangesNothing) {
  CString a("left");
  CString b("right");
  a = b;
  b += CString("!");
  EXPECT_STREQ(a, "right");
  EXPECT_STREQ(b, "right!");

  CString& alias = a;
  a = alias;
  EXPECT_STREQ(a, "right");
  EXPECT_EQ(a.GetLength(), 5);
}

TEST(CString, ComparesContentsNotPointers) {
  char buffer[] = "same";
  CString a(buffer);
  EXPECT_TRUE(a == "same");
  EXPECT_TRUE(a == CString("same"));
  EXPECT_FALSE(a == "sam");
  EXPECT_FALSE(a == nullptr);
}

TEST(CString, ReverseFindGivesLastOccurrence) {
  EXPECT_EQ(CString().ReverseFind('\\'), -1);
  EXPECT_EQ(CString("abc").ReverseFind('\\'), -1);
  EXPECT_EQ(CString("a\\b\\c").ReverseFind('\\'), 3);
  EXPECT_EQ(CString("\\").ReverseFind('\\'), 0);
  EXPECT_EQ(CString("ab\\").ReverseFind('\\'), 2);
}

TEST(CStringDeathTest, ConstructionFromNullAsserts) {
  const char* none = nullptr;
  EXPECT_DEATH({ CString s(none); }, "Assertion failed: str, file mfc_compat, line 66");
}

// ---- CGeneralUtils ----------------------------------------------------------

CString WithBackslash(const char* path) {
  CString s(path);
  CGeneralUtils::AddTrailingBackslash(s);
  return s;
}

TEST(AddTrailingBackslash, AppendsAfterFolderName) {
  EXPECT_STREQ(WithBackslash("C:\\Program Files\\Wakeweave"), "C:\\Program Files\\Wakeweave\\");
}

TEST(AddTrailingBackslash, LeavesPathEndingInBackslash) {
  EXPECT_STREQ(WithBackslash("C:\\help\\"), "C:\\help\\");
  EXPECT_STREQ(WithBackslash("\\"), "\\");
}

TEST(AddTrailingBackslash, LeavesEmptyPath) {
  CString s = WithBackslash("");
  EXPECT_EQ(s.GetLength(), 0);
}

TEST(AddTrailingBackslash, AppendsToPathWithoutAnyBackslash) { EXPECT_STREQ(WithBackslash("help"), "help\\"); }

TEST(AddTrailingBackslash, OnlyTheLastBackslashCounts) {
  EXPECT_STREQ(WithBackslash("a\\b"), "a\\b\\");
  EXPECT_STREQ(WithBackslash("\\\\server\\share"), "\\\\server\\share\\");
}

TEST(AddTrailingBackslash, AppliedTwiceAddsOnlyOne) {
  CString s("plugins");
  CGeneralUtils::AddTrailingBackslash(s);
  CGeneralUtils::AddTrailingBackslash(s);
  EXPECT_STREQ(s, "plugins\\");
}

}  // namespace
