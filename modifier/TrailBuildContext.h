#pragma once
// The record of one evaluation, shared by its building steps.
#include <max.h>
#include <vector>

#include "support/mfc_compat.h"

class ITrailSource;

struct TrailBuildContext {
  int generateMap = 0;
  int generateAgeMap = 0;
  int mapType = 0;   // 1 "Stretch", 0 "String"
  int anchored = 0;  // 0 moving
  int flipNormals = 0;
  int splineSteps = 6;
  float uRepeat = 1.0f;
  int numMtls = 1;
  CArray<int, int> times;  // sample times in ticks, in sampling order
  double fraction = 0;     // fractional part of the step count
  double numSteps = 0;     // sample steps the trail spans
  int rangeStart = 0, rangeEnd = 0;
  int earliest = 0;  // the oldest time the trail reaches
  int usePathLengths = 0;
  // The last sample was added beyond the whole steps (the oldest point of a moving trail whose lag is
  // not a whole number of steps, or the present of an anchored trail).
  int lastSampleAppended = 0;
  TriObject* mesh = nullptr;
  PolyShape shape;  // the input shape at t
  int numLines = 0;
  int pointsPerSample = 0;
  int facesPerInterval = 0;
  int texColumnsPerSample = 0;
  int numVerts = 0, numFaces = 0, numTVerts = 0;
  TimeValue t = 0;
  ITrailSource* source = nullptr;
  int numDrawnTrails = 0;
  INode* node = nullptr;
  int skipPart = 1;
  int startPart = 1;
  // Which trails pass the filter, decided once per evaluation.
  std::vector<char> drawn;
};
