// Fuzz target for the doctor's program database reader, which reads whatever an operator's server
// folder holds beside the server's program: any bytes give a reader or a reason, never a read
// outside them, and a reader answers every question (publics, types, classes) without reading
// outside them, hanging or growing without bound.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/doctor/pdb_reader.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const PdbOpenResult read = ReadPdbBytes(bytes);
  Check((read.reader != nullptr) != !read.problem.empty());
  if (!read.reader) return 0;
  const PdbReader& reader = *read.reader;
  std::size_t publics = 0;
  reader.ForEachPublic([&](std::string_view name, bool) {
    Check(name.size() < size);
    ++publics;
  });
  Check(publics == reader.PublicCount());
  // Every type, and the class of every class's name; a bounded number, for inputs of many.
  const std::size_t count = reader.TypeCount() < 4096 ? reader.TypeCount() : 4096;
  for (PdbTypeIndex index = 0; index < 0x1000 + count + 1; ++index) {
    const PdbType type = reader.Type(index);
    if (type.kind != PdbType::Kind::kClass) continue;
    const std::optional<PdbClass> found = reader.FindClass(type.name);
    if (!type.forward_reference) Check(found.has_value());
    if (found) {
      Check(found->name == type.name);
      for (const PdbField& field : found->fields) (void)reader.Type(field.type);
      for (const PdbTypeIndex base : found->bases) (void)reader.Type(base);
    }
  }
  return 0;
}
