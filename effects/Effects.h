#pragma once
// The material effects of the "Effects" rollout: a texture along the trail and a fade towards its tail.
#include <max.h>

// The node that carries mod: the node named by its dependents, when mod is the first modifier of its class
// on that node's stack; null otherwise.
INode* findModifierNode(Modifier* mod);
