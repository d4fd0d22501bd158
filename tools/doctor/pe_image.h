#pragma once

// What `kestrovar doctor` reads from a Windows library or program (a PE file) held in memory: its
// headers, the names it imports from each DLL, the names it exports, the file version of its
// version resource and the program database it was linked with. Every offset in the file is checked
// against its size before it is read, so a damaged or cut-short file gives a reason, never a read
// outside the bytes. Nothing is loaded or run.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::uint16_t kMachineX64 = 0x8664;

// What one DLL gives a library: the names (and ordinals) taken from it.
struct PeImport {
  std::string dll;  // as the import table spells it, e.g. "MSVCP140.dll"
  std::vector<std::string> names;
  std::vector<std::uint32_t> ordinals;  // imports by number rather than by name
  bool delay_loaded = false;
};

// The CodeView entry of the debug directory ("RSDS"): which program database (.pdb) the linker
// wrote with this file. The database's own info stream names the same GUID and age.
struct PeCodeView {
  std::array<std::uint8_t, 16> guid{};
  std::uint32_t age = 0;
  std::string pdb_path;  // as the linker wrote it, a path on the build machine
};

struct PeImage {
  std::uint16_t machine = 0;  // kMachineX64 for x86-64
  bool pe32_plus = false;     // the 64-bit optional header
  bool is_dll = false;
  std::vector<PeImport> imports;
  std::vector<std::string> exports;              // exported names
  std::vector<std::uint32_t> exported_ordinals;  // the ordinals that lead somewhere
  // The file version of the version resource ("14.40.33810.0"); empty when there is none or it
  // cannot be read (a damaged resource does not make the library unusable).
  std::optional<std::string> file_version;
  // None when the file has no debug directory, no CodeView entry of today's form, or a damaged
  // one: a program runs without it.
  std::optional<PeCodeView> codeview;
};

struct PeReadResult {
  std::optional<PeImage> image;
  // Why there is no image: "it does not start with the MZ header", "it is cut short: ...".
  std::string problem;
  bool not_pe = false;  // the bytes are no PE file at all, rather than a damaged one
};

// Reads the file's bytes; never throws for any input.
PeReadResult ReadPeImage(std::string_view bytes);

// A GUID as debuggers and llvm-readobj spell it: "{600E1958-3AAC-D140-4C4C-44205044422E}" (the
// first three groups are little-endian numbers).
std::string SpellGuid(const std::array<std::uint8_t, 16>& guid);

// Whether the image exports `name`, or the ordinal, as an import of it asks.
bool ExportsName(const PeImage& image, std::string_view name);
bool ExportsOrdinal(const PeImage& image, std::uint32_t ordinal);
