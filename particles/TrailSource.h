#pragma once
// Where a trail's object was at any time: the shape's own node, or a recorded particle life.
#include <max.h>
#include "support/mfc_compat.h"

class ParticleSystemState;
typedef CArray<int, int> TimeList;

class ITrailSource {
 public:
  virtual ~ITrailSource() = default;
  virtual int numTrails() = 0;
  // World transform of the trail's object at t.
  virtual Matrix3 trailTM(int trail, TimeValue t, TimeList& times) = 0;
  // Age at t in ticks, or -1.
  virtual int trailAge(int trail, TimeValue t) = 0;
  // Life span in ticks, or -1.
  virtual int trailLifeSpan(int trail) = 0;
  // True when the trail's object does not move between from and to.
  virtual BOOL isTrailStationary(int trail, TimeValue from, TimeValue to, int step, TimeList& times) = 0;
  // How many entries at the end of the list have the same transform as the entry after them.
  virtual int countStillSamples(int trail, TimeList& times) = 0;
};

class SplineTrailSource : public ITrailSource {
 public:
  explicit SplineTrailSource(INode* node) : pShapeNode(node) {}
  int numTrails() override { return 1; }
  Matrix3 trailTM(int trail, TimeValue t, TimeList& times) override;
  int trailAge(int, TimeValue) override { return -1; }
  int trailLifeSpan(int) override { return -1; }
  BOOL isTrailStationary(int trail, TimeValue from, TimeValue to, int step, TimeList& times) override;
  int countStillSamples(int trail, TimeList& times) override;

 private:
  INode* pShapeNode;  // borrowed
};

class ParticleTrailSource : public ITrailSource {
 public:
  explicit ParticleTrailSource(ParticleSystemState* state) : pParticleState(state) {}
  int numTrails() override;
  Matrix3 trailTM(int trail, TimeValue t, TimeList& times) override;
  int trailAge(int trail, TimeValue t) override;
  int trailLifeSpan(int trail) override;
  BOOL isTrailStationary(int trail, TimeValue from, TimeValue to, int step, TimeList& times) override;
  int countStillSamples(int trail, TimeList& times) override;

  // What interpolation blends of a key transform: its translation, stretch and rotation.
  struct KeyParts {
    Point3 p, k;
    Quat q;
    bool plain;  // k exactly (1, 1, 1) and q exactly the identity: a pure translation
  };

 private:
  // A trail is sampled several times between the same keys, and each sample reads four keys: the parts of
  // recent keys are kept, so that a key is decomposed once per evaluation rather than at every sample.
  // An entry is found by the key's index and matched by the key's twelve floats, so a changed recording
  // can never be answered from a stale entry.
  struct CachedKey {
    float rows[12];
    KeyParts parts;
    bool used = false;
  };
  static const int kCachedKeys = 8;  // a power of two above the four keys a sample reads

  KeyParts keyParts(const Matrix3& tm, int keyIndex);

  ParticleSystemState* pParticleState;  // borrowed; may be null
  CachedKey m_keys[kCachedKeys];
};

// Cubic Hermite interpolation between p1 and p2 at u, with tangents from the neighbours p0 and p3.
float HermiteInterpolate(float p0, float p1, float p2, float p3, float u, float tension, float bias);
