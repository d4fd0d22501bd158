#include "tools/doctor/pe_image.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace {

// Limits that no real library comes near; they keep a damaged table from taking minutes or
// gigabytes to walk.
constexpr std::size_t kMaxNameLength = 4096;
constexpr std::size_t kMaxImportedDlls = 4096;
constexpr std::size_t kMaxNamesPerDll = 1 << 16;
constexpr std::uint32_t kMaxExports = 1 << 20;
constexpr std::uint16_t kMaxSections = 96;  // the Windows loader's own limit

constexpr std::uint16_t kFileIsDll = 0x2000;
constexpr std::uint16_t kMagicPe32 = 0x10b;
constexpr std::uint16_t kMagicPe32Plus = 0x20b;
constexpr std::uint32_t kResourceVersion = 16;  // RT_VERSION
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kDebugEntrySize = 28;        // IMAGE_DEBUG_DIRECTORY
constexpr std::uint32_t kMaxDebugEntries = 64;       // real programs have a handful
constexpr std::uint32_t kDebugTypeCodeView = 2;      // IMAGE_DEBUG_TYPE_CODEVIEW
constexpr std::uint32_t kCodeViewRsds = 0x53445352;  // "RSDS": GUID, age, path

// A damaged file: the reason, as the finding will show it.
struct Damaged {
  std::string reason;
};

struct Section {
  std::uint32_t virtual_address = 0;
  std::uint32_t virtual_size = 0;
  std::uint32_t raw_offset = 0;
  std::uint32_t raw_size = 0;
};

struct Directory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  std::size_t Size() const { return bytes_.size(); }
  bool Has(std::uint64_t offset, std::uint64_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  std::uint64_t Get(std::uint64_t offset, int count, const char* what) const {
    if (!Has(offset, static_cast<std::uint64_t>(count))) {
      throw Damaged{std::string(what) + " lies past the end of the file (is it cut short?)"};
    }
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
      value = (value << 8) | static_cast<unsigned char>(bytes_[offset + static_cast<unsigned>(i)]);
    }
    return value;
  }
  std::uint16_t U16(std::uint64_t offset, const char* what) const {
    return static_cast<std::uint16_t>(Get(offset, 2, what));
  }
  std::uint32_t U32(std::uint64_t offset, const char* what) const {
    return static_cast<std::uint32_t>(Get(offset, 4, what));
  }
  std::uint64_t U64(std::uint64_t offset, const char* what) const { return Get(offset, 8, what); }
  // A NUL-terminated name that must end within `limit` bytes of the file.
  std::string Name(std::uint64_t offset, std::uint64_t limit, const char* what) const {
    const std::uint64_t end = std::min<std::uint64_t>(
        {limit, bytes_.size(), offset + static_cast<std::uint64_t>(kMaxNameLength)});
    for (std::uint64_t at = offset; at < end; ++at) {
      if (bytes_[at] == '\0') return std::string(bytes_.substr(offset, at - offset));
    }
    throw Damaged{std::string(what) + " has no end within its section"};
  }

 private:
  std::string_view bytes_;
};

class ImageReader {
 public:
  explicit ImageReader(std::string_view bytes) : file_(bytes) {}

  PeImage Read() {
    ReadHeaders();
    ReadImports();
    ReadDelayImports();
    ReadExports();
    try {
      image_.file_version = ReadFileVersion();
    } catch (const Damaged&) {
      image_.file_version.reset();
    }
    try {
      image_.codeview = ReadCodeView();
    } catch (const Damaged&) {
      image_.codeview.reset();
    }
    std::sort(image_.exports.begin(), image_.exports.end());
    std::sort(image_.exported_ordinals.begin(), image_.exported_ordinals.end());
    return std::move(image_);
  }

 private:
  void ReadHeaders() {
    // A copy that never got its bytes (a full disk, an interrupted download) is the likeliest.
    if (file_.Size() == 0) throw NotPe{"it is empty (0 bytes)"};
    if (file_.Size() >= 2 && file_.U16(0, "the MZ header") == 0x5A4D && file_.Size() < 0x40) {
      throw Damaged{"it is cut short: " + std::to_string(file_.Size()) +
                    " bytes, too few even for its first header"};
    }
    if (file_.Size() < 0x40 || file_.U16(0, "the MZ header") != 0x5A4D) {
      throw NotPe{"it does not start with the MZ header of a Windows program or library"};
    }
    const std::uint32_t pe = file_.U32(0x3C, "the header offset");
    if (!file_.Has(pe, 24) || file_.U32(pe, "the PE signature") != 0x00004550) {
      throw NotPe{"it has an MZ header but no PE header (a DOS program, or not a library at all)"};
    }
    image_.machine = file_.U16(pe + 4, "the file header");
    const std::uint16_t section_count = file_.U16(pe + 6, "the file header");
    const std::uint16_t optional_size = file_.U16(pe + 20, "the file header");
    image_.is_dll = (file_.U16(pe + 22, "the file header") & kFileIsDll) != 0;

    const std::uint64_t optional = pe + 24;
    const std::uint16_t magic = file_.U16(optional, "the optional header");
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
      throw Damaged{"its optional header is of no known kind"};
    }
    image_.pe32_plus = magic == kMagicPe32Plus;
    image_base_ = image_.pe32_plus ? file_.U64(optional + 24, "the optional header")
                                   : file_.U32(optional + 28, "the optional header");
    size_of_headers_ = file_.U32(optional + 60, "the optional header");
    const std::uint64_t count_at = optional + (image_.pe32_plus ? 108 : 92);
    const std::uint32_t directory_count =
        std::min<std::uint32_t>(file_.U32(count_at, "the optional header"), 16);
    if (count_at + 4 + directory_count * 8ull > optional + optional_size) {
      throw Damaged{"its data directories do not fit in its optional header"};
    }
    for (std::uint32_t i = 0; i < directory_count; ++i) {
      directories_[i] = {file_.U32(count_at + 4 + i * 8ull, "the data directories"),
                         file_.U32(count_at + 8 + i * 8ull, "the data directories")};
    }

    if (section_count > kMaxSections) throw Damaged{"it claims too many sections"};
    const std::uint64_t table = optional + optional_size;
    std::uint64_t raw_end = 0;
    for (std::uint16_t i = 0; i < section_count; ++i) {
      const std::uint64_t at = table + i * 40ull;
      Section section{
          file_.U32(at + 12, "the section table"), file_.U32(at + 8, "the section table"),
          file_.U32(at + 20, "the section table"), file_.U32(at + 16, "the section table")};
      if (section.raw_size > 0) {
        raw_end =
            std::max<std::uint64_t>(raw_end, std::uint64_t{section.raw_offset} + section.raw_size);
      }
      sections_.push_back(section);
    }
    if (raw_end > file_.Size()) {
      throw Damaged{"it is cut short: its sections need " + std::to_string(raw_end) +
                    " bytes and the file has " + std::to_string(file_.Size())};
    }
  }

  // The file offset of an address in the loaded image, and how many bytes of the file follow it
  // within its section.
  struct Place {
    std::uint64_t offset;
    std::uint64_t end;
  };
  Place At(std::uint64_t rva, const char* what) const {
    if (rva < size_of_headers_ && rva < file_.Size()) {
      return {rva, std::min<std::uint64_t>(size_of_headers_, file_.Size())};
    }
    for (const Section& section : sections_) {
      const std::uint64_t start = section.virtual_address;
      const std::uint64_t length = std::min(
          section.virtual_size ? section.virtual_size : section.raw_size, section.raw_size);
      if (rva >= start && rva - start < length) {
        return {section.raw_offset + (rva - start), std::uint64_t{section.raw_offset} + length};
      }
    }
    throw Damaged{std::string(what) + " points outside the file's sections"};
  }
  std::uint32_t U32At(std::uint64_t rva, const char* what) const {
    const Place place = At(rva, what);
    if (place.end - place.offset < 4) throw Damaged{std::string(what) + " runs off its section"};
    return file_.U32(place.offset, what);
  }
  std::uint64_t ThunkAt(std::uint64_t rva, const char* what) const {
    const int size = image_.pe32_plus ? 8 : 4;
    const Place place = At(rva, what);
    if (place.end - place.offset < static_cast<std::uint64_t>(size)) {
      throw Damaged{std::string(what) + " runs off its section"};
    }
    return file_.Get(place.offset, size, what);
  }
  std::string NameAt(std::uint64_t rva, const char* what) const {
    const Place place = At(rva, what);
    return file_.Name(place.offset, place.end, what);
  }

  // The names (or ordinals) of one DLL's lookup table, which ends with a zero entry. `bias` is
  // taken off each name's place: the image base in the delay-load table's oldest form.
  void ReadThunks(std::uint64_t table, PeImport& import, std::uint64_t bias = 0) const {
    const std::uint64_t ordinal_flag = image_.pe32_plus ? (1ull << 63) : (1ull << 31);
    const std::uint64_t step = image_.pe32_plus ? 8 : 4;
    for (std::size_t i = 0;; ++i) {
      if (i >= kMaxNamesPerDll) throw Damaged{"an import's name list has no end"};
      const std::uint64_t thunk = ThunkAt(table + i * step, "an import's name list");
      if (thunk == 0) return;
      if (thunk & ordinal_flag) {
        import.ordinals.push_back(static_cast<std::uint32_t>(thunk & 0xFFFF));
      } else {
        if (thunk < bias) throw Damaged{"an import's name list holds an address outside the image"};
        // A hint (two bytes), then the name.
        import.names.push_back(NameAt(((thunk - bias) & 0x7FFFFFFF) + 2, "an imported name"));
      }
    }
  }

  void ReadImports() {
    const Directory directory = directories_[1];
    if (directory.rva == 0) return;
    for (std::size_t i = 0;; ++i) {
      if (i >= kMaxImportedDlls) throw Damaged{"its import directory has no end"};
      const std::uint64_t entry = directory.rva + i * 20ull;
      const std::uint32_t lookup = U32At(entry, "the import directory");
      const std::uint32_t name = U32At(entry + 12, "the import directory");
      const std::uint32_t addresses = U32At(entry + 16, "the import directory");
      if (lookup == 0 && name == 0 && addresses == 0) return;
      PeImport import;
      import.dll = NameAt(name, "an imported DLL's name");
      ReadThunks(lookup != 0 ? lookup : addresses, import);
      image_.imports.push_back(std::move(import));
    }
  }

  void ReadDelayImports() {
    const Directory directory = directories_[13];
    if (directory.rva == 0) return;
    for (std::size_t i = 0;; ++i) {
      if (i >= kMaxImportedDlls) throw Damaged{"its delay-load directory has no end"};
      const std::uint64_t entry = directory.rva + i * 32ull;
      const std::uint32_t attributes = U32At(entry, "the delay-load directory");
      std::uint64_t name = U32At(entry + 4, "the delay-load directory");
      std::uint64_t names = U32At(entry + 16, "the delay-load directory");
      if (name == 0) return;
      // The oldest form holds addresses rather than offsets in the image, its name list too.
      const bool addresses = (attributes & 1) == 0;
      if (addresses) {
        if (name < image_base_ || names < image_base_) {
          throw Damaged{"its delay-load directory holds addresses outside the image"};
        }
        name -= image_base_;
        names -= image_base_;
      }
      PeImport import;
      import.delay_loaded = true;
      import.dll = NameAt(name, "a delay-loaded DLL's name");
      ReadThunks(names, import, addresses ? image_base_ : 0);
      image_.imports.push_back(std::move(import));
    }
  }

  void ReadExports() {
    const Directory directory = directories_[0];
    if (directory.rva == 0) return;
    const std::uint64_t table = directory.rva;
    const std::uint32_t base = U32At(table + 16, "the export directory");
    const std::uint32_t function_count = U32At(table + 20, "the export directory");
    const std::uint32_t name_count = U32At(table + 24, "the export directory");
    const std::uint32_t functions = U32At(table + 28, "the export directory");
    const std::uint32_t names = U32At(table + 32, "the export directory");
    if (function_count > kMaxExports || name_count > kMaxExports) {
      throw Damaged{"its export directory claims more entries than any library has"};
    }
    for (std::uint32_t i = 0; i < function_count; ++i) {
      if (U32At(functions + i * 4ull, "the exported addresses") != 0) {
        image_.exported_ordinals.push_back(base + i);
      }
    }
    for (std::uint32_t i = 0; i < name_count; ++i) {
      image_.exports.push_back(
          NameAt(U32At(names + i * 4ull, "the exported names"), "an exported name"));
    }
  }

  // The first CodeView entry of the debug directory in its "RSDS" form (the older "NB10" form
  // names no GUID). Its data is found by its file offset, as debuggers find it: the linker need not
  // map it into the image.
  std::optional<PeCodeView> ReadCodeView() const {
    const Directory directory = directories_[6];
    if (directory.rva == 0 || directory.size < kDebugEntrySize) return std::nullopt;
    const std::uint32_t count = std::min(directory.size / kDebugEntrySize, kMaxDebugEntries);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint64_t entry = directory.rva + std::uint64_t{i} * kDebugEntrySize;
      if (U32At(entry + 12, "the debug directory") != kDebugTypeCodeView) continue;
      const std::uint32_t size = U32At(entry + 16, "the debug directory");
      const std::uint32_t rva = U32At(entry + 20, "the debug directory");
      const std::uint32_t pointer = U32At(entry + 24, "the debug directory");
      std::uint64_t offset = pointer;
      if (pointer == 0) {
        if (rva == 0) return std::nullopt;
        offset = At(rva, "the CodeView entry").offset;
      }
      // Signature, GUID and age; the path after them.
      if (size < 24 || !file_.Has(offset, size)) {
        throw Damaged{"its CodeView entry lies past the end of the file"};
      }
      if (file_.U32(offset, "the CodeView entry") != kCodeViewRsds) return std::nullopt;
      PeCodeView codeview;
      for (std::uint64_t b = 0; b < 16; ++b) {
        codeview.guid[b] = static_cast<std::uint8_t>(file_.Get(offset + 4 + b, 1, "the GUID"));
      }
      codeview.age = file_.U32(offset + 20, "the CodeView entry");
      // The path only names the database; a path without its end is kept as far as it goes.
      for (std::uint64_t at = offset + 24;
           at < offset + size && codeview.pdb_path.size() < kMaxNameLength; ++at) {
        const char c = static_cast<char>(file_.Get(at, 1, "the database's path"));
        if (c == '\0') break;
        codeview.pdb_path += c;
      }
      return codeview;
    }
    return std::nullopt;
  }

  // RT_VERSION, its first name and first language: VS_VERSIONINFO, whose VS_FIXEDFILEINFO follows
  // the key "VS_VERSION_INFO".
  std::optional<std::string> ReadFileVersion() const {
    const Directory directory = directories_[2];
    if (directory.rva == 0) return std::nullopt;
    const std::uint64_t root = directory.rva;
    std::uint64_t node = root;
    for (int level = 0; level < 3; ++level) {
      const std::uint32_t named = U32At(node + 12, "the resource directory") & 0xFFFF;
      const std::uint32_t ids = U32At(node + 12, "the resource directory") >> 16;
      std::optional<std::uint32_t> next;
      for (std::uint32_t i = 0; i < named + ids && !next; ++i) {
        const std::uint64_t entry = node + 16 + i * 8ull;
        const std::uint32_t id = U32At(entry, "a resource entry");
        if (level > 0 || ((id & 0x80000000u) == 0 && id == kResourceVersion)) {
          next = U32At(entry + 4, "a resource entry");
        }
      }
      if (!next) return std::nullopt;
      const bool subdirectory = (*next & 0x80000000u) != 0;
      if (subdirectory != (level < 2)) return std::nullopt;
      node = root + (*next & 0x7FFFFFFFu);
    }
    const std::uint32_t data = U32At(node, "the version resource");
    const std::uint32_t size = U32At(node + 4, "the version resource");
    // The key is at byte 6, UTF-16 and padded to four bytes: the fixed part is within 64 bytes.
    for (std::uint32_t at = 4; at + 52 <= size && at < 96; at += 4) {
      if (U32At(data + at, "the version resource") == kFixedFileInfoSignature) {
        const std::uint32_t high = U32At(data + at + 8, "the version resource");
        const std::uint32_t low = U32At(data + at + 12, "the version resource");
        return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." +
               std::to_string(low >> 16) + "." + std::to_string(low & 0xFFFF);
      }
    }
    return std::nullopt;
  }

 public:
  struct NotPe {
    std::string reason;
  };

 private:
  Reader file_;
  PeImage image_;
  std::uint64_t image_base_ = 0;
  std::uint64_t size_of_headers_ = 0;
  Directory directories_[16] = {};
  std::vector<Section> sections_;
};

}  // namespace

PeReadResult ReadPeImage(std::string_view bytes) {
  PeReadResult result;
  try {
    result.image = ImageReader(bytes).Read();
  } catch (const ImageReader::NotPe& not_pe) {
    result.problem = not_pe.reason;
    result.not_pe = true;
  } catch (const Damaged& damaged) {
    result.problem = damaged.reason;
  } catch (const std::exception& error) {
    // Memory for the names; nothing in the bytes themselves.
    result.problem = std::string("it could not be read: ") + error.what();
  }
  return result;
}

std::string SpellGuid(const std::array<std::uint8_t, 16>& guid) {
  static const char kDigits[] = "0123456789ABCDEF";
  // Data1 (4 bytes), Data2 and Data3 (2 each) little-endian; the last 8 bytes in order.
  static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string text = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    const std::uint8_t byte = guid[static_cast<std::size_t>(kOrder[i])];
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text + "}";
}

bool ExportsName(const PeImage& image, std::string_view name) {
  return std::binary_search(image.exports.begin(), image.exports.end(), name);
}

bool ExportsOrdinal(const PeImage& image, std::uint32_t ordinal) {
  return std::binary_search(image.exported_ordinals.begin(), image.exported_ordinals.end(),
                            ordinal);
}
