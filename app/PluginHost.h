#pragma once
// Loads Wakeweave.dlm the way the host does at start-up and finds the modifier's class descriptor.
#include <max.h>
#include <plugload.h>

#include <memory>
#include <string>

class PluginHost {
 public:
  // Loads the module (at 160 ticks per frame, before any scene is read). Throws RunError when the
  // library can't be found or loaded, or holds no class named "Wakeweave".
  static std::unique_ptr<PluginHost> Load();
  // Empties the scene before the library goes, so no modifier outlives its code.
  ~PluginHost();

  PluginModule& Module() { return *module_; }
  ClassDesc* Wakeweave() const { return wakeweave_; }

  // Where the module is looked for: $WAKEWEAVE_MODULE, else the build's module directory, else the
  // directory of the running executable.
  static std::string FindModulePath();

 private:
  PluginHost() = default;
  std::unique_ptr<PluginModule> module_;
  ClassDesc* wakeweave_ = nullptr;
};
