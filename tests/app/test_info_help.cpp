// `wakeweave info` and the help texts.
#include <set>

#include "app_runner.h"

namespace {
class InfoHelp : public AppTest {};
}  // namespace

TEST_F(InfoHelp, InfoListsTheClassAndAllParameters) {
  RunResult r = RunApp({"info"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Internal name: Wakeweave"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Super class:   0x00000810"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Parameter block 0 \"main\": 24 parameters"), std::string::npos) << r.out;
  // One row per parameter: id, quoted internal name, type, default, range.
  const char* names[] = {"old_frames",       "segments",         "flipNormals",
                         "spline steps",     "moving or still",  "pb_userange",
                         "start frame",      "end frame",        "segments per frame",
                         "pb_urepeat",       "pb_apply_tex_b",   "pb_apply_tex_vrepeat",
                         "pb_apply_fade_b",  "pb_apply_fade_mp", "pb_particle_trails_b",
                         "pb_particle_node", "generateMap",      "generateAgeMap",
                         "useAllPFEvents",   "pfEventList",      "pb_skippart",
                         "pb_startpart",     "maptype",          "pb_nummtls"};
  std::set<std::string> rows;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);)
    for (const char* n : names)
      if (line.find("\"" + std::string(n) + "\"") != std::string::npos) rows.insert(n);
  EXPECT_EQ(rows.size(), 24u);
  // Spot checks of the columns.
  auto rowOf = [&](const std::string& name) {
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
      if (line.find("\"" + name + "\"") != std::string::npos) return line;
    return std::string();
  };
  std::istringstream oldFrames(rowOf("old_frames"));
  std::string id, name, type, def, lo, to, hi;
  oldFrames >> id >> name >> type >> def >> lo >> to >> hi;
  EXPECT_EQ(id + " " + name + " " + type + " " + def + " " + lo + " " + to + " " + hi,
            "0 \"old_frames\" int 3 0 to 100000");
  EXPECT_NE(rowOf("old_frames").find("animatable"), std::string::npos);
  EXPECT_NE(rowOf("end frame").find(" 160 "), std::string::npos);
  EXPECT_NE(rowOf("segments per frame").find("0.0001 to 10000"), std::string::npos);
  EXPECT_NE(rowOf("pb_apply_fade_mp").find("transient"), std::string::npos);
  EXPECT_NE(rowOf("generateMap").find("TRUE"), std::string::npos);
  EXPECT_EQ(rowOf("segments").substr(0, 5), "    1");
  EXPECT_EQ(r.out.find("\n   11 "), std::string::npos);  // there is no parameter 11
}

TEST_F(InfoHelp, HelpForTheProgramAndEachCommand) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--help"},
                                                                                    {"-h"},
                                                                                    {"eval", "--help"},
                                                                                    {"info", "--help"},
                                                                                    {"demo", "-h"},
                                                                                    {"record", "--help"},
                                                                                    {"--help", "eval", "--frame"}}) {
    SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
    RunResult r = RunApp(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("Usage: wakeweave", 0), 0u) << r.out;
  }
  EXPECT_NE(RunApp({"eval", "--help"}).out.find("--frame F"), std::string::npos);
  EXPECT_NE(RunApp({"demo", "--help"}).out.find("--out DIR"), std::string::npos);
  EXPECT_NE(RunApp({"--help"}).out.find("Exit codes"), std::string::npos);
}

TEST_F(InfoHelp, MissingPluginIsAFailureNotBadUsage) {
  setenv("WAKEWEAVE_MODULE", Path("nowhere.dlm").c_str(), 1);
  RunResult r = RunApp({"info"});
  unsetenv("WAKEWEAVE_MODULE");
  EXPECT_EQ(r.exitCode, 1);
  ASSERT_EQ(r.ErrLines().size(), 1u) << r.err;
  EXPECT_EQ(r.ErrLines()[0].rfind("wakeweave: error: cannot load " + Path("nowhere.dlm").string(), 0), 0u) << r.err;
}
