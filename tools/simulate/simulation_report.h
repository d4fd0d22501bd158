#pragma once

// What `kestrovar simulate` shows: the table per class (text or JSON), the census CSV, and the
// chart, which gnuplot draws from a script written beside the CSV.

#include <string>

#include "tools/simulate/simulation.h"

std::string FormatTable(const SimulationSetup& setup, const SimulationResult& result);
std::string FormatJson(const SimulationSetup& setup, const SimulationResult& result);
std::string CensusCsv(const SimulationResult& result);
// A gnuplot script that draws one panel per class with a limit into `svg_path`; empty when no
// class had one.
std::string GnuplotScript(const SimulationResult& result, const std::string& svg_path);
