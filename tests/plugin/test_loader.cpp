// The plug-in as the host sees it: loaded from disk through the host's loader, asked for its class, and
// used only through the host's interfaces (the loaded module holds its own copy of every plug-in class).
#include "plugin_fixture.h"

#include <classdir.h>
#include <plugload.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

class LoadedPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCOREInterface()->ResetScene();
    module_ = PluginModule::Load(WAKEWEAVE_MODULE_PATH, &error_);
    ASSERT_NE(module_, nullptr) << error_;
  }
  void TearDown() override { GetCOREInterface()->ResetScene(); }

  std::unique_ptr<PluginModule> module_;
  std::string error_;
};

TEST_F(LoadedPlugin, EntryPointsAnswerAsTheHostExpects) {
  EXPECT_EQ(module_->Version(), 720902400u);
  EXPECT_EQ(module_->NumClasses(), 1);
  EXPECT_NE(module_->Class(0), nullptr);
  EXPECT_EQ(module_->Class(1), nullptr);
  EXPECT_EQ(module_->Class(-1), nullptr);
  ASSERT_NE(module_->Description(), nullptr);
  EXPECT_STREQ(module_->Description(), "Wakeweave");
}

TEST_F(LoadedPlugin, ClassDescriptorNamesTheModifier) {
  ClassDesc* cd = module_->Class(0);
  ASSERT_NE(cd, nullptr);
  ASSERT_NE(cd->ClassName(), nullptr);
  EXPECT_STREQ(cd->ClassName(), "Wakeweave");
  ASSERT_NE(cd->Category(), nullptr);
  EXPECT_STREQ(cd->Category(), "Quillory Software");
  ASSERT_NE(cd->InternalName(), nullptr);
  EXPECT_STREQ(cd->InternalName(), "Wakeweave");
  EXPECT_EQ(cd->SuperClassID(), SClass_ID(0x810));
  EXPECT_EQ(cd->ClassID(), Class_ID(0x4E32E5B7, 0x668E2C09));
  EXPECT_EQ(cd->IsPublic(), TRUE);
  EXPECT_EQ(cd->HInstance(), module_->Handle());
  // The loaded module is a separate copy: its descriptor is not the one linked into this program.
  EXPECT_NE(static_cast<ClassDesc*>(GetWakeweaveDesc()), cd);
}

TEST_F(LoadedPlugin, CreatedModifierWorksThroughHostInterfaces) {
  ClassDesc* cd = module_->Class(0);
  ASSERT_NE(cd, nullptr);
  // Create hands back the object as the host's base; the module's Wakeweave has Modifier as its first base.
  auto* mod = static_cast<Modifier*>(cd->Create(FALSE));
  ASSERT_NE(mod, nullptr);
  ASSERT_NE(mod->GetObjectName(), nullptr);
  EXPECT_STREQ(mod->GetObjectName(), "Wakeweave");
  TSTR name;
  mod->GetClassName(name);
  EXPECT_STREQ(name.data(), "Wakeweave");
  EXPECT_EQ(mod->SuperClassID(), SClass_ID(OSM_CLASS_ID));
  EXPECT_EQ(mod->ClassID(), Class_ID(0x4E32E5B7, 0x668E2C09));
  // Its parameter block was made by its own class descriptor, with the defaults of the module's copy.
  ASSERT_EQ(mod->NumRefs(), 1);
  auto* pb = static_cast<IParamBlock2*>(mod->GetReference(0));
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(pb->GetDesc()->cd, cd);
  EXPECT_EQ(pb->GetInt(pb_spline_steps), 6);
  EXPECT_EQ(mod->GetParamBlockByID(0), pb);
  mod->DeleteThis();
}

// The host reaches the scripting interface of the module's modifier across the library boundary, with the
// interface descriptor that the module's class descriptor holds.
TEST_F(LoadedPlugin, ModifierCarriesTheScriptingInterfaceOfItsClass) {
  ClassDesc* cd = module_->Class(0);
  ASSERT_NE(cd, nullptr);
  ASSERT_EQ(cd->NumInterfaces(), 1);
  FPInterfaceDesc* d = cd->GetInterfaceAt(0)->GetDesc();
  ASSERT_NE(d, nullptr);
  EXPECT_NE(d, GetWakeweaveInterfaceDesc());  // the module's own copy
  EXPECT_EQ(d->GetID(), Interface_ID(0x7E1D629D, 0x1DB22765));
  EXPECT_NE(d->FindFunction("regenerate_particle_trails"), nullptr);

  auto* mod = static_cast<Modifier*>(cd->Create(FALSE));
  ASSERT_NE(mod, nullptr);
  auto* fpi = dynamic_cast<FPInterface*>(mod->GetInterface(d->GetID()));
  ASSERT_NE(fpi, nullptr);
  EXPECT_EQ(fpi->GetDesc(), d);
  EXPECT_EQ(mod->GetInterface(Interface_ID(0x1DB22765, 0x7E1D629D)), nullptr);
  mod->DeleteThis();
}

TEST(LoadedPluginFrameRate, EndFrameDefaultIsOneFrameAtLoadTime) {
  GetCOREInterface()->ResetScene();
  SetTicksPerFrame(200);
  std::string err;
  auto module = PluginModule::Load(WAKEWEAVE_MODULE_PATH, &err);
  ASSERT_NE(module, nullptr) << err;
  SetTicksPerFrame(160);
  auto* mod = static_cast<Modifier*>(module->Class(0)->Create(FALSE));
  ASSERT_NE(mod, nullptr);
  auto* pb = static_cast<IParamBlock2*>(mod->GetReference(0));
  ASSERT_NE(pb, nullptr);
  // Read when the library came to life, not when the modifier was made.
  EXPECT_EQ(pb->GetInt(pb_end_frame), 200);
  mod->DeleteThis();
  GetCOREInterface()->ResetScene();
}

TEST_F(LoadedPlugin, LoadingTwiceGivesTheSameModule) {
  std::string err;
  auto again = PluginModule::Load(WAKEWEAVE_MODULE_PATH, &err);
  ASSERT_NE(again, nullptr) << err;
  EXPECT_EQ(again->Handle(), module_->Handle());
  EXPECT_EQ(again->Class(0), module_->Class(0));
}

TEST(LoadedPluginClasses, AreInTheClassDirectoryWhileTheModuleIsLoaded) {
  GetCOREInterface()->ResetScene();
  const Class_ID id(0x4E32E5B7, 0x668E2C09);
  ASSERT_EQ(FindClassDesc(OSM_CLASS_ID, id), nullptr);
  std::string err;
  auto first = PluginModule::Load(WAKEWEAVE_MODULE_PATH, &err);
  ASSERT_NE(first, nullptr) << err;
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, id), first->Class(0));
  // A second load of the same library holds the same class: it goes when both have gone.
  auto second = PluginModule::Load(WAKEWEAVE_MODULE_PATH, &err);
  ASSERT_NE(second, nullptr) << err;
  first.reset();
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, id), second->Class(0));
  second.reset();
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, id), nullptr);
}

TEST(LoadedPluginClasses, AModuleOfferingAClassThatIsTakenIsRefused) {
  GetCOREInterface()->ResetScene();
  // The copy of the class linked into this program holds the ids first.
  ASSERT_TRUE(RegisterClassDesc(GetWakeweaveDesc()));
  std::string err;
  auto m = PluginModule::Load(WAKEWEAVE_MODULE_PATH, &err);
  EXPECT_EQ(m, nullptr);
  EXPECT_NE(err.find("already offered"), std::string::npos) << err;
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, Class_ID(0x4E32E5B7, 0x668E2C09)), GetWakeweaveDesc());
  UnregisterClassDesc(GetWakeweaveDesc());
  // Refused, it was released: it loads now.
  m = PluginModule::Load(WAKEWEAVE_MODULE_PATH, &err);
  EXPECT_NE(m, nullptr) << err;
}

class PluginLoadFailure : public ::testing::Test {
 protected:
  std::string TempFile(const char* name, const std::string& content) {
    std::filesystem::path p =
        std::filesystem::temp_directory_path() / ("ww_plugin_test_" + std::to_string(::getpid()) + "_" + name);
    std::ofstream(p, std::ios::binary) << content;
    files_.push_back(p);
    return p.string();
  }
  void TearDown() override {
    for (auto& p : files_) std::filesystem::remove(p);
  }
  std::vector<std::filesystem::path> files_;
};

TEST_F(PluginLoadFailure, FileThatIsNoLibraryIsRefusedWithAMessage) {
  std::string path = TempFile("not_a_plugin.dlm", "this is a text file, not a library\n");
  std::string err;
  auto m = PluginModule::Load(path, &err);
  EXPECT_EQ(m, nullptr);
  EXPECT_NE(err.find(path), std::string::npos) << err;
}

TEST_F(PluginLoadFailure, MissingFileIsRefusedWithAMessage) {
  std::string err;
  auto m = PluginModule::Load("/nonexistent/dir/Nothing.dlm", &err);
  EXPECT_EQ(m, nullptr);
  EXPECT_NE(err.find("Nothing.dlm"), std::string::npos) << err;
}

TEST_F(PluginLoadFailure, LibraryWithoutEntryPointsIsRefusedAndReleased) {
  // The host's own library is a shared library but offers no plug-in entry points.
  const std::string path = std::string(WAKEWEAVE_BINARY_DIR) + "/libhost.so";
  std::string err;
  auto m = PluginModule::Load(path, &err);
  EXPECT_EQ(m, nullptr);
  EXPECT_NE(err.find("not a plug-in"), std::string::npos) << err;
  // The refused library must not stay attached: one load and one free now release it completely.
  HMODULE h = LoadLibraryA(path.c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_FALSE(FreeLibrary(h)) << "the refused library was left attached by the loader";
}

TEST_F(PluginLoadFailure, NullErrorPointerIsAllowed) {
  std::string path = TempFile("quiet.dlm", "x");
  EXPECT_EQ(PluginModule::Load(path, nullptr), nullptr);
}

}  // namespace
