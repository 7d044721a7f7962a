// Makes the seeds of fuzz_wws at build time: every JSON scene of the scene fuzzer's seeds and of the
// examples, built in-process with the plug-in attached, the particle trails of its modifiers recorded over
// the first frames of the animation range, and saved as a .wws. Made here rather than kept in the tree so
// that they follow the saved-scene format as it is. A saved scene longer than the fuzzers' inputs may be
// (-max_len) is left out: cut short, it would only ever reach the loader's first check.
//
// Usage: fuzz_wws_seeds OUTDIR SOURCE_DIR
#include <classdir.h>
#include <max.h>
#include <scenefile.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/SceneLoader.h"
#include "modifier/Wakeweave.h"
#include "plugin/Globals.h"
#include "plugin/ParamIds.h"
#include "plugin/WakeweaveClassDesc.h"
#include "win32/resources.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, ULONG, LPVOID);
extern "C" const Win32ResourceImage* Win32ModuleResources(void);

namespace fs = std::filesystem;

namespace {

constexpr uintmax_t kMaxSeedBytes = 4096;
// Recordings of a few frames keep the seeds small and still hold lives and keys.
constexpr int kRecordedFrames = 6;

// Each modifier that draws particle trails regenerates them, through its dialog and worker, over the first
// frames of the animation range only; the range is then put back.
void Record(const LoadedScene& scene) {
  Interface* ip = GetCOREInterface();
  const Interval range = ip->GetAnimRange();
  const TimeValue end = std::min<int64_t>(range.End(), int64_t(range.Start()) + kRecordedFrames * GetTicksPerFrame());
  ip->SetAnimRange(Interval(range.Start(), end));
  for (INode* n : scene.nodesWithWakeweave) {
    auto* d = static_cast<IDerivedObject*>(n->GetObjectRef());
    for (int i = 0; i < d->NumModifiers(); ++i) {
      auto* mod = dynamic_cast<Wakeweave*>(d->GetModifier(i));
      if (mod && mod->pblock->GetInt(pb_particle_trails_b)) mod->regenerateParticleTrails();
    }
  }
  ip->SetAnimRange(range);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUTDIR SOURCE_DIR\n", argv[0]);
    return 2;
  }
  const fs::path out = argv[1], source = argv[2];
  GetCOREInterface()->ResetScene();
  SetTicksPerFrame(160);
  HMODULE h = Win32RegisterModule("Wakeweave.dlm", Win32ModuleResources());
  DllMain(h, DLL_PROCESS_ATTACH, nullptr);
  RegisterClassDesc(GetWakeweaveDesc());
  fs::create_directories(out);
  for (const fs::path& dir : {source / "fuzz" / "fuzz_scene", source / "examples"}) {
    for (const auto& e : fs::directory_iterator(dir)) {
      if (e.path().extension() != ".json") continue;
      try {
        const LoadedScene scene = LoadSceneFile(e.path().string(), GetWakeweaveDesc());
        Record(scene);
      } catch (const SceneError& err) {
        std::fprintf(stderr, "%s: %s\n", e.path().c_str(), err.what());
        return 1;
      }
      std::string error;
      const fs::path seed = out / (e.path().stem().string() + ".wws");
      if (SaveScene(seed.string(), &error) != IO_OK) {
        std::fprintf(stderr, "%s: %s\n", seed.c_str(), error.c_str());
        return 1;
      }
      if (fs::file_size(seed) > kMaxSeedBytes) fs::remove(seed);
    }
  }
  GetCOREInterface()->ResetScene();
  UnregisterClassDesc(GetWakeweaveDesc());
  int made = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(out)) ++made;
  std::printf("%d seeds in %s\n", made, out.c_str());
  return 0;
}
