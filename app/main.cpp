// wakeweave: the host program. Loads the plug-in, reads scene files, evaluates and writes trail meshes.
#include <max.h>
#include <membudget.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>

#include <unistd.h>

#include "Cli.h"
#include "Demo.h"
#include "Errors.h"
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
        throw UsageError(o.scene + ": --node: node \"" + *o.node + "\" has no Wakeweave modifier");
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
        exportdetail::WriteFileAtomically(path, MeshDumpJson(mesh));
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

int RunEval(const CliOptions& o) {
  if (o.scene.empty()) throw UsageError("eval needs a SCENE file (see wakeweave eval --help)");
  if (!o.frame) throw UsageError("eval needs --frame F (see wakeweave eval --help)");
  if (!o.output) throw UsageError("eval needs -o OUT (see wakeweave eval --help)");
  const double frame = ParseFrame(*o.frame);
  const uint64_t budget = o.maxMemory ? ParseMemorySize(*o.maxMemory) : 0;
  const ExportFormat kind = ExportFormatOf(*o.output);
  CheckSceneName(o.scene);
  RefuseOutputOverScene(o.scene, *o.output);

  // The person is at the keyboard from the start, so Ctrl-C during the load also cancels.
  std::optional<ProgressAgent> agent;
  if (o.regenerate) agent.emplace(std::cerr, StandardErrorIsTerminal());
  auto host = Step("load the plug-in", [] { return PluginHost::Load(); });
  const LoadedScene scene = Step("load " + o.scene, [&] { return ReadScene(o.scene, host->Wakeweave()); });
  INode* node = ChooseNode(o, scene);
  if (agent) RegenerateAll(scene, host->Wakeweave(), false, *agent);

  TimeValue t;
  try {
    t = FramesToTicks(frame, GetTicksPerFrame(), "--frame");
  } catch (const SceneError& e) {
    throw UsageError(e.what());
  }
  const std::string name = node->GetName();
  const std::string where = name + " at frame " + NumberText(frame);
  SetEvalMemoryBudget(budget);
  std::optional<std::string> fellBack;
  const Mesh* mesh = Step("evaluate " + where, [&] {
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
    fellBack = watch.Reason();
    return &tri->GetMesh();
  });
  if (agent && agent->Interrupted()) throw CancelledError();
  Step("write " + *o.output, [&] {
    WriteMesh(kind, *mesh, node, t, *o.output, ExportSpaceOptions{o.objectSpace, o.zUp});
  });
  if (fellBack) Warn(where + ": " + *fellBack);
  return kExitOk;
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
