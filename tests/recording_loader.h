#pragma once
// Gives a modifier a particle recording the way a scene load does: the recording written as its chunk and
// read back by the modifier's Load.
#include "modifier/Wakeweave.h"
#include "particles/memory_chunks.h"

inline IOResult LoadRecording(Wakeweave* mod, ParticleSystemState& recording) {
  MemSave out;
  if (recording.save(&out) != IO_OK) return IO_ERROR;
  MemLoad in(out.chunks);
  return mod->Load(&in);
}
