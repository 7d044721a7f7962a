// Loading a real shared library as a module: DllMain, resources, exports, unloading.
#include <windows.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifndef WIN32_TEST_MODULE
#error "WIN32_TEST_MODULE must name the fixture library"
#endif

namespace {

using AttachedInstanceFn = HINSTANCE (*)(void);
using AttachCountFn = int (*)(void);
using TextFn = const char* (*)(void);
using SetHookFn = void (*)(void (*)(HINSTANCE));

HINSTANCE g_detached = nullptr;
int g_detachCalls = 0;
void recordDetach(HINSTANCE h) {
  g_detached = h;
  ++g_detachCalls;
}

template <class Fn>
Fn exported(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(GetProcAddress(module, name));
}

TEST(Library, LoadCallsDllMainAttachWithTheModuleHandle) {
  HMODULE module = LoadLibraryA(WIN32_TEST_MODULE);
  ASSERT_NE(module, nullptr) << Win32LastLoadError();

  auto attached = exported<AttachedInstanceFn>(module, "FixtureAttachedInstance");
  auto text = exported<TextFn>(module, "FixtureTextAtAttach");
  ASSERT_NE(attached, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(attached(), module);
  // The handle already works inside DllMain.
  EXPECT_STREQ(text(), "Loaded from a library");
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Library, ResourcesComeFromTheLibrarysImage) {
  HMODULE module = LoadLibraryA(WIN32_TEST_MODULE);
  ASSERT_NE(module, nullptr) << Win32LastLoadError();
  char buffer[32];
  EXPECT_EQ(LoadStringA(module, 1, buffer, sizeof buffer), 14);
  EXPECT_STREQ(buffer, "Fixture module");
  const Win32DialogResource* dialog = Win32FindDialog(module, 100);
  ASSERT_NE(dialog, nullptr);
  EXPECT_STREQ(dialog->caption, "Fixture");
  HBITMAP bitmap = LoadBitmapA(module, MAKEINTRESOURCE(200));
  ASSERT_NE(bitmap, nullptr);
  BITMAP bm{};
  ASSERT_NE(GetObjectA(bitmap, sizeof bm, &bm), 0);
  EXPECT_EQ(bm.bmWidth, 2);
  EXPECT_EQ(bm.bmHeight, 1);
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Library, GetProcAddressSeesOnlyTheModulesOwnExports) {
  HMODULE module = LoadLibraryA(WIN32_TEST_MODULE);
  ASSERT_NE(module, nullptr) << Win32LastLoadError();
  EXPECT_NE(GetProcAddress(module, "DllMain"), nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  // The fixture links the Windows stand-in, so a plain dlsym on its handle would
  // find LoadStringA there; Windows looks at the module's own export table only.
  EXPECT_EQ(GetProcAddress(module, "LoadStringA"), nullptr);
  EXPECT_EQ(GetProcAddress(module, nullptr), nullptr);
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Library, FreeLibraryCallsDetachOnTheLastReferenceOnly) {
  HMODULE first = LoadLibraryA(WIN32_TEST_MODULE);
  ASSERT_NE(first, nullptr) << Win32LastLoadError();
  HMODULE second = LoadLibraryA(WIN32_TEST_MODULE);
  EXPECT_EQ(second, first) << "loading a loaded library gives the same module";
  auto count = exported<AttachCountFn>(first, "FixtureAttachCount");
  ASSERT_NE(count, nullptr);
  const int attachesSoFar = count();

  auto setHook = exported<SetHookFn>(first, "FixtureSetDetachHook");
  ASSERT_NE(setHook, nullptr);
  g_detached = nullptr;
  g_detachCalls = 0;
  setHook(&recordDetach);

  EXPECT_TRUE(FreeLibrary(second));
  EXPECT_EQ(g_detachCalls, 0);
  EXPECT_EQ(count(), attachesSoFar) << "the second load attached again";
  char buffer[32];
  EXPECT_GT(LoadStringA(first, 1, buffer, sizeof buffer), 0) << "still loaded";

  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(g_detachCalls, 1);
  EXPECT_EQ(g_detached, first);
  // The handle is dead now.
  EXPECT_FALSE(FreeLibrary(first));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(LoadStringA(first, 1, buffer, sizeof buffer), 0);
}

TEST(Library, RefusedAttachFailsTheLoadAndDetachesAtOnce) {
  ::setenv("WIN32_TEST_MODULE_REFUSE_ATTACH", "1", 1);
  ::setenv("WIN32_DEBUG", "1", 1);
  ::testing::internal::CaptureStderr();
  SetLastError(0);
  HMODULE module = LoadLibraryA(WIN32_TEST_MODULE);
  const DWORD error = GetLastError();
  const std::string output = ::testing::internal::GetCapturedStderr();
  ::unsetenv("WIN32_DEBUG");
  ::unsetenv("WIN32_TEST_MODULE_REFUSE_ATTACH");

  EXPECT_EQ(module, nullptr);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  EXPECT_NE(std::string(Win32LastLoadError()).find("DllMain"), std::string::npos);
  EXPECT_NE(output.find("fixture module: detach"), std::string::npos);

  // Nothing of the failed load stays behind: the next load attaches afresh.
  module = LoadLibraryA(WIN32_TEST_MODULE);
  ASSERT_NE(module, nullptr) << Win32LastLoadError();
  EXPECT_STREQ(Win32LastLoadError(), "");
  auto attached = exported<AttachedInstanceFn>(module, "FixtureAttachedInstance");
  ASSERT_NE(attached, nullptr);
  EXPECT_EQ(attached(), module);
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Library, MissingFileFailsWithModNotFound) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("/nonexistent/dir/libnothing.so"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_NE(std::string(Win32LastLoadError()).find("libnothing.so"), std::string::npos);

  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Library, LibraryWithoutResourcesOrDllMainStillLoads) {
  // The Windows stand-in itself is such a library.
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&LoadStringA), &info), 0);
  ASSERT_NE(info.dli_fname, nullptr);
  HMODULE module = LoadLibraryA(info.dli_fname);
  ASSERT_NE(module, nullptr) << Win32LastLoadError();
  EXPECT_EQ(Win32ModuleImage(module), nullptr);
  char buffer[8] = "junk";
  EXPECT_EQ(LoadStringA(module, 1, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_NE(GetProcAddress(module, "LoadStringA"), nullptr);
  EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
