#pragma once
// The faces of a grid of quads as a trail lays them out: two per quad, row by row.
#include <max.h>

#include <array>

// Sizes mesh m's faces to the grid's, writes each whole with its three vertices, then calls
// each(face, row, column, vertices) so that the caller can give it its other properties.
template <class Each>
void MakeGridFaces(Mesh& m, int cols, int rows, const Each& each) {
  m.setNumFaces(2 * (cols - 1) * (rows - 1));
  int f = 0;
  for (int r = 0; r + 1 < rows; ++r)
    for (int c = 0; c + 1 < cols; ++c) {
      const DWORD a = DWORD(r * cols + c), b = a + 1, d = a + DWORD(cols), e = d + 1;
      for (const auto& v : {std::array<DWORD, 3>{a, b, e}, std::array<DWORD, 3>{a, e, d}}) {
        m.faces[f] = Face();
        m.faces[f].setVerts(v[0], v[1], v[2]);
        each(f++, r, c, v);
      }
    }
}
