// The scripting interface: its descriptor, the dispatch of its one function, and the modifier carrying it.
#include "plugin_test_util.h"

#include <classdir.h>

namespace {

constexpr Interface_ID kWWInterfaceID(0x7E1D629D, 0x1DB22765);

// Counts the calls the dispatch makes.
class CountingWWInterface : public WWInterface {
 public:
  using WWInterface::_dispatch_fn;
  void regenerate_particle_trails() override { ++regenerations; }
  int regenerations = 0;
};

// The modifier with its regeneration counted instead of run, so that calls through the host can be seen.
class CountingWakeweave : public Wakeweave {
 public:
  void regenerate_particle_trails() override { ++regenerations; }
  int regenerations = 0;
};

TEST(ScriptingInterface, DescriptorPublishesOneFunctionForEachModifier) {
  FPInterfaceDesc* d = GetWakeweaveInterfaceDesc();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->GetID(), kWWInterfaceID);
  EXPECT_STREQ(d->InternalName(), "foo");
  EXPECT_EQ(d->Flags(), ULONG(FP_MIXIN));
  EXPECT_EQ(d->GetClassDesc(), GetWakeweaveDesc());
  ASSERT_EQ(d->NumFunctions(), 1);
  const FPFunctionDef* f = d->Function(0);
  EXPECT_EQ(f->ID, 0);
  EXPECT_EQ(f->internal_name, "regenerate_particle_trails");
  EXPECT_EQ(f->description, 0);
  EXPECT_EQ(f->result_type, TYPE_VOID);
  EXPECT_EQ(f->flags, 0u);
  EXPECT_EQ(f->num_args, 0);

  // Registered with the class descriptor, beside the parameter block descriptor.
  WakeweaveClassDesc* cd = GetWakeweaveDesc();
  ASSERT_EQ(cd->NumInterfaces(), 1);
  EXPECT_EQ(cd->GetInterfaceAt(0), d);
  EXPECT_EQ(cd->NumParamBlockDescs(), 1);
  EXPECT_EQ(cd->GetParamBlockDesc(0), GetWakeweaveParamBlockDesc());
}

TEST(ScriptingInterface, DispatchRunsTheRegenerationForFunctionZeroOnly) {
  CountingWWInterface wi;
  EXPECT_EQ(wi.GetDesc(), GetWakeweaveInterfaceDesc());
  EXPECT_EQ(wi.GetID(), kWWInterfaceID);

  FPValue result;
  result.type = TYPE_INT;  // a function without result leaves it as it was
  EXPECT_EQ(wi._dispatch_fn(0, 480, result, nullptr), FPS_OK);
  EXPECT_EQ(wi.regenerations, 1);
  EXPECT_EQ(result.type, TYPE_INT);

  for (FunctionID fid : {FunctionID(1), FunctionID(-1), FunctionID(255)}) {
    EXPECT_EQ(wi._dispatch_fn(fid, 0, result, nullptr), FPS_NO_SUCH_FUNCTION) << "function " << fid;
  }
  EXPECT_EQ(wi.regenerations, 1);
  EXPECT_EQ(result.type, TYPE_INT);

  // Through the host's call by id.
  EXPECT_EQ(wi.Invoke(0), FPS_OK);
  EXPECT_EQ(wi.Invoke(1), FPS_NO_SUCH_FUNCTION);
  EXPECT_EQ(wi.regenerations, 2);
}

class ScriptedModifier : public SceneTest {
 protected:
  void TearDown() override {
    if (mod_) mod_->DeleteThis();
    SceneTest::TearDown();
  }
  Wakeweave* mod_ = nullptr;
};

TEST_F(ScriptedModifier, AnswersTheInterfaceQueryWithItsScriptingPart) {
  mod_ = NewModifier();
  ASSERT_NE(mod_, nullptr);
  BaseInterface* bi = mod_->GetInterface(kWWInterfaceID);
  ASSERT_NE(bi, nullptr);
  EXPECT_EQ(bi, static_cast<BaseInterface*>(static_cast<WWInterface*>(mod_)));
  EXPECT_EQ(bi->GetID(), kWWInterfaceID);
  auto* fpi = dynamic_cast<FPInterface*>(bi);
  ASSERT_NE(fpi, nullptr);
  EXPECT_EQ(fpi->GetDesc(), GetWakeweaveInterfaceDesc());

  // Any other id gets the host's answer, never the scripting part.
  for (Interface_ID other : {Interface_ID(0x1DB22765, 0x7E1D629D), Interface_ID(0x7E1D629D, 0), Interface_ID(),
                             Interface_ID(0x2F7B1A54, 0x1D5C3E96)}) {
    EXPECT_NE(mod_->GetInterface(other), bi);
    EXPECT_EQ(mod_->GetInterface(other), mod_->Modifier::GetInterface(other));
  }
  // The query by number is the host's as before.
  EXPECT_EQ(mod_->GetInterface(ULONG(0x1050)), nullptr);
}

TEST_F(ScriptedModifier, CallByNameReachesTheModifier) {
  auto* mod = new CountingWakeweave;
  mod_ = mod;
  WakeweaveClassDesc* cd = GetWakeweaveDesc();
  // Switched off particle trails do not stop the scripted command.
  ASSERT_EQ(mod->pblock->GetInt(pb_particle_trails_b), FALSE);
  EXPECT_EQ(CallPublishedFunction(mod, cd, "regenerate_particle_trails"), FPS_OK);
  EXPECT_EQ(mod->regenerations, 1);
  EXPECT_EQ(CallPublishedFunction(mod, cd, "regenerate_trails"), FPS_NO_SUCH_FUNCTION);
  EXPECT_EQ(mod->regenerations, 1);

  // As a script finds it: by the modifier's class in the host's directory.
  ASSERT_TRUE(RegisterClassDesc(cd));
  EXPECT_EQ(CallPublishedFunction(mod, "regenerate_particle_trails"), FPS_OK);
  UnregisterClassDesc(cd);
  EXPECT_EQ(mod->regenerations, 2);
}

}  // namespace
