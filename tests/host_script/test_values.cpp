// Script values: their readings, the conversion errors of the wrong ones, the undefined value and interned
// integers.
#include "iface.h"
#include "inode.h"
#include "script_fixture.h"

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// The kinds a conversion error names, as text (the error keeps the runtime's own strings).
std::pair<std::string, std::string> ErrorOf(void (*convert)(Value*), Value* v) {
  try {
    convert(v);
  } catch (const ConversionError& e) {
    return {e.from(), e.to()};
  }
  return {"no error", ""};
}

void ToInt(Value* v) { v->to_int(); }
void ToTime(Value* v) { v->to_timevalue(); }
void ToPoint3(Value* v) { v->to_point3(); }
void ToNode(Value* v) { v->to_node(); }

using Kinds = std::pair<std::string, std::string>;

TEST(ScriptValues, IntegerReadsAsNumberAndTicksOnly) {
  ScriptScope<1> scope;
  Value* v = Integer::heap_new(-4321);
  EXPECT_STREQ(v->tag(), "Integer");
  EXPECT_EQ(v->to_int(), -4321);
  EXPECT_EQ(v->to_timevalue(), TimeValue(-4321));
  EXPECT_EQ(ErrorOf(ToPoint3, v), Kinds("Integer", "Point3"));
  EXPECT_EQ(ErrorOf(ToNode, v), Kinds("Integer", "MAXNode"));
  EXPECT_THROW(v->apply(nullptr, 0), ScriptError);
}

TEST(ScriptValues, Point3ReadsAsPointOnly) {
  ScriptScope<1> scope;
  Value* v = Point3Value::heap_new(Point3(1.5f, -2.0f, 1e6f));
  EXPECT_STREQ(v->tag(), "Point3");
  EXPECT_EQ(v->to_point3(), Point3(1.5f, -2.0f, 1e6f));
  EXPECT_EQ(ErrorOf(ToInt, v), Kinds("Point3", "Integer"));
  EXPECT_EQ(ErrorOf(ToTime, v), Kinds("Point3", "Time"));
  EXPECT_EQ(ErrorOf(ToNode, v), Kinds("Point3", "MAXNode"));
}

TEST(ScriptValues, NodeValueReadsAsItsNodeAndNullNodeGivesNoValue) {
  INode* node = GetCOREInterface()->CreateObjectNode(nullptr);
  {
    ScriptScope<1> scope;
    const size_t before = live_value_count();
    EXPECT_EQ(MAXNode::intern(nullptr), nullptr);
    EXPECT_EQ(live_value_count(), before);
    Value* v = MAXNode::intern(node);
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v->tag(), "MAXNode");
    EXPECT_EQ(v->to_node(), node);
    EXPECT_EQ(ErrorOf(ToInt, v), Kinds("MAXNode", "Integer"));
    EXPECT_EQ(ErrorOf(ToTime, v), Kinds("MAXNode", "Time"));
    EXPECT_EQ(ErrorOf(ToPoint3, v), Kinds("MAXNode", "Point3"));
    // A node value is collectable, like every value the caller did not intern.
    EXPECT_EQ(live_value_count(), before + 1);
  }
  GetCOREInterface()->DeleteNode(node);
}

TEST(ScriptValues, UndefinedHasNoReadingAndIsOneValueForEveryThread) {
  Value* u = undefined_value();
  EXPECT_STREQ(u->tag(), "undefined");
  EXPECT_EQ(ErrorOf(ToInt, u), Kinds("undefined", "Integer"));
  EXPECT_EQ(ErrorOf(ToTime, u), Kinds("undefined", "Time"));
  EXPECT_EQ(ErrorOf(ToPoint3, u), Kinds("undefined", "Point3"));
  EXPECT_EQ(ErrorOf(ToNode, u), Kinds("undefined", "MAXNode"));
  try {
    u->apply(nullptr, 0);
    ADD_FAILURE() << "undefined was called";
  } catch (const ScriptError& e) {
    EXPECT_STREQ(e.what(), "Call needs function or class");
  }
  Value* other = nullptr;
  std::thread([&] { other = undefined_value(); }).join();
  EXPECT_EQ(other, u);
  EXPECT_EQ(undefined_value(), u);
}

TEST(ScriptValues, InternGivesOneSharedValuePerIntegerOutsideTheCollector) {
  // Interning needs no allocation frame and is never reported: constants are made before any frame.
  AssertCapture asserts;
  const std::vector<int> ns = {1, 0, -1, -16, -17, 1024, 1025, 99999, -123456, INT_MAX, INT_MIN};
  std::vector<Value*> first;
  for (int n : ns) first.push_back(Integer::intern(n));
  for (size_t i = 0; i < ns.size(); ++i) {
    EXPECT_EQ(Integer::intern(ns[i]), first[i]) << ns[i];
    EXPECT_EQ(first[i]->to_int(), ns[i]);
    EXPECT_STREQ(first[i]->tag(), "Integer");
  }
  EXPECT_EQ(std::set<Value*>(first.begin(), first.end()).size(), ns.size());
  EXPECT_TRUE(asserts.Expressions().empty());

  ScriptScope<1> scope;
  const size_t before = live_value_count();
  Value* fresh = Integer::heap_new(1);
  EXPECT_NE(fresh, Integer::intern(1));
  EXPECT_EQ(live_value_count(), before + 1);  // interned values are not the thread's
}

TEST(ScriptValues, ThreadsInterningTheSameIntegersGetTheSameValues) {
  constexpr int kThreads = 4;
  constexpr int kFirst = 5000000;
  constexpr int kCount = 2000;
  std::vector<std::vector<Value*>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      // Each thread walks the range from another end, so that first-time inserts race.
      for (int i = 0; i < kCount; ++i) got[size_t(t)].push_back(Integer::intern(kFirst + (t % 2 ? kCount - 1 - i : i)));
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kCount; ++i) {
      const int j = t % 2 ? kCount - 1 - i : i;
      ASSERT_EQ(got[size_t(t)][size_t(i)], Integer::intern(kFirst + j));
      ASSERT_EQ(got[size_t(t)][size_t(i)]->to_int(), kFirst + j);
    }
}

// Runs in a process of its own: it fills the intern table, which every later intern would see.
void FillInternTableThenCheck() {
  ScriptScope<1> scope;
  constexpr int kBase = 700000000;
  // Well past any sensible bound of distinct constants.
  constexpr int kDistinct = 300000;
  for (int i = 0; i < kDistinct; ++i) {
    Value* v = Integer::intern(kBase + i);
    if (v->to_int() != kBase + i) exit(3);
  }
  // Past the bound a caller still gets the right integer, now as a collectable value of its frame.
  const size_t before = live_value_count();
  Value* late = Integer::intern(kBase - 1);
  if (late->to_int() != kBase - 1) exit(4);
  if (live_value_count() != before + 1) exit(5);
  // Integers interned before stay shared.
  if (Integer::intern(kBase) != Integer::intern(kBase)) exit(6);
  if (Integer::intern(7) != Integer::intern(7)) exit(7);
  exit(0);
}

TEST(ScriptValuesDeathTest, InternTableIsBounded) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(FillInternTableThenCheck(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
