#pragma once
// Particle systems of the host stand-in.
//
// Two kinds. A flow-style system answers the particle-object extension interface (IParticleObjectExt):
// particles are known by born index, carry full transforms and belong to event nodes. A legacy system has
// no such interface; scripts read it by slot (particleCount, particleAge, particlePos, see maxscript.h).
// Both report themselves particle systems (IsParticleSystem) and answer the integer interface query
// PARTICLE_SYSTEM_INTERFACE.
//
// The systems are plain data: every particle is described up front by keyed tracks, so any time can be
// asked in any order, from any thread, without evaluating the scene. Tracks hold their first value before
// the first key and their last after the last; positions and scales interpolate linearly, rotations by
// Slerp (the short way).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "baseinterface.h"
#include "control.h"
#include "matrix3.h"
#include "object.h"
#include "point3.h"
#include "quat.h"

class INode;
class FlowParticleSystem;
class ISave;
class ILoad;

// Scene files: reads an event object that its Save wrote and makes it an event of sys again, at the index it
// had in the system's list (or unlisted, for a copy). IO_ERROR when the data is damaged or that index is
// outside the system's list or taken already; *event is then null.
HOSTAPI IOResult LoadFlowEvent(FlowParticleSystem* sys, ILoad* iload, Object** event);

#define PARTICLEOBJECTEXT_INTERFACE Interface_ID(0x66c2429a, 0x38d60a0b)
// Answered by the objects of a flow system's event nodes.
#define PARTICLEGROUP_INTERFACE Interface_ID(0x2c712d9f, 0x7bc54cb0)
// Integer interface id answered by every particle system object.
#define PARTICLE_SYSTEM_INTERFACE 0x1050

#define FLOW_PARTICLES_CLASS_ID Class_ID(0x50a31c01, 0x1e2b7d40)
#define PARTICLE_EVENT_CLASS_ID Class_ID(0x50a31c02, 0x1e2b7d40)
#define LEGACY_PARTICLES_CLASS_ID Class_ID(0x50a31c03, 0x1e2b7d40)

// The particle-object extension interface. Answers refer to the time of the last UpdateParticles.
class HOSTAPI IParticleObjectExt : public BaseInterface {
 public:
  Interface_ID GetID() override { return PARTICLEOBJECTEXT_INTERFACE; }
  // Makes later answers refer to time t. Returns true.
  virtual bool UpdateParticles(INode* node, TimeValue t) = 0;
  // Particles born at or before the update time.
  virtual int NumParticlesGenerated() = 0;
  // Particles alive at the update time.
  virtual int NumParticles() = 0;
  // Age in ticks of the particle with that born index, or -1 when it is not alive (or no such particle).
  virtual TimeValue GetParticleAgeByBornIndex(int bornIndex) = 0;
  // World transform of a living particle; null when it is not alive or has no transform. The pointer
  // stays valid until the next call on this interface.
  virtual Matrix3* GetParticleTMByBornIndex(int bornIndex) = 0;
  // World position of a living particle; null when it is not alive.
  virtual Point3* GetParticlePositionByBornIndex(int bornIndex) = 0;
  // True while the particle is alive; index is then its rank among the living particles, in born order.
  virtual bool HasParticleBornIndex(int bornIndex, int& index) = 0;
  // The event node holding the living particle of that index; null when the index is out of range.
  virtual INode* GetParticleGroup(int index) = 0;
};

// The event interface: what an event node's object answers.
class HOSTAPI IParticleGroup : public BaseInterface {
 public:
  Interface_ID GetID() override { return PARTICLEGROUP_INTERFACE; }
  // The particle system object the event belongs to.
  virtual Object* GetParticleSystem() = 0;
};

// One particle of a flow system, times in ticks. born <= t < dies is its life (dies == TIME_PosInfinity:
// alive at every time from its birth on).
struct HOSTAPI FlowParticle {
  TimeValue born = 0;
  TimeValue dies = TIME_PosInfinity;  // never
  KeyTable<Point3> path;              // world positions; at least one key
  KeyTable<Quat> rotation;            // none: no rotation
  KeyTable<Point3> scale;             // none: unit scale
  KeyTable<int> event;                // index into the system's events; none: event 0
  bool transform = true;              // false: GetParticleTMByBornIndex answers null
};

// One life of a legacy slot, times in ticks.
struct HOSTAPI LegacyParticleLife {
  TimeValue born = 0;
  TimeValue dies = TIME_PosInfinity;  // never
  KeyTable<Point3> path;              // world positions; at least one key
};

// A slot's lives, in time order and not overlapping.
typedef std::vector<LegacyParticleLife> LegacyParticleSlot;

// Value of a track at t: held before the first key and after the last, linear between (Slerp for Quat).
// A track without keys gives `fallback`.
HOSTAPI Point3 TrackValue(const KeyTable<Point3>& track, TimeValue t, const Point3& fallback);
HOSTAPI Quat TrackValue(const KeyTable<Quat>& track, TimeValue t, const Quat& fallback);
// The value of the last key at or before t (before the first key: the first key's value).
HOSTAPI int TrackValue(const KeyTable<int>& track, TimeValue t, int fallback);

// A flow-style particle system object. Its events are nodes of the scene, each carrying an event object
// that references this system (so the event nodes are among the system's dependents).
class HOSTAPI FlowParticleSystem : public GeomObject {
 public:
  FlowParticleSystem();
  ~FlowParticleSystem() override;
  Class_ID ClassID() override { return FLOW_PARTICLES_CLASS_ID; }
  void GetClassName(TSTR& s) override { s = "PF Source"; }
  const char* GetObjectName() override { return "PF Source"; }
  BOOL IsParticleSystem() override { return TRUE; }
  void* GetInterface(ULONG id) override;
  BaseInterface* GetInterface(Interface_ID id) override;
  // A copy with the same particles, answering at the same time, but without events (its particles' groups
  // are null): event nodes belong to one system.
  RefTargetHandle Clone(RemapDir& remap) override;

  // Creates a scene node named `name` whose object is a new event of this system; returns its index.
  int AddEvent(const char* name);
  int NumEvents() const;
  // The event node of that index; null when out of range or deleted.
  INode* GetEvent(int i) const;
  // Particles in order of birth (born index = place in the list). A particle without a path, dying before
  // its birth or born before the one ahead of it is a caller's mistake, reported through DbgAssert.
  void AddParticle(const FlowParticle& p);
  int NumParticlesTotal() const;
  void Reserve(size_t particles);

  // The particles with their tracks, the time the answers refer to and the length of the event list (the
  // events themselves are nodes of the scene, saved with them). Load replaces the particles and makes the
  // event list that long, every entry empty until LoadFlowEvent fills it; it refuses (IO_ERROR, nothing
  // changed) a system that has events already and damaged data: particles out of birth order or without a
  // path, tracks out of time order, events outside the list, values that are not finite.
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

 private:
  struct Impl;
  Impl* impl_;
  friend class ParticleEventObject;
  friend IOResult LoadFlowEvent(FlowParticleSystem* sys, ILoad* iload, Object** event);
};

// A legacy particle system object: slots of lives, read through the scripting runtime.
class HOSTAPI LegacyParticleSystem : public GeomObject {
 public:
  LegacyParticleSystem();
  ~LegacyParticleSystem() override;
  Class_ID ClassID() override { return LEGACY_PARTICLES_CLASS_ID; }
  void GetClassName(TSTR& s) override { s = "Spray"; }
  const char* GetObjectName() override { return "Spray"; }
  BOOL IsParticleSystem() override { return TRUE; }
  void* GetInterface(ULONG id) override;
  RefTargetHandle Clone(RemapDir& remap) override;

  void AddSlot(const LegacyParticleSlot& slot);
  int NumSlots() const;
  // The life of the slot alive at t (born <= t < dies); null when none or the slot is out of range.
  const LegacyParticleLife* LifeAt(int slot, TimeValue t) const;

  // The slots with their lives. Load replaces them (IO_ERROR, nothing changed, for damaged data: lives out
  // of order or overlapping, without a path, tracks out of time order, values that are not finite).
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

 private:
  std::vector<LegacyParticleSlot> slots_;
};

// The deterministic emitter of scene files, times in ticks.
struct HOSTAPI ParticleEmitter {
  TimeValue start = 0;
  TimeValue stop = 0;
  double rate = 1.0;   // particles per frame
  TimeValue life = 0;  // ticks
  double speed = 1.0;  // units per frame
  Point3 direction = Point3(0.0f, 0.0f, 1.0f);
  double spread = 0.0;                        // degrees around direction
  Point3 gravity = Point3(0.0f, 0.0f, 0.0f);  // units per frame per frame
  uint64_t seed = 0;
};
// How many particles the emitter makes (saturating; never allocates). Compare with a bound before Emit.
HOSTAPI uint64_t EmitterParticleCount(const ParticleEmitter& e);
// The emitter's particles, in born order, at the current ticks per frame; the same for the same emitter.
// Directions are uniform over the cone of `spread` around `direction`, drawn from a splitmix64 stream of the
// seed; paths have a key at every frame of the life (at most 1000 steps, spread evenly) and at the death.
// More particles than born indices can count (INT_MAX) is a caller's mistake: reported, and nothing made.
HOSTAPI std::vector<FlowParticle> EmitParticles(const ParticleEmitter& e);
