#pragma once
// The host's plug-in loader: opens a plug-in library, attaches it, checks its version word and lists its
// classes, as the host does at start-up. The module's classes are in the class directory (classdir.h)
// while the PluginModule lives.
#include "maxtypes.h"
#include <memory>
#include <string>
#include <vector>

class ClassDesc;

#define MAX_RELEASE 11000
#define MAX_API_NUM 25
#define MAX_SDK_REV 0
#define VERSION_3DSMAX ((MAX_RELEASE << 16) + (MAX_API_NUM << 8) + MAX_SDK_REV)

class HOSTAPI PluginModule {
 public:
  // Null with *error set when the library cannot be opened or attached, lacks an entry point, was built
  // for another host version, or offers a class whose ids another descriptor holds in the class directory.
  static std::unique_ptr<PluginModule> Load(const std::string& path, std::string* error);
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  HMODULE Handle() const { return module_; }
  const std::string& Path() const { return path_; }
  const char* Description() const;
  ULONG Version() const;
  int NumClasses() const;
  ClassDesc* Class(int i) const;

 private:
  PluginModule() = default;
  std::string path_;
  HMODULE module_ = nullptr;
  const char* (*libDescription_)() = nullptr;
  int (*libNumberClasses_)() = nullptr;
  ClassDesc* (*libClassDesc_)(int) = nullptr;
  ULONG (*libVersion_)() = nullptr;
  std::vector<ClassDesc*> registered_;  // what this module put into the class directory
};
