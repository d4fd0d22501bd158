#pragma once

// What the commands that draw charts share: class keys shortened for tables and panels, gnuplot
// strings, CSV fields, and gnuplot run on a script written beside its chart.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// A class's name for a table: the last element of its key's path ("Strider_Character" for
// ".../Strider_Character.Strider_Character"), with as many elements before it as it takes to tell
// it from the others. The full key with `wide`.
std::map<std::string, std::string> ShortClassNames(const std::vector<std::string>& keys, bool wide);

// A text as a gnuplot string in double quotes.
std::string GnuplotString(std::string_view text);

// A CSV field, quoted when it holds a comma, a quote or a line end.
std::string CsvField(std::string_view text);

// Runs gnuplot on `script` in the script's folder (the script names its output relative to it);
// without gnuplot, the script stays for later. Returns what to tell the operator: "chart: PATH",
// or why it was not drawn and how to draw it by hand.
std::string DrawChart(const std::filesystem::path& script, const std::filesystem::path& svg);
