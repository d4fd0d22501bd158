#pragma once

// `simulate --from-dump`: the world of a dump file (DinoDumpLog_*.txt), each dumped class kept at
// its dumped population by spawn zones of its own, so that the plug-in's first load shows what it
// would remove on the server that wrote the dump.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/scenario/scenario.h"

// A file that is no dump at all; what() says why.
class NotADump : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DumpedClass {
  std::string key;
  std::string reference;
  int count = 0;
};

struct DumpWorld {
  std::vector<DumpedClass> classes;  // in the dump's order
  std::vector<std::string> keys;     // every key of the census, as written, left-out ones too
  std::vector<std::string> notes;    // keys and lines that could not be used, and why
  int left_out = 0;                  // dumped classes whose key names no class
};

// The reference text of the class whose key this is ("Blueprint'/Game/A/B.B'" ->
// "/Game/A/B.B_C"), or empty with `why` set when the key cannot be turned back into a class.
std::optional<std::string> ReferenceOfClassKey(std::string_view key, std::string* why = nullptr);

// The classes of a dump's text, or of the server's log (its last census, read as `report` reads
// it); `file` names it in notes and errors. Throws NotADump when the text holds no census or is
// UTF-16 text, unless it is empty and `file` has a dump's name: an empty world.
DumpWorld ReadDumpWorld(std::string_view text, const std::string& file);

// The scenario's world becomes the dump's: its classes, zones and population are replaced, and its
// actions on a class that the dump does not hold are dropped. Returns the notes that say what was
// kept, dropped and assumed.
std::vector<std::string> PutDumpWorld(Scenario& scenario, const DumpWorld& world);
