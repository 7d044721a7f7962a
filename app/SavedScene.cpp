#include "SavedScene.h"

#include <scenefile.h>

#include <vector>

#include "Cli.h"
#include "Errors.h"

namespace {

bool CarriesModifierOf(INode* node, ClassDesc* cd) {
  auto* d = dynamic_cast<IDerivedObject*>(node->GetObjectRef());
  for (int i = 0; d && i < d->NumModifiers(); ++i) {
    Modifier* m = d->GetModifier(i);
    if (m && m->SuperClassID() == cd->SuperClassID() && m->ClassID() == cd->ClassID()) return true;
  }
  return false;
}

}  // namespace

LoadedScene LoadSavedScene(const std::string& path, ClassDesc* wakeweave) {
  std::string error;
  if (LoadScene(path, &error) != IO_OK) throw SceneError(error);
  LoadedScene out;
  Interface* ip = GetCOREInterface();
  out.time = ip->GetTime();
  // Depth first, each parent's children in order, without recursion: a saved hierarchy may be deep.
  std::vector<INode*> stack;
  for (int i = ip->GetRootNode()->NumberOfChildren() - 1; i >= 0; --i)
    stack.push_back(ip->GetRootNode()->GetChildNode(i));
  while (!stack.empty()) {
    INode* n = stack.back();
    stack.pop_back();
    out.nodes.push_back(n);
    if (CarriesModifierOf(n, wakeweave)) out.nodesWithWakeweave.push_back(n);
    for (int i = n->NumberOfChildren() - 1; i >= 0; --i) stack.push_back(n->GetChildNode(i));
  }
  return out;
}

void CheckSavedSceneOutput(const std::string& scene, const std::string& out) {
  if (LowerExtension(out) != ".wws")
    throw UsageError(out + ": a saved scene is a .wws file (got \"" + LowerExtension(out) + "\")");
  RefuseOutputOverScene(scene, out);
}

void SaveOpenScene(const std::string& out) {
  std::string error;
  if (SaveScene(out, &error) != IO_OK) throw RunError(out + ": " + error);
}
