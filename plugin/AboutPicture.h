#pragma once
// The About box's picture: a wake drawn by the module itself, so the module carries no image file.

constexpr int kAboutPictureWidth = 400;
constexpr int kAboutPictureHeight = 50;

// The picture's pixels, 4 bytes each (R, G, B, A), rows top to bottom; made once, on first use.
const unsigned char* AboutPicturePixels();
