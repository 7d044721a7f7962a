#pragma once
// Scenes for the trail tests: a node moving along X at one unit per tick, so that a row's X offset
// from the present tells the sample time it was taken at.
#include <cmath>

#include "plugin_fixture.h"
#include "recording_loader.h"

class TrailTest : public SceneTest {
 protected:
  // A node that moves along X at one unit per tick over the whole range, carrying obj under a new modifier.
  INode* MovingNode(Object* obj, Wakeweave** modOut) {
    Wakeweave* mod = NewModifier();
    INode* node = AddNode("Trail001", obj, mod);
    KeyPosition(node, 0, Point3(0.0f, 0.0f, 0.0f));
    KeyPosition(node, 100 * kTpf, Point3(float(100 * kTpf), 0.0f, 0.0f));
    if (modOut) *modOut = mod;
    return node;
  }

  // A shape of one point at the origin: one vertex per sample, no faces.
  static SplineShape* Dot() { return Polyline({Point3(0.0f, 0.0f, 0.0f)}, false); }

  static void Set(Wakeweave* mod, ParamID id, int v) { ASSERT_TRUE(mod->pblock->SetValue(id, 0, v)); }
  static void Set(Wakeweave* mod, ParamID id, float v) { ASSERT_TRUE(mod->pblock->SetValue(id, 0, v)); }

  // The sample times, read back from a moving node's trail of one point: x offset = g - t.
  static std::vector<int> SampleTimes(const Mesh& m, TimeValue t) {
    std::vector<int> times;
    for (int i = 0; i < m.getNumVerts(); ++i) times.push_back(int(std::lround(m.verts[i].x)) + t);
    return times;
  }

  // Records a particle life with keys at the given frames, positions and optional full transforms.
  static ParticleState Life(const std::vector<std::pair<int, Point3>>& keys) {
    ParticleState life;
    for (const auto& k : keys) life.addKey(ParticlePositionKey(k.first * kTpf, k.second, 0));
    return life;
  }
};
