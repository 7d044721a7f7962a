// The legacy particle system: slots whose lives follow one another, read by slot and time.
#include "debug.h"
#include "particles_internal.h"

namespace {

// A slot's lives must be well formed and in time order: LifeAt searches them by birth.
bool WellFormed(const LegacyParticleSlot& slot) {
  for (size_t i = 0; i < slot.size(); ++i) {
    const LegacyParticleLife& life = slot[i];
    if (life.path.Count() == 0 || life.dies < life.born) return false;
    if (i > 0 && life.born < slot[i - 1].dies) return false;
  }
  return true;
}

}  // namespace

LegacyParticleSystem::LegacyParticleSystem() = default;
LegacyParticleSystem::~LegacyParticleSystem() = default;

void* LegacyParticleSystem::GetInterface(ULONG id) {
  if (id == PARTICLE_SYSTEM_INTERFACE) return static_cast<Object*>(this);
  return GeomObject::GetInterface(id);
}

RefTargetHandle LegacyParticleSystem::Clone(RemapDir& remap) {
  auto* copy = new LegacyParticleSystem();
  copy->slots_ = slots_;
  copy->CopyValidity(*this);
  BaseClone(this, copy, remap);
  return copy;
}

void LegacyParticleSystem::AddSlot(const LegacyParticleSlot& slot) {
  // Lives out of order or without a path are the caller's mistake; the slot is kept as given.
  DbgAssert(WellFormed(slot));
  slots_.push_back(slot);
}

int LegacyParticleSystem::NumSlots() const { return int(slots_.size()); }

const LegacyParticleLife* LegacyParticleSystem::LifeAt(int slot, TimeValue t) const {
  if (slot < 0 || size_t(slot) >= slots_.size()) return nullptr;
  const LegacyParticleSlot& lives = slots_[size_t(slot)];
  // The last life born at or before t is the only one that can be alive then.
  const size_t lo = FirstAfter(lives.size(), t, [&](size_t i) { return lives[i].born; });
  if (lo == 0) return nullptr;
  const LegacyParticleLife& life = lives[lo - 1];
  return AliveAt(life.born, life.dies, t) ? &life : nullptr;
}
