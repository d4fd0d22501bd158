#include "tools/check/config_check.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "config/config_lookup.h"
#include "host/text.h"
#include "tools/check/class_keys.h"
#include "tools/common/ascii_case.h"
#include "tools/common/dump_lines.h"
#include "tools/common/positioned_json.h"
#include "tools/common/text_bytes.h"

namespace {

using nlohmann::json;

const std::vector<std::string> kSettings = {
    config_keys::kMaxDinoCounts, config_keys::kDestroyDinosOverLevel, config_keys::kMaxDinoLevel,
    config_keys::kWriteDumpsToFile};

constexpr int32_t kNoLevel = std::numeric_limits<int32_t>::max();
// No creature spawns below this level.
constexpr int32_t kLowestLevel = 1;

// The message of the library error that `lookup` raises, empty when it raises none.
template <typename Lookup>
std::string ErrorOf(Lookup&& lookup) {
  try {
    lookup();
  } catch (const std::exception& error) {
    return error.what();
  }
  return {};
}

// A name as JSON writes it; bytes that are not UTF-8 (from a list of classes) show as U+FFFD.
std::string Quoted(std::string_view text) {
  return json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string TypeOf(const json& value) {
  switch (value.type()) {
    case json::value_t::null:
      return "null";
    case json::value_t::array:
      return "an array";
    case json::value_t::object:
      return "an object";
    case json::value_t::string:
      return "a string";
    case json::value_t::boolean:
      return "a boolean";
    default:
      return "a number";
  }
}

bool OutsideInt32(const json& value) {
  if (value.is_number_unsigned()) {
    return value.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  }
  if (value.is_number_integer()) {
    const int64_t number = value.get<int64_t>();
    return number < std::numeric_limits<int32_t>::min() ||
           number > std::numeric_limits<int32_t>::max();
  }
  const double number = std::trunc(value.get<double>());
  return number < std::numeric_limits<int32_t>::min() ||
         number > std::numeric_limits<int32_t>::max();
}

// A string that holds nothing but a whole number, as operators write "10" for 10.
bool IsQuotedNumber(const json& value) {
  if (!value.is_string()) return false;
  const json parsed = json::parse(value.get<std::string>(), nullptr, false);
  return !parsed.is_discarded() && parsed.is_number();
}

// Orders UTF-16 keys as the count table does.
struct TableOrder {
  bool operator()(const std::u16string& left, const std::u16string& right) const {
    return CompareIgnoringCase(left, right) < 0;
  }
};

// The limit the plug-in takes from `limits` for the class key `name`, by its own conversion rules;
// the whole name counts, U+0000 included.
int32_t LimitOf(const json& limits, const std::string& name) {
  const json* value = FindMember(limits, name);
  if (!value) return -1;
  const json single = {{"limit", *value}};
  return LookupInt32(single, "limit", -1);
}

// The plug-in reads the file apart from the configuration in force: a failed reload changes
// nothing, and a load without a readable file fails.
constexpr const char* kUntilThen =
    "; until then kvar.reload fails and leaves the configuration in force unchanged, and the "
    "plug-in fails to load at the server's next start";

// Whether the reader stopped at a '/': a comment, wherever it starts (the library's "last read"
// text holds what it read of the token, after the blanks before it).
bool StoppedAtComment(const std::string& message) {
  constexpr std::string_view kLastRead = "last read: '";
  const std::size_t start = message.find(kLastRead);
  if (start == std::string::npos) return false;
  std::size_t end = message.find("'; expected", start + kLastRead.size());
  if (end == std::string::npos) end = message.rfind('\'');
  return end != std::string::npos && end > start + kLastRead.size() && message[end - 1] == '/';
}

std::string FixForUnreadable(const ReadFailure& failure) {
  const std::string& message = failure.message;
  std::string fix;
  if (StoppedAtComment(message)) {
    fix = "remove the comment: the plug-in's reader allows none";
  } else if (message.find("unexpected '}'") != std::string::npos ||
             message.find("unexpected ']'") != std::string::npos) {
    fix = "remove the comma before this place, or write the value that belongs here";
  } else if (message.find("ill-formed UTF-8 byte") != std::string::npos) {
    fix = "save the file as UTF-8: the letter here is in another encoding, such as Latin-1";
  } else if (message.find("unexpected end of input") != std::string::npos) {
    fix = "complete the file: a value or a closing bracket is missing";
  } else {
    fix = "mend the JSON at this place";
  }
  return fix + kUntilThen;
}

class Checker {
 public:
  Checker(const PositionedDocument& read, const std::string& file,
          const std::optional<std::vector<std::string>>& classes, ClassListKind kind)
      : read_(read), document_(read.document), file_(file), classes_(classes), kind_(kind) {}

  std::vector<Finding> Run() {
    if (read_.failure) {
      const ReadFailure& failure = *read_.failure;
      if (failure.missing_comma_at) {
        Add(Severity::kError, *failure.missing_comma_at, "missing-comma",
            "a comma is missing after the value that ends here, so the plug-in cannot read this "
            "file (" +
                failure.message + ")",
            std::string("put a comma here, between this value and the next") + kUntilThen);
      } else {
        Add(Severity::kError, failure.at, "unreadable-json",
            "the plug-in cannot read this file: " + failure.message, FixForUnreadable(failure));
      }
      return std::move(findings_);
    }
    if (read_.ignored_text_at) {
      Add(Severity::kWarning, *read_.ignored_text_at, "ignored-text",
          "the plug-in stops reading after the top-level value: the text from here on is ignored",
          "remove it, or move its settings into the top-level object");
    }
    if (document_.is_object()) {
      for (const MemberPlaces& member : read_.places.members) {
        if (!WinsOverRepeats(read_.places, member)) continue;
        CheckSetting(member);
      }
    } else {
      Add(Severity::kError, read_.places.at, "top-level-not-object",
          "the file holds " + TypeOf(document_) +
              ", not an object: every lookup of a setting fails (" +
              ErrorOf([&] { LookupBool(document_, config_keys::kWriteDumpsToFile, false); }) + ")",
          R"(put the settings in one object: {"Max_Dino_Counts": {...}, ...})");
    }
    std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
      return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    if (note_) findings_.push_back(std::move(*note_));
    return std::move(findings_);
  }

 private:
  void Add(Severity severity, TextPosition at, std::string code, std::string message,
           std::string fix) {
    findings_.push_back(Finding{severity, file_, at.line, at.column, std::move(code),
                                std::move(message), std::move(fix)});
  }

  // A name given again later in the same object loses to the later one; says so and returns false.
  bool WinsOverRepeats(const ValuePlaces& owner, const MemberPlaces& member) {
    // Each object's last member of each name, found once: a search per member would make a
    // file of many limits cost their count squared.
    auto [lasts, is_new] = last_of_name_.try_emplace(&owner);
    if (is_new) {
      for (const MemberPlaces& each : owner.members) lasts->second[each.name] = &each;
    }
    const MemberPlaces* last = lasts->second.at(member.name);
    if (last == &member) return true;
    Add(Severity::kWarning, member.name_at, "repeated-name",
        Quoted(member.name) + " is given again at line " + std::to_string(last->name_at.line) +
            ": the later value wins and this one is ignored",
        "keep only the value you mean and remove the other");
    return false;
  }

  void CheckSetting(const MemberPlaces& member) {
    const json& value = document_.at(member.name);
    if (member.name == config_keys::kMaxDinoCounts) {
      CheckLimits(member, value);
    } else if (member.name == config_keys::kMaxDinoLevel) {
      CheckLevel(member, value);
    } else if (member.name == config_keys::kDestroyDinosOverLevel) {
      CheckSwitch(member, value, "the level check of every spawn fails");
    } else if (member.name == config_keys::kWriteDumpsToFile) {
      CheckSwitch(member, value, "every kvar.dumpdinos fails to write its file");
    } else {
      const std::string closest =
          ClosestOf(member.name, kSettings, std::max<std::size_t>(2, member.name.size() / 4));
      if (closest.empty()) {
        Add(Severity::kWarning, member.name_at, "unknown-setting",
            Quoted(member.name) + " is not a setting and is ignored",
            "remove it; the settings are \"Max_Dino_Counts\", \"DestroyDinosOverLevel\", "
            "\"MaxDinoLevel\" and \"WriteDumpsToFile\"");
      } else {
        Add(Severity::kWarning, member.name_at, "unknown-setting",
            Quoted(member.name) + " is not a setting and is ignored; the closest setting is " +
                Quoted(closest),
            "rename it to " + Quoted(closest) + ", or remove it");
      }
    }
  }

  void CheckSwitch(const MemberPlaces& member, const json& value, const std::string& consequence) {
    const std::string error = ErrorOf([&] { LookupBool(document_, member.name.c_str(), false); });
    if (error.empty()) return;
    Add(Severity::kError, member.value.at, "setting-wrong-type",
        Quoted(member.name) + " is " + TypeOf(value) + ", not true or false: " + consequence +
            " (" + error + ")",
        "write true or false, without quotes");
  }

  void CheckLevel(const MemberPlaces& member, const json& value) {
    bool rule_on = false;
    const std::string rule_error = ErrorOf(
        [&] { rule_on = LookupBool(document_, config_keys::kDestroyDinosOverLevel, false); });
    int32_t level = kNoLevel;
    const std::string error =
        ErrorOf([&] { level = LookupInt32(document_, config_keys::kMaxDinoLevel, kNoLevel); });
    if (!error.empty()) {
      Add(Severity::kError, member.value.at, "setting-wrong-type",
          Quoted(member.name) + " is " + TypeOf(value) +
              ", not a number: " + (rule_on ? "" : "once \"DestroyDinosOverLevel\" is true, ") +
              "the level check of every spawn fails (" + error + ")",
          "write a whole number: the lowest level to remove");
      return;
    }
    CheckNumber(value, level, member.value.at, false, Quoted(member.name));
    if (rule_on && level <= kLowestLevel) {
      Add(Severity::kWarning, member.value.at, "level-rule-removes-all",
          Quoted(member.name) + " is taken as " + std::to_string(level) +
              " while \"DestroyDinosOverLevel\" is true: every creature is of level " +
              std::to_string(kLowestLevel) +
              " or more, so every new spawn of every class is removed",
          "write the lowest level to remove, above " + std::to_string(kLowestLevel) +
              ", or set \"DestroyDinosOverLevel\": false");
    }
    if (!rule_on && rule_error.empty()) {
      Add(Severity::kWarning, member.name_at, "level-rule-off",
          Quoted(member.name) + " has no effect while \"DestroyDinosOverLevel\" is " +
              (document_.contains(config_keys::kDestroyDinosOverLevel) ? "false" : "absent"),
          "set \"DestroyDinosOverLevel\": true to remove new spawns at or above this level, or "
          "remove \"MaxDinoLevel\"");
    }
  }

  // A number or boolean that the plug-in takes as `taken`: says where that differs from what the
  // file seems to say.
  void CheckNumber(const json& value, int32_t taken, TextPosition at, bool is_limit,
                   const std::string& what) {
    const std::string written = value.dump();
    const std::string as = std::to_string(taken);
    std::string code;
    std::string message;
    std::string fix;
    if (value.is_boolean()) {
      code = "number-boolean";
      message = what + " is " + written + ", which the plug-in takes as " + as;
      fix = "write the number itself: " + as;
    } else if (OutsideInt32(value)) {
      code = "number-out-of-range";
      message = what + " " + written + " is outside the signed 32-bit range and is taken as " + as;
      fix = is_limit ? "write a limit of at most 2147483647, or -1 for no limit"
                     : "write a number from -2147483648 to 2147483647";
    } else if (value.is_number_float() && value.get<double>() != std::trunc(value.get<double>())) {
      code = "number-fraction";
      message = what + " " + written + " is not a whole number and is taken as " + as;
      fix = "write a whole number: " + as;
    }
    if (is_limit && taken < -1) {
      if (code.empty()) {
        code = "limit-negative";
        message = what + " is " + written;
      } else {
        message += ",";
      }
      message += " and a negative limit other than -1 means no limit at all";
      fix = "write -1 for no limit, 0 to admit none, or the most creatures to keep";
    }
    if (!code.empty()) Add(Severity::kWarning, at, code, message, fix);
  }

  // What becomes of a spawn that has room: kept and counted, unless the level rule in force removes
  // it. The rule takes part only when both of its settings can be read and a level is set.
  std::string KeptUnlessTooHigh(const std::string& spawns) const {
    bool rule_on = false;
    int32_t level = kNoLevel;
    const std::string error = ErrorOf([&] {
      rule_on = LookupBool(document_, config_keys::kDestroyDinosOverLevel, false);
      level = LookupInt32(document_, config_keys::kMaxDinoLevel, kNoLevel);
    });
    if (!error.empty() || !rule_on || level == kNoLevel) return spawns + " are kept and counted";
    return spawns + " are kept and counted, except those of level " + std::to_string(level) +
           " or more, which the level rule removes";
  }

  void CheckLimits(const MemberPlaces& place, const json& limits) {
    if (!limits.is_object()) {
      Add(Severity::kError, place.value.at, "limits-not-object",
          "\"Max_Dino_Counts\" is " + TypeOf(limits) +
              ", not an object: no limit can be looked up in it (" +
              ErrorOf([&] { LookupInt32(limits, "", -1); }) +
              "), so no class has a limit: " + KeptUnlessTooHigh("all spawns"),
          R"(write it as an object of class keys and limits: {"Blueprint'/Game/...'": 10})");
      return;
    }
    std::map<std::u16string, const MemberPlaces*, TableOrder> keys_in_table;
    for (const MemberPlaces& member : place.value.members) {
      if (!WinsOverRepeats(place.value, member)) continue;
      const std::string what = "the limit of " + Quoted(member.name);
      int32_t limit = -1;
      const std::string error = ErrorOf([&] { limit = LimitOf(limits, member.name); });
      const json& value = limits.at(member.name);
      if (!error.empty()) {
        Add(Severity::kError, member.value.at, "limit-wrong-type",
            what + " is " + TypeOf(value) +
                ", not a number: each spawn of the class fails to read it (" + error +
                "), so the class has no limit: " + KeptUnlessTooHigh("its spawns"),
            IsQuotedNumber(value)
                ? "write the number without quotes: " + value.get<std::string>()
                : "write a number: the most creatures to keep, 0 for none, -1 for no limit");
      } else {
        CheckNumber(value, limit, member.value.at, true, what);
      }
      // The plug-in compares the whole name, U+0000 included, so the value above is judged as any
      // other; but the game names no class with U+0000 in it, so the limit matches nothing.
      if (member.name.find('\0') != std::string::npos) {
        std::string without = member.name;
        without.erase(std::remove(without.begin(), without.end(), '\0'), without.end());
        Add(Severity::kWarning, member.name_at, "not-a-class-key",
            Quoted(member.name) +
                " holds U+0000, which no class key does: it matches no class and its limit never "
                "applies",
            HasClassKeyForm(without) ? "write it as " + Quoted(without)
                                     : "remove the \\u0000 from the name");
        continue;
      }
      if (!HasClassKeyForm(member.name)) {
        const std::optional<std::string> key = DerivedClassKey(member.name);
        Add(Severity::kWarning, member.name_at, "not-a-class-key",
            Quoted(member.name) +
                " is not a class key (Blueprint'...'): it matches no class and its limit never "
                "applies",
            key ? "write it as " + Quoted(*key)
                : "write the class's key as kvar.dumpdinos lists it: Blueprint'/Game/...'");
        continue;
      }
      const auto [earlier, is_new] = keys_in_table.emplace(Utf16FromUtf8(member.name), &member);
      if (!is_new) {
        const MemberPlaces& first = *earlier->second;
        Add(Severity::kWarning, member.name_at, "keys-differ-in-case",
            Quoted(member.name) + " and " + Quoted(first.name) + " (line " +
                std::to_string(first.name_at.line) +
                ") differ only in letter case: the count table counts them as one class, while "
                "each limit applies only to its exact key",
            "keep the spelling that kvar.dumpdinos shows and remove the other");
      }
      if (classes_) {
        CheckAgainstClasses(member);
      } else {
        CheckKeyItself(member);
      }
    }
    if (!classes_ && !place.value.members.empty()) {
      // After the file's findings: it is about the check, not a place in the file.
      note_ = Finding{Severity::kNote,
                      file_,
                      place.name_at.line,
                      place.name_at.column,
                      "classes-not-checked",
                      "the class keys were not checked against the server's classes",
                      "give the server's log or a dump file with --classes to check them"};
    }
  }

  // Mistakes that show in a key itself, with or without a list of classes; the fix names the
  // class the key means (a listed one when there is a list). Returns whether there was one.
  bool CheckKeyItself(const MemberPlaces& member) {
    const std::string& key = member.name;
    if (key.ends_with("_C'")) {
      const std::string meant = Meant(key.substr(0, key.size() - 3) + "'");
      // Against a list, say when even the corrected key is not in it.
      std::string unlisted;
      if (classes_ && !IsListed(meant)) {
        unlisted =
            kind_ == ClassListKind::kAllClasses
                ? "; that key is not listed either, nor any class close to it"
                : "; that key is not in the dump either (its class may not have spawned yet)";
      }
      Add(Severity::kWarning, member.name_at, "key-ends-in-c",
          Quoted(key) +
              " ends in _C': a class key leaves out the last two characters of the class's "
              "reference text, so this key matches no class and its limit never applies" +
              unlisted,
          "write it as " + Quoted(meant));
      return true;
    }
    const std::string_view object = ObjectNameOf(key);
    const std::string_view asset = AssetNameOf(key);
    if (!object.empty() && object != asset && EqualIgnoringAsciiCase(object, asset)) {
      std::string fixed = key;
      fixed.replace(fixed.size() - 1 - object.size(), object.size(), asset);
      Add(Severity::kWarning, member.name_at, "object-name-case",
          Quoted(key) + ": the object name " + Quoted(object) + " differs from its asset's name " +
              Quoted(asset) +
              " only in letter case: limits match exactly, so this one most likely never applies",
          "write it as " + Quoted(Meant(fixed)));
      return true;
    }
    return false;
  }

  // The listed classes, looked up by exact key and with letter case ignored, and the index of their
  // names for near misses: made once per file, so that each limit costs no walk over the list.
  struct Listed {
    explicit Listed(const std::vector<std::string>& classes) : near(classes) {
      for (const std::string& key : classes) {
        exact.insert(key);
        folded.emplace(Utf16FromUtf8(key), key);
      }
    }
    std::unordered_set<std::string> exact;
    // In the count table's order, first spelling kept.
    std::map<std::u16string, std::string, TableOrder> folded;
    ClassKeyIndex near;
  };

  Listed& ListedClasses() {
    if (!listed_) listed_.emplace(*classes_);
    return *listed_;
  }

  // Whether the list holds the key as it is, or as a dump writes it.
  bool IsListed(const std::string& key) {
    const Listed& listed = ListedClasses();
    if (listed.exact.contains(key)) return true;
    if (kind_ != ClassListKind::kMetSoFar) return false;
    const std::string written = DumpForm(key);
    return written != key && listed.exact.contains(written);
  }

  // The class a corrected key means: the key itself without a list of classes or when listed, else
  // the listed class it matches with letter case ignored, or the closest; the key when none is.
  std::string Meant(const std::string& key) {
    if (!classes_ || IsListed(key)) return key;
    Listed& listed = ListedClasses();
    if (const auto same = listed.folded.find(Utf16FromUtf8(key)); same != listed.folded.end()) {
      return same->second;
    }
    const std::string closest = listed.near.Closest(key);
    return closest.empty() ? key : closest;
  }

  void CheckAgainstClasses(const MemberPlaces& member) {
    if (IsListed(member.name)) return;
    Listed& listed = ListedClasses();
    const auto same = listed.folded.find(Utf16FromUtf8(member.name));
    if (same != listed.folded.end()) {
      Add(Severity::kWarning, member.name_at, "class-case-mismatch",
          Quoted(member.name) + " matches the listed class " + Quoted(same->second) +
              " only when letter case is ignored: limits match exactly, so this one never applies",
          "write it as " + Quoted(same->second));
      return;
    }
    // A key that shows its own mistake never applies, whatever the list holds.
    if (CheckKeyItself(member)) return;
    const std::string closest = listed.near.Closest(member.name);
    if (kind_ == ClassListKind::kAllClasses) {
      Add(Severity::kWarning, member.name_at, "unknown-class",
          Quoted(member.name) + " matches no listed class, so its limit never applies" +
              (closest.empty() ? std::string()
                               : "; the closest listed class is " + Quoted(closest)),
          closest.empty() ? "remove it, or list the server's classes"
                          : "write it as " + Quoted(closest) + " if that is the class you mean");
      return;
    }
    // A dump holds only the classes the plug-in has met: a class missing from it may spawn later,
    // and its limit then applies.
    if (!closest.empty()) {
      Add(Severity::kWarning, member.name_at, "unknown-class",
          Quoted(member.name) + " is not in the dump, and the dump's class " + Quoted(closest) +
              " is very close to it: if that is the class you mean, this limit never applies",
          "write it as " + Quoted(closest) +
              " if that is the class you mean; keep it if it names a class that has not spawned "
              "yet");
      return;
    }
    Add(Severity::kNote, member.name_at, "class-not-in-dump",
        Quoted(member.name) +
            " is not in the dump: a dump lists only the classes the plug-in has met since the "
            "world came up or it was loaded, and this limit applies once the class spawns",
        "nothing to do if the key was copied from a dump or from the game; to be sure, dump "
        "again once the class has spawned");
  }

  const PositionedDocument& read_;
  const json& document_;
  const std::string& file_;
  const std::optional<std::vector<std::string>>& classes_;
  ClassListKind kind_;
  std::optional<Listed> listed_;
  std::unordered_map<const ValuePlaces*, std::unordered_map<std::string_view, const MemberPlaces*>>
      last_of_name_;
  std::vector<Finding> findings_;
  std::optional<Finding> note_;
};

}  // namespace

int ExitStatusOf(const std::vector<Finding>& findings) {
  int status = 0;
  for (const Finding& finding : findings) {
    if (finding.unusable_input) return 2;
    if (finding.severity != Severity::kNote) status = 1;
  }
  return status;
}

std::vector<Finding> CheckConfigText(std::string_view text, const std::string& file,
                                     const std::optional<std::vector<std::string>>& classes,
                                     ClassListKind kind) {
  const PositionedDocument read = ReadPositioned(text);
  if (read.failure && LooksLikeUtf16(text)) {
    return {Finding{Severity::kError, file, 0, 0, "utf16-text",
                    "the file is UTF-16 text, and the plug-in reads only UTF-8: it cannot read "
                    "this file (" +
                        read.failure->message + ")",
                    "save it as UTF-8 (in the editor's Save As, choose the encoding UTF-8)"}};
  }
  // Reported line by line, a program or an image would fill the screen: refused as a whole. The
  // plug-in reads a good object followed by such bytes, and so does the check.
  if (read.failure && LooksLikeBinary(text)) {
    return {Finding{Severity::kError, file, 0, 0, "not-text",
                    "the file is not text (it holds bytes that a text file does not, as a program "
                    "or an image does): it is no configuration, and the plug-in cannot read it",
                    "give the path of the config.json", true}};
  }
  return Checker(read, file, classes, kind).Run();
}

std::vector<Finding> ReadClassesForCheck(const std::string& path,
                                         std::optional<ServerClasses>& classes) {
  constexpr const char* kGiveAList =
      "give --classes the server's log, a dump file, or a file of class keys, one a line";
  std::vector<Finding> findings;
  std::string why;
  std::optional<ClassList> list = ReadClassList(path, &why);
  if (list && list->unusable == ClassList::Unusable::kUtf16) {
    findings.push_back(Finding{Severity::kError, path, 0, 0, "unreadable-classes",
                               "cannot read the list of classes: it is UTF-16 text",
                               "save it as UTF-8 (in the editor's Save As, choose the encoding "
                               "UTF-8), then check again",
                               true});
    return findings;
  }
  if (list && list->unusable == ClassList::Unusable::kNotText) {
    findings.push_back(Finding{Severity::kError, path, 0, 0, "unreadable-classes",
                               "cannot read the list of classes: it is not a log, dump or class "
                               "list, its lines are not text",
                               kGiveAList, true});
    return findings;
  }
  if (!list) {
    findings.push_back(Finding{Severity::kError, path, 0, 0, "unreadable-classes",
                               "cannot read the list of classes: " + why, kGiveAList, true});
    return findings;
  }
  // Quoted in part: a line may be long.
  constexpr std::size_t kQuotedCharacters = 100;
  for (const UnreadLine& line : list->unread) {
    const std::string quoted = Quoted(Shortened(line.text, kQuotedCharacters));
    if (line.cut_short) {
      findings.push_back(Finding{Severity::kWarning, path, line.line, 1, "unread-class-line",
                                 "this dump line breaks off before its count, and names no "
                                 "class: " +
                                     quoted,
                                 "take the dump again, or complete the line"});
      continue;
    }
    findings.push_back(Finding{Severity::kWarning, path, line.line, 1, "unread-class-line",
                               "this line is neither a class key, a reference text, a dump line "
                               "nor an entry of the server's log, and names no class: " +
                                   quoted,
                               "correct it, or start it with # to mark it as a comment"});
  }
  if (list->keys.empty()) {
    findings.push_back(Finding{Severity::kError, path, 0, 0, "no-classes",
                               "the list of classes names no class, so limits cannot be matched "
                               "against it",
                               "give the server's log after a kvar.dumpdinos, or a dump file",
                               true});
    return findings;
  }
  classes = ServerClasses{std::move(list->keys),
                          list->from_dump ? ClassListKind::kMetSoFar : ClassListKind::kAllClasses};
  return findings;
}

std::vector<Finding> CheckConfigFile(const std::string& path,
                                     const std::optional<std::vector<std::string>>& classes,
                                     ClassListKind kind) {
  std::string why;
  const std::optional<std::string> text = ReadTextAsThePluginDoes(path, &why);
  if (!text) {
    return {Finding{
        Severity::kError, path, 0, 0, "unreadable-file",
        "cannot read the file: " + why + "; the plug-in would fail with \"Can't open config.json\"",
        "check the path, and that the server can read the file", true}};
  }
  return CheckConfigText(*text, path, classes, kind);
}
