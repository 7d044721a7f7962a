#include "plugload.h"

#include <windows.h>

#include <cstdio>

#include "classdir.h"
#include "plugapi.h"

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return std::unique_ptr<PluginModule>();
  };
  // LoadLibraryA attaches the module (DllMain with DLL_PROCESS_ATTACH), as on Windows.
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    const char* why = Win32LastLoadError();
    return fail("cannot load " + path + (why && *why ? std::string(": ") + why : std::string()));
  }
  std::unique_ptr<PluginModule> m(new PluginModule());
  m->path_ = path;
  m->module_ = module;
  m->libDescription_ = reinterpret_cast<const char* (*)()>(GetProcAddress(module, "LibDescription"));
  m->libNumberClasses_ = reinterpret_cast<int (*)()>(GetProcAddress(module, "LibNumberClasses"));
  m->libClassDesc_ = reinterpret_cast<ClassDesc* (*)(int)>(GetProcAddress(module, "LibClassDesc"));
  m->libVersion_ = reinterpret_cast<ULONG (*)()>(GetProcAddress(module, "LibVersion"));
  if (!m->libDescription_ || !m->libNumberClasses_ || !m->libClassDesc_ || !m->libVersion_)
    return fail(path + " is not a plug-in library: an entry point is missing");
  ULONG version = m->libVersion_();
  if (version != ULONG(VERSION_3DSMAX)) return fail(path + " was built for another host version");
  for (int i = 0; i < m->NumClasses(); ++i) {
    ClassDesc* cd = m->Class(i);
    if (!cd) continue;
    if (!RegisterClassDesc(cd)) {
      char ids[64];
      std::snprintf(ids, sizeof ids, "(0x%08X, 0x%08X)", unsigned(cd->ClassID().PartA()),
                    unsigned(cd->ClassID().PartB()));
      const char* name = cd->ClassName();
      return fail(path + ": class " + (name ? std::string("\"") + name + "\" " : std::string()) + ids +
                  " is already offered by another module");
    }
    m->registered_.push_back(cd);
  }
  return m;
}

PluginModule::~PluginModule() {
  // The classes go before their code does.
  for (auto it = registered_.rbegin(); it != registered_.rend(); ++it) UnregisterClassDesc(*it);
  if (module_) FreeLibrary(module_);
}

const char* PluginModule::Description() const { return libDescription_(); }
ULONG PluginModule::Version() const { return libVersion_(); }
int PluginModule::NumClasses() const { return libNumberClasses_(); }
ClassDesc* PluginModule::Class(int i) const { return libClassDesc_(i); }
