// Fuzzes the host's saved-scene loader (LoadScene) with the plug-in's class in the class directory. Every
// input is a .wws file and is loaded twice: as it is (mostly refused by its digest, which is as it should
// be), and with its digest made to match (ResealSceneFile), so that mutations reach everything behind it. A
// scene that loads must save and load back to the same bytes; a load that fails must leave the scene that
// was open as it was. With FUZZ_WWS_EVALUATE=1 in the environment a scene that loads is also evaluated at
// its own time on the nodes that carry the modifier, as `wakeweave eval` does, and the mesh must hold
// together. That is off by default (the smoke run in the suite): mutated saved scenes soon reach
// evaluations that are slow without being wrong (the travel direction of a still legacy particle searched
// over all later samples, path lengths over long ranges), which the fuzzer's timeout would report.
#include <chunkfile.h>
#include <classdir.h>
#include <max.h>
#include <membudget.h>
#include <scenefile.h>
#include <windows.h>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "plugin/Globals.h"
#include "plugin/WakeweaveClassDesc.h"
#include "win32/resources.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, ULONG, LPVOID);
extern "C" const Win32ResourceImage* Win32ModuleResources(void);

namespace {

// As the scene fuzzer has them: enough for every seed, small enough that a scene asking for millions of
// samples is turned down by the modifier in the orderly way.
constexpr uint64_t kEvalBudget = 64ull << 20;
constexpr int kMaxNodes = 4;

std::string g_file, g_copy, g_again;
bool g_evaluate = false;

[[noreturn]] void Broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "fuzz_wws: %s: %s\n", what, detail.c_str());
  std::abort();
}

bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every face points at vertices that exist, on the mesh and on every map channel in use.
void CheckMesh(const Mesh& m) {
  for (int f = 0; f < m.getNumFaces(); ++f)
    for (int j = 0; j < 3; ++j)
      if (m.faces[f].v[j] >= DWORD(m.getNumVerts())) Broken("broken mesh", "face vertex out of range");
  for (int mp = 0; mp < m.getNumMaps(); ++mp) {
    if (!m.mapSupport(mp)) continue;
    const TVFace* tf = m.mapFaces(mp);
    for (int f = 0; f < m.getNumMapFaces(mp); ++f)
      for (int j = 0; j < 3; ++j)
        if (tf[f].t[j] >= DWORD(m.getNumMapVerts(mp))) Broken("broken mesh", "map face vertex out of range");
  }
}

// Nodes carrying a modifier of the plug-in's class, depth first.
void EvaluateModifiers(INode* parent, int& left) {
  const Class_ID wakeweave = GetWakeweaveDesc()->ClassID();
  for (int i = 0; i < parent->NumberOfChildren() && left > 0; ++i) {
    INode* n = parent->GetChildNode(i);
    auto* d = dynamic_cast<IDerivedObject*>(n->GetObjectRef());
    bool carries = false;
    for (int k = 0; d && k < d->NumModifiers(); ++k) carries |= d->GetModifier(k)->ClassID() == wakeweave;
    if (carries) {
      --left;
      const ObjectState& os = n->EvalWorldState(GetCOREInterface()->GetTime());
      if (auto* tri = dynamic_cast<TriObject*>(os.obj)) CheckMesh(tri->GetMesh());
    }
    EvaluateModifiers(n, left);
  }
}

// The scene open while inputs are loaded: one node, whose survival shows a failed load changed nothing.
INode* KeepScene() {
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  SetTicksPerFrame(160);
  INode* keep = ip->CreateObjectNode(new SplineShape());
  keep->SetName("Keep");
  return keep;
}

void LoadOne(const std::string& path) {
  INode* keep = KeepScene();
  std::string error;
  if (LoadScene(path, &error) != IO_OK) {
    if (error.empty() || error.find('\n') != std::string::npos) Broken("not one line", error);
    Interface* ip = GetCOREInterface();
    if (ip->GetRootNode()->NumberOfChildren() != 1 || ip->GetINodeByName("Keep") != keep)
      Broken("a failed load changed the open scene", error);
    return;
  }
  int left = kMaxNodes;
  if (g_evaluate) EvaluateModifiers(GetCOREInterface()->GetRootNode(), left);
  // What loaded saves, loads back and saves to the same bytes.
  if (SaveScene(g_copy, &error) != IO_OK) Broken("a loaded scene does not save", error);
  if (LoadScene(g_copy, &error) != IO_OK) Broken("a saved scene does not load", error);
  if (SaveScene(g_again, &error) != IO_OK) Broken("a loaded scene does not save again", error);
  if (ReadFile(g_copy) != ReadFile(g_again)) Broken("saved and loaded back differently", path);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The module reads ticks per frame while it builds its parameter descriptor: attach it at the default.
  GetCOREInterface()->ResetScene();
  SetTicksPerFrame(160);
  HMODULE h = Win32RegisterModule("Wakeweave.dlm", Win32ModuleResources());
  DllMain(h, DLL_PROCESS_ATTACH, nullptr);
  RegisterClassDesc(GetWakeweaveDesc());
  SetEvalMemoryBudget(kEvalBudget);
  const char* evaluate = std::getenv("FUZZ_WWS_EVALUATE");
  g_evaluate = evaluate && std::string(evaluate) == "1";
  // Files are written for every input: memory-backed when the machine has it.
  const char* dir = std::getenv("TMPDIR");
  std::string base = dir && *dir ? dir : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
  base += "/fuzz_wws." + std::to_string(getpid());
  g_file = base + ".wws";
  g_copy = base + ".copy.wws";
  g_again = base + ".again.wws";
  std::atexit([] {
    std::remove(g_file.c_str());
    std::remove(g_copy.c_str());
    std::remove(g_again.c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!WriteFile(g_file, data, size)) std::abort();
  LoadOne(g_file);
  std::string error;
  if (ResealSceneFile(g_file, &error) == IO_OK) LoadOne(g_file);
  GetCOREInterface()->ResetScene();
  return 0;
}
