#pragma once
// Reads a parsed scene file into its description, checking every value; builds nothing.
#include "SceneDesc.h"
#include "SceneJson.h"

namespace scenefile {

// Throws SceneError naming the JSON path of the first thing that is wrong.
SceneDesc ReadScene(const json& root, ClassDesc* wakeweave);

}  // namespace scenefile
