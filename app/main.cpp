// wakeweave: the host program. Loads the plug-in, reads scene files, evaluates and writes trail meshes.
#include <max.h>
#include <membudget.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <iostream>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>

#include <unistd.h>

#include "Cli.h"
#include "Demo.h"
#include "Errors.h"
#include "ExportGltfAnimation.h"
#include "Exporters.h"
#include "FallbackWatch.h"
#include "MeshDump.h"
#include "PluginHost.h"
#include "Preview.h"
#include "Printable.h"
#include "ProgressAgent.h"
#include "Regenerate.h"
#include "SavedScene.h"
#include "SceneLoader.h"
#include "Sequence.h"

namespace {

// Scene files are checked before the plug-in is loaded, so a wrong name costs nothing.
void CheckSceneName(const std::string& scene) {
  const std::string ext = LowerExtension(scene);
  if (ext != ".json" && ext != ".wws")
    throw UsageError(scene + ": unknown scene file type \"" + ext + "\" (use .json or a saved .wws)");
}

// A scene file by its extension: a JSON scene, or one saved by `record`.
LoadedScene ReadScene(const std::string& scene, ClassDesc* wakeweave) {
  try {
    if (LowerExtension(scene) == ".wws") return LoadSavedScene(scene, wakeweave);
    return LoadSceneFile(scene, wakeweave);
  } catch (const SceneError& e) {
    throw UsageError(scene + ": " + e.what());
  }
}

// The node to evaluate: the one named by --node, else the first with a Wakeweave modifier.
INode* ChooseNode(const CliOptions& o, const LoadedScene& scene) {
  const auto& carriers = scene.nodesWithWakeweave;
  if (!o.node) {
    if (carriers.empty()) throw UsageError(o.scene + ": no node has a Wakeweave modifier (choose one with --node)");
    return carriers.front();
  }
  for (INode* n : scene.nodes)
    if (*o.node == n->GetName()) {
      if (std::find(carriers.begin(), carriers.end(), n) == carriers.end())
        throw UsageError(o.scene + ": --node: node \"" + *o.node +
                         "\" has no Wakeweave modifier (--node names a node whose modifier stack holds one)");
      return n;
    }
  throw UsageError(o.scene + ": --node: no node named \"" + *o.node + "\"");
}

// A failure message that names the file once: prefixed with the path unless it names it already.
std::string AboutFile(const std::string& path, const std::string& what) {
  return what.find(path) != std::string::npos ? what : path + ": " + what;
}

void WriteMesh(ExportFormat kind, const Mesh& mesh, INode* node, TimeValue t, const std::string& path,
               const ExportSpaceOptions& space) {
  try {
    switch (kind) {
      case ExportFormat::Json:
        WriteMeshDump(mesh, path);
        break;
      case ExportFormat::Obj:
        WriteObj(ExportMesh{&mesh, node->GetObjectTM(t), node->GetName()}, path, space);
        break;
      case ExportFormat::Gltf:
      case ExportFormat::Glb:
        WriteGltf(ExportMesh{&mesh, node->GetObjectTM(t), node->GetName()}, path, kind == ExportFormat::Glb, space);
        break;
      case ExportFormat::Png:
        WritePreview(ExportMesh{&mesh, node->GetObjectTM(t), node->GetName()}, path, space);
        break;
    }
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw RunError(AboutFile(path, e.what()));
  }
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

// Regenerates the particle trails of the scene's Wakeweave modifiers (with onlyWhereOn, of those whose
// particle trails are on), each behind its progress dialog.
void RegenerateAll(const LoadedScene& scene, ClassDesc* wakeweave, bool onlyWhereOn, ProgressAgent& agent) {
  const std::vector<Modifier*> mods = WakeweaveModifiers(scene.nodesWithWakeweave, wakeweave);
  Step("regenerate the particle trails", [&] { RegenerateParticleTrails(mods, wakeweave, onlyWhereOn, agent); });
}

void Warn(const std::string& what) { std::cerr << "wakeweave: warning: " << PrintableText(what) << std::endl; }

// "12 vertices" / "1 vertex".
std::string Counted(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::set<MtlID> MaterialsOf(const Mesh& mesh) {
  std::set<MtlID> ids;
  for (int f = 0; f < mesh.getNumFaces(); ++f) ids.insert(mesh.faces[f].getMatID());
  return ids;
}

// The line eval prints for each file it wrote.
// For an animation, its frame count and their totals.
std::string WrittenLine(const std::string& path, size_t verts, size_t faces, size_t materials, size_t frames = 0) {
  return "wrote " + PrintableText(path) + ": " + (frames ? Counted(frames, "frame", "frames") + ", " : "") +
         Counted(verts, "vertex", "vertices") + ", " + Counted(faces, "face", "faces") + ", " +
         Counted(materials, "material", "materials");
}

// A failure message about a file written under a staging name, told about the file the person asked for.
std::string Retarget(std::string what, const std::string& staged, const std::string& target) {
  if (staged.empty() || staged == target) return what;
  for (size_t at = what.find(staged); at != std::string::npos; at = what.find(staged, at + target.size()))
    what.replace(at, staged.size(), target);
  return what;
}

// The frames of --frames in ticks; frames that round to the same tick are refused, since they would show
// the same time twice (and a glTF animation's times must ascend).
std::vector<TimeValue> SequenceTicks(const std::vector<double>& frames) {
  std::vector<TimeValue> ticks;
  try {
    for (double f : frames) ticks.push_back(FramesToTicks(f, GetTicksPerFrame(), "--frames"));
  } catch (const SceneError& e) {
    throw UsageError(e.what());
  }
  for (size_t k = 1; k < ticks.size(); ++k)
    if (ticks[k] == ticks[k - 1])
      throw UsageError("--frames: frames " + NumberText(frames[k - 1]) + " and " + NumberText(frames[k]) +
                       " fall on the same tick (" + std::to_string(GetTicksPerFrame()) +
                       " ticks a frame): use a larger STEP");
  return ticks;
}

// What --frames writes: one file per frame (named by the pattern in OUT), or one animated glTF.
struct SequenceOutput {
  std::vector<double> frames;
  std::vector<std::string> paths;  // one per frame; empty for an animated glTF
};

SequenceOutput PlanSequence(const CliOptions& o, ExportFormat kind) {
  SequenceOutput plan;
  plan.frames = FramesOf(ParseFrameRange(*o.frames));
  const FramePattern pattern(*o.output);
  if (!pattern.HasField()) {
    if (kind != ExportFormat::Gltf && kind != ExportFormat::Glb)
      throw UsageError(*o.output +
                       ": --frames writes one file per frame: put {frame} in -o (only .gltf and .glb "
                       "hold every frame in one file)");
    RefuseOutputOverScene(o.scene, *o.output);
    return plan;
  }
  std::set<std::string> seen;
  for (double f : plan.frames) {
    plan.paths.push_back(pattern.Expand(f));
    RefuseOutputOverScene(o.scene, plan.paths.back());
    std::error_code ec;
    const std::string key = std::filesystem::absolute(plan.paths.back(), ec).lexically_normal().string();
    if (!seen.insert(key).second) throw UsageError("-o " + *o.output + ": two frames would write " + plan.paths.back());
  }
  return plan;
}

int RunEval(const CliOptions& o) {
  if (o.scene.empty()) throw UsageError("eval needs a SCENE file (see wakeweave eval --help)");
  if (!o.output) throw UsageError("eval needs -o OUT (see wakeweave eval --help)");
  if (o.frame && o.frames)
    throw UsageError("eval takes --frame F or --frames A:B[:STEP], not both (see wakeweave eval --help)");
  const double frame = o.frame ? ParseFrame(*o.frame) : 0.0;  // without --frame, the scene's frame
  const uint64_t budget = o.maxMemory ? ParseMemorySize(*o.maxMemory) : 0;
  const ExportFormat kind = ExportFormatOf(*o.output);
  CheckSceneName(o.scene);
  std::optional<SequenceOutput> sequence;
  if (o.frames) {
    sequence = PlanSequence(o, kind);
  } else {
    if (MentionsFrameField(*o.output))
      throw UsageError("-o " + *o.output + ": a {frame} pattern names the files of --frames A:B, not of one frame");
    RefuseOutputOverScene(o.scene, *o.output);
  }

  // The person is at the keyboard from the start, so Ctrl-C during the load also cancels; a sequence
  // always listens, so that Ctrl-C part way leaves no partial set of files.
  std::optional<ProgressAgent> agent;
  if (o.regenerate || sequence) agent.emplace(std::cerr, StandardErrorIsTerminal());
  auto host = Step("load the plug-in", [] { return PluginHost::Load(); });
  const LoadedScene scene = Step("load " + o.scene, [&] { return ReadScene(o.scene, host->Wakeweave()); });
  INode* node = ChooseNode(o, scene);
  if (o.regenerate) RegenerateAll(scene, host->Wakeweave(), false, *agent);
  const auto cancelled = [&] { return agent && agent->Interrupted(); };
  if (cancelled()) throw CancelledError();

  const std::string name = node->GetName();
  SetEvalMemoryBudget(budget);
  std::vector<std::string> warnings, written;
  // Evaluates the node at t; the mesh stays valid until the next evaluation.
  const auto evaluate = [&](TimeValue t, double atFrame) -> const Mesh& {
    const std::string where = name + " at frame " + NumberText(atFrame);
    return *Step("evaluate " + where, [&] {
      FallbackWatch watch;
      GetCOREInterface()->SetTime(t, FALSE);
      const ObjectState& os = node->EvalWorldState(t);
      auto* tri = dynamic_cast<TriObject*>(os.obj);
      if (!tri) {
        TSTR cls;
        if (os.obj) os.obj->GetClassName(cls);
        throw RunError("node \"" + name + "\" evaluates to " +
                       (os.obj ? "a " + std::string(cls.data()) : std::string("nothing")) + ", not a mesh");
      }
      if (watch.Reason()) warnings.push_back(where + ": " + *watch.Reason());
      return &tri->GetMesh();
    });
  };
  // Writes a mesh to `at`, reporting failures about `target` (the same file unless it is staged).
  const auto write = [&](ExportFormat format, const Mesh& mesh, TimeValue t, const std::string& at,
                         const std::string& target) {
    Step("write " + target, [&] {
      try {
        WriteMesh(format, mesh, node, t, at, ExportSpaceOptions{o.objectSpace, o.zUp});
      } catch (const RunError& e) {
        throw RunError(Retarget(e.what(), at, target));
      }
    });
  };
  const auto finish = [&] {
    for (const std::string& w : warnings) Warn(w);
    if (!o.quiet)
      for (const std::string& line : written) std::cout << line << "\n";
    std::cout << std::flush;
    return kExitOk;
  };

  if (!sequence) {
    const int tpf = GetTicksPerFrame();
    TimeValue t = scene.time;
    try {
      if (o.frame) t = FramesToTicks(frame, tpf, "--frame");
    } catch (const SceneError& e) {
      throw UsageError(e.what());
    }
    const Mesh& mesh = evaluate(t, o.frame ? frame : double(t) / tpf);
    if (cancelled()) throw CancelledError();
    write(kind, mesh, t, *o.output, *o.output);
    written.push_back(
        WrittenLine(*o.output, size_t(mesh.getNumVerts()), size_t(mesh.getNumFaces()), MaterialsOf(mesh).size()));
    return finish();
  }

  const std::vector<double>& frames = sequence->frames;
  const std::vector<TimeValue> ticks = SequenceTicks(frames);
  StagedFiles staged;
  SequenceProgress progress(std::cerr, StandardErrorIsTerminal(), frames.size());
  if (!sequence->paths.empty()) {
    for (size_t k = 0; k < frames.size(); ++k) {
      const Mesh& mesh = evaluate(ticks[k], frames[k]);
      if (cancelled()) throw CancelledError();
      const std::string& target = sequence->paths[k];
      write(kind, mesh, ticks[k], Step("write " + target, [&] { return staged.Stage(target); }), target);
      written.push_back(
          WrittenLine(target, size_t(mesh.getNumVerts()), size_t(mesh.getNumFaces()), MaterialsOf(mesh).size()));
      progress.Advance();
    }
  } else {
    // Each frame is the single-frame export of that frame, read back and put under a node of its own.
    const std::string& target = *o.output;
    const std::string scratch = Step("write " + target, [&] { return staged.Stage(target, "frame.glb"); });
    GltfAnimation animation;
    size_t verts = 0, faces = 0;
    std::set<MtlID> materials;
    for (size_t k = 0; k < frames.size(); ++k) {
      const Mesh& mesh = evaluate(ticks[k], frames[k]);
      if (cancelled()) throw CancelledError();
      verts += size_t(mesh.getNumVerts());
      faces += size_t(mesh.getNumFaces());
      materials.merge(MaterialsOf(mesh));
      write(ExportFormat::Glb, mesh, ticks[k], scratch, target);
      Step("write " + target, [&] {
        try {
          animation.AddFrame(ReadGltfFile(scratch), ticks[k], name + " frame " + NumberText(frames[k]));
        } catch (const std::runtime_error& e) {
          throw RunError(AboutFile(target, Retarget(e.what(), scratch, target)));
        }
      });
      progress.Advance();
    }
    const TimeValue hold = ticks.size() > 1 ? ticks.back() - ticks[ticks.size() - 2] : GetTicksPerFrame();
    Step("write " + target, [&] {
      try {
        animation.Write(target, kind == ExportFormat::Glb, hold);
      } catch (const std::runtime_error& e) {
        throw RunError(AboutFile(target, e.what()));
      }
    });
    staged.Discard();
    written.push_back(WrittenLine(target, verts, faces, materials.size(), frames.size()));
  }
  progress.Finish();
  if (cancelled()) throw CancelledError();
  Step("write the files of " + *o.output, [&] {
    try {
      staged.Commit();
    } catch (const std::runtime_error& e) {
      throw RunError(e.what());
    }
  });
  return finish();
}

const char* TypeName(int type) {
  switch (type) {
    case TYPE_FLOAT:
      return "float";
    case TYPE_INT:
      return "int";
    case TYPE_BOOL:
      return "bool";
    case TYPE_INODE:
      return "node";
    case TYPE_INODE_TAB:
      return "node list";
    case TYPE_TIMEVALUE:
      return "time";
    case TYPE_POINT3:
      return "point3";
    case TYPE_STRING:
      return "string";
    case TYPE_ANGLE:
      return "angle";
    case TYPE_WORLD:
      return "world";
    case TYPE_PCNT_FRAC:
      return "percent";
    case TYPE_INDEX:
      return "index";
    default:
      return is_tab(type) ? "table" : "other";
  }
}

std::string FloatText(float f) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", double(f));
  return buf;
}

std::string DefaultText(const ParamDef& d) {
  switch (d.type) {
    case TYPE_BOOL:
      return d.def.i ? "TRUE" : "FALSE";
    case TYPE_INT:
    case TYPE_INDEX:
    case TYPE_TIMEVALUE:
      return std::to_string(d.def.i);
    case TYPE_FLOAT:
    case TYPE_ANGLE:
    case TYPE_WORLD:
    case TYPE_PCNT_FRAC:
      return FloatText(d.def.f);
    case TYPE_INODE:
      return "none";
    default:
      if (is_tab(d.type)) return "empty (" + std::to_string(d.tab_size) + ")";
      return "-";
  }
}

std::string RangeText(const ParamDef& d) {
  if (!d.has_range) {
    // A radio group's value is the index of its button.
    if (d.ctrl_type == TYPE_RADIO && d.ctrl_count() > 0) return "0 to " + std::to_string(d.ctrl_count() - 1);
    return "-";
  }
  if (d.type == TYPE_FLOAT || d.type == TYPE_ANGLE || d.type == TYPE_WORLD || d.type == TYPE_PCNT_FRAC)
    return FloatText(d.range_low.f) + " to " + FloatText(d.range_high.f);
  return std::to_string(d.range_low.i) + " to " + std::to_string(d.range_high.i);
}

std::string Hex(unsigned long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%08lX", v);
  return buf;
}

int RunInfo() {
  auto host = PluginHost::Load();
  PluginModule& m = host->Module();
  ClassDesc* cd = host->Wakeweave();
  std::ostringstream out;
  auto row = [&](const char* label, const std::string& value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%-15s", label);
    out << buf << value << "\n";
  };
  const ULONG version = m.Version();
  row("Library:", m.Path());
  row("Description:", m.Description() ? m.Description() : "");
  row("Version:", std::to_string(version) + " (" + Hex(version) + ")");
  row("Class:", cd->ClassName() ? cd->ClassName() : "");
  row("Internal name:", cd->InternalName());
  row("Category:", cd->Category() ? cd->Category() : "");
  const Class_ID id = cd->ClassID();
  row("Class ID:", "(" + Hex(id.PartA()) + ", " + Hex(id.PartB()) + ")");
  row("Super class:", Hex(cd->SuperClassID()));
  for (int b = 0; b < cd->NumParamBlockDescs(); ++b) {
    ParamBlockDesc2* pbd = cd->GetParamBlockDesc(b);
    if (!pbd) continue;
    out << "\nParameter block " << pbd->ID << " \"" << pbd->int_name.data() << "\": " << pbd->Count()
        << " parameters\n";
    size_t nameWidth = 4;
    for (int i = 0; i < pbd->Count(); ++i)
      nameWidth = std::max(nameWidth, std::string(pbd->paramdefs[size_t(i)].int_name.data()).size() + 2);
    char buf[512];
    std::snprintf(buf, sizeof buf, "  %3s  %-*s %-10s %-10s %-16s %s\n", "ID", int(nameWidth), "Name", "Type",
                  "Default", "Range", "Flags");
    out << buf;
    for (int i = 0; i < pbd->Count(); ++i) {
      const ParamDef& d = pbd->paramdefs[size_t(i)];
      const std::string quoted = "\"" + std::string(d.int_name.data()) + "\"";
      std::string flags;
      if (d.flags & P_ANIMATABLE) flags += " animatable";
      if (d.flags & P_TRANSIENT) flags += " transient";
      std::snprintf(buf, sizeof buf, "  %3d  %-*s %-10s %-10s %-16s %s\n", int(d.ID), int(nameWidth), quoted.c_str(),
                    TypeName(d.type), DefaultText(d).c_str(), RangeText(d).c_str(),
                    flags.empty() ? "-" : flags.substr(1).c_str());
      out << buf;
    }
  }
  std::cout << out.str();
  return kExitOk;
}

int RunRecord(const CliOptions& o) {
  if (o.scene.empty()) throw UsageError("record needs a SCENE file (see wakeweave record --help)");
  if (!o.output) throw UsageError("record needs -o SAVED.wws (see wakeweave record --help)");
  CheckSceneName(o.scene);
  CheckSavedSceneOutput(o.scene, *o.output);
  ProgressAgent agent(std::cerr, StandardErrorIsTerminal());
  auto host = Step("load the plug-in", [] { return PluginHost::Load(); });
  const LoadedScene scene = Step("load " + o.scene, [&] { return ReadScene(o.scene, host->Wakeweave()); });
  RegenerateAll(scene, host->Wakeweave(), true, agent);
  if (agent.Interrupted()) throw CancelledError();
  Step("save " + *o.output, [&] { SaveOpenScene(*o.output); });
  return kExitOk;
}

int RunSnapshot(const CliOptions& o) {
  if (o.scene.empty()) throw UsageError("snapshot needs a SCENE file (see wakeweave snapshot --help)");
  if (!o.output) throw UsageError("snapshot needs -o PATHS (see wakeweave snapshot --help)");
  CheckSceneName(o.scene);
  CheckSplineExportPath(*o.output);
  RefuseOutputOverScene(o.scene, *o.output);
  ProgressAgent agent(std::cerr, StandardErrorIsTerminal());
  auto host = Step("load the plug-in", [] { return PluginHost::Load(); });
  const LoadedScene scene = Step("load " + o.scene, [&] { return ReadScene(o.scene, host->Wakeweave()); });
  INode* node = ChooseNode(o, scene);
  if (o.regenerate) RegenerateAll(scene, host->Wakeweave(), false, agent);
  const std::vector<Modifier*> mods = WakeweaveModifiers({node}, host->Wakeweave());
  INode* paths = Step("snapshot the particle paths of " + std::string(node->GetName()),
                      [&] { return SnapshotParticlePaths(mods.front(), agent); });
  if (agent.Interrupted()) throw CancelledError();
  Step("write " + *o.output, [&] {
    try {
      SplineExportOptions opt;
      opt.t = scene.time;
      opt.objectSpace = o.objectSpace;
      opt.zUp = o.zUp;
      WriteSplineExport(*o.output, paths, opt);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const UsageError&) {
      throw;
    } catch (const std::exception& e) {
      throw RunError(AboutFile(*o.output, e.what()));
    }
  });
  return kExitOk;
}

int RunDemoCommand(const CliOptions& o) {
  ProgressAgent agent(std::cerr, StandardErrorIsTerminal());
  auto host = Step("load the plug-in", [] { return PluginHost::Load(); });
  return Step("build the demo scenes", [&] { return RunDemo(DemoContext{o.outDir, host->Wakeweave(), &agent}); });
}

int Fail(int code, const std::string& what) {
  std::cerr << "wakeweave: error: " << PrintableText(what) << std::endl;
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  CliOptions o;
  try {
    o = ParseCommandLine(argc, argv);
  } catch (const UsageError& e) {
    return Fail(kExitUsage, e.what());
  }
  if (o.help) {
    std::cout << HelpText(o.command);
    return kExitOk;
  }
  if (o.version) {
    std::cout << "wakeweave " << kProgramVersion << "\n";
    return kExitOk;
  }
  if (o.command.empty()) {
    std::cerr << HelpText("");
    return kExitUsage;
  }
  if (o.debug) SetDebugSink([](const std::string& text) { std::cerr << text << std::flush; });
  try {
    if (o.command == "eval") return RunEval(o);
    if (o.command == "info") return Step("describe the plug-in", RunInfo);
    if (o.command == "demo") return RunDemoCommand(o);
    if (o.command == "record") return RunRecord(o);
    if (o.command == "snapshot") return RunSnapshot(o);
    return Fail(kExitUsage, "unknown command \"" + o.command + "\"");
  } catch (const UsageError& e) {
    return Fail(kExitUsage, e.what());
  } catch (const NotSupportedError& e) {
    return Fail(kExitUsage, e.what());
  } catch (const SceneError& e) {
    return Fail(kExitUsage, e.what());
  } catch (const CancelledError& e) {
    return Fail(kExitFailure, e.what());
  } catch (const RunError& e) {
    return Fail(kExitFailure, e.what());
  } catch (const std::bad_alloc&) {
    return Fail(kExitFailure, "not enough memory to run " + o.command);
  } catch (const std::exception& e) {
    return Fail(kExitFailure, e.what());
  }
}
