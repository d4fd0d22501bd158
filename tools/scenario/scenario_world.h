#pragma once

// Putting a scenario's world into the running stand-in server: `kestrovar simulate` and
// `kestrovar serve --scenario` share it.

#include <cstdint>

#include "tools/scenario/scenario.h"

// Seeds the world's generator, gives the classes their lives and places the population (levels
// drawn from each group's range). Call it before the world comes up.
void PlaceScenarioPopulation(const Scenario& scenario, uint64_t seed);
// Places one group's creatures; returns how many.
int PlaceGroup(const PopulationGroup& group);
// Opens the scenario's spawn zones: their first check is at the current game time.
void OpenScenarioZones(const Scenario& scenario);
