#pragma once
// Preview pictures of a trail: the mesh rendered off screen by Mesa's OpenGL (OSMesa, software rendering,
// no display needed) and written as PNG by libpng.
//
// The picture shows the trail placed as the mesh exports place it (ExportSpace.h), standing on the exports'
// up axis: shaded with the normals of its smoothing groups (Normals.h) by one directional light plus ambient,
// lit on both sides (the exports' materials are double-sided), a checker on map channel 1 when the mesh has
// it, seen in perspective from three-quarters above, the camera framing the mesh's bounding box, on a plain
// background. Without faces the picture is the background alone.
#include <max.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ExportSpace.h"
#include "Exporters.h"

inline constexpr int kPreviewWidth = 640;
inline constexpr int kPreviewHeight = 480;

// 8-bit RGB, rows from the top of the picture down.
struct PreviewImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

namespace previewdetail {
// The background and the checker's two colours (before shading); a mesh without channel 1 is drawn in the
// light one, so that its picture and the mapped one agree on the light squares.
inline constexpr uint8_t kBackground[3] = {232, 236, 242};
inline constexpr uint8_t kCheckerLight[3] = {240, 168, 72};
inline constexpr uint8_t kCheckerDark[3] = {120, 60, 40};
// Checker squares per unit of channel 1, along u and along v.
inline constexpr float kCheckerSquaresPerUnit = 8.0f;
}  // namespace previewdetail

// Renders the mesh as the exports with these options place it, given the node's object transform. Up on the
// screen is the exports' up axis (Y, or Z with opt.zUp), so the picture stands the same way either way.
// Throws std::runtime_error on bad mesh data (as the exporters check it), a non-finite transform, a size out
// of 1 to 8192, or when no off-screen OpenGL context can be made.
PreviewImage RenderPreview(const Mesh& mesh, const Matrix3& objectTM, const ExportSpaceOptions& opt = {},
                           int width = kPreviewWidth, int height = kPreviewHeight);

// The picture as PNG bytes (8-bit RGB, not interlaced). Throws std::runtime_error when libpng fails.
std::string EncodePng(const PreviewImage& image);

// The preview of the node's mesh at path, kPreviewWidth x kPreviewHeight, written to a temporary file and
// renamed over path. Throws std::runtime_error as RenderPreview does and on I/O failure; nothing is written
// then.
void WritePreview(const ExportMesh& m, const std::string& path, const ExportSpaceOptions& opt = {});
