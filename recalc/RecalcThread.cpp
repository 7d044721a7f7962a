// The worker thread of the recalculation dialog.
#include <max.h>

#include "particles/ParticleStateBuilder.h"
#include "recalc/IProgress.h"
#include "recalc/RecalcDlg.h"
#include "recalc/RecalcJob.h"

DWORD WINAPI RecalcThreadProc(LPVOID param) {
  if (param == NULL) return 0;
  RecalcJob* job = static_cast<RecalcJob*>(param);
  const int ticksPerFrame = GetTicksPerFrame();
  DbgAssertSrc(job->pBuilder != NULL, "RecalcThreadProc");
  // An exception must not leave the thread (it would end the host); and the dialog closes by itself only
  // once the work is reported ended.
  try {
    if (job->pBuilder)
      job->pBuilder->build(job->pParticleNode, job->range.Start(), job->range.End(), ticksPerFrame, job->pProgress,
                           job->pEvents);
    else if (job->pProgress)
      job->pProgress->end();
  } catch (...) {
    DebugPrint("Exception thrown in RecalcThreadProc\n");
    if (job->pBuilder) job->pBuilder->clear();
    if (job->pProgress) job->pProgress->end();
  }
  return 1;
}
