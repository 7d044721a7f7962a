#pragma once
// Saved scenes (.wws) in the command: read through the host's LoadScene, written through its SaveScene.
#include <max.h>

#include <string>

#include "SceneLoader.h"

// Replaces the host scene by the saved scene at path and finds its nodes as LoadSceneFile does: every node,
// parents before their children, in the scene's order (a flow system's events after its node, as the scene
// was built), and those carrying a modifier of `wakeweave`'s class. A file that cannot be read, is damaged or
// needs a class the host does not have throws SceneError with the host's one-line message; the scene open
// before stays then.
LoadedScene LoadSavedScene(const std::string& path, ClassDesc* wakeweave);

// The saving half of `record`, in two steps. Before anything is loaded: `out` must be a .wws file, and not
// the scene file itself by any path (UsageError).
void CheckSavedSceneOutput(const std::string& scene, const std::string& out);
// Writes the open scene to `out`, replacing the file only when the whole save succeeded; a scene that cannot
// be saved, or a file that cannot be written, throws RunError and nothing is written.
void SaveOpenScene(const std::string& out);
