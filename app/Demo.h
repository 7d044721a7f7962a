#pragma once
// `wakeweave demo`: builds the built-in scenes, evaluates each at a few frames, writes every trail mesh as
// <scene>-f<frame>.glb and .obj with its preview picture <scene>-f<frame>.png into outDir (created if
// missing), and prints a summary table (also written to outDir/summary.txt). The particle scenes are recorded
// through the progress dialog first.
#include <max.h>

#include <string>

class ProgressAgent;

struct DemoContext {
  std::string outDir;
  ClassDesc* wakeweave;  // the loaded plug-in's class descriptor
  ProgressAgent* agent;  // the person at the terminal, who watches the particle recordings
};

// 0 when every scene was built, evaluated and written; 1 on any failure (reported on standard error).
// Throws CancelledError when the person cancelled a recording.
int RunDemo(const DemoContext& ctx);
