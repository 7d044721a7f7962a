// The legacy particle system: slots whose lives follow one another, read by slot and time.
#include "../core/trackio.h"
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

// Born, dies, the path's key count and its one key at least.
constexpr uint32_t kLifeBytes = 4 + 4 + hostio::kTrackBytes + 4 + 12;

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

IOResult LegacyParticleSystem::Save(ISave* isave) {
  return hostio::SaveData(isave, [&](hostio::Writer& w) {
    w.U32(uint32_t(slots_.size()));
    for (const LegacyParticleSlot& slot : slots_) {
      w.U32(uint32_t(slot.size()));
      for (const LegacyParticleLife& life : slot) {
        w.I32(life.born);
        w.I32(life.dies);
        hostio::PutTrack(w, life.path);
      }
    }
  });
}

IOResult LegacyParticleSystem::Load(ILoad* iload) {
  std::vector<LegacyParticleSlot> slots;
  const IOResult r = hostio::LoadData(iload, [&](hostio::Reader& in) {
    uint32_t n = 0;
    if (!in.Count(n, 4)) return false;
    slots.reserve(n);
    for (uint32_t s = 0; s < n; ++s) {
      uint32_t lives = 0;
      if (!in.Count(lives, kLifeBytes)) return false;
      LegacyParticleSlot slot;
      slot.reserve(lives);
      for (uint32_t i = 0; i < lives; ++i) {
        LegacyParticleLife life;
        if (!in.I32(life.born) || !in.I32(life.dies) || !hostio::GetTrack(in, life.path)) return false;
        slot.push_back(std::move(life));
      }
      // What AddSlot asks of its caller.
      if (!WellFormed(slot)) return in.Fail();
      slots.push_back(std::move(slot));
    }
    return true;
  });
  if (r != IO_OK) return IO_ERROR;
  slots_ = std::move(slots);
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  return IO_OK;
}
