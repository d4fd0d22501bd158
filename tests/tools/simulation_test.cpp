// `kestrovar simulate` with the real plug-in: zone refill and churn on scenarios small enough to
// work out by hand, the same seed giving the same report, and the drift explained to the last
// creature on the default scenario.

#include "tools/simulate/simulation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <set>

#include "tools/common/plugin_path.h"
#include "tools/simulate/config_in_force.h"
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
  EXPECT_EQ(striders.ledger.peak, 10);
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
            "hours,class_key,limit,plugin_count,live_wild\n"
            "0,Blueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_Character',,0,3\n"
            "0,Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character',4,4,10\n"
            "0.5,Blueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_Character',,0,3\n"
            "0.5,Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character',4,4,10\n"
            "1,Blueprint'/Game/Creatures/Grazer/Grazer_Character.Grazer_Character',,0,3\n"
            "1,Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character',4,4,10\n");
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
    if (static_cast<int>(sample.hours * 60) % 10 == 5) {
      EXPECT_EQ(sample.live_wild, 0) << sample.hours;
    }
    EXPECT_EQ(sample.plugin_count, sample.live_wild) << sample.hours;
  }
}

// A load into the running world sweeps bodies too: those that died counted carry the ignore mark,
// so their decay never counts them down, and the count stays above the world until the next sweep.
TEST(Simulation, ASweepCountsBodiesThatAreNeverCountedDown) {
  Scenario scenario;
  scenario.hours = 2;
  scenario.corpse_decay_seconds = 1800;
  scenario.classes[kStrider] = {6, 0};
  scenario.zones.push_back({"z", {{kStrider, 1}}, 5, 60, 1, 1, 0});
  scenario.actions.resize(2);
  scenario.actions[0].at_hours = scenario.actions[1].at_hours = 1;
  scenario.actions[0].kind = ScenarioAction::Kind::Unload;
  scenario.actions[1].kind = ScenarioAction::Kind::Load;
  const SimulationResult result = RunSimulation(MakeSetup(scenario, "{}", "bodies"));
  const ClassRow& striders = RowOf(result, kStrider);
  ASSERT_TRUE(striders.drift);
  EXPECT_GT(*striders.drift, 0);
  ASSERT_EQ(striders.causes.size(), 1u);
  EXPECT_EQ(striders.causes[0].what, "counted bodies or gone");
  EXPECT_EQ(striders.causes[0].amount, *striders.drift);
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
// library, natively and under Wine.
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
  const std::string csv = CensusCsv(RunSimulation(setup));
  EXPECT_EQ(Fingerprint(csv), 6384705163027702953u) << csv;
}

// The default scenario's drift has every cause: tamings after counting, arrivals outside the
// zones, removals still due, a key shared by letter case; the causes add up to the drift, with
// nothing left unexplained, and the limit with a wrongly cased key is reported as never applying.
TEST(Simulation, TheDefaultScenarioExplainsItsDrift) {
  const Scenario scenario = ReadScenario(kDefaultScenario, "default");
  const SimulationResult result = RunSimulation(MakeSetup(scenario, kExampleConfig, "default"));
  EXPECT_TRUE(result.faults.empty());
  std::set<std::string> causes_seen;
  for (const ClassRow& row : result.rows) {
    SCOPED_TRACE(row.ledger.key);
    ASSERT_TRUE(row.drift);
    int64_t sum = 0;
    for (const DriftCause& cause : row.causes) {
      EXPECT_NE(cause.what, "unexplained");
      causes_seen.insert(cause.what);
      sum += cause.amount;
    }
    EXPECT_EQ(sum, *row.drift);
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
}

// One chart panel per class that had a limit at some sample, the limit drawn from the samples; a
// key with a quote or a comma stays one field and one title.
TEST(SimulationReport, ChartsTheLimitedClassesAndQuotesKeys) {
  SimulationResult result;
  result.samples = {{0, "Blueprint'/A,\"x\"'", 3, 2, 4},
                    {0, "Blueprint'/B'", std::nullopt, 1, 1},
                    {1, "Blueprint'/A,\"x\"'", 3, 3, 3},
                    {1, "Blueprint'/B'", std::nullopt, 1, 1}};
  EXPECT_EQ(CensusCsv(result),
            "hours,class_key,limit,plugin_count,live_wild\n"
            "0,\"Blueprint'/A,\"\"x\"\"'\",3,2,4\n0,Blueprint'/B',,1,1\n"
            "1,\"Blueprint'/A,\"\"x\"\"'\",3,3,3\n1,Blueprint'/B',,1,1\n");
  const std::string script = GnuplotScript(result, "out/population.svg");
  EXPECT_NE(script.find("$class0 << EOD\n0 4 2 3\n1 3 3 3\nEOD\n"), std::string::npos) << script;
  EXPECT_EQ(script.find("$class1"), std::string::npos) << script;
  EXPECT_NE(script.find("set title \"Blueprint'/A,\\\"x\\\"'\""), std::string::npos) << script;
  EXPECT_NE(script.find("set output \"out/population.svg\""), std::string::npos) << script;
  EXPECT_TRUE(GnuplotScript(SimulationResult{}, "x.svg").empty());
}

}  // namespace
