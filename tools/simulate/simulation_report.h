#pragma once

// What `kestrovar simulate` shows: the table per class (text or JSON), the census CSV, and the
// chart, which gnuplot draws from a script written beside the CSV.

#include <string>

#include "tools/simulate/simulation.h"

// The table fits in 100 columns with short class names and their keys below it; `wide` puts the
// full keys in the table instead.
std::string FormatTable(const SimulationSetup& setup, const SimulationResult& result,
                        bool wide = false);
std::string FormatJson(const SimulationSetup& setup, const SimulationResult& result);
std::string CensusCsv(const SimulationResult& result);
// A gnuplot script that draws one panel per class with a limit into `svg_name`, a path relative
// to the folder gnuplot runs in (the script's own); empty when no class had one.
std::string GnuplotScript(const SimulationResult& result, const std::string& svg_name);
