// The particle trail regeneration.
#include "modifier/Wakeweave.h"

// TODO(merge): placeholder so that this branch links; the regeneration itself comes from its own branch,
// whose version of this file replaces this one.
void Wakeweave::regenerateParticleTrails() {}
