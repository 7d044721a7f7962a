#pragma once
// The commands behind the modifier's rollout buttons that have no scripted form, for a host program that
// drives the modifier without showing its panel (the `wakeweave snapshot` command). Not published to
// scripts: the scripting interface keeps its one command.
#include <max.h>

#define WW_COMMANDS_ID Interface_ID(0x7E1D629D, 0x1DB22766)

class WWCommands : public BaseInterface {
 public:
  Interface_ID GetID() override { return WW_COMMANDS_ID; }
  // "Snapshot Path...": adds a spline node "DOVerazi" of the recorded particle paths, or tells the user
  // "No particle animation." when nothing is recorded.
  virtual void snapshot_particle_paths() = 0;
};
