// Reading a scenario file: every error names the place and what was expected there.

#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <set>
#include <string_view>

#include "tools/common/files.h"
#include "tools/common/positioned_json.h"
#include "tools/common/text_bytes.h"
#include "tools/scenario/scenario.h"

namespace {

using nlohmann::json;

// A value of the scenario and where it stands in the text.
struct Node {
  const json& value;
  const ValuePlaces& places;
  TextPosition place() const { return places.at; }
};

enum class Kind { Null, Boolean, Number, String, Array, Object };

Kind KindOf(const json& value) {
  if (value.is_object()) return Kind::Object;
  if (value.is_array()) return Kind::Array;
  if (value.is_string()) return Kind::String;
  if (value.is_boolean()) return Kind::Boolean;
  if (value.is_number()) return Kind::Number;
  return Kind::Null;
}

std::string KindName(Kind kind) {
  switch (kind) {
    case Kind::Null:
      return "null";
    case Kind::Boolean:
      return "true or false";
    case Kind::Number:
      return "a number";
    case Kind::String:
      return "a string";
    case Kind::Array:
      return "an array";
    case Kind::Object:
      return "an object";
  }
  return "a value";
}

// A member of an object node: its name, where the name stands, and its value.
struct Member {
  const std::string& name;
  TextPosition place;
  Node value;
};

class ScenarioReader {
 public:
  explicit ScenarioReader(const std::string& file) : file_(file) {}

  Scenario Read(const Node& root) {
    Scenario scenario;
    Members(root, "the scenario",
            {"name", "hours", "sample_minutes", "plugin", "load_at_hours", "corpse_decay_seconds",
             "classes", "zones", "population", "actions"});
    if (const auto m = Find(root, "name")) scenario.name = String(m->value);
    if (const auto m = Find(root, "hours")) scenario.hours = Positive(m->value);
    if (const auto m = Find(root, "sample_minutes")) scenario.sample_minutes = Positive(m->value);
    if (const auto m = Find(root, "plugin")) {
      scenario.load_into_running_world =
          OneOf(m->value, {"before-world", "running-world"}) == "running-world";
    }
    if (const auto m = Find(root, "load_at_hours")) {
      if (!scenario.load_into_running_world) {
        Fail(m->place, "expected \"load_at_hours\" only with \"plugin\": \"running-world\"");
      }
      scenario.load_at_hours = NonNegative(m->value);
    }
    if (const auto m = Find(root, "corpse_decay_seconds")) {
      scenario.corpse_decay_seconds = NonNegative(m->value);
    }
    if (const auto m = Find(root, "classes")) {
      for (const Member& entry : Entries(m->value)) {
        scenario.classes[Reference(entry.name, entry.place)] = Life(entry.value);
      }
    }
    if (const auto m = Find(root, "zones")) {
      for (const Node& zone : Array(m->value)) scenario.zones.push_back(Zone(zone));
    }
    if (const auto m = Find(root, "population")) {
      for (const Node& group : Array(m->value)) {
        Members(group, "a population group", {"class", "count", "levels", "tamed"});
        scenario.population.push_back(Group(group, "a population group"));
      }
    }
    if (const auto m = Find(root, "actions")) {
      for (const Node& action : Array(m->value)) {
        scenario.actions.push_back(Action(action, scenario.hours));
      }
      std::stable_sort(
          scenario.actions.begin(), scenario.actions.end(),
          [](const ScenarioAction& a, const ScenarioAction& b) { return a.at_hours < b.at_hours; });
    }
    return scenario;
  }

 private:
  [[noreturn]] void Fail(TextPosition place, const std::string& message) const {
    throw ScenarioError(file_, place, message);
  }

  void Require(const Node& node, Kind kind) const {
    if (KindOf(node.value) != kind) {
      Fail(node.place(), "expected " + KindName(kind) + ", found " + KindName(KindOf(node.value)));
    }
  }

  // An object's members in file order; a name given twice is an error, as only one could count.
  std::vector<Member> Entries(const Node& node) const {
    Require(node, Kind::Object);
    std::vector<Member> members;
    std::set<std::string_view> seen;
    for (const MemberPlaces& member : node.places.members) {
      if (!seen.insert(member.name).second) {
        Fail(member.name_at, "member \"" + member.name + "\" given twice");
      }
      members.push_back({member.name, member.name_at, {node.value.at(member.name), member.value}});
    }
    return members;
  }

  std::optional<Member> Find(const Node& node, std::string_view name) const {
    const MemberPlaces* member = node.places.Find(name);
    if (member == nullptr) return std::nullopt;
    return Member{member->name, member->name_at, {node.value.at(member->name), member->value}};
  }

  // Every member must be one of `known`; a misspelt name is an error rather than ignored.
  void Members(const Node& value, const std::string& what,
               std::initializer_list<std::string_view> known) const {
    for (const Member& member : Entries(value)) {
      if (std::find(known.begin(), known.end(), member.name) != known.end()) continue;
      std::string list;
      for (std::string_view name : known)
        list += (list.empty() ? "\"" : ", \"") + std::string(name) + "\"";
      Fail(member.place,
           "unknown member \"" + member.name + "\" in " + what + " (expected one of " + list + ")");
    }
  }

  Member Needed(const Node& object, std::string_view name, const std::string& what) const {
    const auto member = Find(object, name);
    if (!member) Fail(object.place(), "expected a member \"" + std::string(name) + "\" in " + what);
    return *member;
  }

  std::vector<Node> Array(const Node& node) const {
    Require(node, Kind::Array);
    std::vector<Node> items;
    for (std::size_t i = 0; i < node.places.items.size(); ++i) {
      items.push_back({node.value.at(i), node.places.items[i]});
    }
    return items;
  }

  std::string String(const Node& node) const {
    Require(node, Kind::String);
    return node.value.get<std::string>();
  }

  std::string OneOf(const Node& node, std::initializer_list<std::string_view> choices) const {
    std::string list;
    for (std::string_view choice : choices) {
      list += (list.empty() ? "\"" : " or \"") + std::string(choice) + "\"";
    }
    if (node.value.is_string() &&
        std::find(choices.begin(), choices.end(), node.value.get<std::string>()) != choices.end()) {
      return node.value.get<std::string>();
    }
    Fail(node.place(), "expected " + list);
  }

  double Number(const Node& node) const {
    Require(node, Kind::Number);
    return node.value.get<double>();
  }
  double Positive(const Node& node) const {
    const double number = Number(node);
    if (!(number > 0)) Fail(node.place(), "expected a number above 0");
    return number;
  }
  double NonNegative(const Node& node) const {
    const double number = Number(node);
    if (!(number >= 0)) Fail(node.place(), "expected a number, 0 or more");
    return number;
  }
  int64_t Integer(const Node& node, int64_t low, int64_t high) const {
    const double number = Number(node);
    const bool integral = node.value.is_number_integer() || node.value.is_number_unsigned();
    if (!integral || number < static_cast<double>(low) || number > static_cast<double>(high)) {
      Fail(node.place(),
           "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    }
    return node.value.is_number_unsigned() ? static_cast<int64_t>(node.value.get<uint64_t>())
                                           : node.value.get<int64_t>();
  }
  int Count(const Node& node) const {
    return static_cast<int>(Integer(node, 0, kMostCreaturesAtOnce));
  }

  std::string Reference(const std::string& reference, TextPosition place) const {
    if (reference.empty() || reference.front() != '/') {
      Fail(place, "expected a class's reference text, such as \"/Game/Path/Name.Name_C\"");
    }
    return reference;
  }

  LevelRange Levels(const Node& node) const {
    constexpr int64_t kLow = std::numeric_limits<int32_t>::min();
    constexpr int64_t kHigh = std::numeric_limits<int32_t>::max();
    LevelRange range;
    if (node.value.is_number()) {
      range.low = range.high = static_cast<int32_t>(Integer(node, kLow, kHigh));
      return range;
    }
    if (!node.value.is_array() || node.value.size() != 2) {
      Fail(node.place(), "expected a level or a range of levels [LOWEST, HIGHEST]");
    }
    const std::vector<Node> items = Array(node);
    range.low = static_cast<int32_t>(Integer(items[0], kLow, kHigh));
    range.high = static_cast<int32_t>(Integer(items[1], kLow, kHigh));
    if (range.low > range.high)
      Fail(items[1].place(), "expected a highest level of at least " + std::to_string(range.low));
    return range;
  }

  devserver::ClassLife Life(const Node& node) const {
    Members(node, "a class's life", {"deaths_per_hour", "tame_chance"});
    devserver::ClassLife life;
    if (const auto m = Find(node, "deaths_per_hour")) life.deaths_per_hour = NonNegative(m->value);
    if (const auto m = Find(node, "tame_chance")) {
      life.tame_chance = Number(m->value);
      if (!(life.tame_chance >= 0 && life.tame_chance <= 1)) {
        Fail(m->value.place(), "expected a chance from 0 to 1");
      }
    }
    return life;
  }

  devserver::ZoneSpec Zone(const Node& node) const {
    Members(node, "a zone",
            {"name", "mix", "target", "check_seconds", "first_check_seconds", "levels"});
    devserver::ZoneSpec zone;
    if (const auto m = Find(node, "name")) zone.name = String(m->value);
    const Node mix = Needed(node, "mix", "a zone").value;
    const std::vector<Member> entries = Entries(mix);
    if (entries.empty()) Fail(mix.place(), "expected at least one class in the mix");
    for (const Member& entry : entries) {
      const double weight = Positive(entry.value);
      zone.mix.emplace_back(Reference(entry.name, entry.place), weight);
    }
    zone.target = Count(Needed(node, "target", "a zone").value);
    if (const auto m = Find(node, "check_seconds")) zone.check_seconds = Positive(m->value);
    if (const auto m = Find(node, "first_check_seconds")) {
      zone.first_check_seconds = NonNegative(m->value);
    }
    if (const auto m = Find(node, "levels")) {
      const LevelRange levels = Levels(m->value);
      zone.min_level = levels.low;
      zone.max_level = levels.high;
    }
    return zone;
  }

  PopulationGroup Group(const Node& node, const std::string& what) const {
    PopulationGroup group;
    const Node cls = Needed(node, "class", what).value;
    group.reference = Reference(String(cls), cls.place());
    if (const auto m = Find(node, "count")) group.count = Count(m->value);
    if (const auto m = Find(node, "levels")) group.levels = Levels(m->value);
    if (const auto m = Find(node, "tamed")) {
      Require(m->value, Kind::Boolean);
      group.tamed = m->value.value.get<bool>();
    }
    return group;
  }

  ScenarioAction Action(const Node& value, double hours) const {
    using ActionKind = ScenarioAction::Kind;
    Require(value, Kind::Object);
    ScenarioAction action;
    const Node at = Needed(value, "at", "an action").value;
    action.at_hours = NonNegative(at);
    if (action.at_hours > hours) {
      Fail(at.place(), "expected a time within the run (at most " + Shortest(hours) + " hours)");
    }
    const Node verb = Needed(value, "do", "an action").value;
    const std::string what = OneOf(verb, {"write", "reload", "dumpdinos", "destroywilddinos",
                                          "unload", "load", "tame", "kill", "place"});
    const std::string in = "a \"" + what + "\" action";
    if (what == "write") {
      Members(value, in, {"at", "do", "file", "text", "json"});
      action.kind = ActionKind::Write;
      const Node file = Needed(value, "file", in).value;
      action.file = String(file);
      if (action.file.empty() || action.file.find_first_of("/\\:") != std::string::npos ||
          action.file == "." || action.file == "..") {
        Fail(file.place(), "expected a plain file name in the plug-in's folder");
      }
      const auto text = Find(value, "text");
      const auto json = Find(value, "json");
      if (text.has_value() == json.has_value()) {
        Fail(value.place(),
             "expected either \"text\" (the file's content) or \"json\" (a value "
             "written as the file) in " +
                 in);
      }
      // A "json" member becomes the file's text again, compactly.
      action.text = text ? String(text->value) : json->value.value.dump();
    } else if (what == "reload" || what == "dumpdinos") {
      Members(value, in, {"at", "do", "via"});
      action.kind = what == "reload" ? ActionKind::Reload : ActionKind::Dump;
      if (const auto m = Find(value, "via")) {
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
      action.group = Group(value, in);
      Needed(value, "count", in);  // an action without a count would do nothing
    } else {
      Members(value, in, {"at", "do", "class", "count"});
      action.kind = what == "tame" ? ActionKind::Tame : ActionKind::Kill;
      action.group = Group(value, in);
      Needed(value, "count", in);
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

  const std::string& file_;
};

}  // namespace

ScenarioError::ScenarioError(const std::string& file, TextPosition at, const std::string& message)
    // The message quotes the file's bytes, which may be anything: shown safely.
    : std::runtime_error(PrintableText(file + ":" + std::to_string(at.line) + ":" +
                                       std::to_string(at.column) + ": " + message)),
      place(at) {}

Scenario ReadScenario(std::string_view text, const std::string& file) {
  if (LooksLikeUtf16(text)) {
    throw ScenarioError(file, {1, 1},
                        "the file is UTF-16 text, and scenarios are read as UTF-8; save it as "
                        "UTF-8 (in the editor's Save As, choose the encoding UTF-8)");
  }
  const PositionedDocument read = ReadPositioned(text);
  if (read.failure) {
    // The library's message without its own prefix and place: the place comes first.
    std::string message = read.failure->message;
    if (const std::size_t colon = message.find(": ");
        message.rfind("[json.exception", 0) == 0 && colon != std::string::npos) {
      message = message.substr(colon + 2);
    }
    throw ScenarioError(
        file, read.failure->missing_comma_at.value_or(read.failure->at),
        read.failure->missing_comma_at ? "expected a comma here (" + message + ")" : message);
  }
  if (read.ignored_text_at) {
    throw ScenarioError(file, *read.ignored_text_at,
                        "expected the end of the file after the value");
  }
  return ScenarioReader(file).Read({read.document, read.places});
}

Scenario ReadScenarioFile(const std::string& path) {
  return ReadScenario(ReadFileOrThrow(path, "scenario"), path);
}
