#pragma once

// A reader of a program database (.pdb, MSF 7.00), as `kestrovar doctor` reads the one beside the
// server's program: its public symbols and the layouts of its classes. Every offset is checked
// before it is read, so a damaged or cut-short file gives a reason, never a read outside its bytes;
// nothing here throws for any input. A file is mapped rather than read, and only the streams the
// reader needs are touched (the directory, the DBI header, the publics and symbol records, the
// types), so a database of a gigabyte opens in bounded memory.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using PdbTypeIndex = std::uint32_t;

struct PdbType {
  enum class Kind {
    kNone /* index 0 or unreadable */,
    kVoid,
    kBool,
    kCharacter,
    kInteger,
    kFloatingPoint,
    kPointer,
    kLValueReference,
    kRValueReference,
    kClass /* class, struct, union, interface */,
    kEnum,
    kArray,
    kModifier /* const/volatile wrapper */,
    kProcedure,
    kMemberFunction,
    kOther
  };
  Kind kind = Kind::kNone;
  // Classes, enums: as the database spells them; builtins: "int", "unsigned __int64", "float".
  std::string name;
  std::uint64_t size = 0;  // bytes (builtins, pointers, classes, arrays); 0 where unknown
  bool is_signed = false;  // integers, characters, enums' underlying type
  // kModifier; also a pointer's own qualifiers (`T* const`).
  bool is_const = false, is_volatile = false;
  bool forward_reference = false;  // kClass/kEnum declared only
  // Pointer/reference pointee, modifier's type, array element, enum's underlying type, a
  // function's result.
  PdbTypeIndex target = 0;
  std::uint64_t element_count = 0;  // kArray, where known
};

struct PdbField {
  std::string name;
  std::uint64_t offset = 0;
  PdbTypeIndex type = 0;
};

struct PdbClass {
  std::string name;
  std::uint64_t size = 0;
  std::vector<PdbField> fields;     // the class's own data members, in order (not static ones)
  std::vector<PdbTypeIndex> bases;  // direct base classes (their type indices, which may be
                                    // forward references)
  PdbTypeIndex index = 0;           // the definition's own type index
  // Empty when the whole field list was read; otherwise why it stops early (`fields` and `bases`
  // then hold what came before), so that a damaged class is never taken for a smaller one.
  std::string problem;
};

// Which build of the program the database belongs to (the PDB info stream): a program's debug
// directory names the same signature GUID and age.
struct PdbIdentity {
  std::uint32_t version = 0;    // 20000404 for the databases of today's linkers
  std::uint32_t signature = 0;  // a time stamp
  std::uint32_t age = 0;
  std::array<std::uint8_t, 16> guid{};
};

class PdbReader {
 public:
  virtual ~PdbReader() = default;
  // Every public symbol's decorated name, and whether it is code (S_PUB32 flags), in stream order.
  virtual void ForEachPublic(
      const std::function<void(std::string_view name, bool is_function)>& visit) const = 0;
  // The full definition of the class, struct or union named exactly `name` (a forward reference
  // is followed to its definition); nullopt when the database has none.
  virtual std::optional<PdbClass> FindClass(std::string_view name) const = 0;
  // What a type index stands for (simple types below 0x1000 included); kNone for an index it
  // cannot read.
  virtual PdbType Type(PdbTypeIndex index) const = 0;
  // Not pure, so that a stand-in reader of a test need not give them.
  virtual PdbIdentity Identity() const { return {}; }
  // How many public symbols, and how many type records, the database holds.
  virtual std::size_t PublicCount() const { return 0; }
  virtual std::size_t TypeCount() const { return 0; }
};

struct PdbOpenResult {
  std::unique_ptr<PdbReader> reader;
  // Why there is none: "it is empty", "it is cut short: ...", "it is no program database: ...".
  std::string problem;
  bool not_pdb = false;  // the bytes are no program database at all, rather than a damaged one
};

// Maps the file; reads only the streams it needs.
PdbOpenResult OpenPdbFile(const std::filesystem::path& path);
// Bytes held by the caller (tests, fuzzing), who keeps them alive as long as the reader.
PdbOpenResult ReadPdbBytes(std::string_view bytes);
