#pragma once
// How many elements the trail mesh holds and how many bytes they take: computed in one place, in 64 bits
// (saturating, so that absurd settings give a huge number instead of wrapping), before anything is
// allocated. The evaluation checks these figures against the memory budget and sizes the mesh from them;
// the building steps read the counts that it stored from here.
#include <cstdint>

struct TrailLayout {
  int64_t samples = 0;           // N, the sample times
  int64_t drawnTrails = 0;       // D
  int64_t pointsPerSample = 0;   // P
  int64_t columnsPerSample = 0;  // W, texture columns of one sample
  int64_t facesPerInterval = 0;  // F
  bool textureMap = false;       // channel 1 ("generateMap")
  bool ageMap = false;           // channel 2 ("generateAgeMap")
  bool pathLengths = false;      // the path-length cache is rebuilt beside the sample times

  int64_t verts() const;  // D x P x N
  int64_t faces() const;  // D x F x (N - 1)
  // Texture vertices of channel 1, and map vertices of channel 2: D x N x W each.
  int64_t texVerts() const;

  // The sample-time array (and the path-length cache when it is rebuilt): bounded before it is filled.
  uint64_t sampleBytes() const;
  // Everything the evaluation allocates for its output: vertices, faces, the two selections, the map
  // channels in use, and the sample bytes.
  uint64_t meshBytes() const;
};

// Samples that the sample times of a trail of `wholeSteps` whole steps can hold: one per whole step,
// the first, and one appended after the last whole step. A negative or non-finite step count counts
// as none; beyond the range of 64 bits the answer saturates.
int64_t SampleCountBound(double wholeSteps);
