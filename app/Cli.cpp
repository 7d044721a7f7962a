#include "Cli.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "Errors.h"

namespace {

bool IsCommand(const std::string& s) {
  return s == "eval" || s == "info" || s == "demo" || s == "record" || s == "snapshot";
}

// Options that take a value, per command.
bool TakesValue(const std::string& command, const std::string& opt) {
  if (command == "eval")
    return opt == "--frame" || opt == "--frames" || opt == "--node" || opt == "-o" || opt == "--output" ||
           opt == "--max-memory";
  if (command == "record") return opt == "-o" || opt == "--output";
  if (command == "snapshot") return opt == "--node" || opt == "-o" || opt == "--output";
  if (command == "demo") return opt == "--out";
  return false;
}

// Where .obj and glTF exports go (eval and snapshot): --up y|z and --space world|object.
bool TakesPlacement(const std::string& command, const std::string& opt) {
  return (command == "eval" || command == "snapshot") && (opt == "--up" || opt == "--space");
}

// Options without a value, per command: the setting each turns on, or null.
bool* FlagOf(CliOptions& o, const std::string& opt) {
  if ((o.command == "eval" || o.command == "snapshot") && opt == "--regenerate") return &o.regenerate;
  if (o.command == "eval" && (opt == "--quiet" || opt == "-q")) return &o.quiet;
  return nullptr;
}

std::string SeeHelp(const std::string& command) {
  return command.empty() ? " (see wakeweave --help)" : " (see wakeweave " + command + " --help)";
}

}  // namespace

CliOptions ParseCommandLine(int argc, const char* const* argv) {
  CliOptions o;
  std::vector<std::string> args(argv + 1, argv + argc);
  // --help wins over everything else on the line, so a half-typed command can still ask for help.
  for (const std::string& a : args) {
    if (a == "--") break;
    if (a == "--help" || a == "-h") o.help = true;
  }
  std::vector<std::string> positional;
  bool onlyPositional = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (onlyPositional || a.empty() || a[0] != '-' || a == "-") {
      if (o.command.empty()) {
        if (!IsCommand(a)) {
          if (o.help) continue;
          throw UsageError("unknown command \"" + a + "\"" + SeeHelp(""));
        }
        o.command = a;
      } else {
        positional.push_back(a);
      }
      continue;
    }
    if (a == "--") {
      onlyPositional = true;
      continue;
    }
    if (a == "--help" || a == "-h") continue;
    if (a == "--debug") {
      o.debug = true;
      continue;
    }
    if (a == "--version") {
      o.version = true;
      continue;
    }
    std::string opt = a, value;
    bool inlineValue = false;
    if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      opt = a.substr(0, eq);
      value = a.substr(eq + 1);
      inlineValue = true;
    }
    if (bool* flag = FlagOf(o, opt)) {
      if (inlineValue) throw UsageError("option " + opt + " takes no value");
      *flag = true;
      continue;
    }
    if (!TakesValue(o.command, opt) && !TakesPlacement(o.command, opt)) {
      if (o.help) continue;
      if (o.command.empty()) throw UsageError("unknown option " + opt + " before the command" + SeeHelp(""));
      throw UsageError("unknown option " + opt + " for " + o.command + SeeHelp(o.command));
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        if (o.help) continue;
        throw UsageError("option " + opt + " needs a value" + SeeHelp(o.command));
      }
      value = args[++i];
    }
    if (opt == "--frame")
      o.frame = value;
    else if (opt == "--frames")
      o.frames = value;
    else if (opt == "--node")
      o.node = value;
    else if (opt == "-o" || opt == "--output")
      o.output = value;
    else if (opt == "--out")
      o.outDir = value;
    else if (opt == "--max-memory")
      o.maxMemory = value;
    else if (opt == "--up" && (value == "y" || value == "z"))
      o.zUp = value == "z";
    else if (opt == "--space" && (value == "world" || value == "object"))
      o.objectSpace = value == "object";
    else if (opt == "--up" || opt == "--space")
      throw UsageError(opt + " expects " + (opt == "--up" ? "y or z" : "world or object") + ", got \"" + value + "\"" +
                       SeeHelp(o.command));
  }
  if (o.help || o.version) return o;
  const size_t wanted = (o.command == "eval" || o.command == "record" || o.command == "snapshot") ? 1 : 0;
  if (positional.size() > wanted)
    throw UsageError("unexpected argument \"" + positional[wanted] + "\"" + SeeHelp(o.command));
  if (wanted && !positional.empty()) o.scene = positional[0];
  return o;
}

double ParseFrame(const std::string& text) {
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  // strtod also reads "inf", "nan" and hex; a frame is a plain decimal number.
  bool plain = !text.empty();
  for (char c : text)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
      plain = false;
  double v = plain ? std::strtod(s, &end) : 0.0;
  if (!plain || end == s || *end != '\0' || !std::isfinite(v) || errno == ERANGE)
    throw UsageError("--frame expects a number of frames, got \"" + text + "\"");
  return v;
}

uint64_t ParseMemorySize(const std::string& text) {
  const auto bad = [&](const std::string& why) {
    return UsageError("--max-memory expects a size in bytes, or with K, M, G or T (for example 4G), got \"" + text +
                      "\"" + why);
  };
  size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0) throw bad("");
  unsigned shift = 0;
  if (digits + 1 == text.size()) {
    switch (std::toupper(static_cast<unsigned char>(text[digits]))) {
      case 'K':
        shift = 10;
        break;
      case 'M':
        shift = 20;
        break;
      case 'G':
        shift = 30;
        break;
      case 'T':
        shift = 40;
        break;
      default:
        throw bad("");
    }
  } else if (digits != text.size()) {
    throw bad("");
  }
  uint64_t v = 0;
  for (size_t i = 0; i < digits; ++i) {
    const unsigned d = unsigned(text[i] - '0');
    if (v > (UINT64_MAX - d) / 10) throw bad(" (too large)");
    v = v * 10 + d;
  }
  if (v == 0) throw bad(" (it must be at least 1 byte)");
  if (v > (UINT64_MAX >> shift)) throw bad(" (too large)");
  return v << shift;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  std::error_code ea, eb;
  const auto pa = std::filesystem::weakly_canonical(std::filesystem::absolute(a), ea);
  const auto pb = std::filesystem::weakly_canonical(std::filesystem::absolute(b), eb);
  return !ea && !eb && pa == pb;
}

void RefuseOutputOverScene(const std::string& scene, const std::string& out) {
  if (SameFile(scene, out))
    throw UsageError(scene + ": -o " + (out == scene ? "names" : out + " is") + " the scene file itself");
}

std::string LowerExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string HelpText(const std::string& command) {
  if (command == "eval")
    return "Usage: wakeweave eval SCENE [--frame F | --frames A:B[:STEP]] [--node NAME] [--max-memory SIZE]\n"
           "                      [--regenerate] [--quiet] -o OUT\n"
           "\n"
           "Loads SCENE (a .json scene file, or a scene saved by 'wakeweave record' as .wws), sets the scene\n"
           "time to frame F, evaluates the node's modifier stack and writes the mesh that leaves it. Prints\n"
           "one line per file written: its path, vertices, faces and materials.\n"
           "\n"
           "Options:\n"
           "  --frame F       the frame to evaluate at (a number; fractions allowed; default: the scene's\n"
           "                  frame)\n"
           "  --frames A:B[:STEP]\n"
           "                  every frame from A to B, STEP apart (default 1): with {frame} in OUT one file\n"
           "                  per frame ({frame:04} pads to 4 characters); a .glb or .gltf OUT without it is\n"
           "                  one file whose frames play as an animation. All files or none are written.\n"
           "  --node NAME     the node to evaluate (default: the first node, in file order, that has a\n"
           "                  Wakeweave modifier)\n"
           "  --regenerate    regenerate the particle trails of every Wakeweave modifier first, with\n"
           "                  progress on standard error (Ctrl-C cancels: nothing is written, exit 1)\n"
           "  --max-memory SIZE\n"
           "                  the most one evaluation may allocate, in bytes or with K, M, G or T (4G); an\n"
           "                  evaluation that needs more falls back to a triangle, with a warning (default:\n"
           "                  a quarter of the memory, or of the address-space limit when that is lower)\n"
           "  -o, --output OUT\n"
           "                  the file to write: .json is the exact mesh dump, .obj, .gltf and .glb are for\n"
           "                  other programs; nothing is written when the command fails\n"
           "  --up y|z        the up axis of .obj and glTF files: y (default) turns the host's Z-up axes\n"
           "                  to Y-up, (x, y, z) becomes (x, z, -y); z keeps them\n"
           "  --space world|object\n"
           "                  .obj and glTF files in world space (default) or in the node's object space\n"
           "  -q, --quiet     print nothing when all went well\n"
           "  --debug         show the host's debug output on standard error\n"
           "  -h, --help      show this help\n";
  if (command == "info")
    return "Usage: wakeweave info\n"
           "\n"
           "Loads the plug-in library and prints its description, version word, class, category and\n"
           "parameter block.\n"
           "\n"
           "Options:\n"
           "  --debug         show the host's debug output on standard error\n"
           "  -h, --help      show this help\n";
  if (command == "demo")
    return "Usage: wakeweave demo [--out DIR]\n"
           "\n"
           "Builds the built-in demo scenes, evaluates their trails and writes each trail mesh and a short\n"
           "summary into DIR.\n"
           "\n"
           "Options:\n"
           "  --out DIR       the output directory (default: wakeweave-demo)\n"
           "  --debug         show the host's debug output on standard error\n"
           "  -h, --help      show this help\n";
  if (command == "record")
    return "Usage: wakeweave record SCENE -o SAVED.wws\n"
           "\n"
           "Loads SCENE (.json or .wws), regenerates the particle trails of every Wakeweave modifier whose\n"
           "\"pb_particle_trails_b\" is on, with progress on standard error, and saves the scene with its\n"
           "recordings as SAVED.wws. Ctrl-C cancels: nothing is written and the command exits 1.\n"
           "\n"
           "Options:\n"
           "  -o, --output SAVED.wws   the saved scene to write (not the scene itself); nothing is written when\n"
           "                           the command fails\n"
           "  --debug                  show the host's debug output on standard error\n"
           "  -h, --help               show this help\n";
  if (command == "snapshot")
    return "Usage: wakeweave snapshot SCENE [--node NAME] [--regenerate] -o PATHS\n"
           "\n"
           "Loads SCENE (.json or .wws), runs \"Snapshot Path...\" on the node's Wakeweave modifier, which makes\n"
           "a spline node \"DOVerazi\" of its recorded particle paths, and writes that node's splines.\n"
           "\n"
           "Options:\n"
           "  --node NAME     the node whose modifier is used (default: the first node, in file order, that\n"
           "                  has a Wakeweave modifier)\n"
           "  --regenerate    regenerate the particle trails of every Wakeweave modifier first, with\n"
           "                  progress on standard error (Ctrl-C cancels: nothing is written, exit 1)\n"
           "  -o, --output PATHS\n"
           "                  the file to write: .obj (l elements), .gltf or .glb (line strips), or .json\n"
           "                  (the knot points of each recorded life); nothing is written when the command\n"
           "                  fails\n"
           "  --up y|z        the up axis of .obj and glTF files: y (default) turns the host's Z-up axes\n"
           "                  to Y-up, (x, y, z) becomes (x, z, -y); z keeps them\n"
           "  --space world|object\n"
           "                  .obj and glTF files in world space (default) or in the node's object space\n"
           "  --debug         show the host's debug output on standard error\n"
           "  -h, --help      show this help\n";
  return "Usage: wakeweave [--debug] COMMAND [ARGS...]\n"
         "\n"
         "Drives the Wakeweave trail modifier through a stand-in of its host application.\n"
         "\n"
         "Commands:\n"
         "  eval SCENE [--frame F | --frames A:B[:STEP]] [--node NAME] [--regenerate] -o OUT\n"
         "                  evaluate a scene at a frame, or at each frame of a range, and write the trail\n"
         "                  mesh (.json, .obj, .gltf, .glb)\n"
         "  info            describe the plug-in library and its parameters\n"
         "  demo [--out DIR]\n"
         "                  build the demo scenes and write their trail meshes\n"
         "  record SCENE -o SAVED.wws\n"
         "                  regenerate the particle trails and save the scene with its recordings\n"
         "  snapshot SCENE [--node NAME] [--regenerate] -o PATHS\n"
         "                  write the recorded particle paths as curves (.obj, .gltf, .glb, .json)\n"
         "\n"
         "Options:\n"
         "  --debug         show the host's debug output on standard error (anywhere on the line)\n"
         "  -h, --help      show help (of the program, or of the command given)\n"
         "  --version       show the program's version\n"
         "\n"
         "Exit codes: 0 done, 2 bad usage or bad input, 1 anything else.\n"
         "Run 'wakeweave COMMAND --help' for a command's options.\n";
}
