#include "tools/report/report_command.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tools/check/print_findings.h"
#include "tools/common/ascii_case.h"
#include "tools/common/chart.h"
#include "tools/common/config_in_force.h"
#include "tools/common/exit_codes.h"
#include "tools/common/files.h"
#include "tools/common/output.h"
#include "tools/common/own_files.h"
#include "tools/common/text_bytes.h"
#include "tools/report/census_reader.h"
#include "tools/report/report_folder.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kTableWidth = 100;
// An unlimited class this large a share of the last census is worth a look.
constexpr double kBigShare = 0.05;
constexpr std::size_t kBigClassesNamed = 5;
// The most points a chart's panel has: about one per pixel of its width.
constexpr std::size_t kChartStretches = 900;

struct ClassRow {
  uint32_t id = 0;
  std::string key;  // as shown: the log's letters where the log gave them
  std::optional<int32_t> limit;
  std::string limit_key;  // the configuration's key that gave the limit
  uint32_t last = 0;
  uint32_t lowest = 0;
  uint32_t highest = 0;
  std::size_t at_limit = 0;  // censuses at or above the limit
};

struct LimitNotMet {
  std::string key;
  int32_t limit = 0;
};

struct Report {
  CensusHistory history;
  std::string config_name;  // empty without --config
  std::vector<ClassRow> limited;
  std::vector<ClassRow> unlimited;  // largest first
  std::vector<LimitNotMet> not_met;
  std::vector<std::string> notes;
  std::size_t files = 0;
};

std::string Percent(std::size_t part, std::size_t whole) {
  if (whole == 0) return "-";
  const double share = 100.0 * static_cast<double>(part) / static_cast<double>(whole);
  if (part > 0 && share < 1) return "<1%";
  if (part < whole && share > 99) return ">99%";
  return fmt::format("{:.0f}%", share);
}

std::string Span(LocalSeconds seconds) {
  if (seconds >= 2 * 86400) return fmt::format("{:.1f} days", static_cast<double>(seconds) / 86400);
  if (seconds >= 2 * 3600) return fmt::format("{:.1f} hours", static_cast<double>(seconds) / 3600);
  if (seconds >= 120) return fmt::format("{} minutes", seconds / 60);
  return fmt::format("{} second{}", seconds, seconds == 1 ? "" : "s");
}

// Counts per class over every census; a class missing from a census had none then.
void Gather(Report& report, const ConfigInForce* config) {
  CensusHistory& history = report.history;
  const std::size_t keys = history.keys.size();
  std::vector<ClassRow> rows(keys);
  std::vector<std::size_t> present(keys, 0);
  std::vector<bool> met(keys, false);
  for (uint32_t id = 0; id < keys; ++id) {
    rows[id].id = id;
    rows[id].key = history.shown[id];
    rows[id].lowest = UINT32_MAX;
  }
  // The limits, matched to the keys read: a log's key as it is, a dump's by its dump form. The
  // whole keys go first, so that a log's classes that a dump writes alike keep their own limits.
  if (config != nullptr) {
    std::vector<std::pair<std::string, int32_t>> by_form;
    for (const auto& [key, value] : config->limits) {
      if (value < 0) continue;
      const auto found = history.index.find(key);
      if (found == history.index.end() || rows[found->second].limit) {
        by_form.emplace_back(key, value);
        continue;
      }
      rows[found->second].limit = value;
      rows[found->second].limit_key = key;
    }
    for (const auto& [key, value] : by_form) {
      const auto found = history.index.find(DumpForm(key));
      if (found == history.index.end()) {
        report.not_met.push_back({key, value});
        continue;
      }
      ClassRow& row = rows[found->second];
      if (row.limit) {
        report.notes.push_back(fmt::format(
            "\"{}\" and \"{}\" both stand for the dump's \"{}\": a dump file writes each byte of a "
            "letter outside ASCII as \"?\", so the report cannot tell them apart and uses {}",
            PrintableText(row.limit_key), PrintableText(key), history.keys[found->second],
            PrintableText(row.limit_key)));
        continue;
      }
      row.limit = value;
      row.limit_key = key;
    }
  }
  // The running figures go on from the censuses tallied before, unless the limits changed.
  std::vector<int64_t> limits(keys, -1);
  for (uint32_t id = 0; id < keys; ++id) {
    if (rows[id].limit) limits[id] = *rows[id].limit;
  }
  if (!std::equal(history.tally_limits.begin(), history.tally_limits.end(), limits.begin(),
                  limits.begin() + static_cast<std::ptrdiff_t>(
                                       std::min(limits.size(), history.tally_limits.size()))) ||
      std::any_of(limits.begin() + static_cast<std::ptrdiff_t>(
                                       std::min(limits.size(), history.tally_limits.size())),
                  limits.end(), [](int64_t limit) { return limit >= 0; })) {
    history.tally.clear();
    history.tallied = 0;
  }
  history.tally_limits = limits;
  history.tally.resize(keys);
  for (std::size_t i = history.tallied; i < history.censuses.size(); ++i) {
    for (const ClassCount& count : history.censuses[i].counts) {
      CensusHistory::ClassTally& tally = history.tally[count.key];
      ++tally.present;
      tally.lowest = std::min(tally.lowest, count.count);
      tally.highest = std::max(tally.highest, count.count);
      if (limits[count.key] >= 0 && count.count >= limits[count.key]) ++tally.at_limit;
    }
  }
  history.tallied = history.censuses.size();
  for (uint32_t id = 0; id < keys; ++id) {
    const CensusHistory::ClassTally& tally = history.tally[id];
    met[id] = tally.present > 0;
    present[id] = tally.present;
    rows[id].lowest = tally.lowest;
    rows[id].highest = tally.highest;
    rows[id].at_limit = tally.at_limit;
  }
  const std::size_t censuses = history.censuses.size();
  if (!history.censuses.empty()) {
    for (const ClassCount& count : history.censuses.back().counts)
      rows[count.key].last = count.count;
  }
  for (ClassRow& row : rows) {
    if (!met[row.id]) {
      // Read only from a file judged to be no dump: no census holds it.
      if (row.limit) report.not_met.push_back({row.limit_key, *row.limit});
      continue;
    }
    if (present[row.id] < censuses) {
      row.lowest = 0;
      if (row.limit && *row.limit == 0) row.at_limit += censuses - present[row.id];
    }
    (row.limit ? report.limited : report.unlimited).push_back(row);
  }
  std::sort(report.limited.begin(), report.limited.end(),
            [](const ClassRow& a, const ClassRow& b) { return a.key < b.key; });
  std::sort(report.unlimited.begin(), report.unlimited.end(),
            [](const ClassRow& a, const ClassRow& b) {
              return a.last != b.last         ? a.last > b.last
                     : a.highest != b.highest ? a.highest > b.highest
                                              : a.key < b.key;
            });
  std::sort(report.not_met.begin(), report.not_met.end(),
            [](const LimitNotMet& a, const LimitNotMet& b) { return a.key < b.key; });
}

// A limit whose key differs from a dumped key in letter case only never applies: the plug-in
// matches the configuration's keys exactly.
void FindCaseMistakes(Report& report) {
  std::vector<LimitNotMet> still;
  for (const LimitNotMet& limit : report.not_met) {
    const std::string form = DumpForm(limit.key);
    std::string dumped;
    for (const std::string& key : report.history.keys) {
      if (EqualIgnoringAsciiCase(key, limit.key) || EqualIgnoringAsciiCase(key, form)) {
        dumped = key;
        break;
      }
    }
    if (dumped.empty()) {
      still.push_back(limit);
      continue;
    }
    report.history.findings.push_back(Finding{
        Severity::kWarning, report.config_name, 0, 0, "limit-letter-case",
        fmt::format("the limit of \"{}\" never applies: the dumps name the class \"{}\", and the "
                    "plug-in matches keys with their letter case",
                    limit.key, dumped),
        fmt::format("write the key as the dump does: \"{}\"", dumped)});
  }
  report.not_met = std::move(still);
}

void WriteNotes(Report& report, const std::map<std::string, std::string>& names) {
  const std::size_t censuses = report.history.censuses.size();
  const auto name = [&](const ClassRow& row) { return names.at(row.key); };
  for (const auto& [file, count] : report.history.shared_files) {
    report.notes.push_back(fmt::format(
        "{} holds {} censuses (a class comes again): a file not named as a dump may hold "
        "several; each is counted, at the file's time",
        PrintableText(file), count));
  }
  for (const auto& [id, met] : report.history.alike) {
    std::string whole;
    for (const std::string& key : met) {
      if (key == report.history.keys[id]) continue;
      whole += fmt::format("{}\"{}\"", whole.empty() ? "" : ", ", PrintableText(key));
    }
    report.notes.push_back(fmt::format(
        "\"{}\" is more than one class{}: a dump writes each byte of a letter outside ASCII as "
        "\"?\", so their counts are summed under this key",
        PrintableText(report.history.keys[id]), whole.empty() ? "" : " (" + whole + ")"));
  }
  for (const ClassRow& row : report.limited) {
    if (row.limit_key != report.history.keys[row.id] &&
        row.limit_key != report.history.shown[row.id]) {
      report.notes.push_back(fmt::format(
          "{}: the limit's key \"{}\" is matched to the dump's \"{}\": a dump file writes each "
          "byte "
          "of a letter outside ASCII as \"?\"",
          name(row), PrintableText(row.limit_key), PrintableText(report.history.keys[row.id])));
    }
  }
  for (const ClassRow& row : report.limited) {
    if (row.at_limit == censuses && *row.limit > 0) {
      report.notes.push_back(fmt::format(
          "{}: at its limit ({}) in every census: raise the limit, or expect starvation: tamed "
          "creatures stay counted, so a class held at its limit may have no wild creature left",
          name(row), *row.limit));
    } else if (row.highest < static_cast<uint32_t>(*row.limit)) {
      report.notes.push_back(fmt::format("{}: never reached its limit ({}); at most {}", name(row),
                                         *row.limit, row.highest));
    }
  }
  if (!report.not_met.empty()) {
    report.notes.push_back(fmt::format(
        "{} limit(s) not met yet: no census holds their class. The plug-in counts a class once a "
        "creature of it is met; keep them unless the key is mistyped (kestrovar check --classes "
        "with a dump compares the keys)",
        report.not_met.size()));
  }
  if (!report.history.censuses.empty()) {
    uint64_t total = 0;
    for (const ClassCount& count : report.history.censuses.back().counts) total += count.count;
    std::size_t named = 0;
    for (const ClassRow& row : report.unlimited) {
      if (named == kBigClassesNamed || total == 0 ||
          static_cast<double>(row.last) < kBigShare * static_cast<double>(total)) {
        break;
      }
      ++named;
      report.notes.push_back(
          fmt::format("{}: no limit, {} in the last census ({} of all counted creatures)",
                      name(row), row.last, Percent(row.last, static_cast<std::size_t>(total))));
    }
  }
}

std::map<std::string, std::string> Names(const Report& report, bool wide) {
  std::vector<std::string> keys;
  for (const ClassRow& row : report.limited) keys.push_back(row.key);
  for (const ClassRow& row : report.unlimited) keys.push_back(row.key);
  std::map<std::string, std::string> names = ShortClassNames(keys, wide);
  for (auto& [key, name] : names) name = PrintableText(name);
  return names;
}

std::string Header(const Report& report) {
  const CensusHistory& history = report.history;
  std::string out;
  if (history.censuses.empty()) return "no census\n";
  const LocalSeconds first = history.censuses.front().time;
  const LocalSeconds last = history.censuses.back().time;
  out += fmt::format("{} census{} from {} file{}, {} to {} ({})\n", history.censuses.size(),
                     history.censuses.size() == 1 ? "" : "es", report.files,
                     report.files == 1 ? "" : "s", LocalTimeText(first), LocalTimeText(last),
                     Span(last - first));
  if (report.config_name.empty()) {
    out += "limits: none given (--config FILE holds the counts against a configuration)\n";
  } else {
    out += fmt::format("limits: {}, {} met, {} not met yet\n", PrintableText(report.config_name),
                       report.limited.size(), report.not_met.size());
  }
  return out;
}

std::string Table(const Report& report, const std::map<std::string, std::string>& names,
                  bool wide) {
  std::size_t name_width = 5;
  for (const auto& [key, name] : names) name_width = std::max(name_width, name.size());
  // limit, last, lowest, highest: 8 columns each; at limit: 9.
  const std::size_t others = 4 * 8 + 9;
  if (!wide) name_width = std::min(name_width, kTableWidth - others);
  const auto cell = [&](const std::string& name) {
    return name.size() > name_width ? Shortened(name, name_width - 3) : name;
  };
  std::string out;
  out += fmt::format("{:<{}}{:>8}{:>8}{:>8}{:>8}{:>9}\n", "class", name_width, "limit", "last",
                     "lowest", "highest", "at limit");
  for (const ClassRow& row : report.limited) {
    out += fmt::format("{:<{}}{:>8}{:>8}{:>8}{:>8}{:>9}\n", cell(names.at(row.key)), name_width,
                       *row.limit, row.last, row.lowest, row.highest,
                       Percent(row.at_limit, report.history.censuses.size()));
  }
  if (!report.unlimited.empty()) {
    out += report.limited.empty() ? "" : "\n";
    out += "without a limit, largest first:\n";
    for (const ClassRow& row : report.unlimited) {
      out += fmt::format("{:<{}}{:>8}{:>8}{:>8}{:>8}{:>9}\n", cell(names.at(row.key)), name_width,
                         "-", row.last, row.lowest, row.highest, "-");
    }
  }
  if (!report.not_met.empty()) {
    out += "\nlimits not met yet (no census holds their class; keep them):\n";
    for (const LimitNotMet& limit : report.not_met) {
      out += fmt::format("  {} {}\n", PrintableText(limit.key), limit.limit);
    }
  }
  if (!wide) {
    std::string legend;
    std::size_t width = 0;
    for (const auto& [key, name] : names) width = std::max(width, name.size());
    for (const auto& [key, name] : names) {
      if (name != PrintableText(key)) {
        legend += fmt::format("  {:<{}}  {}\n", name, width, PrintableText(key));
      }
    }
    if (!legend.empty()) out += "\nkeys:\n" + legend;
  }
  return out;
}

// A note in lines of at most 100 columns where its words allow: "  " before the first, "    "
// before the others.
std::string Wrapped(const std::string& text) {
  std::string out = "  ";
  std::size_t column = 2;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::string_view word(text.data() + at, end - at);
    if (column > 4 && column + 1 + word.size() > kTableWidth) {
      out += "\n    ";
      column = 4;
    } else if (at > 0) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    at = end + 1;
  }
  return out + "\n";
}

std::string NotesText(const Report& report) {
  std::string out;
  if (report.notes.empty()) return out;
  out += "\nnotes:\n";
  for (const std::string& note : report.notes) out += Wrapped(note);
  return out;
}

std::string FindingsText(const Report& report) {
  if (report.history.findings.empty()) return {};
  std::ostringstream out;
  out << "\nfindings:\n";
  PrintFindings(report.history.findings, FindingsFormat::kText, out);
  return out.str();
}

std::string Json(const Report& report, const std::map<std::string, std::string>& names,
                 const std::vector<std::string>& files) {
  using Json = nlohmann::ordered_json;
  const CensusHistory& history = report.history;
  Json doc;
  doc["censuses"] = history.censuses.size();
  doc["files"] = report.files;
  doc["first"] =
      history.censuses.empty() ? Json() : Json(LocalTimeText(history.censuses.front().time, 'T'));
  doc["last"] =
      history.censuses.empty() ? Json() : Json(LocalTimeText(history.censuses.back().time, 'T'));
  doc["config"] = report.config_name.empty() ? Json() : Json(report.config_name);
  const std::size_t censuses = history.censuses.size();
  const auto row_json = [&](const ClassRow& row) {
    Json entry = {{"key", row.key},
                  {"name", names.at(row.key)},
                  {"dump_key", history.keys[row.id]},
                  {"limit", row.limit ? Json(*row.limit) : Json()},
                  {"last", row.last},
                  {"lowest", row.lowest},
                  {"highest", row.highest},
                  {"at_limit", row.limit ? Json(censuses == 0 ? 0.0
                                                              : static_cast<double>(row.at_limit) /
                                                                    static_cast<double>(censuses))
                                         : Json()}};
    return entry;
  };
  doc["classes"] = Json::array();
  for (const ClassRow& row : report.limited) doc["classes"].push_back(row_json(row));
  for (const ClassRow& row : report.unlimited) doc["classes"].push_back(row_json(row));
  doc["not_met_yet"] = Json::array();
  for (const LimitNotMet& limit : report.not_met) {
    doc["not_met_yet"].push_back({{"key", limit.key}, {"limit", limit.limit}});
  }
  doc["notes"] = report.notes;
  std::ostringstream findings;
  PrintFindings(history.findings, FindingsFormat::kJson, findings);
  doc["findings"] = Json::parse(findings.str());
  doc["files_written"] = files;
  return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

// The limit column of each class, by key id.
std::vector<std::string> CsvLimits(const Report& report) {
  std::vector<std::string> limits(report.history.keys.size());
  for (const ClassRow& row : report.limited) limits[row.id] = std::to_string(*row.limit);
  return limits;
}

// The rows of the limits that no census holds, as "KEY,LIMIT".
std::vector<std::string> CsvNotMet(const Report& report) {
  std::vector<std::string> rows;
  for (const LimitNotMet& limit : report.not_met) {
    rows.push_back(CsvField(limit.key) + "," + std::to_string(limit.limit));
  }
  return rows;
}

// The CSV, written a piece at a time: a year of censuses is over a gigabyte. From census `from`
// on, after the rows written before (no header then). A class known from the limits or from an
// earlier census has a row in each census, with 0 when the census does not hold it (an empty
// world's census too), so that a graph of the rows never keeps an old count. `known` carries the
// classes known after the rows written before, and is brought up to date.
void WriteCsv(const Report& report, ReportFileWriter& file, std::size_t from,
              std::vector<bool>& known) {
  const CensusHistory& history = report.history;
  const std::vector<std::string> limits = CsvLimits(report);
  const std::vector<std::string> not_met = CsvNotMet(report);
  std::vector<std::string> keys(history.keys.size());
  for (std::size_t id = 0; id < keys.size(); ++id) keys[id] = CsvField(history.shown[id]);
  if (from == 0) known.clear();
  known.resize(keys.size(), false);
  for (std::size_t id = 0; id < keys.size(); ++id) {
    if (!limits[id].empty()) known[id] = true;
  }
  std::vector<std::size_t> held(keys.size(), SIZE_MAX);  // per key: the last census holding it
  std::string out = from == 0 ? "time,key,count,limit\n" : "";
  for (std::size_t i = from; i < history.censuses.size(); ++i) {
    const Census& census = history.censuses[i];
    const std::string time = LocalTimeText(census.time, 'T');
    const auto row = [&](const std::string& key, uint32_t count, const std::string& limit) {
      out += time;
      out += ',';
      out += key;
      out += ',';
      out += std::to_string(count);
      out += ',';
      out += limit;
      out += '\n';
    };
    for (const ClassCount& count : census.counts) {
      row(keys[count.key], count.count, limits[count.key]);
      held[count.key] = i;
    }
    for (std::size_t id = 0; id < keys.size(); ++id) {
      if (known[id] && held[id] != i) row(keys[id], 0, limits[id]);
    }
    for (const std::string& limit : not_met) {
      out += time + ',' + limit.substr(0, limit.rfind(',')) + ",0," +
             limit.substr(limit.rfind(',') + 1) + '\n';
    }
    for (const ClassCount& count : census.counts) known[count.key] = true;
    if (out.size() > (1 << 20)) {
      file.Append(out);
      out.clear();
    }
  }
  file.Append(out);
  file.Finish();
}

// A panel per limited class: the limit as a wide pale band, the count over the server's time.
std::string Gnuplot(const Report& report, const std::map<std::string, std::string>& names,
                    const std::string& svg_name) {
  if (report.limited.empty() || report.history.censuses.empty()) return {};
  const CensusHistory& history = report.history;
  constexpr double kPanelHeight = 270;
  constexpr double kTop = 60;
  constexpr double kBottom = 30;
  const std::size_t panels = report.limited.size();
  const double height = kTop + kPanelHeight * static_cast<double>(panels) + kBottom;
  const auto screen = [&](double from_top) { return 1.0 - from_top / height; };
  std::string out;
  std::vector<std::string> series(history.keys.size());
  std::vector<int> panel_of(history.keys.size(), -1);
  for (std::size_t i = 0; i < panels; ++i) panel_of[report.limited[i].id] = static_cast<int>(i);
  // At most kChartStretches points a panel: a year of ten-minute censuses would make a chart of a
  // quarter of a gigabyte. Each point then covers a stretch of censuses, drawn from its lowest to
  // its highest count.
  const std::size_t censuses = history.censuses.size();
  const std::size_t stretches = std::min(censuses, kChartStretches);
  const bool ranges = stretches < censuses;
  std::vector<uint32_t> counts(history.keys.size());
  std::vector<uint32_t> lowest(history.keys.size());
  std::vector<uint32_t> highest(history.keys.size());
  for (std::size_t stretch = 0; stretch < stretches; ++stretch) {
    const std::size_t from = stretch * censuses / stretches;
    const std::size_t to = (stretch + 1) * censuses / stretches;
    std::fill(lowest.begin(), lowest.end(), UINT32_MAX);
    std::fill(highest.begin(), highest.end(), 0);
    for (std::size_t i = from; i < to; ++i) {
      std::fill(counts.begin(), counts.end(), 0);
      for (const ClassCount& count : history.censuses[i].counts) counts[count.key] = count.count;
      for (const ClassRow& row : report.limited) {
        lowest[row.id] = std::min(lowest[row.id], counts[row.id]);
        highest[row.id] = std::max(highest[row.id], counts[row.id]);
      }
    }
    const std::string time = LocalTimeText(history.censuses[from].time, 'T');
    for (const ClassRow& row : report.limited) {
      series[row.id] +=
          fmt::format("{} {} {} {}\n", time, lowest[row.id], highest[row.id], *row.limit);
    }
  }
  for (std::size_t i = 0; i < panels; ++i) {
    out += fmt::format("$class{} << EOD\n{}EOD\n", i, series[report.limited[i].id]);
  }
  out += fmt::format(
      "set terminal svg size 1000,{} dynamic noenhanced background rgb 'white' font 'sans,11'\n",
      height);
  out += "set output " + GnuplotString(svg_name) + "\n";
  out += "set multiplot\n";
  out += fmt::format(
      "set label 1 \"Each limited class's count in the plug-in's censuses, and its limit, by the "
      "server's time\" at screen 0.5, screen {:.4f} center font 'sans,12'\n",
      screen(18));
  out += "set lmargin at screen 0.07\nset rmargin at screen 0.97\n";
  out += "set grid\nset ylabel 'creatures'\nset xdata time\n";
  const LocalSeconds first = history.censuses.front().time;
  const LocalSeconds last = std::max(history.censuses.back().time, first + 60);
  // Seconds show on a run of minutes; the date on a run of days.
  out += std::string("set timefmt '%Y-%m-%dT%H:%M:%S'\nset format x \"") +
         (last - first < 2 * 3600     ? "%H:%M:%S"
          : last - first < 60 * 86400 ? "%m-%d\\n%H:%M"
                                      : "%Y-%m-%d") +
         "\"\n";
  out +=
      fmt::format("set xrange ['{}':'{}']\n", LocalTimeText(first, 'T'), LocalTimeText(last, 'T'));
  for (std::size_t i = 0; i < panels; ++i) {
    const ClassRow& row = report.limited[i];
    const double block = kTop + kPanelHeight * static_cast<double>(i);
    out += fmt::format("set tmargin at screen {:.4f}\nset bmargin at screen {:.4f}\n",
                       screen(block + 32), screen(block + kPanelHeight - 56));
    const int64_t top = std::max<int64_t>({row.highest, *row.limit, 1});
    const int64_t step = std::max<int64_t>(1, (top + 4) / 5);
    const int64_t y_top = (top / step + 1) * step;
    out += fmt::format("set yrange [{:g}:{}]\nset ytics 0,{}\n", -0.04 * static_cast<double>(y_top),
                       y_top, step);
    out += "set title " + GnuplotString(names.at(row.key)) + "\n";
    if (i == 0) {
      out += fmt::format("set key horizontal at screen 0.5, screen {:.4f} center center\n",
                         screen(42));
    } else {
      out += "unset key\nunset label\n";
    }
    out += i + 1 == panels ? "set xlabel \"the server's local time\"\n" : "unset xlabel\n";
    out +=
        fmt::format("plot $class{0} using 1:4 with steps lw 7 lc rgb '#f4a6a6' title 'limit', ", i);
    out += ranges ? fmt::format(
                        "$class{0} using 1:2:3 with filledcurves fs solid 0.6 noborder lc rgb "
                        "'#1b7837' title \"the censuses' count, lowest to highest in each stretch "
                        "of {1} censuses\"\n",
                        i, (censuses + stretches - 1) / stretches)
                  : fmt::format(
                        "$class{0} using 1:2 with steps lw 2 lc rgb '#1b7837' title \"the "
                        "census's count\"\n",
                        i);
  }
  out += "unset multiplot\n";
  return out;
}

}  // namespace

CLI::App* AddReportCommand(CLI::App& app, ReportOptions& options) {
  CLI::App* report = app.add_subcommand(
      "report",
      "Read the plug-in's censuses (kvar.dumpdinos: its dump files, folders of them, or the "
      "server's log) and show, per class, its limit, last count, lowest, highest and the share of "
      "censuses at the limit, with notes on what to look at. Exit code: 0 all well, 1 findings "
      "(lines or files that are no dump, limits that never apply), 2 unusable input, 64 bad "
      "usage.");
  report->allow_windows_style_options(false);
  report
      ->add_option("DUMPS", options.inputs,
                   "Dump files (DinoDumpLog_dd-mm-YYYY_HH-MM-SS.txt), folders of them (the "
                   "plug-in's or the server's folder stands for its DinoDumpLogs), or server logs")
      ->required();
  report->add_option("--config", options.config,
                     "The configuration to hold the counts against, read as the plug-in reads it");
  report->add_option("--out", options.out_dir,
                     "Also write report.txt, census.csv (time,key,count,limit) and the chart "
                     "population.svg there (a new folder, or one holding earlier reports' files)");
  report->add_option("--format", options.format, "text (default) or json")
      ->check(CLI::IsMember({"text", "json"}));
  report->add_flag("--wide", options.wide, "Full class keys in the table, however wide it gets");
  return report;
}

namespace {

int RunReportOrThrow(const ReportOptions& options, std::ostream& out) {
  Report report;
  std::optional<ConfigInForce> config;
  if (options.config) {
    std::string why;
    const std::optional<std::string> text =
        ReadWholeFile(*options.config, &why, LineEnds::kAsTextStream);
    if (!text) {
      PrintError("kestrovar report: cannot read the configuration " + *options.config + ": " + why);
      return kExitUnusableInput;
    }
    config = ReadConfigInForce(*text);
    if (!config->readable) {
      PrintError("kestrovar report: the plug-in cannot read the configuration " + *options.config +
                 ": it is not one JSON object. Run kestrovar check " + *options.config +
                 " to see where.");
      return kExitUnusableInput;
    }
    report.config_name = *options.config;
  }
  // A history lent by `watch` is moved in and given back as it was, with its tallies brought up
  // to date: no copy of a long history at each census.
  struct GiveBack {
    CensusHistory* lent;
    CensusHistory& history;
    std::size_t findings;
    ~GiveBack() {
      if (lent == nullptr) return;
      history.findings.resize(findings);
      *lent = std::move(history);
    }
  } give_back{options.history, report.history,
              options.history != nullptr ? options.history->findings.size() : 0};
  if (options.history != nullptr) {
    report.history = std::move(*options.history);
  } else {
    for (const std::string& input : options.inputs) ReadCensusInput(input, report.history);
  }
  report.history.SortByTime();
  {
    std::vector<bool> counted(report.history.sources.size(), false);
    for (const Census& census : report.history.censuses) counted[census.source] = true;
    report.files = static_cast<std::size_t>(std::count(counted.begin(), counted.end(), true));
  }
  const bool unusable = std::any_of(report.history.findings.begin(), report.history.findings.end(),
                                    [](const Finding& finding) { return finding.unusable_input; });
  if (report.history.censuses.empty()) {
    std::ostringstream findings;
    PrintFindings(report.history.findings, FindingsFormat::kText, findings);
    std::string text = findings.str();
    if (!report.history.findings.empty()) std::cerr << text;
    PrintError(
        "kestrovar report: no census was read: give the plug-in's dump files, a folder of "
        "them or the server's log");
    return kExitUnusableInput;
  }
  Gather(report, config ? &*config : nullptr);
  FindCaseMistakes(report);
  const std::map<std::string, std::string> names = Names(report, options.wide);
  WriteNotes(report, names);

  const std::string text = Header(report) + "\n" + Table(report, names, options.wide) +
                           NotesText(report) + FindingsText(report);
  std::vector<std::string> written;
  std::string files;
  if (options.out_dir) {
    const fs::path dir(*options.out_dir);
    try {
      // `watch`'s census.csv takes only the new censuses' rows while it is as the last report
      // wrote it (its size and time of change: hashing it whole at each census would cost as
      // much as writing it) and the limits and the order of the censuses are as they were.
      CsvWritten* const csv_before = options.csv_written;
      const std::vector<std::string> csv_limits = CsvLimits(report);
      const std::vector<std::string> csv_not_met = CsvNotMet(report);
      std::error_code unknown;
      const bool append =
          csv_before != nullptr && csv_before->censuses > 0 && csv_before->not_met == csv_not_met &&
          csv_before->known.size() <= csv_limits.size() &&
          csv_before->censuses <= report.history.censuses.size() &&
          csv_before->reorders == report.history.reorders &&
          std::equal(csv_before->limits.begin(), csv_before->limits.end(), csv_limits.begin(),
                     csv_limits.begin() + static_cast<std::ptrdiff_t>(std::min(
                                              csv_limits.size(), csv_before->limits.size()))) &&
          std::all_of(csv_limits.begin() + static_cast<std::ptrdiff_t>(std::min(
                                               csv_limits.size(), csv_before->limits.size())),
                      csv_limits.end(), [](const std::string& limit) { return limit.empty(); }) &&
          fs::file_size(dir / "census.csv", unknown) == csv_before->size && !unknown &&
          fs::last_write_time(dir / "census.csv", unknown) == csv_before->changed && !unknown;
      std::map<std::string, WrittenFile> known;
      if (append) known["census.csv"] = WrittenFile{csv_before->size, csv_before->hash};
      PrepareReportFolder(dir, known);
      WriteReportFile(dir, "report.txt", text);
      written.push_back("report.txt");
      ReportFileWriter csv = append ? ReportFileWriter(dir, "census.csv", known["census.csv"])
                                    : ReportFileWriter(dir, "census.csv");
      std::vector<bool> csv_known;
      if (append) csv_known = csv_before->known;
      WriteCsv(report, csv, append ? csv_before->censuses : 0, csv_known);
      written.push_back("census.csv");
      if (csv_before != nullptr) {
        csv_before->censuses = report.history.censuses.size();
        csv_before->reorders = report.history.reorders;
        csv_before->limits = csv_limits;
        csv_before->not_met = csv_not_met;
        csv_before->known = std::move(csv_known);
        csv_before->size = csv.written().size;
        csv_before->hash = csv.written().hash;
        csv_before->changed = fs::last_write_time(dir / "census.csv", unknown);
        if (unknown) csv_before->censuses = 0;
      }
      files += "census: " + (dir / "census.csv").generic_string() + "\n";
      // An earlier report's chart would pass for this one's when this one is not drawn: it goes
      // first (PrepareReportFolder found it as a report wrote it).
      std::error_code ignored;
      fs::remove(dir / "population.svg", ignored);
      const std::string plot = Gnuplot(report, names, "population.svg");
      if (plot.empty()) {
        fs::remove(dir / "population.gp", ignored);
        files += "chart: not drawn, no class had a limit\n";
      } else {
        WriteReportFile(dir, "population.gp", plot);
        written.push_back("population.gp");
        files += DrawChart(dir / "population.gp", dir / "population.svg") + "\n";
        if (fs::exists(dir / "population.svg")) {
          RecordReportFile(dir, "population.svg");
          written.push_back("population.svg");
        }
      }
    } catch (const std::exception& error) {
      out << (options.format == "json" ? "" : text);
      PrintFailure("kestrovar report: ", error);
      return kExitUnusableInput;
    }
  }
  if (options.format == "json") {
    std::vector<std::string> paths;
    for (const std::string& name : written)
      paths.push_back((fs::path(*options.out_dir) / name).generic_string());
    out << Json(report, names, paths);
    // What was drawn and what was not, beside the JSON as simulate does.
    if (!files.empty()) std::cerr << files;
  } else {
    out << text << (files.empty() ? "" : "\n" + files);
  }
  out.flush();
  const int status = ExitStatusOf(report.history.findings);
  return unusable ? kExitUnusableInput : status;
}

}  // namespace

int RunReport(const ReportOptions& options, std::ostream& out) {
  try {
    return RunReportOrThrow(options, out);
  } catch (const std::exception& error) {
    PrintFailure("kestrovar report: ", error);
    return kExitUnusableInput;
  }
}
