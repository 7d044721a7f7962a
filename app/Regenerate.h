#pragma once
// Regeneration of particle trails from the command: the scripted command "regenerate_particle_trails" run on
// Wakeweave modifiers, each behind its progress dialog, with the person at the terminal as the agent.
#include <max.h>

#include <stdexcept>
#include <vector>

class ProgressAgent;

// The person pressed Ctrl-C: the command stops (exit 1) and writes nothing.
class CancelledError : public std::runtime_error {
 public:
  CancelledError() : std::runtime_error("cancelled: nothing was written") {}
};

// Every Wakeweave modifier (class of `wakeweave`) on the nodes' stacks, nodes in the given order, each stack
// from the bottom up.
std::vector<Modifier*> WakeweaveModifiers(const std::vector<INode*>& nodes, ClassDesc* wakeweave);

// Whether the modifier's "pb_particle_trails_b" is on at time 0.
bool ParticleTrailsOn(Modifier* mod);

// Calls "regenerate_particle_trails" on each modifier, in order, while agent plays the person. With
// onlyWhereOn, modifiers whose particle trails are off are left alone. Throws CancelledError when the person
// interrupted, RunError when a modifier does not publish the command.
void RegenerateParticleTrails(const std::vector<Modifier*>& modifiers, ClassDesc* wakeweave, bool onlyWhereOn,
                              ProgressAgent& agent);

// Runs "Snapshot Path..." on the modifier and returns the spline node it added to the scene. Throws RunError
// when it added none (nothing recorded: the agent has then answered "No particle animation.").
INode* SnapshotParticlePaths(Modifier* mod, ProgressAgent& agent);
