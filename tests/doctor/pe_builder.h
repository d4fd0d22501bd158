#pragma once

// A small Windows library made in memory, for the tables that our toolchains do not write: imports
// by ordinal, delay-loaded DLLs in both of their forms, an export table whose ordinals start above
// 1. One section holds every table; nothing in it can run.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

struct BuiltImport {
  std::string dll;
  std::vector<std::string> names;
  std::vector<std::uint16_t> ordinals;
  bool delay_loaded = false;
  // The delay-load table's oldest form: addresses in the loaded image rather than offsets.
  bool delay_addresses = false;
};

struct BuiltLibrary {
  bool pe32_plus = true;
  bool is_dll = true;
  std::vector<BuiltImport> imports;
  std::uint32_t export_base = 1;
  std::uint32_t export_count = 0;         // functions, numbered from export_base
  std::vector<std::string> export_names;  // given to the first functions, in this order
};

namespace pe_builder_detail {

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::uint32_t kSectionRaw = 0x400;

class Bytes {
 public:
  std::size_t Size() const { return bytes_.size(); }
  std::uint32_t Rva() const { return kSectionRva + static_cast<std::uint32_t>(bytes_.size()); }
  void Align(std::size_t to) { bytes_.resize((bytes_.size() + to - 1) / to * to, 0); }
  std::size_t Reserve(std::size_t count) {
    const std::size_t at = bytes_.size();
    bytes_.resize(at + count, 0);
    return at;
  }
  void Put(std::size_t at, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes_[at + i] = static_cast<char>(value >> (8 * i));
  }
  std::uint32_t Text(const std::string& text) {
    const std::uint32_t rva = Rva();
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.push_back('\0');
    return rva;
  }
  std::string& Raw() { return bytes_; }

 private:
  std::string bytes_;
};

}  // namespace pe_builder_detail

inline std::string BuildLibrary(const BuiltLibrary& library) {
  using namespace pe_builder_detail;
  const std::uint64_t image_base = library.pe32_plus ? 0x180000000ull : 0x10000000ull;
  const int thunk = library.pe32_plus ? 8 : 4;
  const std::uint64_t ordinal_flag = library.pe32_plus ? (1ull << 63) : (1ull << 31);
  Bytes section;

  // Import and delay-load directories first, each with its closing zero entry.
  std::vector<const BuiltImport*> direct;
  std::vector<const BuiltImport*> delayed;
  for (const BuiltImport& import : library.imports) {
    (import.delay_loaded ? delayed : direct).push_back(&import);
  }
  const std::uint32_t import_rva = section.Rva();
  const std::size_t import_at = section.Reserve(20 * (direct.size() + 1));
  const std::uint32_t delay_rva = section.Rva();
  const std::size_t delay_at = section.Reserve(32 * (delayed.size() + 1));
  // One lookup table per DLL: its entries, then the hints and names they point at.
  const auto table = [&](const BuiltImport& import, std::uint64_t bias) {
    section.Align(8);
    const std::uint32_t rva = section.Rva();
    const std::size_t entries = import.names.size() + import.ordinals.size();
    const std::size_t at = section.Reserve(static_cast<std::size_t>(thunk) * (entries + 1));
    std::size_t slot = 0;
    for (const std::uint16_t ordinal : import.ordinals) {
      section.Put(at + thunk * slot++, ordinal_flag | ordinal, thunk);
    }
    for (const std::string& name : import.names) {
      section.Align(2);
      const std::uint32_t hint = section.Rva();
      section.Reserve(2);
      section.Text(name);
      section.Put(at + thunk * slot++, bias + hint, thunk);
    }
    return rva;
  };
  for (std::size_t i = 0; i < direct.size(); ++i) {
    const std::uint32_t lookup = table(*direct[i], 0);
    const std::uint32_t addresses = table(*direct[i], 0);
    const std::uint32_t name = section.Text(direct[i]->dll);
    section.Put(import_at + 20 * i, lookup, 4);
    section.Put(import_at + 20 * i + 12, name, 4);
    section.Put(import_at + 20 * i + 16, addresses, 4);
  }
  for (std::size_t i = 0; i < delayed.size(); ++i) {
    const std::uint64_t bias = delayed[i]->delay_addresses ? image_base : 0;
    const std::uint32_t names = table(*delayed[i], bias);
    section.Align(8);
    const std::uint32_t addresses = section.Rva();
    section.Reserve(8);
    const std::uint32_t name = section.Text(delayed[i]->dll);
    const std::size_t at = delay_at + 32 * i;
    section.Put(at, delayed[i]->delay_addresses ? 0 : 1, 4);
    section.Put(at + 4, bias + name, 4);
    section.Put(at + 12, bias + addresses, 4);
    section.Put(at + 16, bias + names, 4);
  }

  // The export directory, its addresses (all to the section's start) and its sorted names.
  std::uint32_t export_rva = 0;
  if (library.export_count > 0) {
    section.Align(4);
    export_rva = section.Rva();
    const std::size_t at = section.Reserve(40);
    const std::uint32_t functions = section.Rva();
    const std::size_t functions_at = section.Reserve(4 * library.export_count);
    for (std::uint32_t i = 0; i < library.export_count; ++i) {
      section.Put(functions_at + 4 * i, kSectionRva, 4);
    }
    std::vector<std::pair<std::string, std::uint16_t>> named;
    for (std::size_t i = 0; i < library.export_names.size(); ++i) {
      named.emplace_back(library.export_names[i], static_cast<std::uint16_t>(i));
    }
    std::sort(named.begin(), named.end());
    const std::uint32_t names = section.Rva();
    const std::size_t names_at = section.Reserve(4 * named.size());
    const std::uint32_t ordinals = section.Rva();
    const std::size_t ordinals_at = section.Reserve(2 * named.size());
    for (std::size_t i = 0; i < named.size(); ++i) {
      section.Put(names_at + 4 * i, section.Text(named[i].first), 4);
      section.Put(ordinals_at + 2 * i, named[i].second, 2);
    }
    section.Put(at + 12, section.Text("built.dll"), 4);
    section.Put(at + 16, library.export_base, 4);
    section.Put(at + 20, library.export_count, 4);
    section.Put(at + 24, named.size(), 4);
    section.Put(at + 28, functions, 4);
    section.Put(at + 32, names, 4);
    section.Put(at + 36, ordinals, 4);
  }
  section.Align(0x200);

  // The headers: MZ, PE, the file header, the optional header with its 16 directories, one section.
  std::string file(kSectionRaw, '\0');
  Bytes headers;
  headers.Raw() = std::move(file);
  headers.Put(0, 0x5A4D, 2);
  headers.Put(0x3C, 0x80, 4);
  headers.Put(0x80, 0x00004550, 4);
  const std::uint16_t optional_size = library.pe32_plus ? 240 : 224;
  headers.Put(0x84, library.pe32_plus ? 0x8664 : 0x14C, 2);
  headers.Put(0x86, 1, 2);
  headers.Put(0x94, optional_size, 2);
  headers.Put(0x96, 0x0002 | (library.is_dll ? 0x2000 : 0), 2);
  const std::size_t optional = 0x98;
  headers.Put(optional, library.pe32_plus ? 0x20B : 0x10B, 2);
  if (library.pe32_plus) {
    headers.Put(optional + 24, image_base, 8);
  } else {
    headers.Put(optional + 28, image_base, 4);
  }
  headers.Put(optional + 32, 0x1000, 4);
  headers.Put(optional + 36, 0x200, 4);
  headers.Put(optional + 56, kSectionRva + section.Size(), 4);
  headers.Put(optional + 60, kSectionRaw, 4);
  const std::size_t count_at = optional + (library.pe32_plus ? 108 : 92);
  headers.Put(count_at, 16, 4);
  const auto directory = [&](int index, std::uint32_t rva, std::uint32_t size) {
    headers.Put(count_at + 4 + 8 * index, rva, 4);
    headers.Put(count_at + 8 + 8 * index, size, 4);
  };
  if (export_rva != 0) directory(0, export_rva, 40);
  if (!direct.empty()) directory(1, import_rva, 20 * (direct.size() + 1));
  if (!delayed.empty()) directory(13, delay_rva, 32 * (delayed.size() + 1));
  const std::size_t section_at = optional + optional_size;
  headers.Raw().replace(section_at, 6, ".kvtst");
  headers.Put(section_at + 8, section.Size(), 4);
  headers.Put(section_at + 12, kSectionRva, 4);
  headers.Put(section_at + 16, section.Size(), 4);
  headers.Put(section_at + 20, kSectionRaw, 4);
  headers.Put(section_at + 36, 0xC0000040, 4);
  return headers.Raw() + section.Raw();
}
