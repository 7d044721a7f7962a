#pragma once
// Makers of the host's materials and maps that ignore the stand-in's failure switches: for the class
// directory, which must make what a saved scene names whatever a test switched on.
#include <string>

#include "stdmat.h"

namespace hostio {
class Reader;
}

StdMat2* MakeStandardMaterial();
BitmapTex* MakeBitmapTex();
GradTex* MakeGradTex();
StdUVGen* MakeStdUVGen();

// A saved name as it was given: a name with a NUL could not be given back whole through GetName.
bool ReadName(hostio::Reader& in, std::string& name);
