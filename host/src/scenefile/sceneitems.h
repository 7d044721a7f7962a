#pragma once
// What kind of item a saved target is, by its classes, and how messages name one.
#include <string>

#include "maxtypes.h"

class ReferenceTarget;

namespace scenefile {

// Nodes, parameter blocks and event objects are made by the host in ways of their own; everything else is
// created through its class in the class directory.
enum class ItemKind { Node, ParamBlock, Event, Class };

ItemKind KindOf(SClass_ID superID, Class_ID classID);
ItemKind KindOf(ReferenceTarget* t);

// "(0x0000000A, 0x00000000) of super class 0x40", with the class's name first when the directory knows it.
std::string ClassText(SClass_ID superID, Class_ID classID);
// A node by its name, anything else by its class.
std::string ItemText(ReferenceTarget* t);

}  // namespace scenefile
