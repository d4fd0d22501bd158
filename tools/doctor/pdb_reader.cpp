#include "tools/doctor/pdb_reader.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "tools/doctor/mapped_file.h"
#include "tools/doctor/msf_file.h"
#include "tools/doctor/pdb_types.h"

namespace {

// The fixed streams, and the symbol record that names a public.
constexpr std::uint32_t kInfoStream = 1;
constexpr std::uint32_t kTypeStream = 2;
constexpr std::uint32_t kDbiStream = 3;
constexpr std::uint16_t kNoStream = 0xFFFF;
constexpr std::uint16_t kPublicSymbol = 0x110E;  // S_PUB32
constexpr std::uint32_t kPublicIsCode = 1;
constexpr std::uint32_t kPublicIsFunction = 2;
constexpr std::uint32_t kHashSignature = 0xFFFFFFFF;
constexpr std::uint32_t kHashVersion = 0xEFFE0000 + 19990810;

class Reader final : public PdbReader {
 public:
  Reader(std::string_view bytes, std::unique_ptr<MappedFile> mapped)
      : mapped_(std::move(mapped)), msf_(bytes, mapped_.get()) {
    ReadIdentity();
    ReadDbi();
    if (const std::optional<MsfStream> types = msf_.Stream(kTypeStream)) {
      types_ = PdbTypeRecords(*types);
    }
  }

  void ForEachPublic(
      const std::function<void(std::string_view name, bool is_function)>& visit) const override {
    std::string scratch;
    MsfReleaser releaser(*symbols_);
    for (const std::uint32_t offset : publics_) {
      bool is_function = false;
      std::string_view name;
      try {
        name = PublicAt(offset, scratch, is_function);
      } catch (const std::exception&) {
        continue;  // checked when the database was opened: only memory can fail here
      } catch (const MsfDamaged&) {
        continue;
      }
      visit(name, is_function);
      releaser.Passed(offset);
    }
  }

  std::optional<PdbClass> FindClass(std::string_view name) const override {
    try {
      return types_.FindClass(name);
    } catch (const MsfDamaged&) {
      return std::nullopt;
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }

  PdbType Type(PdbTypeIndex index) const override {
    try {
      return types_.Type(index);
    } catch (const MsfDamaged&) {
      return {};
    } catch (const std::exception&) {
      return {};
    }
  }

  PdbIdentity Identity() const override { return identity_; }
  std::size_t PublicCount() const override { return publics_.size(); }
  std::size_t TypeCount() const override { return types_.Count(); }

 private:
  void ReadIdentity() {
    const std::optional<MsfStream> info = msf_.Stream(kInfoStream);
    if (!info || info->Size() < 28) throw MsfDamaged{"it has no PDB info stream"};
    identity_.version = info->U32(0, "the PDB info stream");
    identity_.signature = info->U32(4, "the PDB info stream");
    identity_.age = info->U32(8, "the PDB info stream");
    std::string scratch;
    const std::string_view guid = info->Bytes(12, 16, scratch, "the PDB info stream");
    std::copy(guid.begin(), guid.end(), identity_.guid.begin());
  }

  // The DBI header names the publics stream and the symbol record stream that it points into.
  void ReadDbi() {
    const std::optional<MsfStream> dbi = msf_.Stream(kDbiStream);
    if (!dbi) return;  // a database of types alone
    if (dbi->Size() < 64) throw MsfDamaged{"its DBI stream is cut short"};
    if (dbi->U32(0, "the DBI header") != 0xFFFFFFFF) {
      throw MsfDamaged{"its DBI stream has a header of an old format this reader does not read"};
    }
    const std::uint16_t publics = dbi->U16(16, "the DBI header");
    const std::uint16_t symbols = dbi->U16(20, "the DBI header");
    if (publics == kNoStream) return;
    std::optional<MsfStream> hash = msf_.Stream(publics);
    symbols_ = symbols == kNoStream ? std::nullopt : msf_.Stream(symbols);
    if (!hash || !symbols_) {
      throw MsfDamaged{"its DBI header names a publics or symbol stream that it does not have"};
    }
    ReadPublics(*hash);
  }

  // The publics hash: after the publics header (28 bytes), the hash header and its records,
  // each one more than the offset of an S_PUB32 record in the symbol stream. Read in the symbol
  // stream's order, each record once.
  void ReadPublics(const MsfStream& hash) {
    if (hash.Size() < 28 + 16) throw MsfDamaged{"its publics stream is cut short"};
    const std::uint32_t signature = hash.U32(28, "the publics hash");
    const std::uint32_t version = hash.U32(32, "the publics hash");
    const std::uint32_t records = hash.U32(36, "the publics hash");
    if (signature != kHashSignature || version != kHashVersion) {
      throw MsfDamaged{"its publics hash is of a format this reader does not read"};
    }
    if (records % 8 != 0 || !hash.Has(44, records)) {
      throw MsfDamaged{"its publics hash runs past the end of its stream"};
    }
    publics_.reserve(records / 8);
    std::string scratch;
    MsfReleaser releaser(hash);
    for (std::uint64_t at = 44; at < 44 + std::uint64_t{records}; at += 8) {
      releaser.Passed(at);
      const std::uint32_t offset = hash.U32(at, "the publics hash");
      if (offset == 0 || offset - 1 >= symbols_->Size()) {
        throw MsfDamaged{"its publics hash points outside its symbol records"};
      }
      publics_.push_back(offset - 1);
    }
    std::sort(publics_.begin(), publics_.end());
    publics_.erase(std::unique(publics_.begin(), publics_.end()), publics_.end());
    MsfReleaser symbols(*symbols_);
    for (const std::uint32_t offset : publics_) {
      bool is_function = false;
      PublicAt(offset, scratch, is_function);
      symbols.Passed(offset);
    }
  }

  // The S_PUB32 record at `offset`: flags, offset, segment, then the name.
  std::string_view PublicAt(std::uint32_t offset, std::string& scratch, bool& is_function) const {
    const std::uint16_t length = symbols_->U16(offset, "a public symbol");
    if (length < 2 + 10 + 1 || symbols_->U16(offset + 2, "a public symbol") != kPublicSymbol) {
      throw MsfDamaged{"its publics hash points to a record that is no public symbol"};
    }
    const std::string_view record =
        symbols_->Bytes(offset + 4, length - 2u, scratch, "a public symbol");
    const std::uint32_t flags = static_cast<unsigned char>(record[0]);
    is_function = (flags & (kPublicIsCode | kPublicIsFunction)) != 0;
    const std::size_t end = record.find('\0', 10);
    if (end == std::string_view::npos) {
      throw MsfDamaged{"a public symbol's name has no end within its record"};
    }
    return record.substr(10, end - 10);
  }

  std::unique_ptr<MappedFile> mapped_;
  MsfFile msf_;
  PdbIdentity identity_;
  std::optional<MsfStream> symbols_;
  std::vector<std::uint32_t> publics_;  // offsets of the S_PUB32 records, in stream order
  PdbTypeRecords types_;
};

PdbOpenResult Open(std::string_view bytes, std::unique_ptr<MappedFile> mapped) {
  PdbOpenResult result;
  if (bytes.empty()) {
    result.problem = "it is empty";
    return result;
  }
  try {
    result.reader = std::make_unique<Reader>(bytes, std::move(mapped));
  } catch (const MsfNotMsf& not_msf) {
    result.problem = "it is no program database: " + not_msf.reason;
    result.not_pdb = true;
  } catch (const MsfDamaged& damaged) {
    result.problem = damaged.reason;
  } catch (const std::exception& error) {
    // Memory for the indices; nothing in the bytes themselves.
    result.problem = std::string("it could not be read: ") + error.what();
  }
  return result;
}

}  // namespace

PdbOpenResult OpenPdbFile(const std::filesystem::path& path) {
  // Said as such: mapping a folder fails with the system's less helpful words ("Access denied").
  std::error_code kind_error;
  if (std::filesystem::is_directory(path, kind_error)) {
    PdbOpenResult result;
    result.problem = "it is a folder, not a file";
    return result;
  }
  std::string problem;
  std::unique_ptr<MappedFile> mapped = MappedFile::Open(path, problem);
  if (!mapped) {
    PdbOpenResult result;
    result.problem = "it cannot be read: " + problem;
    return result;
  }
  const std::string_view bytes = mapped->Bytes();
  return Open(bytes, std::move(mapped));
}

PdbOpenResult ReadPdbBytes(std::string_view bytes) { return Open(bytes, nullptr); }
