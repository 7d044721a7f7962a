#include "Regenerate.h"

#include <ifnpub.h>

#include <algorithm>
#include <string>

#include "Errors.h"
#include "ProgressAgent.h"
#include "plugin/WWCommands.h"

namespace {

constexpr const char* kRegenerate = "regenerate_particle_trails";

}  // namespace

std::vector<Modifier*> WakeweaveModifiers(const std::vector<INode*>& nodes, ClassDesc* wakeweave) {
  std::vector<Modifier*> out;
  for (INode* node : nodes) {
    auto* derived = dynamic_cast<IDerivedObject*>(node->GetObjectRef());
    if (!derived) continue;
    // Modifier 0 is the top of the stack.
    for (int i = derived->NumModifiers() - 1; i >= 0; --i) {
      Modifier* mod = derived->GetModifier(i);
      if (mod && mod->ClassID() == wakeweave->ClassID()) out.push_back(mod);
    }
  }
  return out;
}

bool ParticleTrailsOn(Modifier* mod) {
  IParamBlock2* pb = mod->GetParamBlockByID(0);
  ParamDef* def = pb ? pb->GetDesc()->FindParamByName("pb_particle_trails_b") : nullptr;
  return def && pb->GetInt(def->ID, 0) != 0;
}

void RegenerateParticleTrails(const std::vector<Modifier*>& modifiers, ClassDesc* wakeweave, bool onlyWhereOn,
                              ProgressAgent& agent) {
  for (Modifier* mod : modifiers) {
    if (agent.Interrupted()) throw CancelledError();
    if (onlyWhereOn && !ParticleTrailsOn(mod)) continue;
    if (CallPublishedFunction(mod, wakeweave, kRegenerate, GetCOREInterface()->GetTime()) != FPS_OK)
      throw RunError(std::string("the Wakeweave modifier does not publish \"") + kRegenerate + "\"");
    // A cancelled dialog leaves an empty recording, which must not be saved or drawn as if it were the result.
    if (agent.Interrupted()) throw CancelledError();
  }
}

INode* SnapshotParticlePaths(Modifier* mod, ProgressAgent& agent) {
  auto* commands = static_cast<WWCommands*>(mod->GetInterface(WW_COMMANDS_ID));
  if (!commands) throw RunError("the Wakeweave modifier offers no \"Snapshot Path...\"");
  INode* root = GetCOREInterface()->GetRootNode();
  std::vector<INode*> before;
  for (int i = 0; i < root->NumberOfChildren(); ++i) before.push_back(root->GetChildNode(i));
  const size_t boxes = agent.MessageBoxes().size();
  commands->snapshot_particle_paths();
  for (int i = 0; i < root->NumberOfChildren(); ++i) {
    INode* n = root->GetChildNode(i);
    if (std::find(before.begin(), before.end(), n) == before.end()) return n;
  }
  // The message box has told the person why; the error line says what it means for the command.
  if (agent.MessageBoxes().size() > boxes)
    throw RunError(
        "snapshot: nothing is recorded (regenerate the particle trails first, --regenerate): nothing was written");
  throw RunError("snapshot: the modifier made no spline node: nothing was written");
}
