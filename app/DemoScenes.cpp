// The demo scenes, written as a user would write scene files.
#include "DemoScenes.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

json Vec(double x, double y, double z) { return json::array({x, y, z}); }

// A shape for the particles to carry: a small circle, its trails follow the recorded particles.
json ParticleTrailCarrier(const std::string& system, const json& extraParams) {
  json params = {{"pb_particle_trails_b", true},
                 {"pb_particle_node", system},
                 {"old_frames", 15},
                 {"spline steps", 2},
                 {"generateAgeMap", true},
                 {"pb_nummtls", 3}};
  params.update(extraParams);
  return {{"name", "Ribbon001"},
          {"object", {{"type", "circle"}, {"radius", 0.6}}},
          {"modifiers", json::array({{{"class", "Wakeweave"}, {"params", params}}})}};
}

// A fountain of 16 particles, one every 4 frames, each rising in a spiral; after 24 frames of life a
// particle passes from "Spray" to "Fall". The trails are filtered to "Spray", so they stop where the
// particles change event.
std::string FlowFountain() {
  json particles = json::array();
  for (int i = 0; i < 16; ++i) {
    const double born = 4.0 * i, life = 40.0;
    const double heading = i * 2.399963;  // the golden angle spreads the particles evenly
    json keys = json::array();
    for (int k = 0; k <= 8; ++k) {
      const double a = k / 8.0, f = born + a * life;
      const double r = 3.0 + 12.0 * a, turn = heading + 2.0 * a;
      keys.push_back(json::array({f, Vec(r * std::cos(turn), r * std::sin(turn), 30.0 * a * (1.2 - a))}));
    }
    particles.push_back(
        {{"born", born},
         {"dies", born + life},
         {"path", {{"keys", keys}}},
         {"event", {{"keys", json::array({json::array({born, "Spray"}), json::array({born + 24.0, "Fall"})})}}}});
  }
  json scene = {{"ticksPerFrame", 160}, {"animationRange", {0, 100}}, {"frame", 0}};
  scene["nodes"] = json::array(
      {{{"name", "PF Source 001"},
        {"object",
         {{"type", "particles"}, {"interface", "flow"}, {"events", {"Spray", "Fall"}}, {"particles", particles}}}},
       ParticleTrailCarrier("PF Source 001", {{"useAllPFEvents", false}, {"pfEventList", {"Spray"}}})});
  return scene.dump(2);
}

// A legacy spray of six slots, each reused twice: a particle shoots out, falls and dies, and its slot is
// born again on the other side.
std::string LegacySpray() {
  json slots = json::array();
  for (int s = 0; s < 6; ++s) {
    json lives = json::array();
    for (int l = 0; l < 2; ++l) {
      const double born = 5.0 * s + 50.0 * l, life = 40.0;
      const double dir = s * 1.0471976 + l * 3.1415927;
      json keys = json::array();
      for (int k = 0; k <= 8; ++k) {
        const double a = k / 8.0, f = born + a * life, d = 20.0 * a;
        keys.push_back(json::array({f, Vec(d * std::cos(dir), d * std::sin(dir), 25.0 * a * (1.0 - a))}));
      }
      lives.push_back({{"born", born}, {"dies", born + life}, {"path", {{"keys", keys}}}});
    }
    slots.push_back(lives);
  }
  json scene = {{"ticksPerFrame", 160}, {"animationRange", {0, 100}}, {"frame", 0}};
  scene["nodes"] = json::array(
      {{{"name", "Spray001"}, {"object", {{"type", "particles"}, {"interface", "legacy"}, {"slots", slots}}}},
       ParticleTrailCarrier("Spray001", json::object())});
  return scene.dump(2);
}

// A circle flying along an S-curve that also rises and falls, turning as it goes: the trail of the last
// 20 frames follows it.
const char* const kMovingTrail = R"({
  "ticksPerFrame": 160,
  "animationRange": [0, 100],
  "frame": 0,
  "nodes": [{
    "name": "Circle001",
    "position": { "keys": [
      [0, [-40, 0, 0]], [10, [-32, 11.756, 3.527]], [20, [-24, 19.021, 5.706]], [30, [-16, 19.021, 5.706]],
      [40, [-8, 11.756, 3.527]], [50, [0, 0, 0]], [60, [8, -11.756, -3.527]], [70, [16, -19.021, -5.706]],
      [80, [24, -19.021, -5.706]], [90, [32, -11.756, -3.527]], [100, [40, 0, 0]] ] },
    "rotation": { "keys": [ [0, [0, 1, 0, 90]], [50, [1, 1, 0, 120]], [100, [0, 1, 0, 90]] ] },
    "object": { "type": "circle", "radius": 4 },
    "modifiers": [{
      "class": "Wakeweave",
      "params": { "old_frames": 20, "segments per frame": 1, "spline steps": 4, "pb_urepeat": 1 }
    }]
  }]
})";

// A short bar climbing a spiral, its trail anchored to the start of the range: it grows from frame 0 to the
// present, and V runs along the share of the whole range's path covered, so a point of the trail keeps its
// texture coordinate as the trail grows.
const char* const kAnchoredTrail = R"({
  "ticksPerFrame": 160,
  "animationRange": [0, 100],
  "frame": 0,
  "nodes": [{
    "name": "Bar001",
    "position": { "keys": [
      [0, [25, 0, 0]], [10, [14.695, 20.225, 3]], [20, [-7.725, 23.776, 6]], [30, [-23.776, 7.725, 9]],
      [40, [-20.225, -14.695, 12]], [50, [0, -25, 15]], [60, [20.225, -14.695, 18]], [70, [23.776, 7.725, 21]],
      [80, [7.725, 23.776, 24]], [90, [-14.695, 20.225, 27]], [100, [-25, 0, 30]] ] },
    "object": { "type": "spline", "splines": [
      { "closed": false, "knots": [ [0, -3, 0], [0, 0, 1], [0, 3, 0] ] } ] },
    "modifiers": [{
      "class": "Wakeweave",
      "params": { "moving or still": 1, "pb_userange": true, "start frame": 0, "end frame": 100,
                  "segments per frame": 0.5, "spline steps": 2 }
    }]
  }]
})";

// Two splines in one shape (a square and an arc), flipped normals, stretched mapping, the
// age map on channel 2, and a trail whose length is animated from 5 to 30 frames. Three materials are asked
// for, but a spline trail is a single trail and takes the first; particle trails take them in turn.
const char* const kMaterials = R"({
  "ticksPerFrame": 160,
  "animationRange": [0, 100],
  "frame": 0,
  "nodes": [{
    "name": "Shapes001",
    "position": { "keys": [ [0, [0, -30, 0]], [50, [10, 0, 10]], [100, [0, 30, 0]] ] },
    "rotation": { "keys": [ [0, [0, 0, 1, 0]], [100, [0, 0, 1, 170]] ] },
    "object": { "type": "spline", "splines": [
      { "closed": true, "knots": [ [-2, -2, 0], [2, -2, 0], [2, 2, 0], [-2, 2, 0] ] },
      { "closed": false, "knots": [
        { "p": [4, 0, 0], "in": [4, -1, 0], "out": [4, 1, 0] },
        { "p": [6, 2, 2], "in": [5, 2, 2], "out": [7, 2, 2] } ] } ] },
    "modifiers": [{
      "class": "Wakeweave",
      "params": { "pb_nummtls": 3, "flipNormals": true, "maptype": 1, "pb_urepeat": 2,
                  "generateAgeMap": true, "segments per frame": 2, "spline steps": 3 },
      "animate": { "old_frames": { "keys": [ [0, 5], [100, 30] ] } }
    }]
  }]
})";

}  // namespace

const std::vector<DemoScene>& DemoScenes() {
  static const std::vector<DemoScene> scenes = {
      {"moving", "circle on an S-curve, trail of the last 20 frames", kMovingTrail, {0, 20, 50, 100}},
      {"anchored", "bar on a spiral, anchored trail, path-length mapping", kAnchoredTrail, {10, 50, 100}},
      {"materials", "two splines, flipped normals, stretched map, age map, growing trail", kMaterials, {30, 60, 90}},
      {"flow", "flow fountain, two events, trails of one, recorded through the dialog", FlowFountain(), {30, 60, 90}},
      {"legacy", "legacy spray, reused slots, recorded through the dialog", LegacySpray(), {30, 60, 90}},
  };
  return scenes;
}
