// The particle script functions on legacy systems: slot count, ages and positions at the script time,
// through modifier stacks, on other objects, called wrongly, and from a worker thread.
#include "iface.h"
#include "inode.h"
#include "modstack.h"
#include "particles.h"
#include "script_fixture.h"
#include "triobj.h"

#include <thread>

namespace {

LegacyParticleLife Life(TimeValue born, TimeValue dies, std::initializer_list<std::pair<TimeValue, Point3>> path) {
  LegacyParticleLife l;
  l.born = born;
  l.dies = dies;
  for (const auto& [t, p] : path) l.path.Set(t, p);
  return l;
}

// A modifier that only counts how often the stack applied it.
class CountingModifier : public Modifier {
 public:
  int calls = 0;
  ChannelMask ChannelsUsed() override { return GEOM_CHANNEL; }
  ChannelMask ChannelsChanged() override { return GEOM_CHANNEL; }
  Class_ID InputType() override { return Class_ID(0, 0); }
  void ModifyObject(TimeValue, ModContext&, ObjectState*, INode*) override { ++calls; }
};

class ParticleFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    ip = GetCOREInterface();
    ip->ResetScene();
    SetTicksPerFrame(160);
    init_thread_locals();
    push_alloc_frame();
    tl = thread_locals();
    tl->use_time_context = TRUE;
    tl->current_time = 0;
    count = GetScriptFunction("particleCount");
    age = GetScriptFunction("particleAge");
    pos = GetScriptFunction("particlePos");
    ASSERT_TRUE(count && age && pos);

    system = new LegacyParticleSystem();
    // k = 1: a life moving along X from frame 0 to 3, then, after a gap, a second life moving along Y.
    system->AddSlot({Life(0, 480, {{0, Point3(0, 0, 0)}, {320, Point3(32, 0, 0)}}),
                     Life(800, TIME_PosInfinity, {{800, Point3(0, 10, 0)}, {960, Point3(0, 20, 0)}})});
    // k = 2: two lives back to back: the second is born the tick the first dies.
    system->AddSlot({Life(160, 320, {{160, Point3(5, 5, 5)}}), Life(320, 640, {{320, Point3(6, 6, 6)}})});
    // k = 3: never alive.
    system->AddSlot({});
    node = ip->CreateObjectNode(system);
  }
  void TearDown() override {
    tl->use_time_context = FALSE;
    tl->current_time = 0;
    pop_alloc_frame();
    EXPECT_EQ(live_value_count(), 0u);
    EXPECT_TRUE(asserts.Expressions().empty());
    ip->ResetScene();
  }

  Value* Node(INode* n) { return MAXNode::intern(n); }
  Value* Call(Value* fn, INode* n) {
    Value* args[] = {Node(n)};
    return fn->apply(args, 1);
  }
  Value* Call(Value* fn, INode* n, int k) {
    Value* args[] = {Node(n), Integer::intern(k)};
    return fn->apply(args, 2);
  }
  // The age of slot k at t through the time context, or -1 for undefined.
  int AgeAt(INode* n, int k, TimeValue t) {
    tl->current_time = t;
    Value* v = Call(age, n, k);
    if (v == undefined_value()) return -1;
    EXPECT_STREQ(v->tag(), "Integer");
    return v->to_int();
  }
  bool PosAt(INode* n, int k, TimeValue t, Point3* p) {
    tl->current_time = t;
    Value* v = Call(pos, n, k);
    if (v == undefined_value()) return false;
    *p = v->to_point3();
    return true;
  }

  AssertCapture asserts;
  Interface* ip = nullptr;
  ScriptThreadLocals* tl = nullptr;
  Value* count = nullptr;
  Value* age = nullptr;
  Value* pos = nullptr;
  LegacyParticleSystem* system = nullptr;
  INode* node = nullptr;
};

TEST_F(ParticleFunctions, AreFoundByNameOnly) {
  EXPECT_EQ(GetScriptFunction("ParticleAge"), age);  // script names ignore case
  EXPECT_EQ(GetScriptFunction("particleAge"), age);
  EXPECT_EQ(GetScriptFunction("particleAges"), nullptr);
  EXPECT_EQ(GetScriptFunction(""), nullptr);
  EXPECT_EQ(GetScriptFunction(nullptr), nullptr);
  EXPECT_STREQ(count->tag(), "Function");
  EXPECT_NE(count, age);
  EXPECT_NE(age, pos);
  EXPECT_THROW(age->to_int(), ConversionError);
}

TEST_F(ParticleFunctions, CountIsTheNumberOfSlotsAsACollectableInteger) {
  const size_t before = live_value_count();
  Value* n = Call(count, node);
  EXPECT_STREQ(n->tag(), "Integer");
  EXPECT_EQ(n->to_int(), 3);
  EXPECT_EQ(live_value_count(), before + 2);  // the node value and the count
}

TEST_F(ParticleFunctions, AgeCountsTicksFromBirthAndIsUndefinedBetweenLives) {
  EXPECT_EQ(AgeAt(node, 1, -1), -1);  // not yet born
  EXPECT_EQ(AgeAt(node, 1, 0), 0);    // age at birth
  EXPECT_EQ(AgeAt(node, 1, 160), 160);
  EXPECT_EQ(AgeAt(node, 1, 479), 479);
  EXPECT_EQ(AgeAt(node, 1, 480), -1);  // died
  EXPECT_EQ(AgeAt(node, 1, 700), -1);  // between lives
  EXPECT_EQ(AgeAt(node, 1, 800), 0);   // born again
  EXPECT_EQ(AgeAt(node, 1, 1000), 200);
  EXPECT_EQ(AgeAt(node, 1, TIME_PosInfinity), TIME_PosInfinity - 800);
  // The slot reused the tick its first life died: the age starts again, no gap.
  EXPECT_EQ(AgeAt(node, 2, 319), 159);
  EXPECT_EQ(AgeAt(node, 2, 320), 0);
  EXPECT_EQ(AgeAt(node, 2, 639), 319);
  EXPECT_EQ(AgeAt(node, 2, 640), -1);
  EXPECT_EQ(AgeAt(node, 3, 0), -1);
}

TEST_F(ParticleFunctions, AgeOfALifeLongerThanAnIntegerHoldsIsTheOldestAge) {
  LegacyParticleSystem* old = new LegacyParticleSystem();
  old->AddSlot({Life(TIME_NegInfinity, TIME_PosInfinity, {{0, Point3(0, 0, 0)}})});
  INode* n = ip->CreateObjectNode(old);
  EXPECT_EQ(AgeAt(n, 1, TIME_NegInfinity), 0);
  EXPECT_EQ(AgeAt(n, 1, -1), INT_MAX);
  EXPECT_EQ(AgeAt(n, 1, 1000), INT_MAX);
}

TEST_F(ParticleFunctions, UndefinedAgeFailsTheTimeConversion) {
  tl->current_time = 700;
  Value* v = Call(age, node, 1);
  ASSERT_EQ(v, undefined_value());
  EXPECT_THROW(v->to_timevalue(), ConversionError);
  tl->current_time = 100;
  EXPECT_EQ(Call(age, node, 1)->to_timevalue(), 100);
}

TEST_F(ParticleFunctions, PositionFollowsTheLivingLifesPath) {
  Point3 p;
  ASSERT_TRUE(PosAt(node, 1, 0, &p));
  EXPECT_EQ(p, Point3(0, 0, 0));
  ASSERT_TRUE(PosAt(node, 1, 80, &p));
  EXPECT_TRUE(p.Equals(Point3(8, 0, 0), 1e-5f));
  ASSERT_TRUE(PosAt(node, 1, 400, &p));  // held after the last key
  EXPECT_EQ(p, Point3(32, 0, 0));
  EXPECT_FALSE(PosAt(node, 1, 480, &p));
  EXPECT_FALSE(PosAt(node, 1, 700, &p));
  ASSERT_TRUE(PosAt(node, 1, 880, &p));  // the second life's own path
  EXPECT_TRUE(p.Equals(Point3(0, 15, 0), 1e-5f));
  ASSERT_TRUE(PosAt(node, 2, 320, &p));
  EXPECT_EQ(p, Point3(6, 6, 6));
  EXPECT_FALSE(PosAt(node, 3, 0, &p));
  tl->current_time = 80;
  EXPECT_STREQ(Call(pos, node, 1)->tag(), "Point3");
}

TEST_F(ParticleFunctions, IndicesOutsideTheSlotsAreUndefined) {
  tl->current_time = 200;
  for (int k : {0, -1, 4, 1000, INT_MAX, INT_MIN}) {
    EXPECT_EQ(Call(age, node, k), undefined_value()) << k;
    EXPECT_EQ(Call(pos, node, k), undefined_value()) << k;
  }
  // A collectable index reads as well as an interned one.
  Value* args[] = {Node(node), Integer::heap_new(2)};
  EXPECT_EQ(age->apply(args, 2)->to_int(), 40);
}

TEST_F(ParticleFunctions, AnswerAtTheSceneTimeWithoutTheTimeContext) {
  tl->use_time_context = FALSE;
  tl->current_time = 900;  // ignored while the context is off
  ip->SetTime(160);
  EXPECT_EQ(Call(age, node, 1)->to_int(), 160);
  EXPECT_TRUE(Call(pos, node, 1)->to_point3().Equals(Point3(16, 0, 0), 1e-5f));
  ip->SetTime(900);
  EXPECT_EQ(Call(age, node, 1)->to_int(), 100);
  tl->use_time_context = TRUE;
  EXPECT_EQ(Call(age, node, 2), undefined_value());  // at 900
  EXPECT_EQ(AgeAt(node, 1, 160), 160);
  EXPECT_EQ(ip->GetTime(), 900);  // the context never moves the scene
}

TEST_F(ParticleFunctions, LookThroughModifierStacksWithoutEvaluatingThem) {
  auto* mod = new CountingModifier();
  IDerivedObject* inner = CreateDerivedObject(new LegacyParticleSystem());
  static_cast<LegacyParticleSystem*>(inner->GetObjRef())->AddSlot({Life(0, 160, {{0, Point3(1, 2, 3)}})});
  inner->AddModifier(mod);
  // A stack on a stack, as world-space modifiers put one.
  IDerivedObject* outer = CreateDerivedObject(inner);
  INode* n = ip->CreateObjectNode(outer);
  ASSERT_EQ(n->GetObjectRef(), outer);
  EXPECT_EQ(Call(count, n)->to_int(), 1);
  EXPECT_EQ(AgeAt(n, 1, 100), 100);
  Point3 p;
  ASSERT_TRUE(PosAt(n, 1, 100, &p));
  EXPECT_EQ(p, Point3(1, 2, 3));
  EXPECT_EQ(AgeAt(n, 1, 160), -1);
  EXPECT_EQ(mod->calls, 0);

  // The same system as the base object of a plain stack.
  INode* plain = ip->CreateObjectNode(CreateDerivedObject(system));
  EXPECT_EQ(Call(count, plain)->to_int(), 3);
  EXPECT_EQ(AgeAt(plain, 2, 200), 40);
}

TEST_F(ParticleFunctions, OtherObjectsAreUndefined) {
  INode* mesh = ip->CreateObjectNode(new TriObject());
  INode* empty = ip->CreateObjectNode(nullptr);
  INode* emptyStack = ip->CreateObjectNode(CreateDerivedObject(nullptr));
  INode* meshStack = ip->CreateObjectNode(CreateDerivedObject(new TriObject()));
  tl->current_time = 0;
  for (INode* n : {mesh, empty, emptyStack, meshStack}) {
    EXPECT_EQ(Call(count, n), undefined_value()) << n->GetName();
    EXPECT_EQ(Call(age, n, 1), undefined_value()) << n->GetName();
    EXPECT_EQ(Call(pos, n, 1), undefined_value()) << n->GetName();
  }
}

// The text of the ScriptError a call raises, or "none".
std::string ErrorOf(Value* fn, Value** args, int count) {
  try {
    fn->apply(args, count);
  } catch (const ScriptError& e) {
    return e.what();
  }
  return "none";
}

TEST_F(ParticleFunctions, WrongArgumentsAreScriptErrors) {
  Value* nodeV = Node(node);
  Value* one = Integer::intern(1);
  Value* point = Point3Value::heap_new(Point3(1, 1, 1));
  Value* u = undefined_value();
  Value* none[] = {nullptr, nullptr, nullptr};
  Value* three[] = {nodeV, one, one};
  const std::string ageCount = "particleAge takes 2 arguments: a node and a particle index";
  EXPECT_EQ(ErrorOf(age, three, 3), ageCount);
  EXPECT_EQ(ErrorOf(age, three, 1), ageCount);
  EXPECT_EQ(ErrorOf(age, three, 0), ageCount);
  EXPECT_EQ(ErrorOf(age, three, -2), ageCount);
  EXPECT_EQ(ErrorOf(age, nullptr, 2), ageCount);
  EXPECT_EQ(ErrorOf(count, three, 2), "particleCount takes 1 argument: a node");
  EXPECT_EQ(ErrorOf(pos, three, 1), "particlePos takes 2 arguments: a node and a particle index");

  Value* intFirst[] = {one, one};
  Value* undefFirst[] = {u, one};
  EXPECT_EQ(ErrorOf(age, intFirst, 2), "particleAge: the first argument must be a node");
  EXPECT_EQ(ErrorOf(pos, undefFirst, 2), "particlePos: the first argument must be a node");
  EXPECT_EQ(ErrorOf(age, none, 2), "particleAge: the first argument must be a node");
  EXPECT_EQ(ErrorOf(count, &point, 1), "particleCount: the argument must be a node");
  EXPECT_EQ(ErrorOf(count, &u, 1), "particleCount: the argument must be a node");

  Value* pointIndex[] = {nodeV, point};
  Value* undefIndex[] = {nodeV, u};
  Value* nullIndex[] = {nodeV, nullptr};
  Value* nodeIndex[] = {nodeV, nodeV};
  EXPECT_EQ(ErrorOf(age, pointIndex, 2), "particleAge: the particle index must be an Integer");
  EXPECT_EQ(ErrorOf(age, undefIndex, 2), "particleAge: the particle index must be an Integer");
  EXPECT_EQ(ErrorOf(pos, nullIndex, 2), "particlePos: the particle index must be an Integer");
  EXPECT_EQ(ErrorOf(pos, nodeIndex, 2), "particlePos: the particle index must be an Integer");

  // A wrong index is a wrong index even on a node that is no particle system.
  Value* meshIndex[] = {Node(ip->CreateObjectNode(new TriObject())), point};
  EXPECT_EQ(ErrorOf(age, meshIndex, 2), "particleAge: the particle index must be an Integer");
  Value* good[] = {nodeV, one};
  EXPECT_EQ(ErrorOf(age, good, 2), "none");
}

TEST(ParticleFunctionsThread, UninitialisedThreadIsReportedAndAnsweredUndefined) {
  AssertCapture asserts;
  Value* answer = nullptr;
  std::thread([&] {
    // No node value either: making one would be reported as well. The call is refused before its
    // arguments are read.
    Value* args[] = {nullptr, Integer::intern(1)};
    answer = GetScriptFunction("particleAge")->apply(args, 2);
  }).join();
  EXPECT_EQ(answer, undefined_value());
  EXPECT_EQ(asserts.Expressions(), std::vector<std::string>{"initialised"});
}

// A worker records the way the legacy recorder does, at its own time context, while the main thread
// reads the same system at the scene time.
TEST(ParticleFunctionsThread, WorkerReadsAtItsOwnTimeWhileTheSceneStaysPut) {
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  SetTicksPerFrame(160);
  constexpr int kSlots = 500;
  constexpr int kFrames = 60;
  auto* sys = new LegacyParticleSystem();
  for (int s = 0; s < kSlots; ++s) {
    // Lives of 20 frames, one after another, shifted by slot; moving one unit per frame along X.
    LegacyParticleSlot slot;
    for (TimeValue born = (s % 20) * 160; born < kFrames * 160; born += 20 * 160)
      slot.push_back(Life(born, born + 20 * 160,
                          {{born, Point3(0.0f, float(s), 0.0f)}, {born + 3200, Point3(20.0f, float(s), 0.0f)}}));
    sys->AddSlot(slot);
  }
  INode* n = ip->CreateObjectNode(sys);
  ip->SetTime(7 * 160);

  int wrong = 0;
  size_t most = 0;
  TimeValue sceneSeenByWorker = -1;
  std::thread worker([&] {
    init_thread_locals();
    push_alloc_frame();
    Value* slots[3] = {};
    ScriptLocalFrame frame{thread_locals()->locals, slots, 3};
    thread_locals()->locals = &frame;
    slots[0] = MAXNode::intern(n);
    slots[1] = GetScriptFunction("particleCount")->apply(&slots[0], 1);
    slots[2] = Integer::intern(1);
    const int count = slots[1]->to_int();
    Value* age = GetScriptFunction("particleAge");
    Value* pos = GetScriptFunction("particlePos");
    for (int f = 0; f < kFrames; ++f) {
      const TimeValue t = f * 160;
      thread_locals()->use_time_context = TRUE;
      thread_locals()->current_time = t;
      for (int i = 0; i < count; ++i) {
        Value* args[] = {slots[0], Integer::intern(i + 1)};
        const TimeValue born = (f - (f - i % 20 + 20) % 20) * 160;  // the latest birth at or before t
        Value* a = age->apply(args, 2);
        if (t < (i % 20) * 160) {
          wrong += a != undefined_value();
          continue;
        }
        wrong += a->to_timevalue() != t - born;
        const Point3 p = pos->apply(args, 2)->to_point3();
        wrong += !p.Equals(Point3(float(t - born) / 160.0f, float(i), 0.0f), 1e-4f);
        most = std::max(most, live_value_count());
      }
    }
    sceneSeenByWorker = ip->GetTime();
    thread_locals()->locals = frame.prev;
    pop_alloc_frame();
    EXPECT_EQ(live_value_count(), 0u);
  });
  // Meanwhile the main thread reads at the scene time; its context is off and stays so.
  init_thread_locals();
  push_alloc_frame();
  thread_locals()->use_time_context = FALSE;
  int mainWrong = 0;
  for (int r = 0; r < 200; ++r) {
    Value* args[] = {MAXNode::intern(n), Integer::intern(1 + r % kSlots)};
    const int s = r % kSlots;
    const int expected = 7 >= s % 20 ? (7 - s % 20) * 160 : -1;
    Value* a = GetScriptFunction("particleAge")->apply(args, 2);
    mainWrong += expected < 0 ? a != undefined_value() : a->to_int() != expected;
  }
  worker.join();
  pop_alloc_frame();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(mainWrong, 0);
  EXPECT_EQ(sceneSeenByWorker, 7 * 160);
  EXPECT_EQ(ip->GetTime(), 7 * 160);
  EXPECT_EQ(thread_locals()->use_time_context, FALSE);
  // 60 000 ages and positions, of which only a collection's worth is ever alive.
  EXPECT_LE(most, 10000u);
  ip->ResetScene();
}

}  // namespace
