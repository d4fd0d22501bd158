// `kestrovar simulate` with the real plug-in: zone refill and churn on scenarios small enough to
// work out by hand, the same seed giving the same report, and the drift explained to the last
// creature on the default scenario.

#include "tools/simulate/simulation.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <numeric>
#include <set>

#include "tools/common/config_in_force.h"
#include "tools/common/output.h"
#include "tools/common/own_files.h"
#include "tools/common/plugin_path.h"
#include "tools/simulate/dump_world.h"
#include "tools/simulate/output_folder.h"
#include "tools/simulate/progress_bar.h"
#include "tools/simulate/simulate_command.h"
#include "tools/simulate/simulation_report.h"

namespace {

constexpr const char* kStrider = "/Game/Creatures/Strider/Strider_Character.Strider_Character_C";
constexpr const char* kGrazer = "/Game/Creatures/Grazer/Grazer_Character.Grazer_Character_C";

SimulationSetup MakeSetup(const Scenario& scenario, const std::string& config, const char* dir) {
  SimulationSetup setup;
  setup.scenario = scenario;
  setup.scenario_name = "test";
  setup.config_text = config;
  setup.config_name = "test";
  setup.server_dir = (std::filesystem::current_path() / dir).string();
  std::filesystem::remove_all(setup.server_dir);
  setup.plugin = DefaultPluginPath();
  return setup;
}

const ClassRow& RowOf(const SimulationResult& result, const std::string& reference) {
  for (const ClassRow& row : result.rows) {
    if (row.ledger.reference == reference) return row;
  }
  throw std::runtime_error("no row for " + reference);
}

// The plug-in the program runs by default: beside it in a build folder, else the release archive's
// own where the program sits in the archive's kestrovar folder, and nothing near a program that
// sits in any other folder.
TEST(Simulation, TheDefaultPlugInIsBesideTheProgramOrTheArchivesOwn) {
  namespace fs = std::filesystem;
  const fs::path root = fs::current_path() / "default-plugin";
  const fs::path file = fs::path(DefaultPluginPath()).filename();
  struct Case {
    const char* name;
    const char* program_dir;
    std::vector<const char*> files;
    const char* expected;
  };
  const Case cases[] = {
      {"beside the program",
       "kestrovar",
       {"kestrovar/P", "ArkApi/Plugins/Kestrovar/P"},
       "kestrovar/P"},
      {"the unpacked archive",
       "kestrovar",
       {"ArkApi/Plugins/Kestrovar/P"},
       "ArkApi/Plugins/Kestrovar/P"},
      {"the folder's name in other letter case",
       "KestroVar",
       {"ArkApi/Plugins/Kestrovar/P"},
       "ArkApi/Plugins/Kestrovar/P"},
      {"a program in another folder", "tools", {"ArkApi/Plugins/Kestrovar/P"}, "tools/P"},
      {"nothing anywhere", "kestrovar", {}, "kestrovar/P"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root);
    fs::create_directories(root / c.program_dir);
    for (const char* relative : c.files) {
      const fs::path path = root / fs::path(relative).parent_path() / file;
      fs::create_directories(path.parent_path());
      std::ofstream(path) << "x";
    }
    const fs::path expected = root / fs::path(c.expected).parent_path() / file;
    EXPECT_EQ(fs::path(DefaultPluginPath((root / c.program_dir).string())).lexically_normal(),
              expected.lexically_normal());
  }
  fs::remove_all(root);
}

// No deaths: a zone of target 10 checks every 30 s; Striders are capped at 4, and every Grazer
// (level 200) is over the level rule. The first check admits 4 Striders; every later check
// refills the 6 (Striders) and 3 (Grazers) that the gate removes 5 s after their spawn.
TEST(Simulation, ZonesRefillWhatTheGateRemoves) {
  Scenario scenario;
  scenario.hours = 1;
  scenario.sample_minutes = 30;
  scenario.zones.push_back({"striders", {{kStrider, 1}}, 10, 30, 1, 1, 0});
  scenario.zones.push_back({"grazers", {{kGrazer, 1}}, 3, 30, 200, 200, 0});
  const std::string config = R"({"Max_Dino_Counts": {"Blueprint'/Game/Creatures/Strider/)"
                             R"(Strider_Character.Strider_Character'": 4},
                             "DestroyDinosOverLevel": true, "MaxDinoLevel": 150})";
  const SimulationResult result = RunSimulation(MakeSetup(scenario, config, "refill"));
  EXPECT_TRUE(result.faults.empty());

  // 121 checks (0 s to 3600 s); the removals of the last one fall due after the hour.
  const ClassRow& striders = RowOf(result, kStrider);
  EXPECT_EQ(striders.ledger.spawned, 10 + 120 * 6);
  EXPECT_EQ(striders.ledger.admitted, 4);
  EXPECT_EQ(striders.ledger.gate_limit_removals, 120 * 6);
  EXPECT_EQ(striders.ledger.gate_level_removals, 0);
  EXPECT_EQ(striders.churn_per_hour, 720);
  // The 6 rejected spawns of each check live 5 s: a surplus apart from the peak, which stays at
  // the limit.
  EXPECT_EQ(striders.ledger.peak, 4);
  EXPECT_EQ(striders.ledger.peak_awaiting, 6);
  EXPECT_EQ(striders.ledger.live_wild, 10);
  EXPECT_EQ(striders.plugin_count, 4);
  ASSERT_EQ(striders.drift, -6);
  ASSERT_EQ(striders.causes.size(), 1u);
  EXPECT_EQ(striders.causes[0].what, "awaiting the gate's removal");

  const ClassRow& grazers = RowOf(result, kGrazer);
  EXPECT_EQ(grazers.ledger.admitted, 0);
  EXPECT_EQ(grazers.ledger.gate_level_removals, 120 * 3);
  EXPECT_EQ(grazers.ledger.gate_limit_removals, 0);
  EXPECT_EQ(grazers.churn_per_hour, 360);

  // Samples at 0, 30 and 60 minutes; at each, the check of that moment has just refilled.
  ASSERT_EQ(result.samples.size(), 6u);
  EXPECT_EQ(CensusCsv(result),
            "hours,class_key,limit,plugin_count,live_wild,awaiting_removal\n"
            "0,Blueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_Character',,0,3,3\n"
            "0,Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character',4,4,10,6\n"
            "0.5,Blueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_Character',,0,3,3\n"
            "0.5,Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character',4,4,10,6\n"
            "1,Blueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_Character',,0,3,3\n"
            "1,Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character',4,4,10,6\n");
}

// Every Strider dies within its first minute on average; one zone of target 2 checks every
// 600 s. Deaths leave gaps that only the next check fills, and the counted ones die out of the
// count: the plug-in's count never drifts from the counted wild creatures.
TEST(Simulation, DeathsLeaveGapsUntilTheNextCheck) {
  Scenario scenario;
  scenario.hours = 1;
  scenario.sample_minutes = 5;
  scenario.classes[kStrider] = {60, 0};
  scenario.zones.push_back({"z", {{kStrider, 1}}, 2, 600, 1, 1, 0});
  const SimulationResult result = RunSimulation(MakeSetup(scenario, "{}", "gaps"));
  const ClassRow& striders = RowOf(result, kStrider);
  // Seven checks of 2 spawns each; nearly all die before the next.
  EXPECT_EQ(striders.ledger.spawned, 14);
  EXPECT_GE(striders.ledger.deaths, 12);
  for (const CensusSample& sample : result.samples) {
    if (std::lround(sample.hours * 60) % 10 == 5) {
      EXPECT_EQ(sample.live_wild, 0) << sample.hours;
    }
    EXPECT_EQ(sample.plugin_count, sample.live_wild) << sample.hours;
  }
}

// A load into the running world sweeps bodies too: those that died counted carry the ignore mark,
// so their decay never counts them down, and the count stays above the world until the next sweep:
// while the bodies lie there, and after they decayed and the world forgot them.
TEST(Simulation, ASweepCountsBodiesThatAreNeverCountedDown) {
  for (const double hours : {1.25, 14.0}) {
    SCOPED_TRACE(hours);
    Scenario scenario;
    scenario.hours = hours;
    scenario.corpse_decay_seconds = 1800;
    scenario.classes[kStrider] = {6, 0};
    scenario.zones.push_back({"z", {{kStrider, 1}}, 5, 60, 1, 1, 0});
    scenario.actions.resize(2);
    scenario.actions[0].at_hours = scenario.actions[1].at_hours = 1;
    scenario.actions[0].kind = ScenarioAction::Kind::Unload;
    scenario.actions[1].kind = ScenarioAction::Kind::Load;
    const SimulationResult result = RunSimulation(MakeSetup(scenario, "{}", "bodies"));
    const ClassRow& striders = RowOf(result, kStrider);
    // Enough removals over 14 hours that the world drops the records of the removed.
    if (hours > 2) {
      EXPECT_GT(striders.ledger.deaths, 300);
    }
    ASSERT_TRUE(striders.drift);
    EXPECT_GT(*striders.drift, 0);
    ASSERT_EQ(striders.causes.size(), 1u) << striders.causes.back().what;
    EXPECT_EQ(striders.causes[0].what, "counted bodies or gone");
    EXPECT_EQ(striders.causes[0].amount, *striders.drift);
  }
}

// Starvation counts the creatures that stay: when the only live wild Striders are rejected spawns
// awaiting their removal (5 s after each check), while two tamed ones hold the count at the limit
// of 2, the class starves from the first sample after the taming at 0:15.
TEST(Simulation, RejectedSpawnsAwaitingRemovalDoNotEndAStarvation) {
  Scenario scenario;
  scenario.hours = 1;
  scenario.sample_minutes = 10;
  scenario.zones.push_back({"z", {{kStrider, 1}}, 4, 30, 1, 1, 0});
  ScenarioAction tame;
  tame.at_hours = 0.2525;  // 909 s: between two checks, when only the 2 counted ones live
  tame.kind = ScenarioAction::Kind::Tame;
  tame.group.reference = kStrider;
  tame.group.count = 2;
  scenario.actions = {tame};
  const std::string config = R"({"Max_Dino_Counts": {"Blueprint'/Game/Creatures/Strider/)"
                             R"(Strider_Character.Strider_Character'": 2}})";
  const SimulationResult result = RunSimulation(MakeSetup(scenario, config, "starved"));
  // Most samples fall just after a check, while its rejected spawns are alive.
  EXPECT_GE(std::count_if(result.samples.begin(), result.samples.end(),
                          [](const CensusSample& sample) {
                            return sample.hours > 0.25 && sample.live_wild > 0;
                          }),
            3)
      << CensusCsv(result);
  const ClassRow& striders = RowOf(result, kStrider);
  ASSERT_EQ(striders.starved.size(), 1u) << CensusCsv(result);
  EXPECT_NEAR(striders.starved[0].from_hours, 1.0 / 3, 1e-9);
  EXPECT_NEAR(striders.starved[0].to_hours, 1, 1e-9);
  EXPECT_NEAR(striders.starved_hours, 2.0 / 3, 1e-9);
}

// A configuration with text after its value: the plug-in reads the value and stops there, so its
// limit is in force, and the table, the removal split and the chart go by it.
TEST(Simulation, TextAfterTheConfigurationLeavesItsLimitsInForce) {
  Scenario scenario;
  scenario.hours = 2;
  scenario.zones.push_back({"z", {{kStrider, 1}}, 6, 60, 1, 1, 0});
  const std::string config = R"({"Max_Dino_Counts": {"Blueprint'/Game/Creatures/Strider/)"
                             R"(Strider_Character.Strider_Character'": 2}} trailing)";
  const SimulationResult result = RunSimulation(MakeSetup(scenario, config, "trailing"));
  const ClassRow& striders = RowOf(result, kStrider);
  EXPECT_EQ(striders.limit, 2);
  EXPECT_EQ(striders.plugin_count, 2);
  EXPECT_GT(striders.ledger.gate_limit_removals, 0);
  EXPECT_EQ(striders.ledger.gate_level_removals, 0);
  for (const CensusSample& sample : result.samples) EXPECT_EQ(sample.limit, 2) << sample.hours;
  EXPECT_FALSE(GnuplotScript(result, "population.svg").empty());
}

// "WriteDumpsToFile": true makes the plug-in write a file at each kvar.dumpdinos. The samples ask
// it nothing, so only the scenario's own dump writes one, and the notes say where it went.
TEST(Simulation, OnlyTheScenariosOwnDumpWritesADumpFile) {
  namespace fs = std::filesystem;
  Scenario scenario;
  scenario.hours = 2;
  scenario.sample_minutes = 5;
  scenario.zones.push_back({"z", {{kStrider, 1}}, 6, 60, 1, 1, 0});
  const std::string config = R"({"WriteDumpsToFile": true, "Max_Dino_Counts": {)"
                             R"("Blueprint'/Game/Creatures/Strider/)"
                             R"(Strider_Character.Strider_Character'": 2}})";
  const SimulationSetup quiet = MakeSetup(scenario, config, "dumps-none");
  const SimulationResult without = RunSimulation(quiet);
  const fs::path dumps = "ArkApi/Plugins/Kestrovar/DinoDumpLogs";
  EXPECT_FALSE(fs::exists(fs::path(quiet.server_dir) / dumps));
  // The plug-in's count at the end is the world's account, and the notes say why.
  EXPECT_EQ(RowOf(without, kStrider).plugin_count, 2);
  EXPECT_TRUE(std::any_of(without.notes.begin(), without.notes.end(), [](const std::string& note) {
    return note.find("would have written a dump file") != std::string::npos;
  })) << ::testing::PrintToString(without.notes);

  ScenarioAction dump;
  dump.at_hours = 1;
  dump.kind = ScenarioAction::Kind::Dump;
  dump.via = Channel::Rcon;
  // A second dump at once (the same wall-clock second, nearly always), then one with the plug-in
  // unloaded: nothing answers it.
  ScenarioAction unload;
  unload.at_hours = 1.5;
  unload.kind = ScenarioAction::Kind::Unload;
  ScenarioAction late_dump = dump;
  late_dump.at_hours = 1.5;
  scenario.actions = {dump, dump, unload, late_dump};
  const SimulationSetup setup = MakeSetup(scenario, config, "dumps-one");
  const SimulationResult result = RunSimulation(setup);
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(setup.server_dir) / dumps)) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  const std::string first =
      "1:00 kvar.dumpdinos over RCON: 1 classes; the plug-in wrote the dump to " +
      files[0].generic_string();
  const std::string second =
      files.size() == 1
          ? first + ", replacing the dump written there in the same wall-clock second"
          : "1:00 kvar.dumpdinos over RCON: 1 classes; the plug-in wrote the dump to " +
                files.back().generic_string();
  const std::vector<std::string> dump_notes = {first, second,
                                               "1:30 kvar.dumpdinos over RCON: no answer; the "
                                               "plug-in was not loaded"};
  std::vector<std::string> seen;
  for (const std::string& note : result.notes) {
    if (note.find("kvar.dumpdinos over") != std::string::npos) seen.push_back(note);
  }
  EXPECT_EQ(seen, dump_notes);
}

// A world made from a dump that the plug-in wrote holds the dumped populations when the plug-in
// first loads; its start-up sweep removes, per class, the count over the limit and nothing else.
TEST(Simulation, AWorldFromADumpStartsWithItsPopulations) {
  namespace fs = std::filesystem;
  constexpr const char* kGlider = "/Game/Creatures/Glider/Glider_Character.Glider_Character_C";
  Scenario census;
  census.hours = 1;
  census.zones.push_back({"a", {{kStrider, 1}}, 9, 60, 1, 1, 0});
  census.zones.push_back({"b", {{kGrazer, 1}}, 14, 60, 1, 1, 0});
  census.zones.push_back({"c", {{kGlider, 1}}, 3, 60, 1, 1, 0});
  ScenarioAction dump;
  dump.at_hours = 0.5;
  dump.kind = ScenarioAction::Kind::Dump;
  census.actions = {dump};
  const SimulationSetup writer = MakeSetup(census, R"({"WriteDumpsToFile": true})", "dump-write");
  RunSimulation(writer);
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(writer.server_dir) /
                                                  "ArkApi/Plugins/Kestrovar/DinoDumpLogs")) {
    files.push_back(entry.path());
  }
  ASSERT_EQ(files.size(), 1u);
  std::ifstream in(files[0], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const DumpWorld world = ReadDumpWorld(text, "dump");
  EXPECT_TRUE(world.notes.empty()) << ::testing::PrintToString(world.notes);
  std::map<std::string, int> dumped;
  for (const DumpedClass& c : world.classes) dumped[c.reference] = c.count;
  EXPECT_EQ(dumped, (std::map<std::string, int>{{kStrider, 9}, {kGrazer, 14}, {kGlider, 3}}));

  const struct {
    const char* name;
    const char* config;
    std::map<std::string, int64_t> removed;  // by reference
  } cases[] = {
      {"no limits", "{}", {{kStrider, 0}, {kGrazer, 0}, {kGlider, 0}}},
      {"limits",
       R"({"Max_Dino_Counts": {"Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character'": 4, )"
       R"("Blueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_Character'": 20, )"
       R"("Blueprint'/Game/Creatures/Glider/Glider_Character.Glider_Character'": 0}})",
       {{kStrider, 5}, {kGrazer, 0}, {kGlider, 3}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario scenario;
    scenario.hours = 1;
    PutDumpWorld(scenario, world);
    SimulationSetup setup = MakeSetup(scenario, c.config, "dump-read");
    setup.from_dump = "dump";
    for (const DumpedClass& dumped_class : world.classes) {
      setup.dumped_counts[dumped_class.key] = dumped_class.count;
    }
    const SimulationResult result = RunSimulation(setup);
    std::map<std::string, int> at_start;
    std::map<std::string, int64_t> removed;
    for (const FirstLoadRow& row : result.first_load) {
      const std::string reference = *ReferenceOfClassKey(row.key);
      at_start[reference] = row.live_wild_before;
      removed[reference] = row.removed;
    }
    EXPECT_EQ(at_start, dumped);
    EXPECT_EQ(removed, c.removed);
    // The JSON gives the same, per class.
    const auto json = nlohmann::json::parse(FormatJson(setup, result));
    for (const auto& entry : json.at("from_dump").at("first_load")) {
      const std::string reference = *ReferenceOfClassKey(entry.at("key").get<std::string>());
      EXPECT_EQ(entry.at("dumped").get<int>(), dumped.at(reference));
      EXPECT_EQ(entry.at("removed").get<int64_t>(), c.removed.at(reference));
    }
  }
}

// Keys that cannot be turned back into a class are left out with a note; a text without a dump
// line is no dump.
TEST(Simulation, DumpKeysThatNameNoClassAreNotes) {
  const struct {
    const char* key;
    const char* reference;  // empty: none, and `why` holds this
    const char* why;
  } cases[] = {
      {"Blueprint'/Game/A/B.B'", "/Game/A/B.B_C", ""},
      {"Blueprint'/Game/A/B?r.B?r'", "", "\"?\""},
      {"Class'/Game/A/B.B'", "", "form Blueprint'...'"},
      {"", "", "empty"},
      {"Blueprint''", "", "form"},
      {"Blueprint'Game/A/B.B'", "", "no class path"},
      {"Blueprint'/Game/A/B'", "", "no class path"},
      {"Blueprint'/Game/A/B.'", "", "no class path"},
      {"Blueprint'/Game/A B/B.B'", "", "spaces"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    std::string why;
    const auto reference = ReferenceOfClassKey(c.key, &why);
    if (*c.reference != 0) {
      EXPECT_EQ(reference, c.reference);
    } else {
      EXPECT_FALSE(reference);
      EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
  }

  const DumpWorld world = ReadDumpWorld(
      "Blueprint'/Game/A/B.B'. Num: 3\r\nBlueprint'/Game/A/B?r.B?r'. Num: 2\r\n"
      "Blueprint'/Game/A/C.C'. Num: 1\r\nBlueprint'/Game/A/B.B'. Num: 5\r\n",
      "f");
  ASSERT_EQ(world.classes.size(), 2u);
  EXPECT_EQ(world.classes[0].count, 5);  // the later census holds
  ASSERT_EQ(world.notes.size(), 2u);
  EXPECT_NE(world.notes[0].find("f, line 2: the class \"Blueprint'/Game/A/B?r.B?r'\" (2 creatures) "
                                "is left out"),
            std::string::npos)
      << world.notes[0];
  EXPECT_NE(world.notes[1].find("more than one census"), std::string::npos);
  EXPECT_THROW(ReadDumpWorld("{\"Max_Dino_Counts\": {}}\n", "f"), NotADump);
  EXPECT_THROW(ReadDumpWorld("", "f"), NotADump);
}

// The default scenario's actions on a class are kept when the dump holds the class and skipped
// otherwise, each said in the notes.
TEST(Simulation, ADumpsWorldKeepsOnlyActionsOnItsClasses) {
  Scenario scenario = ReadScenario(kDefaultScenario, "default");
  const DumpWorld world = ReadDumpWorld(
      "Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character'. Num: 4\n", "f");
  const std::vector<std::string> notes = PutDumpWorld(scenario, world);
  const auto kinds = [&] {
    std::vector<ScenarioAction::Kind> found;
    for (const ScenarioAction& action : scenario.actions) found.push_back(action.kind);
    return found;
  }();
  using Kind = ScenarioAction::Kind;
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), Kind::Tame), 0);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), Kind::Kill), 0);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), Kind::Place), 1);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), Kind::Reload), 1);
  const std::string all = ::testing::PrintToString(notes);
  EXPECT_NE(all.find("tame of 3 Blueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_"
                     "Character' at hour 10 is skipped"),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("kill of 5"), std::string::npos);
  EXPECT_NE(all.find("place of 6 Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_"
                     "Character' at hour 21 is kept"),
            std::string::npos);
  ASSERT_EQ(scenario.zones.size(), 1u);
  EXPECT_EQ(scenario.zones[0].target, 4);
  EXPECT_TRUE(scenario.population.empty());
  EXPECT_TRUE(scenario.load_into_running_world);
}

// The report without the line that gives the run's wall-clock speed.
std::string WithoutSpeed(std::string table) {
  return table.substr(0, table.find("\nworld events:"));
}

TEST(Simulation, TheSameSeedGivesTheSameTableAndCsv) {
  const Scenario scenario = ReadScenario(kDefaultScenario, "default");
  SimulationSetup setup = MakeSetup(scenario, kExampleConfig, "seeded");
  setup.scenario.hours = 6;
  setup.seed = 7;
  const SimulationResult first = RunSimulation(setup);
  const SimulationResult second = RunSimulation(setup);
  EXPECT_EQ(WithoutSpeed(FormatTable(setup, first)), WithoutSpeed(FormatTable(setup, second)));
  EXPECT_EQ(CensusCsv(first), CensusCsv(second));
  setup.seed = 8;
  EXPECT_NE(CensusCsv(first), CensusCsv(RunSimulation(setup)));
}

uint64_t Fingerprint(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return hash;
}

// Every kind of draw (mixes, levels, lifetimes, tamings, zones' first checks, the population's
// levels) in a few hours: the same seed gives this very census on every platform and standard
// library, natively and under Wine. The fingerprint stands for the whole CSV of seed 11: should it
// change, the world's draws (or the order in which it makes them) differ from every earlier
// build's, and runs with a seed no longer repeat across versions and platforms; the properties
// checked first say what is wrong when the census itself is.
TEST(Simulation, ASeedGivesTheSameCensusOnEveryPlatform) {
  Scenario scenario;
  scenario.hours = 3;
  scenario.sample_minutes = 15;
  scenario.classes[kStrider] = {2, 0.3};
  scenario.classes[kGrazer] = {1, 0.5};
  scenario.zones.push_back({"z", {{kStrider, 1}, {kGrazer, 2.5}}, 12, 45, 100, 200, {}});
  scenario.population.push_back({kGrazer, 5, {1, 300}, false});
  const std::string config = R"({"Max_Dino_Counts": {"Blueprint'/Game/Creatures/Strider/)"
                             R"(Strider_Character.Strider_Character'": 3},
                             "DestroyDinosOverLevel": true, "MaxDinoLevel": 180})";
  SimulationSetup setup = MakeSetup(scenario, config, "platform");
  setup.seed = 11;
  const SimulationResult result = RunSimulation(setup);
  // 13 samples; the Striders come with the zone's first check, after the first sample. They are
  // held at 3 by the plug-in's count, and the rejected spawns are among the live wild.
  ASSERT_EQ(result.samples.size(), 25u);
  for (const CensusSample& sample : result.samples) {
    SCOPED_TRACE(sample.key + " at " + std::to_string(sample.hours));
    const bool strider = sample.key.find("Strider") != std::string::npos;
    EXPECT_EQ(sample.limit, strider ? std::optional<int32_t>(3) : std::nullopt);
    ASSERT_TRUE(sample.plugin_count);
    if (strider) {
      EXPECT_LE(*sample.plugin_count, 3);
    }
    EXPECT_LE(sample.awaiting_removal, sample.live_wild);
  }
  EXPECT_EQ(Fingerprint(CensusCsv(result)), 17393669696313416306u) << CensusCsv(result);
}

// The default scenario's drift has every cause: tamings after counting, arrivals outside the
// zones, removals still due, a key shared by letter case; nothing is left unexplained, and the
// limit with a wrongly cased key is reported as never applying.
TEST(Simulation, TheDefaultScenarioExplainsItsDrift) {
  const Scenario scenario = ReadScenario(kDefaultScenario, "default");
  const SimulationResult result = RunSimulation(MakeSetup(scenario, kExampleConfig, "default"));
  EXPECT_TRUE(result.faults.empty());
  std::set<std::string> causes_seen;
  for (const ClassRow& row : result.rows) {
    SCOPED_TRACE(row.ledger.key);
    ASSERT_TRUE(row.drift);
    // The causes add up to the drift by construction ("unexplained" is the rest): what counts is
    // that the world accounts for the plug-in's own count to the last creature.
    for (const DriftCause& cause : row.causes) {
      EXPECT_NE(cause.what, "unexplained") << cause.amount;
      causes_seen.insert(cause.what);
    }
    if (row.limit) {
      // Held at the limit: what lives wild beyond it is still to be removed or never counted.
      EXPECT_LE(row.ledger.live_wild - row.ledger.awaiting_removal - row.ledger.never_counted,
                *row.limit);
    }
  }
  EXPECT_TRUE(causes_seen.count("tamed after being counted"));
  EXPECT_TRUE(causes_seen.count("key shared by letter case"));
  EXPECT_TRUE(causes_seen.count("never counted (arrived outside zones or ungated)"));
  const auto never_applied = [&](const std::string& note) {
    return note.find("Raptor_Character.raptor_Character' never applied") != std::string::npos;
  };
  EXPECT_TRUE(std::any_of(result.notes.begin(), result.notes.end(), never_applied));
  EXPECT_GT(RowOf(result, "/Game/Creatures/Raptor/Raptor_Character.Raptor_Character_C").ledger.peak,
            4);
}

// The operator's configuration holds for the whole of the built-in scenario, whose own write of
// config.json at 12:00 is skipped and said so.
TEST(Simulation, TheOperatorsConfigurationHoldsForTheDefaultScenario) {
  const Scenario scenario = ReadScenario(kDefaultScenario, "default");
  const std::string config = R"({"Max_Dino_Counts": {"Blueprint'/Game/Creatures/Strider/)"
                             R"(Strider_Character.Strider_Character'": 2}})";
  SimulationSetup setup = MakeSetup(scenario, config, "operators");
  setup.scenario.hours = 13;
  setup.keep_config = true;
  const SimulationResult result = RunSimulation(setup);
  for (const CensusSample& sample : result.samples) {
    const bool strider = sample.key.find("Strider") != std::string::npos;
    EXPECT_EQ(sample.limit, strider ? std::optional<int32_t>(2) : std::nullopt)
        << sample.key << " at " << sample.hours;
  }
  EXPECT_TRUE(result.config_changes.empty());
  EXPECT_TRUE(std::any_of(result.notes.begin(), result.notes.end(), [](const std::string& note) {
    return note.find("12:00 the scenario's write of config.json was skipped") == 0;
  }));
}

// A scenario's own change of the configuration: the header gives the one at the start, the row
// the limits one after the other, the notes what changed and when.
TEST(Simulation, AChangeOfConfigurationShowsWhenAndWhat) {
  Scenario scenario;
  scenario.hours = 2;
  scenario.sample_minutes = 30;
  scenario.zones.push_back({"z", {{kStrider, 1}}, 6, 60, 1, 1, 0});
  const std::string key = "Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character'";
  ScenarioAction write;
  write.at_hours = 1;
  write.kind = ScenarioAction::Kind::Write;
  write.file = "config.json";
  write.text = R"({"Max_Dino_Counts": {")" + key +
               R"(": 5}, "DestroyDinosOverLevel": true, "MaxDinoLevel": 90})";
  ScenarioAction reload;
  reload.at_hours = 1;
  reload.kind = ScenarioAction::Kind::Reload;
  scenario.actions = {write, reload};
  const SimulationSetup setup =
      MakeSetup(scenario, R"({"Max_Dino_Counts": {")" + key + R"(": 3}})", "change");
  const SimulationResult result = RunSimulation(setup);
  const ClassRow& striders = RowOf(result, kStrider);
  EXPECT_EQ(striders.limits, (std::vector<std::optional<int32_t>>{3, 5}));
  EXPECT_EQ(result.config_changes, std::vector<double>{1});
  EXPECT_EQ(result.level_rule_at_start, std::nullopt);
  EXPECT_EQ(result.level_rule, 90);
  EXPECT_TRUE(std::any_of(result.notes.begin(), result.notes.end(), [&](const std::string& note) {
    return note == "1:00 kvar.reload over RCON: reloaded; limits " + key +
                       " 3 -> 5; level rule off -> level 90";
  })) << ::testing::PrintToString(result.notes);
  const std::string table = FormatTable(setup, result);
  EXPECT_NE(table.find("configuration at the start: test; level rule: off\n"), std::string::npos)
      << table;
  EXPECT_NE(table.find("Strider_Character   3>5"), std::string::npos) << table;
  EXPECT_TRUE(result.config_errors.empty()) << ::testing::PrintToString(result.config_errors);
}

// What the plug-in reports of its configuration, and what the check finds in one a scenario
// writes, are configuration errors of the run, each named in the notes.
TEST(Simulation, ConfigurationErrorsAreNamedInTheNotes) {
  const std::string key = "Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character'";
  const struct {
    const char* name;
    std::string config;   // at the start
    std::string written;  // at 0:30, then reloaded; empty: none
    std::vector<std::string> errors;
  } cases[] = {
      {"unreadable",
       R"({"Max_Dino_Counts": {} "MaxDinoLevel": 3})",
       "",
       {"0:00 the plug-in could not read config.json at load: Failed to load config! "
        "[json.exception.parse_error.101]"}},
      {"failed_reload",
       "{}",
       R"({"Max_Dino_Counts": )",
       {"0:30 config.json as written, line 1, column 21: error:",
        "0:30 kvar.reload over RCON: failed, the configuration in force is unchanged: Failed to "
        "reload config!"}},
      {"unusable_value",
       "{}",
       R"({"Max_Dino_Counts": {")" + key + R"(": "4"}})",
       {"0:30 config.json as written, line 1, column 96: error:",
        "the plug-in logged an error: Unusable value in config.json"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario scenario;
    scenario.hours = 1;
    scenario.classes[kStrider] = {30, 0};
    scenario.zones.push_back({"z", {{kStrider, 1}}, 3, 60, 1, 1, 0});
    if (!c.written.empty()) {
      scenario.actions.resize(2);
      scenario.actions[0].at_hours = scenario.actions[1].at_hours = 0.5;
      scenario.actions[0].kind = ScenarioAction::Kind::Write;
      scenario.actions[0].file = "config.json";
      scenario.actions[0].text = c.written;
      scenario.actions[1].kind = ScenarioAction::Kind::Reload;
    }
    SimulationSetup setup = MakeSetup(scenario, c.config, c.name);
    setup.class_keys = {key};
    const SimulationResult result = RunSimulation(setup);
    ASSERT_EQ(result.config_errors.size(), c.errors.size())
        << ::testing::PrintToString(result.config_errors);
    for (std::size_t i = 0; i < c.errors.size(); ++i) {
      EXPECT_NE(result.config_errors[i].find(c.errors[i]), std::string::npos)
          << result.config_errors[i];
      EXPECT_NE(std::find(result.notes.begin(), result.notes.end(), result.config_errors[i]),
                result.notes.end());
    }
  }
}

// `--out` takes a new folder, an empty one or one an earlier run made. A run deletes or replaces
// only what the last run listed as written, as it wrote it; anything else is refused (exit 2),
// named, and left as it was, and so is a folder it cannot use.
TEST(Simulation, TheOutputFolderHoldsNothingOfTheOperators) {
  namespace fs = std::filesystem;
  const fs::path root = fs::current_path() / "out-folders";
  fs::remove_all(root);
  const auto write = [](const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  };
  const auto read = [](const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  const auto append = [](const fs::path& path, const std::string& line) {
    std::ofstream(path, std::ios::binary | std::ios::app) << line << "\n";
  };
  // A list line for a file of `text`, with its right size and hash.
  const auto listed = [](const std::string& text, const std::string& name) {
    const WrittenFile written = FingerprintOf(text);
    return "file " + std::to_string(written.size) + " " + fmt::format("{:016x}", written.hash) +
           " " + name;
  };
  SimulateOptions options;
  options.hours = 0.2;
  // A run that completes exits 1: the check finds the example configuration's letter-case trap.
  constexpr int kDone = 1;
  const auto run = [&](const fs::path& dir, std::string* errors = nullptr) {
    options.out_dir = dir.string();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = RunSimulate(options);
    testing::internal::GetCapturedStdout();
    const std::string captured = testing::internal::GetCapturedStderr();
    if (errors) *errors = captured;
    return status;
  };
  const fs::path plugin = fs::path("server") / "ArkApi" / "Plugins" / "Kestrovar";
  const std::string mine = "the operator's";
  const struct {
    const char* folder;
    std::function<void(const fs::path&)> before;  // after a first run when `made`
    bool made;
    int status;
    std::vector<std::string> said;
    std::vector<fs::path> kept;  // still there and still the operator's ("": the folder itself)
  } cases[] = {
    {"new", nullptr, false, kDone, {}, {}},
    {"empty", [](const fs::path& dir) { fs::create_directories(dir); }, false, kDone, {}, {}},
    {"again", nullptr, true, kDone, {}, {}},
    {"foreign",
     [&](const fs::path& dir) { write(dir / "notes.txt", mine); },
     false,
     2,
     {"did not make (\"notes.txt\")", "give a new or empty folder"},
     {"notes.txt"}},
    // Our names without our marker: not ours.
    {"our-names",
     [&](const fs::path& dir) {
       write(dir / "census.csv", mine);
       write(dir / plugin / "config.json", mine);
     },
     false,
     2,
     {"(\"census.csv\", \"server\")"},
     {"census.csv", plugin / "config.json"}},
    // An earlier version's marker lists nothing: what it made cannot be told apart.
    {"old-marker",
     [&](const fs::path& dir) {
       write(dir / ".kestrovar-simulate",
             "Made by kestrovar simulate. Everything in this folder is replaced at each run.\n");
       write(dir / "census.csv", mine);
     },
     false,
     2,
     {"made by an earlier version of kestrovar simulate"},
     {"census.csv"}},
    {"server-unmarked",
     [&](const fs::path& dir) {
       fs::remove(dir / "server" / ".kestrovar-simulate");
       write(dir / "server" / "world.sav", mine);
     },
     true,
     2,
     {"\"server/\" (a folder without kestrovar simulate's list"},
     {"server/world.sav"}},
    {"operators-files",
     [&](const fs::path& dir) {
       write(dir / "server" / "notes.txt", mine);
       write(dir / plugin / "mine.json", mine);
       fs::create_directories(dir / "server" / "saves");
     },
     true,
     2,
     {"\"server/ArkApi/Plugins/Kestrovar/mine.json\", \"server/notes.txt\", \"server/saves/\". "
      "Nothing was deleted"},
     {"server/notes.txt", plugin / "mine.json"}},
    {"edited-config",
     [&](const fs::path& dir) { write(dir / plugin / "config.json", mine); },
     true,
     2,
     {"\"server/ArkApi/Plugins/Kestrovar/config.json\" (changed since the run wrote it)",
      "give it with --config"},
     {plugin / "config.json"}},
    {"edited-census",
     [&](const fs::path& dir) { write(dir / "census.csv", mine); },
     true,
     2,
     {"\"census.csv\" (changed since the run wrote it)"},
     {"census.csv"}},
    // An edit that keeps the file's size is told by its hash.
    {"same-size-edit",
     [&](const fs::path& dir) {
       std::string census = read(dir / "census.csv");
       census[census.size() / 2] = census[census.size() / 2] == '1' ? '2' : '1';
       write(dir / "census.csv", census);
       write(dir / "edited.copy", census);
     },
     true,
     2,
     {"\"census.csv\" (changed since the run wrote it)"},
     {}},
    // A damaged list: a name that leads outside DIR, even with the right size and hash of the
    // file there, refuses the run, naming the line, and deletes nothing.
    {"list-leads-out",
     [&](const fs::path& dir) {
       write(dir.parent_path() / "outside.txt", mine);
       append(dir / ".kestrovar-simulate", listed(mine, "../outside.txt"));
     },
     true,
     2,
     {".kestrovar-simulate line ", "\"..\" leads outside the folder", "nothing was deleted"},
     {"../outside.txt", "census.csv:ours"}},
    {"list-absolute",
     [&](const fs::path& dir) {
       write(dir.parent_path() / "absolute.txt", mine);
       append(dir / "server" / ".kestrovar-simulate",
              listed(mine, (dir.parent_path() / "absolute.txt").generic_string()));
     },
     true,
     2,
     {".kestrovar-simulate line ", "an absolute path"},
     {"../absolute.txt", "census.csv:ours"}},
    {"list-garbled",
     [&](const fs::path& dir) { append(dir / ".kestrovar-simulate", "file twelve census.csv"); },
     true,
     2,
     {".kestrovar-simulate line ",
      ": no \"file SIZE HASH NAME\" entry: \"file twelve census.csv\""},
     {"census.csv:ours"}},
#if !defined(_WIN32)
    // A link in DIR is never followed, whatever the list says.
    {"list-through-a-link",
     [&](const fs::path& dir) {
       write(dir.parent_path() / "linked" / "victim.txt", mine);
       fs::create_directory_symlink(dir.parent_path() / "linked", dir / "server" / "link");
       append(dir / "server" / ".kestrovar-simulate", "folder link");
       append(dir / "server" / ".kestrovar-simulate", listed(mine, "link/victim.txt"));
     },
     true,
     2,
     {"\"server/link\" (a link)"},
     {"../linked/victim.txt"}},
#endif
    {"a-file", [&](const fs::path& dir) { write(dir, mine); }, false, 2, {"is a file"}, {""}},
    {"under-a-file",
     [&](const fs::path& dir) { write(dir.parent_path(), mine); },
     false,
     2,
     {"a part of the path is a file, not a folder"},
     {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    fs::path dir = root / c.folder;
    if (std::string(c.folder) == "under-a-file") dir = root / "plain" / "out";
    if (c.made) {
      ASSERT_EQ(run(dir), kDone);
    }
    if (c.before) c.before(dir);
    std::string errors;
    EXPECT_EQ(run(dir, &errors), c.status) << errors;
    for (const std::string& words : c.said)
      EXPECT_NE(errors.find(words), std::string::npos) << errors;
    EXPECT_EQ(errors.find("filesystem error"), std::string::npos) << errors;
    for (const fs::path& file : c.kept) {
      const std::string name = file.generic_string();
      if (name.ends_with(":ours")) {
        EXPECT_TRUE(fs::exists(dir / name.substr(0, name.size() - 5))) << name;
        continue;
      }
      EXPECT_EQ(read(file.empty() ? dir : dir / file), mine) << file;
    }
    if (std::string(c.folder) == "same-size-edit") {
      EXPECT_EQ(read(dir / "census.csv"), read(dir / "edited.copy"));
    }
    if (c.status == kDone) {
      EXPECT_TRUE(fs::exists(dir / "census.csv"));
    }
  }
  EXPECT_FALSE(fs::exists(root / "foreign" / "server"));

  // Without a folder's name, or where no folder can be made: the operator's words, exit 2.
  std::vector<std::pair<std::string, std::string>> unusable = {
      {"", "--out \"\": give the name of a folder"}};
#if defined(__linux__)
  unusable.push_back({"/proc/kestrovar-out", "cannot make the folder \"/proc/kestrovar-out\": "});
#endif
  for (const auto& [dir, words] : unusable) {
    std::string errors;
    EXPECT_EQ(run(dir, &errors), 2) << dir;
    EXPECT_NE(errors.find(words), std::string::npos) << errors;
    EXPECT_EQ(errors.find("filesystem error"), std::string::npos) << errors;
  }
  // Any other file system error met while the run writes: the path and the reason, in words.
  EXPECT_EQ(ErrorText(fs::filesystem_error("cannot create directories", fs::path("/a/b"),
                                           std::make_error_code(std::errc::no_space_on_device))),
            "/a/b: the disk is full");
  EXPECT_EQ(ErrorText(std::runtime_error("as it is")), "as it is");
  fs::remove_all(root);
}

// A long run keeps only the world as it is: the records of creatures that left it go, so memory
// follows the world and not every creature ever made.
TEST(Simulation, TheWorldKeepsOnlyWhatIsInIt) {
  devserver::ServerOptions options;
  options.server_dir = (std::filesystem::current_path() / "forget").string();
  options.log_to_stdout = false;
  options.record_events = false;
  options.forget_removed = true;
  options.corpse_decay_seconds = 10;
  devserver::StartServer(options);
  devserver::SetClassLife(kStrider, {30, 0});
  devserver::AddSpawnZone({"z", {{kStrider, 1}}, 20, 30, 1, 1, 0});
  devserver::Advance(20 * 3600);
  const std::size_t records = devserver::ListCreatures().size();
  const int64_t spawned = devserver::ClassLedgers().at(0).spawned;
  devserver::StopServer();
  EXPECT_GT(spawned, 10000);
  // 20 live, a few bodies, and fewer than 256 removed ones not yet dropped.
  EXPECT_LT(records, 20u + 50u + 256u);
}

// The table fits in 100 columns, names classes by their last path element (telling apart those
// that share it) with the keys below; starvation is flagged, drift causes have ids in JSON.
TEST(SimulationReport, TheDefaultDayFitsAndShowsStarvation) {
  const Scenario scenario = ReadScenario(kDefaultScenario, "default");
  const SimulationSetup setup = MakeSetup(scenario, kExampleConfig, "narrow");
  const SimulationResult result = RunSimulation(setup);
  const std::string table = FormatTable(setup, result);
  const std::string shown = table.substr(0, table.find("\nnotes:"));
  std::size_t start = 0;
  while (start < shown.size()) {
    const std::size_t end = std::min(shown.find('\n', start), shown.size());
    EXPECT_LE(end - start, 100u) << shown.substr(start, end - start);
    start = end + 1;
  }
  EXPECT_NE(table.find("\nStalker/Stalker_Character "), std::string::npos) << table;
  EXPECT_NE(table.find("\nstalker/Stalker_Character "), std::string::npos) << table;
  EXPECT_NE(table.find("\n  Grazer_Character          "
                       "Blueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_Character'\n"),
            std::string::npos)
      << table;
  EXPECT_NE(FormatTable(setup, result, true)
                .find("\nBlueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_Character' "),
            std::string::npos);

  // Grazers: the tamed ones hold the count at the limit from hour 11 to the reload at 16.
  const ClassRow& grazers =
      RowOf(result, "/Game/Creatures/Grazer/Grazer_Character.Grazer_Character_C");
  ASSERT_FALSE(grazers.starved.empty());
  EXPECT_EQ(grazers.starved.front().from_hours, 11);
  EXPECT_GE(grazers.starved_hours, 5);
  EXPECT_NE(table.find("STARVED"), std::string::npos);
  EXPECT_NE(table.find("  Grazer_Character 5.2 game hours: 11:00-16:10\n"), std::string::npos)
      << table;
  // The Gliders' limit is 0: what lived a moment did so awaiting its removal.
  const ClassRow& gliders =
      RowOf(result, "/Game/Creatures/Glider/Glider_Character.Glider_Character_C");
  EXPECT_EQ(gliders.ledger.peak_awaiting, 3);
  EXPECT_TRUE(gliders.starved.empty());

  const std::string json = FormatJson(setup, result);
  EXPECT_NE(json.find("\"id\": \"tamed_after_counted\""), std::string::npos);
  EXPECT_NE(json.find("\"name\": \"Grazer_Character\""), std::string::npos);
}

// The longest table row; the sections under the table may be wider.
std::size_t WidestRow(const std::string& table) {
  std::size_t widest = 0;
  const std::size_t end = table.find("\nkey: ");
  for (std::size_t start = table.find("\nclass "); start < end;) {
    const std::size_t next = table.find('\n', start + 1);
    widest = std::max(widest, next - start - 1);
    start = next;
  }
  return widest;
}

// What a run of 12 000 game hours or more brings: counts of seven digits and more, starved hours of
// five, a limit changed at every reload, a class with a long name. The table still fits in 100
// columns (only --wide may pass them), its counts in thousands or millions, said so in the key,
// and each shortened name is the one listed with its key below and used in the sections after.
TEST(SimulationReport, ALongRunStaysWithinAHundredColumns) {
  SimulationSetup setup;
  setup.scenario_name = "long";
  setup.scenario.hours = 12000;
  SimulationResult result;
  const auto row = [&](const std::string& name, int64_t spawned, double starved) {
    ClassRow row;
    row.ledger.key = "Blueprint'/Game/Creatures/" + name + "/" + name + "." + name + "'";
    row.ledger.spawned = spawned;
    row.ledger.gate_limit_removals = spawned * 8 / 10;
    row.ledger.gate_level_removals = spawned / 6;
    row.ledger.live_wild = 10;
    row.ledger.peak = 12;
    row.limit = 10;
    row.limits = {10};
    row.plugin_count = 10;
    row.churn_per_hour = static_cast<double>(spawned) / 12000;
    row.starved_hours = starved;
    if (starved > 0) row.starved = {{12000 - starved, 12000}};
    row.drift = 2166;
    row.causes = {{"tamed_after_counted", "tamed after being counted", 2166}};
    result.rows.push_back(row);
  };
  row("Grazer_Character", 8554025, 11503.3);
  row("Strider_Character", 5695140, 11547.8);
  row("Raptor_Character", 47950, 0);
  row("Juvenile_Grazer_Character", 2123, 0);
  const struct {
    const char* name;
    std::function<void()> change;
    std::vector<std::string> shown;  // in the table
  } cases[] = {
      {"counts",
       [] {},
       {"8.55M", "6.84M", "1.43M", "11503h", "+2166",
        "\n  Grazer_Character +2166: +2166 tamed after being counted\n"}},
      {"limits",
       [&] { result.rows[1].limits = {3, 5, 3, 5, 3, 5, 3, 5, 3, 5, 3, 5, 4}; },
       {" 3>..>4 ", "a>..>b: the first and the last of several"}},
      {"names",
       [&] {
         result.rows[2].ledger.key =
             "Blueprint'/Game/Mods/Creature_With_A_Very_Long_Name_From_A_Mod_Character'";
       },
       {"\nCreature_Wit~od_Character     10 ",
        "\n  Creature_Wit~od_Character Blueprint'/Game/Mods/Creature_With_A_Very_Long_Name"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.change();
    const std::string table = FormatTable(setup, result);
    EXPECT_LE(WidestRow(table), 100u) << table;
    std::string unwrapped = table;
    for (std::size_t at;
         (at = unwrapped.find("\n  ", unwrapped.find("\nkey: "))) < unwrapped.find("\nclasses:");) {
      unwrapped.replace(at, 3, " ");
    }
    for (const std::string& text : c.shown) {
      EXPECT_NE(unwrapped.find(text), std::string::npos) << table;
    }
    EXPECT_NE(unwrapped.find("counts from 100 000 in k (thousands), M (millions)"),
              std::string::npos);
  }
  // --wide: the full keys and counts.
  const std::string wide = FormatTable(setup, result, true);
  EXPECT_GT(WidestRow(wide), 100u);
  EXPECT_NE(wide.find(" 8554025 "), std::string::npos) << wide;
  // A table that fits keeps its exact numbers.
  result.rows.resize(1);
  result.rows[0].ledger.spawned = 99999;
  EXPECT_NE(FormatTable(setup, result).find(" 99999 "), std::string::npos);
}

// The progress line: the share done and the time left, redrawn in place, so it must stay shorter
// than the terminal is wide; on a narrow one the bar goes first.
TEST(ProgressBar, FitsTheTerminalWithTheShareAndTheTimeLeft) {
  const struct {
    double hours;
    std::optional<double> left;
    std::size_t columns;
    const char* line;
  } cases[] = {
      {6, 90, 100,
       "[##########..............................]  25% 6/24 game hours, 1 min 30 s left"},
      {6, 90, 50, "  25% 6/24 game hours, 1 min 30 s left"},
      {6, 90, 30, "  25% 6/24 game hours, 1 min "},
      {6, std::nullopt, 50, "[######....................]  25% 6/24 game hours"},
      {0, 0, 80, "[........................................]   0% 0/24 game hours"},
      {24, 0, 80, "[########################################] 100% 24/24 game hours"},
  };
  for (const auto& c : cases) {
    const std::string line = ProgressBar::Line(c.hours, 24, c.left, c.columns);
    EXPECT_EQ(line, c.line) << c.columns;
    EXPECT_LT(line.size(), c.columns);
  }
}

// The time left follows the rate seen lately: a run that did 100 game hours a second for 10 s and
// 10 a second since has 900 of its 2 000 hours left at 10 a second, not at the 55 a second of the
// run so far.
TEST(ProgressBar, TheTimeLeftFollowsTheRateSeenLately) {
  TimeLeft left;
  EXPECT_EQ(left.Seconds(2000), std::nullopt);
  for (int tenth = 0; tenth <= 200; ++tenth) {
    const double seconds = tenth / 10.0;
    left.Observe(seconds, seconds <= 10 ? 100 * seconds : 1000 + 10 * (seconds - 10));
  }
  ASSERT_TRUE(left.Seconds(2000));
  EXPECT_NEAR(*left.Seconds(2000), 90, 1);
  // And back up: 100 a second again for 5 s.
  for (int tenth = 201; tenth <= 250; ++tenth) {
    left.Observe(tenth / 10.0, 1100 + 100 * (tenth / 10.0 - 20));
  }
  EXPECT_NEAR(*left.Seconds(2000), 4, 0.5);
}

}  // namespace

namespace {

// The limits and level rule the simulation takes as in force are the plug-in's: exact keys,
// numbers as signed 32-bit integers, negative limits and unusable values meaning no limit.
TEST(ConfigInForce, TakesLimitsAndTheLevelRuleAsThePluginDoes) {
  const ConfigInForce config = ReadConfigInForce(R"({"Max_Dino_Counts": {
      "A": 40, "B": 0, "C": -1, "D": 2.9, "E": true, "F": 4294967295, "G": 4294967296, "H": "10"},
      "DestroyDinosOverLevel": true})");
  ASSERT_TRUE(config.readable);
  const struct {
    const char* key;
    std::optional<int32_t> limit;
  } cases[] = {{"A", 40},           {"B", 0}, {"C", std::nullopt}, {"D", 2},           {"E", 1},
               {"F", std::nullopt}, {"G", 0}, {"H", std::nullopt}, {"a", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(config.LimitOf(c.key), c.limit) << c.key;
  EXPECT_EQ(config.level_rule, 2147483647);  // the rule on, no level given

  EXPECT_EQ(ReadConfigInForce(R"({"DestroyDinosOverLevel": false, "MaxDinoLevel": 5})").level_rule,
            std::nullopt);
  EXPECT_EQ(ReadConfigInForce(R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": 5})").level_rule,
            5);
  EXPECT_FALSE(ReadConfigInForce("{").readable);
  EXPECT_FALSE(ReadConfigInForce("[1]").readable);

  // As the plug-in's reader: text after the value is not read, a byte-order mark is skipped.
  const ConfigInForce trailing = ReadConfigInForce(
      "\xEF\xBB\xBF"
      R"({"Max_Dino_Counts": {"A": 2}} x)");
  EXPECT_TRUE(trailing.readable);
  EXPECT_EQ(trailing.LimitOf("A"), 2);
  // Whether a dump writes a file: empty when the plug-in cannot read the setting.
  EXPECT_EQ(ReadConfigInForce("{}").writes_dump_files, false);
  EXPECT_EQ(ReadConfigInForce(R"({"WriteDumpsToFile": true})").writes_dump_files, true);
  EXPECT_EQ(ReadConfigInForce(R"({"WriteDumpsToFile": "yes"})").writes_dump_files, std::nullopt);

  // The difference of two configurations in force: each limit that changed (-1 or none alike),
  // then the level rule; nothing when they enforce the same.
  const ConfigInForce before = ReadConfigInForce(R"({"Max_Dino_Counts": {"A": 3, "B": -1}})");
  const ConfigInForce after = ReadConfigInForce(
      R"({"Max_Dino_Counts": {"A": 5, "C": 0}, "DestroyDinosOverLevel": true, "MaxDinoLevel": 90})");
  EXPECT_EQ(Difference(before, after), "limits A 3 -> 5, C none -> 0; level rule off -> level 90");
  EXPECT_EQ(Difference(before, ReadConfigInForce(R"({"Max_Dino_Counts": {"A": 3}} x)")), "");
}

// One chart panel per class that had a limit at some sample, the limit drawn from the samples; a
// key with a quote or a comma stays one field and one title. The chart plots the creatures that
// stay (the gate's rejected spawns left out), whole creatures on the y axis, one legend, a mark at
// each reload, and writes its output beside the script.
TEST(SimulationReport, ChartsTheLimitedClassesAndQuotesKeys) {
  SimulationResult result;
  result.samples = {
      {0, "Blueprint'/A,\"x\"'", 3, 2, 4, 1}, {0, "Blueprint'/B'", std::nullopt, 1, 1, 0},
      {1, "Blueprint'/A,\"x\"'", 3, 3, 3, 0}, {1, "Blueprint'/B'", std::nullopt, 1, 1, 0},
      {0, "Blueprint'/C'", 12, 12, 12, 0},    {1, "Blueprint'/C'", 12, 12, 19, 7}};
  result.marks = {{0.5, "reload"}};
  EXPECT_EQ(CensusCsv(result).substr(0, 117),
            "hours,class_key,limit,plugin_count,live_wild,awaiting_removal\n"
            "0,\"Blueprint'/A,\"\"x\"\"'\",3,2,4,1\n0,Blueprint'/B',,1,1,0\n");
  const std::string script = GnuplotScript(result, "population.svg");
  EXPECT_NE(script.find("$class0 << EOD\n0 3 2 3\n1 3 3 3\nEOD\n"), std::string::npos) << script;
  EXPECT_NE(script.find("$class1 << EOD\n0 12 12 12\n1 12 12 12\nEOD\n"), std::string::npos)
      << script;
  EXPECT_EQ(script.find("$class2"), std::string::npos) << script;
  EXPECT_NE(script.find("set title \"Blueprint'/A,\\\"x\\\"'\""), std::string::npos) << script;
  EXPECT_NE(script.find("set output \"population.svg\""), std::string::npos) << script;
  // A little below 0, so that a line at 0 shows above the axis.
  EXPECT_NE(script.find("set yrange [-0.16:4]\nset ytics 0,1\n"), std::string::npos) << script;
  EXPECT_NE(script.find("set yrange [-0.6:15]\nset ytics 0,3\n"), std::string::npos) << script;
  EXPECT_NE(script.find("set ylabel 'creatures'"), std::string::npos);
  // The key once, then switched off; the mark in both panels, its name in the first.
  const std::size_t key = script.find("set key ");
  EXPECT_NE(key, std::string::npos);
  EXPECT_EQ(script.find("set key ", key + 1), std::string::npos);
  EXPECT_NE(script.find("unset key"), std::string::npos);
  const std::size_t arrow = script.find("set arrow from 0.5, graph 0 to 0.5, graph 1");
  EXPECT_NE(script.find("set arrow from 0.5, graph 0", arrow + 1), std::string::npos) << script;
  EXPECT_NE(script.find("set label \"reload\" at 0.5, graph 0.97 rotate by 90"), std::string::npos)
      << script;
  EXPECT_TRUE(GnuplotScript(SimulationResult{}, "x.svg").empty());
}

// Every number that follows `word` in the script, in order.
std::vector<double> NumbersAfter(const std::string& script, const std::string& word) {
  std::vector<double> numbers;
  for (std::size_t at = script.find(word); at != std::string::npos;
       at = script.find(word, at + 1)) {
    numbers.push_back(std::stod(script.substr(at + word.size())));
  }
  return numbers;
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// Panels stacked with room for each one's hour labels below it and the next one's title above it;
// starved stretches shaded and in the legend; marks at the same time every day named once, and
// drawn as ticks along the top once a day is too narrow for lines.
TEST(SimulationReport, TheChartKeepsTitlesClearAndShowsStarvationAndDailyMarks) {
  SimulationResult result;
  for (const char* key : {"Blueprint'/A'", "Blueprint'/B'", "Blueprint'/C'"}) {
    for (const double hours : {0.0, 1200.0, 2400.0})
      result.samples.push_back({hours, key, 3, 3, 3, 0});
    ClassRow row;
    row.ledger.key = key;
    result.rows.push_back(row);
  }
  result.rows[1].starved = {{1000, 1400.5}, {2000, 2400}};
  for (int day = 0; day < 100; ++day) {
    result.marks.push_back({24.0 * day + 12, "write"});
    result.marks.push_back({24.0 * day + 12, "reload"});
    result.marks.push_back({24.0 * day + 16.001, "unload"});
  }
  result.marks.push_back({600.5, "cheat"});
  std::stable_sort(result.marks.begin(), result.marks.end(),
                   [](const RunMark& a, const RunMark& b) { return a.hours < b.hours; });

  const struct {
    const char* name;
    double hours;  // the run's length
    std::vector<std::string> present;
    std::vector<std::string> absent;
  } cases[] = {
      {"long run",
       2400,
       {"12:00 write+reload (100 days), 16:00 unload (100 days); drawn as ticks along each "
        "panel's top",
        "set arrow from 36, graph 0.94 to 36, graph 1 nohead",
        "set arrow from 600.5, graph 0 to 600.5, graph 1", "set label \"cheat\" at 600.5",
        "set object rect from 1000, graph 0 to 1400.5, graph 1 behind",
        "set object rect from 2000, graph 0 to 2400, graph 1 behind", "title 'starved'"},
       {"set arrow from 36, graph 0 to", "set label \"write"}},
      {"ten days",
       240,
       {"12:00 write+reload (10 days), 16:00 unload (10 days); drawn as dotted lines",
        "set arrow from 36, graph 0 to 36, graph 1 nohead dt 3"},
       {"graph 0.94", "set label \"write", "set object rect", "title 'starved'"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimulationResult run = result;
    run.samples.erase(std::remove_if(run.samples.begin(), run.samples.end(),
                                     [&](const CensusSample& s) { return s.hours > c.hours; }),
                      run.samples.end());
    run.marks.erase(std::remove_if(run.marks.begin(), run.marks.end(),
                                   [&](const RunMark& m) { return m.hours > c.hours; }),
                    run.marks.end());
    for (ClassRow& row : run.rows) {
      row.starved.erase(std::remove_if(row.starved.begin(), row.starved.end(),
                                       [&](const Starvation& s) { return s.from_hours > c.hours; }),
                        row.starved.end());
    }
    const std::string script = GnuplotScript(run, "population.svg");
    for (const std::string& text : c.present) {
      EXPECT_NE(script.find(text), std::string::npos) << text;
    }
    for (const std::string& text : c.absent) {
      EXPECT_EQ(script.find(text), std::string::npos) << text;
    }
    // Only the starved class's panel is shaded: its objects come after its title.
    if (c.hours > 1000) {
      const std::size_t b = script.find("set title \"Blueprint'/B'\"");
      const std::size_t shade = script.find("set object rect");
      EXPECT_TRUE(b < shade && shade < script.find("set title \"Blueprint'/C'\"")) << script;
    }

    // Between one panel's bottom and the next one's top: 60 pixels for the labels and the title.
    const double height = NumbersAfter(script, "set terminal svg size 1000,").at(0);
    const std::vector<double> tops = NumbersAfter(script, "set tmargin at screen ");
    const std::vector<double> bottoms = NumbersAfter(script, "set bmargin at screen ");
    ASSERT_EQ(tops.size(), 3u);
    ASSERT_EQ(bottoms.size(), 3u);
    for (std::size_t i = 0; i + 1 < tops.size(); ++i) {
      EXPECT_GE((bottoms[i] - tops[i + 1]) * height, 60 - 1) << i;
      EXPECT_GT((tops[i] - bottoms[i]) * height, 150) << i;
    }
    EXPECT_GE(bottoms.back() * height, 20);  // the x axis's name under the last panel
    EXPECT_EQ(Occurrences(script, "set key "), 1u);
  }
}

}  // namespace
