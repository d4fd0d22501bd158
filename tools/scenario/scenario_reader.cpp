// Reading a scenario file: every error names the place and what was expected there.

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <string_view>

#include "tools/scenario/located_json.h"
#include "tools/scenario/scenario.h"

namespace {

using Kind = LocatedJson::Kind;

class ScenarioReader {
 public:
  explicit ScenarioReader(const std::string& file) : file_(file) {}

  Scenario Read(const LocatedJson& root) {
    Scenario scenario;
    Members(root, "the scenario",
            {"name", "hours", "sample_minutes", "plugin", "load_at_hours", "corpse_decay_seconds",
             "classes", "zones", "population", "actions"});
    if (const auto* m = root.Find("name")) scenario.name = String(m->value);
    if (const auto* m = root.Find("hours")) scenario.hours = Positive(m->value);
    if (const auto* m = root.Find("sample_minutes")) scenario.sample_minutes = Positive(m->value);
    if (const auto* m = root.Find("plugin")) {
      scenario.load_into_running_world =
          OneOf(m->value, {"before-world", "running-world"}) == "running-world";
    }
    if (const auto* m = root.Find("load_at_hours")) {
      if (!scenario.load_into_running_world) {
        Fail(m->place, "expected \"load_at_hours\" only with \"plugin\": \"running-world\"");
      }
      scenario.load_at_hours = NonNegative(m->value);
    }
    if (const auto* m = root.Find("corpse_decay_seconds")) {
      scenario.corpse_decay_seconds = NonNegative(m->value);
    }
    if (const auto* m = root.Find("classes")) {
      Require(m->value, Kind::Object);
      for (const auto& entry : m->value.members) {
        scenario.classes[Reference(entry.name, entry.place)] = Life(entry.value);
      }
    }
    if (const auto* m = root.Find("zones")) {
      for (const LocatedJson& zone : Array(m->value)) scenario.zones.push_back(Zone(zone));
    }
    if (const auto* m = root.Find("population")) {
      for (const LocatedJson& group : Array(m->value)) {
        Members(group, "a population group", {"class", "count", "levels", "tamed"});
        scenario.population.push_back(Group(group));
      }
    }
    if (const auto* m = root.Find("actions")) {
      for (const LocatedJson& action : Array(m->value)) {
        scenario.actions.push_back(Action(action, scenario.hours));
      }
      std::stable_sort(
          scenario.actions.begin(), scenario.actions.end(),
          [](const ScenarioAction& a, const ScenarioAction& b) { return a.at_hours < b.at_hours; });
    }
    return scenario;
  }

 private:
  [[noreturn]] void Fail(TextPlace place, const std::string& message) const {
    throw LocatedError(file_, place, message);
  }

  void Require(const LocatedJson& value, Kind kind) const {
    if (value.kind != kind) {
      Fail(value.place, "expected " + KindName(kind) + ", found " + KindName(value.kind));
    }
  }

  // Every member must be one of `known`; a misspelt name is an error rather than ignored.
  void Members(const LocatedJson& value, const std::string& what,
               std::initializer_list<std::string_view> known) const {
    Require(value, Kind::Object);
    for (const auto& member : value.members) {
      if (std::find(known.begin(), known.end(), member.name) != known.end()) continue;
      std::string list;
      for (std::string_view name : known)
        list += (list.empty() ? "\"" : ", \"") + std::string(name) + "\"";
      Fail(member.place,
           "unknown member \"" + member.name + "\" in " + what + " (expected one of " + list + ")");
    }
  }

  const LocatedJson::Member& Needed(const LocatedJson& object, std::string_view name,
                                    const std::string& what) const {
    const auto* member = object.Find(name);
    if (member == nullptr) {
      Fail(object.place, "expected a member \"" + std::string(name) + "\" in " + what);
    }
    return *member;
  }

  const std::vector<LocatedJson>& Array(const LocatedJson& value) const {
    Require(value, Kind::Array);
    return value.items;
  }

  std::string String(const LocatedJson& value) const {
    Require(value, Kind::String);
    return value.text;
  }

  std::string OneOf(const LocatedJson& value,
                    std::initializer_list<std::string_view> choices) const {
    std::string list;
    for (std::string_view choice : choices) {
      list += (list.empty() ? "\"" : " or \"") + std::string(choice) + "\"";
    }
    if (value.kind == Kind::String &&
        std::find(choices.begin(), choices.end(), value.text) != choices.end()) {
      return value.text;
    }
    Fail(value.place, "expected " + list);
  }

  double Number(const LocatedJson& value) const {
    Require(value, Kind::Number);
    return value.number;
  }
  double Positive(const LocatedJson& value) const {
    const double number = Number(value);
    if (!(number > 0)) Fail(value.place, "expected a number above 0");
    return number;
  }
  double NonNegative(const LocatedJson& value) const {
    const double number = Number(value);
    if (!(number >= 0)) Fail(value.place, "expected a number, 0 or more");
    return number;
  }
  int64_t Integer(const LocatedJson& value, int64_t low, int64_t high) const {
    const double number = Number(value);
    if (!value.integral || number < static_cast<double>(low) ||
        number > static_cast<double>(high)) {
      Fail(value.place,
           "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    }
    return static_cast<int64_t>(number);
  }
  int Count(const LocatedJson& value) const { return static_cast<int>(Integer(value, 0, 1000000)); }

  std::string Reference(const std::string& reference, TextPlace place) const {
    if (reference.empty() || reference.front() != '/') {
      Fail(place, "expected a class's reference text, such as \"/Game/Path/Name.Name_C\"");
    }
    return reference;
  }

  LevelRange Levels(const LocatedJson& value) const {
    constexpr int64_t kLow = std::numeric_limits<int32_t>::min();
    constexpr int64_t kHigh = std::numeric_limits<int32_t>::max();
    LevelRange range;
    if (value.kind == Kind::Number) {
      range.low = range.high = static_cast<int32_t>(Integer(value, kLow, kHigh));
      return range;
    }
    if (value.kind != Kind::Array || value.items.size() != 2) {
      Fail(value.place, "expected a level or a range of levels [LOWEST, HIGHEST]");
    }
    range.low = static_cast<int32_t>(Integer(value.items[0], kLow, kHigh));
    range.high = static_cast<int32_t>(Integer(value.items[1], kLow, kHigh));
    if (range.low > range.high)
      Fail(value.items[1].place,
           "expected a highest level of at least " + std::to_string(range.low));
    return range;
  }

  devserver::ClassLife Life(const LocatedJson& value) const {
    Members(value, "a class's life", {"deaths_per_hour", "tame_chance"});
    devserver::ClassLife life;
    if (const auto* m = value.Find("deaths_per_hour")) life.deaths_per_hour = NonNegative(m->value);
    if (const auto* m = value.Find("tame_chance")) {
      life.tame_chance = Number(m->value);
      if (!(life.tame_chance >= 0 && life.tame_chance <= 1)) {
        Fail(m->value.place, "expected a chance from 0 to 1");
      }
    }
    return life;
  }

  devserver::ZoneSpec Zone(const LocatedJson& value) const {
    Members(value, "a zone",
            {"name", "mix", "target", "check_seconds", "first_check_seconds", "levels"});
    devserver::ZoneSpec zone;
    if (const auto* m = value.Find("name")) zone.name = String(m->value);
    const auto& mix = Needed(value, "mix", "a zone").value;
    Require(mix, Kind::Object);
    if (mix.members.empty()) Fail(mix.place, "expected at least one class in the mix");
    for (const auto& entry : mix.members) {
      const double weight = Positive(entry.value);
      zone.mix.emplace_back(Reference(entry.name, entry.place), weight);
    }
    zone.target = Count(Needed(value, "target", "a zone").value);
    if (const auto* m = value.Find("check_seconds")) zone.check_seconds = Positive(m->value);
    if (const auto* m = value.Find("first_check_seconds")) {
      zone.first_check_seconds = NonNegative(m->value);
    }
    if (const auto* m = value.Find("levels")) {
      const LevelRange levels = Levels(m->value);
      zone.min_level = levels.low;
      zone.max_level = levels.high;
    }
    return zone;
  }

  PopulationGroup Group(const LocatedJson& value) const {
    PopulationGroup group;
    const auto& cls = Needed(value, "class", "this entry").value;
    group.reference = Reference(String(cls), cls.place);
    if (const auto* m = value.Find("count")) group.count = Count(m->value);
    if (const auto* m = value.Find("levels")) group.levels = Levels(m->value);
    if (const auto* m = value.Find("tamed")) {
      Require(m->value, Kind::Boolean);
      group.tamed = m->value.boolean;
    }
    return group;
  }

  ScenarioAction Action(const LocatedJson& value, double hours) const {
    using ActionKind = ScenarioAction::Kind;
    Require(value, Kind::Object);
    ScenarioAction action;
    const auto& at = Needed(value, "at", "an action").value;
    action.at_hours = NonNegative(at);
    if (action.at_hours > hours) {
      Fail(at.place, "expected a time within the run (at most " + Shortest(hours) + " hours)");
    }
    const auto& verb = Needed(value, "do", "an action").value;
    const std::string what = OneOf(verb, {"write", "reload", "dumpdinos", "destroywilddinos",
                                          "unload", "load", "tame", "kill", "place"});
    const std::string in = "a \"" + what + "\" action";
    if (what == "write") {
      Members(value, in, {"at", "do", "file", "text", "json"});
      action.kind = ActionKind::Write;
      const auto& file = Needed(value, "file", in).value;
      action.file = String(file);
      if (action.file.empty() || action.file.find_first_of("/\\:") != std::string::npos ||
          action.file == "." || action.file == "..") {
        Fail(file.place, "expected a plain file name in the plug-in's folder");
      }
      const auto* text = value.Find("text");
      const auto* json = value.Find("json");
      if ((text == nullptr) == (json == nullptr)) {
        Fail(value.place,
             "expected either \"text\" (the file's content) or \"json\" (a value "
             "written as the file) in " +
                 in);
      }
      action.text = text != nullptr ? String(text->value) : Rewrite(*json);
    } else if (what == "reload" || what == "dumpdinos") {
      Members(value, in, {"at", "do", "via"});
      action.kind = what == "reload" ? ActionKind::Reload : ActionKind::Dump;
      if (const auto* m = value.Find("via")) {
        action.via =
            OneOf(m->value, {"console", "rcon"}) == "console" ? Channel::Console : Channel::Rcon;
      }
    } else if (what == "destroywilddinos" || what == "unload" || what == "load") {
      Members(value, in, {"at", "do"});
      action.kind = what == "unload" ? ActionKind::Unload
                    : what == "load" ? ActionKind::Load
                                     : ActionKind::DestroyWildDinos;
    } else if (what == "place") {
      Members(value, in, {"at", "do", "class", "count", "levels", "tamed"});
      action.kind = ActionKind::Place;
      action.group = Group(value);
    } else {
      Members(value, in, {"at", "do", "class", "count"});
      action.kind = what == "tame" ? ActionKind::Tame : ActionKind::Kill;
      action.group = Group(value);
    }
    return action;
  }

  static std::string Shortest(double number) {
    std::string text = std::to_string(number);
    while (text.find('.') != std::string::npos && (text.back() == '0' || text.back() == '.')) {
      const bool dot = text.back() == '.';
      text.pop_back();
      if (dot) break;
    }
    return text;
  }

  // A "json" member becomes the file's text again, compactly.
  static std::string Rewrite(const LocatedJson::Member& member) {
    std::string out;
    const std::function<void(const LocatedJson&)> write = [&](const LocatedJson& value) {
      switch (value.kind) {
        case Kind::Null:
          out += "null";
          break;
        case Kind::Boolean:
          out += value.boolean ? "true" : "false";
          break;
        case Kind::Number:
          out += value.integral ? std::to_string(static_cast<int64_t>(value.number))
                                : Shortest(value.number);
          break;
        case Kind::String:
          Quote(out, value.text);
          break;
        case Kind::Array:
          out += '[';
          for (std::size_t i = 0; i < value.items.size(); ++i) {
            if (i > 0) out += ", ";
            write(value.items[i]);
          }
          out += ']';
          break;
        case Kind::Object:
          out += '{';
          for (std::size_t i = 0; i < value.members.size(); ++i) {
            if (i > 0) out += ", ";
            Quote(out, value.members[i].name);
            out += ": ";
            write(value.members[i].value);
          }
          out += '}';
          break;
      }
    };
    write(member.value);
    return out;
  }

  static void Quote(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
      } else if (static_cast<unsigned char>(c) < 0x20) {
        static const char* hex = "0123456789abcdef";
        out += "\\u00";
        out += hex[(c >> 4) & 0xF];
        out += hex[c & 0xF];
      } else {
        out += c;
      }
    }
    out += '"';
  }

  const std::string& file_;
};

}  // namespace

Scenario ReadScenario(std::string_view text, const std::string& file) {
  return ScenarioReader(file).Read(ReadLocatedJson(text, file));
}

Scenario ReadScenarioFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read the scenario " + path);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return ReadScenario(text, path);
}
