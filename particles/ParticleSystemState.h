#pragma once
// The recording of a particle system: one ParticleState per particle life, each holding time-stamped
// transforms. The modifier owns one, saves it with the scene and draws particle trails from it.
#include <max.h>

#include <cstdint>

#include "support/mfc_compat.h"

class ParticlePositionKey {
 public:
  ParticlePositionKey() : time(0), age(0) {}
  ParticlePositionKey(TimeValue t, const Matrix3& m, int a) : tm(m), time(t), age(a) {}
  // Only a position is known: the transform is a pure translation.
  ParticlePositionKey(TimeValue t, const Point3& pos, int a) : tm(TransMatrix(pos)), time(t), age(a) {}

  Matrix3 tm;
  TimeValue time;
  int age;
};

class ParticleState {
 public:
  ParticleState() : start(0), end(0) {}

  int getStart() const { return start; }
  int getEnd() const { return end; }
  void setStart(int s) { start = s; }
  void setEnd(int e) { end = e; }
  int numKeys() const { return keys.GetSize(); }
  ParticlePositionKey& key(int i) { return keys[i]; }
  const ParticlePositionKey& key(int i) const { return keys[i]; }
  // Appends a copy; start and end follow the keys' time span.
  void addKey(const ParticlePositionKey& k);
  // Empties the keys; start and end stay as they were.
  void clearKeys() { keys.RemoveAll(); }
  // end - start when it fits an int; a damaged recording can hold lives longer than that.
  bool hasLifeSpan() const;
  // end - start in ticks, or -1 when it does not fit an int.
  int lifeSpan() const { return hasLifeSpan() ? int(int64_t(end) - start) : -1; }

  int start;
  int end;
  CArray<ParticlePositionKey, ParticlePositionKey&> keys;
};

class ParticleSystemState {
 public:
  // Id of the chunk that holds the state in a saved scene.
  static const USHORT kChunkId = 1000;
  static const int kFormatVersion = 1;

  ParticleSystemState();
  virtual ~ParticleSystemState() = default;

  int numParticles() const { return particles.GetSize(); }
  ParticleState& particle(int i) { return particles[i]; }
  const ParticleState& particle(int i) const { return particles[i]; }
  void addParticle(const ParticleState& state) { particles.Add(state); }
  void clear();
  void resize(int n);
  int isParticleFlow() const { return m_isParticleFlow; }
  void setParticleFlow(int flag) { m_isParticleFlow = flag; }
  int getMaxLifeSpan() const { return maxLifeSpan; }
  void computeMaxLifeSpan();

  IOResult save(ISave* isave);
  IOResult load(ILoad* iload);

  // Adds a scene node named `name` holding one open spline per recorded life, one knot per key.
  void makeTestSpline(const char* name);

 protected:
  // Kept and saved for the file format; nothing reads them.
  int m_reserved[3];
  int maxLifeSpan;
  CArray<ParticleState, ParticleState&> particles;
  int m_isParticleFlow;
};
