#include "tools/common/chart.h"

#include <cstdlib>

namespace fs = std::filesystem;

std::map<std::string, std::string> ShortClassNames(const std::vector<std::string>& keys,
                                                   bool wide) {
  std::map<std::string, std::vector<std::string>> elements;
  for (const std::string& key : keys) {
    std::string path = key;
    if (path.rfind("Blueprint'", 0) == 0) path = path.substr(10);
    if (!path.empty() && path.back() == '\'') path.pop_back();
    std::vector<std::string>& parts = elements[key];
    if (!parts.empty()) continue;
    std::size_t start = 0;
    while (start <= path.size()) {
      std::size_t end = path.find('/', start);
      if (end == std::string::npos) end = path.size();
      if (end > start) parts.push_back(path.substr(start, end - start));
      start = end + 1;
    }
    if (parts.empty()) parts.push_back(key);
    std::string& last = parts.back();
    const std::size_t dot = last.find('.');
    if (dot != std::string::npos && last.substr(dot + 1) == last.substr(0, dot)) last.resize(dot);
  }
  std::map<std::string, std::string> names;
  for (const auto& [key, parts] : elements) names[key] = wide ? key : parts.back();
  if (wide) return names;
  for (std::size_t depth = 2;; ++depth) {
    std::map<std::string, int> uses;
    for (const auto& [key, name] : names) ++uses[name];
    bool clash = false;
    for (auto& [key, name] : names) {
      if (uses[name] < 2) continue;
      const auto& parts = elements[key];
      if (depth > parts.size()) {
        name = key;
        continue;
      }
      clash = true;
      name.clear();
      for (std::size_t i = parts.size() - depth; i < parts.size(); ++i) {
        name += (name.empty() ? "" : "/") + parts[i];
      }
    }
    if (!clash) return names;
  }
}

std::string GnuplotString(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

namespace {

#if defined(_WIN32)
constexpr const char* kQuiet = " >NUL 2>&1";
// cmd's cd changes the drive only with /d.
constexpr const char* kChangeFolder = "cd /d ";
constexpr const char* kInstallGnuplot =
    "Install gnuplot for Windows (gnuplot.info) with its bin folder on PATH";
#else
constexpr const char* kQuiet = " >/dev/null 2>&1";
constexpr const char* kChangeFolder = "cd ";
constexpr const char* kInstallGnuplot = "Install it (Debian: apt-get install gnuplot-nox)";
#endif

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A folder as a gnuplot string in single quotes (a quote doubled).
std::string GnuplotFolder(const fs::path& dir) {
  std::string text = "'";
  for (const char c : dir.generic_string())
    text += c == '\'' ? std::string("''") : std::string(1, c);
  return text + "'";
}

}  // namespace

std::string DrawChart(const fs::path& script, const fs::path& svg) {
  const std::string by_hand = kChangeFolder +
                              Quoted(script.parent_path().make_preferred().string()) +
                              " && gnuplot " + script.filename().string();
  if (std::system((std::string("gnuplot --version") + kQuiet).c_str()) != 0) {
    return std::string("chart: not drawn, gnuplot was not found. ") + kInstallGnuplot +
           " and run: " + by_hand;
  }
  const fs::path absolute = fs::absolute(script);
  const std::string command = "gnuplot -e " +
                              Quoted("cd " + GnuplotFolder(absolute.parent_path())) + " " +
                              Quoted(absolute.generic_string());
  if (std::system((command + kQuiet).c_str()) != 0 || !fs::exists(svg)) {
    // What a failed gnuplot left is no chart.
    std::error_code ignored;
    fs::remove(svg, ignored);
    return "chart: gnuplot failed on " + script.generic_string() +
           "; run it by hand to see why: " + by_hand;
  }
  return "chart: " + svg.generic_string();
}
