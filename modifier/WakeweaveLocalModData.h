#pragma once
// Per-application data of the modifier: the node whose stack holds this application.
#include <max.h>

class WakeweaveLocalModData : public LocalModData {
 public:
  WakeweaveLocalModData() : node(nullptr) {}
  ~WakeweaveLocalModData() override = default;
  // The copy finds its own node at its first evaluation.
  LocalModData* Clone() override { return new WakeweaveLocalModData(); }

  INode* node;
};
