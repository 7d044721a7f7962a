#include "PluginHost.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Errors.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kModuleFile = "Wakeweave.dlm";
constexpr const char* kClassName = "Wakeweave";
}  // namespace

std::string PluginHost::FindModulePath() {
  if (const char* env = std::getenv("WAKEWEAVE_MODULE"); env && *env) return env;
  std::error_code ec;
#ifdef WAKEWEAVE_MODULE_DIR
  fs::path built = fs::path(WAKEWEAVE_MODULE_DIR) / kModuleFile;
  if (fs::is_regular_file(built, ec)) return built.string();
#endif
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    fs::path beside = self.parent_path() / kModuleFile;
    if (fs::is_regular_file(beside, ec)) return beside.string();
  }
  throw RunError(std::string("cannot find the plug-in ") + kModuleFile + " (set WAKEWEAVE_MODULE to its path)");
}

std::unique_ptr<PluginHost> PluginHost::Load() {
  const std::string path = FindModulePath();
  // The module reads ticks per frame while it builds its parameter descriptor ("end frame" defaults to
  // one frame): load it at the host's default, whatever scene comes later.
  GetCOREInterface()->ResetScene();
  SetTicksPerFrame(160);
  std::string why;
  std::unique_ptr<PluginHost> host(new PluginHost());
  host->module_ = PluginModule::Load(path, &why);
  if (!host->module_) throw RunError(why.empty() ? "cannot load " + path : why);
  for (int i = 0; i < host->module_->NumClasses(); ++i) {
    ClassDesc* cd = host->module_->Class(i);
    const char* name = cd ? cd->InternalName() : nullptr;
    if (name && std::strcmp(name, kClassName) == 0) {
      host->wakeweave_ = cd;
      break;
    }
  }
  if (!host->wakeweave_) throw RunError(path + " holds no class named \"" + kClassName + "\"");
  return host;
}

PluginHost::~PluginHost() {
  if (module_) GetCOREInterface()->ResetScene();
}
