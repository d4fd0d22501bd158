#include "tools/check/config_check.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>

#include "config/config_lookup.h"
#include "host/text.h"
#include "tools/check/class_keys.h"
#include "tools/common/positioned_json.h"

namespace {

using nlohmann::json;

const std::vector<std::string> kSettings = {
    config_keys::kMaxDinoCounts, config_keys::kDestroyDinosOverLevel, config_keys::kMaxDinoLevel,
    config_keys::kWriteDumpsToFile};

constexpr int32_t kNoLevel = std::numeric_limits<int32_t>::max();

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

std::string Quoted(const std::string& text) { return json(text).dump(); }

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

class Checker {
 public:
  Checker(const PositionedDocument& read, const std::string& file,
          const std::optional<std::vector<std::string>>& classes)
      : read_(read), document_(read.document), file_(file), classes_(classes) {
    for (std::size_t i = 0; i < read_.members.size(); ++i) {
      last_of_[{read_.members[i].parent, read_.members[i].name}] = static_cast<int>(i);
    }
  }

  std::vector<Finding> Run() {
    if (read_.failure) {
      Add(Severity::kError, read_.failure->at, "unreadable-json",
          "the plug-in cannot read this file: " + read_.failure->message,
          "mend the JSON at this place (no comments, no trailing commas); until then a reload "
          "fails and keeps the configuration in force");
      return std::move(findings_);
    }
    if (read_.ignored_text_at) {
      Add(Severity::kWarning, *read_.ignored_text_at, "ignored-text",
          "the plug-in stops reading after the top-level value: the text from here on is ignored",
          "remove it, or move its settings into the top-level object");
    }
    if (document_.is_object()) {
      for (std::size_t i = 0; i < read_.members.size(); ++i) {
        const MemberPlace& member = read_.members[i];
        if (member.parent != -1 || !WinsOverRepeats(static_cast<int>(i))) continue;
        CheckSetting(static_cast<int>(i));
      }
    } else {
      Add(Severity::kError, read_.top_level_at, "top-level-not-object",
          "the file holds " + TypeOf(document_) +
              ", not an object: every lookup of a setting fails (" +
              ErrorOf([&] { LookupBool(document_, config_keys::kWriteDumpsToFile, false); }) + ")",
          R"(put the settings in one object: {"Max_Dino_Counts": {...}, ...})");
    }
    std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
      return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return std::move(findings_);
  }

 private:
  void Add(Severity severity, TextPosition at, std::string code, std::string message,
           std::string fix) {
    findings_.push_back(Finding{severity, file_, at.line, at.column, std::move(code),
                                std::move(message), std::move(fix)});
  }

  // A name given again later in the same object loses to the later one; says so and returns false.
  bool WinsOverRepeats(int index) {
    const MemberPlace& member = read_.members[index];
    const int last = last_of_.at({member.parent, member.name});
    if (last == index) return true;
    Add(Severity::kWarning, member.name_at, "repeated-name",
        Quoted(member.name) + " is given again at line " +
            std::to_string(read_.members[last].name_at.line) +
            ": the later value wins and this one is ignored",
        "keep only the value you mean and remove the other");
    return false;
  }

  void CheckSetting(int index) {
    const MemberPlace& member = read_.members[index];
    const json& value = document_.at(member.name);
    if (member.name == config_keys::kMaxDinoCounts) {
      CheckLimits(index, value);
    } else if (member.name == config_keys::kMaxDinoLevel) {
      CheckLevel(member, value);
    } else if (member.name == config_keys::kDestroyDinosOverLevel) {
      CheckSwitch(member, value, "the level check of every spawn fails");
    } else if (member.name == config_keys::kWriteDumpsToFile) {
      CheckSwitch(member, value, "every kvar.dumpdinos fails to write its file");
    } else {
      const std::string closest = ClosestOf(member.name, kSettings);
      Add(Severity::kWarning, member.name_at, "unknown-setting",
          Quoted(member.name) + " is not a setting and is ignored; the closest setting is " +
              Quoted(closest),
          "rename it to " + Quoted(closest) + ", or remove it");
    }
  }

  void CheckSwitch(const MemberPlace& member, const json& value, const std::string& consequence) {
    const std::string error = ErrorOf([&] { LookupBool(document_, member.name.c_str(), false); });
    if (error.empty()) return;
    Add(Severity::kError, member.value_at, "setting-wrong-type",
        Quoted(member.name) + " is " + TypeOf(value) + ", not true or false: " + consequence +
            " (" + error + ")",
        "write true or false, without quotes");
  }

  void CheckLevel(const MemberPlace& member, const json& value) {
    bool rule_on = false;
    const std::string rule_error = ErrorOf(
        [&] { rule_on = LookupBool(document_, config_keys::kDestroyDinosOverLevel, false); });
    int32_t level = kNoLevel;
    const std::string error =
        ErrorOf([&] { level = LookupInt32(document_, config_keys::kMaxDinoLevel, kNoLevel); });
    if (!error.empty()) {
      Add(Severity::kError, member.value_at, "setting-wrong-type",
          Quoted(member.name) + " is " + TypeOf(value) +
              ", not a number: " + (rule_on ? "" : "once \"DestroyDinosOverLevel\" is true, ") +
              "the level check of every spawn fails (" + error + ")",
          "write a whole number: the lowest level to remove");
      return;
    }
    CheckNumber(value, level, member.value_at, false, Quoted(member.name));
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

  void CheckLimits(int owner, const json& limits) {
    const MemberPlace& place = read_.members[owner];
    if (!limits.is_object()) {
      Add(Severity::kError, place.value_at, "limits-not-object",
          "\"Max_Dino_Counts\" is " + TypeOf(limits) +
              ", not an object: no limit can be looked up in it and every spawn keeps its "
              "creature (" +
              ErrorOf([&] { LookupInt32(limits, "", -1); }) + ")",
          R"(write it as an object of class keys and limits: {"Blueprint'/Game/...'": 10})");
      return;
    }
    std::map<std::u16string, int, TableOrder> keys_in_table;
    for (std::size_t i = 0; i < read_.members.size(); ++i) {
      const MemberPlace& member = read_.members[i];
      if (member.parent != owner || !WinsOverRepeats(static_cast<int>(i))) continue;
      const std::string what = "the limit of " + Quoted(member.name);
      int32_t limit = -1;
      const std::string error =
          ErrorOf([&] { limit = LookupInt32(limits, member.name.c_str(), -1); });
      const json& value = limits.at(member.name);
      if (!error.empty()) {
        Add(Severity::kError, member.value_at, "limit-wrong-type",
            what + " is " + TypeOf(value) +
                ", not a number: every spawn of the class fails to read it (" + error +
                ") and keeps its creature",
            IsQuotedNumber(value)
                ? "write the number without quotes: " + value.get<std::string>()
                : "write a number: the most creatures to keep, 0 for none, -1 for no limit");
      } else {
        CheckNumber(value, limit, member.value_at, true, what);
      }
      if (!HasClassKeyForm(member.name)) {
        const bool unclosed = member.name.starts_with("Blueprint'");
        Add(Severity::kWarning, member.name_at, "not-a-class-key",
            Quoted(member.name) +
                " is not a class key (Blueprint'...'): it matches no class and its limit never "
                "applies",
            unclosed ? "close it with a quote: " + Quoted(member.name + "'")
                     : "if it names a class by its reference text, write its key instead: " +
                           Quoted(ClassKeyOfReference(member.name)));
        continue;
      }
      const auto [earlier, is_new] =
          keys_in_table.emplace(Utf16FromUtf8(member.name), static_cast<int>(i));
      if (!is_new) {
        const MemberPlace& first = read_.members[earlier->second];
        Add(Severity::kWarning, member.name_at, "keys-differ-in-case",
            Quoted(member.name) + " and " + Quoted(first.name) + " (line " +
                std::to_string(first.name_at.line) +
                ") differ only in letter case: the count table counts them as one class, while "
                "each limit applies only to its exact key",
            "keep the spelling that kvar.dumpdinos shows and remove the other");
      }
      if (classes_) CheckAgainstClasses(member);
    }
  }

  void CheckAgainstClasses(const MemberPlace& member) {
    const std::vector<std::string>& classes = *classes_;
    if (listed_.empty()) {
      for (const std::string& key : classes) listed_.emplace(Utf16FromUtf8(key), key);
    }
    const auto same = listed_.find(Utf16FromUtf8(member.name));
    if (same != listed_.end()) {
      if (same->second == member.name ||
          std::find(classes.begin(), classes.end(), member.name) != classes.end()) {
        return;
      }
      Add(Severity::kWarning, member.name_at, "class-case-mismatch",
          Quoted(member.name) + " matches the listed class " + Quoted(same->second) +
              " only when letter case is ignored: limits match exactly, so this one never applies",
          "write it as " + Quoted(same->second));
      return;
    }
    const std::string closest = ClosestOf(member.name, classes);
    Add(Severity::kWarning, member.name_at, "unknown-class",
        Quoted(member.name) + " matches no listed class, so its limit never applies" +
            (closest.empty() ? std::string() : "; the closest listed class is " + Quoted(closest)),
        closest.empty() ? "remove it, or list the server's classes"
                        : "write it as " + Quoted(closest) + " if that is the class you mean");
  }

  const PositionedDocument& read_;
  const json& document_;
  const std::string& file_;
  const std::optional<std::vector<std::string>>& classes_;
  std::map<std::pair<int, std::string>, int> last_of_;
  // The listed classes in the count table's order, first spelling kept.
  std::map<std::u16string, std::string, TableOrder> listed_;
  std::vector<Finding> findings_;
};

}  // namespace

int ExitStatusOf(const std::vector<Finding>& findings) {
  int status = 0;
  for (const Finding& finding : findings) {
    status = std::max(status, finding.severity == Severity::kError ? 2 : 1);
  }
  return status;
}

std::vector<Finding> CheckConfigText(std::string_view text, const std::string& file,
                                     const std::optional<std::vector<std::string>>& classes) {
  const PositionedDocument read = ReadPositioned(text);
  return Checker(read, file, classes).Run();
}

std::vector<Finding> CheckConfigFile(const std::string& path,
                                     const std::optional<std::string>& classes_file) {
  std::vector<Finding> findings;
  std::optional<std::vector<std::string>> classes;
  if (classes_file) {
    classes = ReadClassList(*classes_file);
    if (!classes) {
      findings.push_back(Finding{Severity::kError, *classes_file, 0, 0, "unreadable-classes",
                                 "cannot open the list of classes",
                                 "check the path given to --classes"});
    }
  }
  const std::optional<std::string> text = ReadTextAsThePluginDoes(path);
  if (!text) {
    findings.push_back(Finding{Severity::kError, path, 0, 0, "unreadable-file",
                               "cannot open the file; the plug-in would fail with \"Can't open "
                               "config.json\"",
                               "check the path, and that the server can read the file"});
    return findings;
  }
  std::vector<Finding> judged = CheckConfigText(*text, path, classes);
  findings.insert(findings.end(), std::make_move_iterator(judged.begin()),
                  std::make_move_iterator(judged.end()));
  return findings;
}
