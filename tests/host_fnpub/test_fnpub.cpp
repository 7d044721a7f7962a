// Function publishing: reading the function table, registration with the class, and calls by id and by
// name.
#include "fnpub_fixture.h"

#include <memory>

namespace {

std::unique_ptr<FPInterfaceDesc> MixinDesc(ClassDesc* cd) {
  return std::make_unique<FPInterfaceDesc>(kMixinID, "mixer", 12, cd, FP_MIXIN,  //
                                           0, "spin", 3, TYPE_VOID, 0, 0,        //
                                           7, "stop", 0, TYPE_VOID, 0x20, 0,     //
                                           p_end);
}

TEST(FPInterfaceDesc, ReadsItsTable) {
  FnpubClassDesc cd;
  auto d = MixinDesc(&cd);
  EXPECT_EQ(d->GetID(), kMixinID);
  EXPECT_STREQ(d->InternalName(), "mixer");
  EXPECT_EQ(d->Flags(), ULONG(FP_MIXIN));
  EXPECT_EQ(d->GetClassDesc(), &cd);
  EXPECT_EQ(d->GetDesc(), d.get());
  ASSERT_EQ(d->NumFunctions(), 2);
  const FPFunctionDef* spin = d->Function(0);
  EXPECT_EQ(spin->ID, 0);
  EXPECT_EQ(spin->internal_name, "spin");
  EXPECT_EQ(spin->description, 3);
  EXPECT_EQ(spin->result_type, TYPE_VOID);
  EXPECT_EQ(spin->flags, 0u);
  EXPECT_EQ(spin->num_args, 0);
  const FPFunctionDef* stop = d->Function(1);
  EXPECT_EQ(stop->ID, 7);
  EXPECT_EQ(stop->internal_name, "stop");
  EXPECT_EQ(stop->flags, 0x20u);
  EXPECT_EQ(d->FindFunction("stop"), stop);
  EXPECT_EQ(d->FindFunction("Stop"), nullptr);
  EXPECT_EQ(d->FindFunction(nullptr), nullptr);

  // A table of no functions is well formed.
  FPInterfaceDesc empty(Interface_ID(5, 6), "empty", 0, nullptr, 0, p_end);
  EXPECT_EQ(empty.NumFunctions(), 0);
  EXPECT_EQ(empty.GetClassDesc(), nullptr);
}

TEST(FPInterfaceDesc, AskingForAFunctionOutOfRangeIsReported) {
  AssertLog log;
  auto d = MixinDesc(nullptr);
  EXPECT_EQ(d->Function(2), nullptr);
  EXPECT_EQ(d->Function(-1), nullptr);
  EXPECT_EQ(log.expressions.size(), 2u);
}

// Each malformed table is reported once under the descriptor's name, publishes nothing and is not
// registered.
TEST(FPInterfaceDesc, MalformedTablesAreReportedAndPublishNothing) {
  FnpubClassDesc cd;
  AssertLog log;
  std::vector<std::unique_ptr<FPInterfaceDesc>> made;
  auto expectRefused = [&](std::unique_ptr<FPInterfaceDesc> d, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(log.sources.size(), made.size() + 1);
    EXPECT_EQ(log.sources.empty() ? std::string() : log.sources.back(), "FPInterfaceDesc");
    EXPECT_EQ(d->NumFunctions(), 0);
    EXPECT_EQ(cd.NumInterfaces(), 0);
    made.push_back(std::move(d));
  };
  using D = FPInterfaceDesc;
  expectRefused(std::make_unique<D>(kMixinID, "m", 0, &cd, FP_MIXIN, 0, nullptr, 0, TYPE_VOID, 0, 0, p_end),
                "function without a name");
  expectRefused(std::make_unique<D>(kMixinID, "m", 0, &cd, FP_MIXIN, 0, "", 0, TYPE_VOID, 0, 0, p_end),
                "function with an empty name");
  expectRefused(std::make_unique<D>(kMixinID, "m", 0, &cd, FP_MIXIN, 0, "f", 0, TYPE_VOID, 0, 1, p_end),
                "function with arguments");
  expectRefused(std::make_unique<D>(kMixinID, "m", 0, &cd, FP_MIXIN, 0, "f", 0, TYPE_INT, 0, 0, p_end),
                "function with a result");
  expectRefused(std::make_unique<D>(kMixinID, "m", 0, &cd, FP_MIXIN, 0, "f", 0, TYPE_VOID, 0, 0, 0, "g", 0, TYPE_VOID,
                                    0, 0, p_end),
                "two functions with one id");
  expectRefused(std::make_unique<D>(kMixinID, "m", 0, &cd, FP_MIXIN, 0, "f", 0, TYPE_VOID, 0, 0, 1, "f", 0, TYPE_VOID,
                                    0, 0, p_end),
                "two functions with one name");
  expectRefused(std::make_unique<D>(kMixinID, "m", 0, &cd, FP_MIXIN, 0x12345, "f", 0, TYPE_VOID, 0, 0, p_end),
                "a word that is neither a function id nor p_end");
  expectRefused(std::make_unique<D>(kMixinID, nullptr, 0, &cd, FP_MIXIN, p_end), "interface without a name");
  expectRefused(std::make_unique<D>(kMixinID, "m", 0, &cd, 0x100, p_end), "unknown interface flag");
}

// An assertion handler that throws leaves the constructor without a half-made descriptor behind.
TEST(FPInterfaceDesc, AThrowingAssertionHandlerLeavesNothingRegistered) {
  FnpubClassDesc cd;
  AssertHandler prev = SetAssertHandler([](int, const char*, const char* expr) { throw std::string(expr); });
  EXPECT_THROW(FPInterfaceDesc(kMixinID, "m", 0, &cd, FP_MIXIN, 0, "f", 0, TYPE_VOID, 0, 2, p_end), std::string);
  SetAssertHandler(prev);
  EXPECT_EQ(cd.NumInterfaces(), 0);
}

TEST(FPInterfaceDesc, RegistersWithItsClassInConstructionOrderAndLeavesOnDestruction) {
  FnpubClassDesc cd;
  // A block descriptor made first keeps its own list; the interfaces have theirs.
  ParamBlockDesc2 block(0, "main", 0, &cd, 0, 1, "x", TYPE_INT, 0, 0, p_end, p_end);
  auto first = MixinDesc(&cd);
  auto second = std::make_unique<FPInterfaceDesc>(Interface_ID(1, 2), "second", 0, &cd, 0, p_end);
  EXPECT_EQ(cd.NumParamBlockDescs(), 1);
  ASSERT_EQ(cd.NumInterfaces(), 2);
  EXPECT_EQ(cd.GetInterfaceAt(0), first.get());
  EXPECT_EQ(cd.GetInterfaceAt(1), second.get());
  EXPECT_EQ(cd.GetInterfaceAt(2), nullptr);
  EXPECT_EQ(cd.GetInterfaceAt(-1), nullptr);

  first.reset();
  ASSERT_EQ(cd.NumInterfaces(), 1);
  EXPECT_EQ(cd.GetInterfaceAt(0), second.get());
}

TEST(FPInterfaceDesc, ASecondInterfaceWithTheSameIdIsRefused) {
  FnpubClassDesc cd;
  auto first = MixinDesc(&cd);
  AssertLog log;
  FPInterfaceDesc again(kMixinID, "again", 0, &cd, FP_MIXIN, p_end);
  ASSERT_EQ(log.sources.size(), 1u);
  EXPECT_EQ(log.sources[0], "FPInterfaceDesc");
  ASSERT_EQ(cd.NumInterfaces(), 1);
  EXPECT_EQ(cd.GetInterfaceAt(0), first.get());
  EXPECT_EQ(again.GetClassDesc(), nullptr);
}

// A class descriptor destroyed first (static teardown across libraries) is not called back.
TEST(FPInterfaceDesc, OutlivesItsClassDescriptor) {
  auto cd = std::make_unique<FnpubClassDesc>();
  auto d = MixinDesc(cd.get());
  cd.reset();
  EXPECT_EQ(d->GetClassDesc(), nullptr);
  d.reset();  // must not touch the gone descriptor (the address sanitizer lane sees it)
}

TEST(FPInterface, InvokeDispatchesListedFunctionsOnly) {
  auto d = MixinDesc(nullptr);
  CountingMixin mixin(d.get());
  EXPECT_EQ(mixin.GetID(), kMixinID);
  EXPECT_EQ(mixin.Invoke(7, 480), FPS_OK);
  EXPECT_EQ(mixin.Invoke(0), FPS_OK);
  // Id 3 is not in the table: the implementation is not asked.
  EXPECT_EQ(mixin.Invoke(3), FPS_NO_SUCH_FUNCTION);
  ASSERT_EQ(mixin.calls.size(), 2u);
  EXPECT_EQ(mixin.calls[0].fid, 7);
  EXPECT_EQ(mixin.calls[0].t, 480);
  EXPECT_EQ(mixin.calls[1].fid, 0);
  EXPECT_EQ(mixin.calls[1].t, 0);

  // Without a descriptor there is no id and no table to hold the call to.
  CountingMixin bare(nullptr);
  EXPECT_EQ(bare.GetID(), Interface_ID());
  EXPECT_EQ(bare.Invoke(3), FPS_NO_SUCH_FUNCTION);
  EXPECT_EQ(bare.calls.size(), 1u);
}

class CallByName : public ::testing::Test {
 protected:
  FnpubClassDesc cd;
  std::unique_ptr<FPInterfaceDesc> desc = MixinDesc(&cd);
  std::unique_ptr<MixinObject> obj = std::make_unique<MixinObject>(&cd, desc.get());
};

TEST_F(CallByName, ReachesTheObjectsMixin) {
  EXPECT_EQ(CallPublishedFunction(obj.get(), &cd, "stop", 960), FPS_OK);
  ASSERT_EQ(obj->calls.size(), 1u);
  EXPECT_EQ(obj->calls[0].fid, 7);
  EXPECT_EQ(obj->calls[0].t, 960);
}

TEST_F(CallByName, FindsNothingToCall) {
  EXPECT_EQ(CallPublishedFunction(obj.get(), &cd, "spin_round"), FPS_NO_SUCH_FUNCTION);
  EXPECT_EQ(CallPublishedFunction(obj.get(), &cd, nullptr), FPS_NO_SUCH_FUNCTION);
  EXPECT_EQ(CallPublishedFunction(nullptr, &cd, "spin"), FPS_NO_SUCH_FUNCTION);
  EXPECT_EQ(CallPublishedFunction(obj.get(), nullptr, "spin"), FPS_NO_SUCH_FUNCTION);
  // The object does not carry the interface.
  obj->answers = false;
  EXPECT_EQ(CallPublishedFunction(obj.get(), &cd, "spin"), FPS_NO_SUCH_FUNCTION);
  EXPECT_GT(obj->queries, 0);
  // It answers with an interface of another id.
  auto otherDesc = std::make_unique<FPInterfaceDesc>(Interface_ID(9, 9), "other", 0, nullptr, FP_MIXIN, 0, "spin", 0,
                                                     TYPE_VOID, 0, 0, p_end);
  CountingMixin other(otherDesc.get());
  obj->impostor = &other;
  EXPECT_EQ(CallPublishedFunction(obj.get(), &cd, "spin"), FPS_NO_SUCH_FUNCTION);
  EXPECT_TRUE(obj->calls.empty());
  EXPECT_TRUE(other.calls.empty());
}

// An interface registered without FP_MIXIN is not one the object carries, even when it names the function.
TEST_F(CallByName, LooksOnlyAtMixinInterfaces) {
  FnpubClassDesc plain(Class_ID(0xF1, 0x0D));
  FPInterfaceDesc notMixin(kMixinID, "static", 0, &plain, FP_STATIC_METHODS, 0, "spin", 0, TYPE_VOID, 0, 0, p_end);
  MixinObject o(&plain, desc.get());
  EXPECT_EQ(CallPublishedFunction(&o, &plain, "spin"), FPS_NO_SUCH_FUNCTION);
  EXPECT_EQ(o.queries, 0);
  EXPECT_TRUE(o.calls.empty());
}

TEST_F(CallByName, TheTwoArgumentFormFindsTheClassInTheDirectory) {
  EXPECT_EQ(CallPublishedFunction(obj.get(), "spin"), FPS_NO_SUCH_FUNCTION);  // class not registered
  EXPECT_TRUE(obj->calls.empty());
  ASSERT_TRUE(RegisterClassDesc(&cd));
  EXPECT_EQ(CallPublishedFunction(obj.get(), "spin", 160), FPS_OK);
  UnregisterClassDesc(&cd);
  ASSERT_EQ(obj->calls.size(), 1u);
  EXPECT_EQ(obj->calls[0].fid, 0);
  EXPECT_EQ(obj->calls[0].t, 160);
  EXPECT_EQ(CallPublishedFunction(nullptr, "spin"), FPS_NO_SUCH_FUNCTION);
}

}  // namespace
