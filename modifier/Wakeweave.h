#pragma once
// The Wakeweave modifier: replaces an animated shape by the mesh of the trail it leaves behind.
#include <max.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "particles/ParticleStateBuilder.h"
#include "plugin/WWCommands.h"
#include "plugin/WWInterface.h"
#include "support/mfc_compat.h"

class ITrailSource;
struct TrailBuildContext;

// Thrown inside an evaluation; caught once at its end, which outputs the fallback mesh.
class CModifyException {};

// Ends an evaluation: writes "Wakeweave::ModifyObject failed: <reason>" to the debug output, so that the
// host and the person learn why the fallback mesh appeared, then throws CModifyException.
[[noreturn]] void FailEvaluation(const char* reason);

class Wakeweave : public Modifier, public WWInterface, public WWCommands {
 public:
  Wakeweave();
  ~Wakeweave() override;

  // Animatable
  void GetClassName(TSTR& s) override;
  SClass_ID SuperClassID() override { return OSM_CLASS_ID; }
  Class_ID ClassID() override;
  void DeleteThis() override { delete this; }
  void BeginEditParams(IObjParam* ip, ULONG flags, Animatable* prev) override;
  void EndEditParams(IObjParam* ip, ULONG flags, Animatable* next) override;
  int NumSubs() override { return 1; }
  Animatable* SubAnim(int) override { return pblock; }
  TSTR SubAnimName(int) override;
  int NumParamBlocks() override { return 1; }
  IParamBlock2* GetParamBlock(int) override { return pblock; }
  IParamBlock2* GetParamBlockByID(short id) override;
  using Modifier::GetInterface;
  // The scripting interface for its id; the host's answer for any other.
  BaseInterface* GetInterface(Interface_ID id) override;

  // References
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int) override;
  void SetReference(int, RefTargetHandle rtarg) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;
  RefResult NotifyRefChanged(const Interval& changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  RefTargetHandle Clone(RemapDir& remap) override;

  // Base object
  CreateMouseCallBack* GetCreateMouseCallBack() override { return nullptr; }
  const char* GetObjectName() override;

  // Modifier
  using Modifier::HasUVW;
  using Modifier::SetGenUVW;
  BOOL HasUVW() override { return TRUE; }
  void SetGenUVW(BOOL) override {}
  Interval LocalValidity(TimeValue t) override;
  ChannelMask ChannelsUsed() override { return TOPO_CHANNEL | GEOM_CHANNEL; }
  ChannelMask ChannelsChanged() override { return ALL_CHANNELS; }
  void NotifyInputChanged(const Interval&, PartID, RefMessage, ModContext*) override {}
  void ModifyObject(TimeValue t, ModContext& mc, ObjectState* os, INode* node) override;
  Class_ID InputType() override { return genericShapeClassID; }

  // Scripting interface: the regeneration, without the rollout's check that particle trails are on.
  void regenerate_particle_trails() override;
  // The host program's route to "Snapshot Path...".
  void snapshot_particle_paths() override { snapshotParticlePaths(); }

  // Evaluation helpers
  BOOL IsParticleMode();
  BOOL ComputeFrameRange(IParamBlock2* pb, Interval range, int* start, int* end, double* numSteps,
                         double* ticksPerStep);
  // The shape just below this modifier in the node's stack at `time`, as organised polylines. The stack
  // below is left evaluated at `time`, so the node's dependents are told and its world state dropped.
  BOOL GetShapeBelow(INode* node, PolyShape& shape, TimeValue time, int steps);

  // Particle trails. Regeneration records the chosen particle system over the animation range behind a
  // modal progress dialog and then notifies the dependents; the snapshot turns the recording into a spline
  // node. Both run on the user-interface thread.
  void regenerateParticleTrails();
  void snapshotParticlePaths();

  // The particle recording, for reading on the user-interface thread (which a regeneration holds in its
  // dialog while the recording is written). It is filled only by regeneration and by Load.
  const ParticleSystemState& particleState() const { return m_particleState; }
  // Whether a regeneration is recording now. Takes the lock: on another thread it waits for the
  // regeneration to end (and then answers false); on the user-interface thread during the dialog, true.
  bool isRebuildingTrails();

  IParamBlock2* pblock;
  CArray<double, double> m_pathLengths;
  char m_szTexturePath[MAX_PATH];
  Tab<INode*> m_eventCandidates;
  Tab<int> m_eventChoices;

 private:
  // Tests look at whether the lock is held, from another thread, through this; it touches nothing else.
  friend struct WakeweaveLockProbe;

  // The recording, the lock that keeps evaluations away while it is rebuilt, and the flag that turns away
  // an evaluation on the thread that holds the lock for the rebuild. The flag is read and written only
  // under the lock, and only the regeneration writes it.
  ParticleStateBuilder m_particleState;
  CRITICAL_SECTION m_lock;
  int m_bTrailRebuild;

  // The node of this modifier application, found through the dependents; null when none.
  INode* FindNodeOf(ModContext& mc);
  Interval AnimationRange();

  // Building steps of one evaluation.
  void BuildSampleTimes(TrailBuildContext& ctx);
  BOOL IsTrailDrawn(TrailBuildContext& ctx, int trail);
  // shapeValid: how long the stack below keeps the shape it gave at t (ctx.shape).
  void BuildTrailVertices(TrailBuildContext& ctx, const Interval& shapeValid);
  // The points of the shape below at each sample time, P per sample; a single row when the shape at t
  // holds for every sample time.
  std::vector<Point3> SampleRows(TrailBuildContext& ctx, const Interval& shapeValid);
  void BuildTrailFaces(TrailBuildContext& ctx);
  void BuildTrailMapping(TrailBuildContext& ctx);
  void BuildAgeMapping(TrailBuildContext& ctx);
  void BuildPathLengths(TrailBuildContext& ctx);
  double PathLength(INode* node, TimeValue t0, TimeValue t1, int64_t step);
  Point3 NodePosition(INode* node, TimeValue time);
  // GetShapeBelow without telling anyone, and with the validity of the state below (when valid is given).
  BOOL EvaluateShapeBelow(INode* node, PolyShape& shape, TimeValue time, int steps, Interval* valid);

 protected:
  // Where the trails' objects were, for one evaluation, which owns it: the recording or the shape's own
  // node. Tests count through it what the building steps ask.
  virtual ITrailSource* NewTrailSource(INode* node);
};
