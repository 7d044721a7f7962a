// The demo scenes, written as a user would write scene files.
#include "DemoScenes.h"

namespace {

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
  };
  return scenes;
}
