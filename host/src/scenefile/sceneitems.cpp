// Kinds of saved items and their names in messages.
#include "sceneitems.h"

#include <cstdio>

#include "classdir.h"
#include "inode.h"
#include "particles.h"
#include "ref.h"
#include "plugapi.h"
#include "sceneformat.h"

namespace scenefile {

ItemKind KindOf(SClass_ID superID, Class_ID classID) {
  if (superID == BASENODE_CLASS_ID) return ItemKind::Node;
  if (superID == PARAMETER_BLOCK2_CLASS_ID) return ItemKind::ParamBlock;
  if (superID == kHelperSuperClass && classID == PARTICLE_EVENT_CLASS_ID) return ItemKind::Event;
  return ItemKind::Class;
}

ItemKind KindOf(ReferenceTarget* t) { return KindOf(t->SuperClassID(), t->ClassID()); }

std::string ClassText(SClass_ID superID, Class_ID classID) {
  char ids[96];
  std::snprintf(ids, sizeof ids, "(0x%08X, 0x%08X) of super class 0x%lX", unsigned(classID.PartA()),
                unsigned(classID.PartB()), static_cast<unsigned long>(superID));
  ClassDesc* cd = FindClassDesc(superID, classID);
  const char* name = cd ? cd->ClassName() : nullptr;
  return name ? "\"" + std::string(name) + "\" " + ids : std::string(ids);
}

std::string ItemText(ReferenceTarget* t) {
  if (t->SuperClassID() == BASENODE_CLASS_ID) return "node \"" + std::string(static_cast<INode*>(t)->GetName()) + "\"";
  switch (KindOf(t)) {
    case ItemKind::ParamBlock:
      return "a parameter block";
    case ItemKind::Event:
      return "a particle event";
    default: {
      // Named as the object names its class: the directory may not know it.
      TSTR name;
      t->GetClassName(name);
      return "an object of class \"" + std::string(name.data()) + "\" " + ClassText(t->SuperClassID(), t->ClassID());
    }
  }
}

}  // namespace scenefile
