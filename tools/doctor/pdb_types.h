#pragma once

// The type records of a program database (its TPI stream), for pdb_reader.cpp: an index of where
// each record starts, and of the names of the class definitions, made in one walk when the
// database is opened; records are parsed when asked for.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/doctor/msf_file.h"
#include "tools/doctor/pdb_reader.h"

class PdbTypeRecords {
 public:
  // No stream: the database has no type records; only simple types are known.
  PdbTypeRecords() = default;
  // Reads the header and walks the records; throws MsfDamaged.
  explicit PdbTypeRecords(MsfStream stream);

  std::size_t Count() const { return offsets_.size(); }
  // These throw MsfDamaged for a damaged record; the reader turns that into kNone or nullopt.
  PdbType Type(PdbTypeIndex index) const;
  std::optional<PdbClass> FindClass(std::string_view name) const;

 private:
  struct Record {
    std::uint16_t kind = 0;
    std::string_view body;  // after the kind
  };
  Record Read(PdbTypeIndex index, std::string& scratch) const;
  std::optional<PdbTypeIndex> Definition(std::string_view name) const;
  std::uint64_t SizeOf(PdbTypeIndex index) const;
  void ReadFields(PdbTypeIndex list, PdbClass& result) const;

  std::optional<MsfStream> stream_;
  PdbTypeIndex first_ = 0x1000;
  std::vector<std::uint32_t> offsets_;  // each record's length field, in the stream
  // (hash of the name, index) of every class, struct, union and interface definition, sorted.
  std::vector<std::pair<std::size_t, PdbTypeIndex>> definitions_;
};

// What a type index below 0x1000 stands for: a built-in type, or a pointer to one.
PdbType PdbSimpleType(PdbTypeIndex index);
