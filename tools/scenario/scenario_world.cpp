#include "tools/scenario/scenario_world.h"

#include "devserver/control/server.h"

void PlaceScenarioPopulation(const Scenario& scenario, uint64_t seed) {
  devserver::SeedWorld(seed);
  for (const auto& [reference, life] : scenario.classes) devserver::SetClassLife(reference, life);
  for (const PopulationGroup& group : scenario.population) PlaceGroup(group);
}

int PlaceGroup(const PopulationGroup& group) {
  devserver::PlaceRequest request;
  request.reference = group.reference;
  request.tamed = group.tamed;
  for (int i = 0; i < group.count; ++i) {
    request.level =
        static_cast<int32_t>(devserver::WorldRandomBetween(group.levels.low, group.levels.high));
    devserver::Place(request);
  }
  return group.count;
}

void OpenScenarioZones(const Scenario& scenario) {
  for (const devserver::ZoneSpec& zone : scenario.zones) devserver::AddSpawnZone(zone);
}
