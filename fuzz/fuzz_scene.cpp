// Fuzzes the host program's scene loader with the plug-in attached in-process. Every input is a scene
// file; one that loads is evaluated at its own frame on every node that carries the modifier, as
// `wakeweave eval` does, and the mesh that comes out must hold together.
#include <max.h>
#include <membudget.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "app/EmitterBounds.h"
#include "app/SceneLoader.h"
#include "plugin/Globals.h"
#include "plugin/WakeweaveClassDesc.h"
#include "win32/resources.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, ULONG, LPVOID);
extern "C" const Win32ResourceImage* Win32ModuleResources(void);

namespace {

// Large enough for every seed, small enough that a scene asking for millions of samples is turned down
// by the modifier in the orderly way instead of running the fuzzer out of memory or time.
constexpr uint64_t kEvalBudget = 64ull << 20;
// Emitters are refused past these (the command allows far more): an emitter at the command's bounds takes
// seconds and a gigabyte under the sanitizers, so every such input would be a timeout or an out-of-memory.
constexpr scenefile::EmitterBounds kEmitterBounds = {20000, 200000};
// A scene may list many modifiers; evaluating a few is enough to reach every path.
constexpr size_t kMaxNodes = 4;

[[noreturn]] void Broken(const char* what, int a, int b) {
  std::fprintf(stderr, "fuzz_scene: broken mesh: %s (%d, %d)\n", what, a, b);
  std::abort();
}

// Every face points at vertices that exist, on the mesh and on every map channel in use.
void CheckMesh(const Mesh& m) {
  if (m.getNumVerts() < 0 || m.getNumFaces() < 0) Broken("negative count", m.getNumVerts(), m.getNumFaces());
  for (int f = 0; f < m.getNumFaces(); ++f)
    for (int j = 0; j < 3; ++j)
      if (m.faces[f].v[j] >= DWORD(m.getNumVerts())) Broken("face vertex out of range", f, int(m.faces[f].v[j]));
  for (int mp = 0; mp < m.getNumMaps(); ++mp) {
    if (!m.mapSupport(mp)) continue;
    const TVFace* tf = m.mapFaces(mp);
    const int nf = m.getNumMapFaces(mp), nv = m.getNumMapVerts(mp);
    if (nf != m.getNumFaces()) Broken("map channel face count", mp, nf);
    for (int f = 0; f < nf; ++f)
      for (int j = 0; j < 3; ++j)
        if (tf[f].t[j] >= DWORD(nv)) Broken("map face vertex out of range", mp, f);
  }
}

ClassDesc* Plugin() {
  static ClassDesc* desc = [] {
    HMODULE h = Win32RegisterModule("Wakeweave.dlm", Win32ModuleResources());
    DllMain(h, DLL_PROCESS_ATTACH, nullptr);
    return GetWakeweaveDesc();
  }();
  return desc;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The module reads ticks per frame while it builds its parameter descriptor: attach it at the default.
  GetCOREInterface()->ResetScene();
  SetTicksPerFrame(160);
  Plugin();
  SetEvalMemoryBudget(kEvalBudget);
  scenefile::SetEmitterBounds(kEmitterBounds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const LoadedScene scene = LoadSceneText(std::string(reinterpret_cast<const char*>(data), size), Plugin());
    for (size_t i = 0; i < scene.nodesWithWakeweave.size() && i < kMaxNodes; ++i) {
      const ObjectState& os = scene.nodesWithWakeweave[i]->EvalWorldState(scene.time);
      if (auto* tri = dynamic_cast<TriObject*>(os.obj)) CheckMesh(tri->GetMesh());
    }
  } catch (const SceneError&) {
    // Bad input, reported as the command reports it. Any other exception escapes and is a finding.
  }
  GetCOREInterface()->ResetScene();
  return 0;
}
