#include "tools/doctor/pdb_types.h"

#include <algorithm>
#include <functional>
#include <unordered_set>

namespace {

// Leaf kinds of the type records (CodeView).
constexpr std::uint16_t kModifier = 0x1001;
constexpr std::uint16_t kPointer = 0x1002;
constexpr std::uint16_t kProcedure = 0x1008;
constexpr std::uint16_t kMemberFunction = 0x1009;
constexpr std::uint16_t kFieldList = 0x1203;
constexpr std::uint16_t kBaseClass = 0x1400;
constexpr std::uint16_t kVirtualBaseClass = 0x1401;
constexpr std::uint16_t kIndirectVirtualBaseClass = 0x1402;
constexpr std::uint16_t kFriendClass = 0x140b;
constexpr std::uint16_t kIndex = 0x1404;
constexpr std::uint16_t kVirtualFunctionTable = 0x1409;
constexpr std::uint16_t kVirtualFunctionOffset = 0x140c;
constexpr std::uint16_t kEnumerate = 0x1502;
constexpr std::uint16_t kArray = 0x1503;
constexpr std::uint16_t kClass = 0x1504;
constexpr std::uint16_t kStructure = 0x1505;
constexpr std::uint16_t kUnion = 0x1506;
constexpr std::uint16_t kEnum = 0x1507;
constexpr std::uint16_t kFriendFunction = 0x150c;
constexpr std::uint16_t kMember = 0x150d;
constexpr std::uint16_t kStaticMember = 0x150e;
constexpr std::uint16_t kMethod = 0x150f;
constexpr std::uint16_t kNestedType = 0x1510;
constexpr std::uint16_t kOneMethod = 0x1511;
constexpr std::uint16_t kNestedTypeEx = 0x1512;
constexpr std::uint16_t kMemberModify = 0x1513;
constexpr std::uint16_t kInterface = 0x1519;
// The newer records that MSVC writes for classes whose properties need 32 bits.
constexpr std::uint16_t kClass2 = 0x1608;
constexpr std::uint16_t kStructure2 = 0x1609;
constexpr std::uint16_t kUnion2 = 0x160a;
constexpr std::uint16_t kInterface2 = 0x160b;

constexpr std::uint32_t kForwardReference = 0x80;

bool IsClassKind(std::uint16_t kind) {
  switch (kind) {
    case kClass:
    case kStructure:
    case kUnion:
    case kInterface:
    case kClass2:
    case kStructure2:
    case kUnion2:
    case kInterface2:
      return true;
    default:
      return false;
  }
}

std::string Hex(std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  bool started = false;
  for (int shift = 28; shift >= 0; shift -= 4) {
    const unsigned digit = (value >> shift) & 0xF;
    if (digit != 0 || started || shift == 0) {
      text += kDigits[digit];
      started = true;
    }
  }
  return text;
}

// The fields of one record, each read only after its bytes are checked to be there.
class Cursor {
 public:
  Cursor(std::string_view bytes, PdbTypeIndex index) : bytes_(bytes), index_(index) {}

  bool AtEnd() const { return at_ == bytes_.size(); }
  unsigned char Peek() const {
    Need(1);
    return static_cast<unsigned char>(bytes_[at_]);
  }
  void Skip(std::size_t count) {
    Need(count);
    at_ += count;
  }
  std::uint16_t U16() {
    Need(2);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes_.data() + at_);
    at_ += 2;
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
  }
  std::uint32_t U32() {
    Need(4);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes_.data() + at_);
    at_ += 4;
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
           std::uint32_t{b[3]} << 24;
  }
  std::uint64_t U64() {
    const std::uint64_t low = U32();
    return low | std::uint64_t{U32()} << 32;
  }
  // A numeric leaf: the value itself below 0x8000, else a kind and the value after it. Sizes and
  // offsets are never negative; `allow_negative` reads enumerators' values, which are skipped.
  std::uint64_t Numeric(bool allow_negative = false) {
    const std::uint16_t leaf = U16();
    if (leaf < 0x8000) return leaf;
    std::int64_t value = 0;
    switch (leaf) {
      case 0x8000:  // LF_CHAR
        value = static_cast<std::int8_t>(Byte());
        break;
      case 0x8001:  // LF_SHORT
        value = static_cast<std::int16_t>(U16());
        break;
      case 0x8002:  // LF_USHORT
        return U16();
      case 0x8003:  // LF_LONG
        value = static_cast<std::int32_t>(U32());
        break;
      case 0x8004:  // LF_ULONG
        return U32();
      case 0x8009:  // LF_QUADWORD
        value = static_cast<std::int64_t>(U64());
        break;
      case 0x800a:  // LF_UQUADWORD
        return U64();
      default:
        Fail("has a number of a kind this reader does not read");
    }
    if (value < 0 && !allow_negative) Fail("has a negative size or offset");
    return static_cast<std::uint64_t>(value);
  }
  // A name ends with a NUL within the record.
  std::string_view Name() {
    const std::size_t end = bytes_.find('\0', at_);
    if (end == std::string_view::npos) Fail("has a name without an end");
    const std::string_view name = bytes_.substr(at_, end - at_);
    at_ = end + 1;
    return name;
  }
  // The padding bytes (LF_PAD0..LF_PAD15) between the entries of a field list.
  void SkipPadding() {
    while (at_ < bytes_.size() && static_cast<unsigned char>(bytes_[at_]) >= 0xF0) ++at_;
  }
  [[noreturn]] void Fail(const char* what) const {
    throw MsfDamaged{"type record " + Hex(index_) + " " + what};
  }

 private:
  unsigned char Byte() {
    Need(1);
    return static_cast<unsigned char>(bytes_[at_++]);
  }
  void Need(std::size_t count) const {
    if (count > bytes_.size() - at_) Fail("is cut short");
  }
  std::string_view bytes_;
  std::size_t at_ = 0;
  PdbTypeIndex index_;
};

// A pointer's or reference's size comes from its kind (64-bit, 32-bit); the size field, which
// clang fills with the referent's size for a struct passed by reference, counts for pointers to
// members only.
std::uint64_t PointerSize(std::uint32_t attributes) {
  const std::uint32_t mode = (attributes >> 5) & 7;
  if (mode == 0 || mode == 1 || mode == 4) {
    switch (attributes & 0x1F) {
      case 0x0a:
        return 4;  // CV_PTR_NEAR32
      case 0x0c:
        return 8;  // CV_PTR_64
      default:
        break;
    }
  }
  return (attributes >> 13) & 0x3F;
}

struct ClassHeader {
  std::uint32_t properties = 0;
  PdbTypeIndex fields = 0;
  std::uint64_t size = 0;
  std::string_view name;
};

ClassHeader ReadClassHeader(std::uint16_t kind, Cursor& cursor) {
  ClassHeader header;
  if (kind == kClass2 || kind == kStructure2 || kind == kUnion2 || kind == kInterface2) {
    header.properties = cursor.U32();
    header.fields = cursor.U32();
    if (kind != kUnion2) cursor.Skip(8);  // derived list, vtable shape
    cursor.Skip(2);                       // the member count
  } else {
    cursor.Skip(2);  // the member count
    header.properties = cursor.U16();
    header.fields = cursor.U32();
    if (kind != kUnion) cursor.Skip(8);
  }
  header.size = cursor.Numeric();
  header.name = cursor.Name();
  return header;
}

}  // namespace

PdbType PdbSimpleType(PdbTypeIndex index) {
  using Kind = PdbType::Kind;
  PdbType type;
  if (index >= 0x1000) return type;
  const PdbTypeIndex mode = (index >> 8) & 0xF;
  const PdbTypeIndex base = index & 0xFF;
  if (mode != 0) {
    // A pointer to the built-in type, its size from the mode.
    static constexpr std::uint64_t kSizes[] = {0, 2, 4, 4, 4, 6, 8, 16};
    if (mode >= 8 || base == 0) return type;
    type.kind = Kind::kPointer;
    type.size = kSizes[mode];
    type.target = base;
    return type;
  }
  struct Simple {
    PdbTypeIndex index;
    Kind kind;
    const char* name;
    std::uint64_t size;
    bool is_signed;
  };
  static constexpr Simple kSimple[] = {
      {0x03, Kind::kVoid, "void", 0, false},
      {0x08, Kind::kInteger, "HRESULT", 4, true},
      {0x10, Kind::kCharacter, "signed char", 1, true},
      {0x20, Kind::kCharacter, "unsigned char", 1, false},
      {0x70, Kind::kCharacter, "char", 1, true},
      {0x71, Kind::kCharacter, "wchar_t", 2, false},
      {0x7a, Kind::kCharacter, "char16_t", 2, false},
      {0x7b, Kind::kCharacter, "char32_t", 4, false},
      {0x7c, Kind::kCharacter, "char8_t", 1, false},
      {0x68, Kind::kInteger, "signed char", 1, true},
      {0x69, Kind::kInteger, "unsigned char", 1, false},
      {0x11, Kind::kInteger, "short", 2, true},
      {0x21, Kind::kInteger, "unsigned short", 2, false},
      {0x72, Kind::kInteger, "short", 2, true},
      {0x73, Kind::kInteger, "unsigned short", 2, false},
      {0x12, Kind::kInteger, "long", 4, true},
      {0x22, Kind::kInteger, "unsigned long", 4, false},
      {0x74, Kind::kInteger, "int", 4, true},
      {0x75, Kind::kInteger, "unsigned int", 4, false},
      {0x13, Kind::kInteger, "__int64", 8, true},
      {0x23, Kind::kInteger, "unsigned __int64", 8, false},
      {0x76, Kind::kInteger, "__int64", 8, true},
      {0x77, Kind::kInteger, "unsigned __int64", 8, false},
      {0x14, Kind::kInteger, "__int128", 16, true},
      {0x24, Kind::kInteger, "unsigned __int128", 16, false},
      {0x78, Kind::kInteger, "__int128", 16, true},
      {0x79, Kind::kInteger, "unsigned __int128", 16, false},
      {0x30, Kind::kBool, "bool", 1, false},
      {0x31, Kind::kBool, "__bool16", 2, false},
      {0x32, Kind::kBool, "__bool32", 4, false},
      {0x33, Kind::kBool, "__bool64", 8, false},
      {0x40, Kind::kFloatingPoint, "float", 4, true},
      {0x41, Kind::kFloatingPoint, "double", 8, true},
      {0x42, Kind::kFloatingPoint, "long double", 10, true},
      {0x43, Kind::kFloatingPoint, "__float128", 16, true},
      {0x46, Kind::kFloatingPoint, "__half", 2, true},
  };
  for (const Simple& simple : kSimple) {
    if (simple.index == base) {
      type.kind = simple.kind;
      type.name = simple.name;
      type.size = simple.size;
      type.is_signed = simple.is_signed && simple.kind != Kind::kFloatingPoint;
      return type;
    }
  }
  if (base != 0) type.kind = Kind::kOther;
  return type;
}

PdbTypeRecords::PdbTypeRecords(MsfStream stream) : stream_(std::move(stream)) {
  const MsfStream& tpi = *stream_;
  if (tpi.Size() < 56) throw MsfDamaged{"its type stream is cut short"};
  const std::uint32_t header_size = tpi.U32(4, "the type stream's header");
  first_ = tpi.U32(8, "the type stream's header");
  const std::uint32_t end = tpi.U32(12, "the type stream's header");
  const std::uint32_t record_bytes = tpi.U32(16, "the type stream's header");
  if (header_size < 56 || header_size > tpi.Size() || record_bytes > tpi.Size() - header_size) {
    throw MsfDamaged{"its type stream's header gives sizes past the stream's end"};
  }
  // Every record takes at least four bytes: a count beyond that is a damaged header, not a
  // reason to reserve gigabytes.
  if (first_ < 0x1000 || end < first_ || end - first_ > record_bytes / 4) {
    throw MsfDamaged{"its type stream's header gives an impossible range of type indices"};
  }
  const std::uint64_t limit = std::uint64_t{header_size} + record_bytes;
  offsets_.reserve(end - first_);
  std::uint64_t at = header_size;
  MsfReleaser releaser(tpi);
  std::string scratch;
  for (PdbTypeIndex index = first_; index < end; ++index) {
    if (at + 4 > limit) {
      throw MsfDamaged{"its type records end before type " + Hex(index) + " (is it cut short?)"};
    }
    const std::uint16_t length = tpi.U16(at, "a type record");
    const std::uint16_t kind = tpi.U16(at + 2, "a type record");
    if (length < 2 || at + 2 + length > limit) {
      throw MsfDamaged{"type record " + Hex(index) + " runs past the type records' end"};
    }
    offsets_.push_back(static_cast<std::uint32_t>(at));
    if (IsClassKind(kind)) {
      Cursor cursor(tpi.Bytes(at + 4, length - 2u, scratch, "a type record"), index);
      const ClassHeader header = ReadClassHeader(kind, cursor);
      if ((header.properties & kForwardReference) == 0) {
        definitions_.emplace_back(std::hash<std::string_view>()(header.name), index);
      }
    }
    at += 2 + std::uint64_t{length};
    releaser.Passed(at);
  }
  std::sort(definitions_.begin(), definitions_.end());
}

PdbTypeRecords::Record PdbTypeRecords::Read(PdbTypeIndex index, std::string& scratch) const {
  if (index < first_ || index - first_ >= offsets_.size()) {
    throw MsfDamaged{"type " + Hex(index) + " is not in the database"};
  }
  const std::uint64_t at = offsets_[index - first_];
  const std::uint16_t length = stream_->U16(at, "a type record");
  Record record;
  record.kind = stream_->U16(at + 2, "a type record");
  record.body = stream_->Bytes(at + 4, length - 2u, scratch, "a type record");
  return record;
}

std::optional<PdbTypeIndex> PdbTypeRecords::Definition(std::string_view name) const {
  const std::size_t hash = std::hash<std::string_view>()(name);
  auto it = std::lower_bound(definitions_.begin(), definitions_.end(),
                             std::make_pair(hash, PdbTypeIndex{0}));
  std::string scratch;
  for (; it != definitions_.end() && it->first == hash; ++it) {
    const Record record = Read(it->second, scratch);
    Cursor cursor(record.body, it->second);
    if (ReadClassHeader(record.kind, cursor).name == name) return it->second;
  }
  return std::nullopt;
}

PdbType PdbTypeRecords::Type(PdbTypeIndex index) const {
  using Kind = PdbType::Kind;
  if (index < 0x1000) return PdbSimpleType(index);
  std::string scratch;
  const Record record = Read(index, scratch);
  Cursor cursor(record.body, index);
  PdbType type;
  if (IsClassKind(record.kind)) {
    const ClassHeader header = ReadClassHeader(record.kind, cursor);
    type.kind = Kind::kClass;
    type.name = std::string(header.name);
    type.size = header.size;
    type.forward_reference = (header.properties & kForwardReference) != 0;
    return type;
  }
  switch (record.kind) {
    case kEnum: {
      cursor.Skip(2);
      const std::uint16_t properties = cursor.U16();
      type.kind = Kind::kEnum;
      type.target = cursor.U32();
      cursor.Skip(4);  // the enumerators
      type.name = std::string(cursor.Name());
      type.forward_reference = (properties & kForwardReference) != 0;
      const PdbType underlying = PdbSimpleType(type.target);
      type.size = underlying.size;
      type.is_signed = underlying.is_signed;
      return type;
    }
    case kPointer: {
      type.target = cursor.U32();
      const std::uint32_t attributes = cursor.U32();
      switch ((attributes >> 5) & 7) {
        case 0:
          type.kind = Kind::kPointer;
          break;
        case 1:
          type.kind = Kind::kLValueReference;
          break;
        case 4:
          type.kind = Kind::kRValueReference;
          break;
        default:
          type.kind = Kind::kOther;
          break;  // pointers to members
      }
      type.size = PointerSize(attributes);
      type.is_volatile = (attributes & (1u << 9)) != 0;
      type.is_const = (attributes & (1u << 10)) != 0;
      return type;
    }
    case kModifier: {
      type.kind = Kind::kModifier;
      type.target = cursor.U32();
      const std::uint16_t attributes = cursor.U16();
      type.is_const = (attributes & 1) != 0;
      type.is_volatile = (attributes & 2) != 0;
      return type;
    }
    case kArray: {
      type.kind = Kind::kArray;
      type.target = cursor.U32();
      cursor.Skip(4);  // the index type
      type.size = cursor.Numeric();
      const std::uint64_t element = SizeOf(type.target);
      if (element != 0) type.element_count = type.size / element;
      return type;
    }
    case kProcedure:
      type.kind = Kind::kProcedure;
      type.target = cursor.U32();
      return type;
    case kMemberFunction:
      type.kind = Kind::kMemberFunction;
      type.target = cursor.U32();
      return type;
    default:
      type.kind = Kind::kOther;
      return type;
  }
}

// The size of an array's element: through const/volatile, and from a forward reference to its
// definition. The steps are bounded, for a database whose modifiers go round in a circle.
std::uint64_t PdbTypeRecords::SizeOf(PdbTypeIndex index) const {
  for (int step = 0; step < 16; ++step) {
    if (index < 0x1000) return PdbSimpleType(index).size;
    std::string scratch;
    const Record record = Read(index, scratch);
    Cursor cursor(record.body, index);
    if (record.kind == kModifier) {
      index = cursor.U32();
      continue;
    }
    if (IsClassKind(record.kind)) {
      const ClassHeader header = ReadClassHeader(record.kind, cursor);
      if ((header.properties & kForwardReference) == 0) return header.size;
      const std::optional<PdbTypeIndex> definition = Definition(header.name);
      if (!definition || *definition == index) return 0;
      index = *definition;
      continue;
    }
    switch (record.kind) {
      case kEnum:
        cursor.Skip(4);
        return PdbSimpleType(cursor.U32()).size;
      case kPointer:
        cursor.Skip(4);
        return PointerSize(cursor.U32());
      case kArray:
        cursor.Skip(8);
        return cursor.Numeric();
      default:
        return 0;
    }
  }
  return 0;
}

std::optional<PdbClass> PdbTypeRecords::FindClass(std::string_view name) const {
  const std::optional<PdbTypeIndex> definition = Definition(name);
  if (!definition) return std::nullopt;
  std::string scratch;
  const Record record = Read(*definition, scratch);
  Cursor cursor(record.body, *definition);
  const ClassHeader header = ReadClassHeader(record.kind, cursor);
  PdbClass result;
  result.name = std::string(header.name);
  result.size = header.size;
  result.index = *definition;
  try {
    ReadFields(header.fields, result);
  } catch (const MsfDamaged& damaged) {
    result.problem = damaged.reason;
  }
  return result;
}

// A field list, and the lists it continues in (LF_INDEX), each at most once.
void PdbTypeRecords::ReadFields(PdbTypeIndex list, PdbClass& result) const {
  std::unordered_set<PdbTypeIndex> seen;
  std::string scratch;
  while (list != 0) {
    if (!seen.insert(list).second) {
      throw MsfDamaged{"field list " + Hex(list) + " continues into itself"};
    }
    const Record record = Read(list, scratch);
    Cursor cursor(record.body, list);
    if (record.kind != kFieldList) cursor.Fail("is no field list");
    PdbTypeIndex next = 0;
    while (true) {
      cursor.SkipPadding();
      if (cursor.AtEnd()) break;
      const std::uint16_t leaf = cursor.U16();
      switch (leaf) {
        case kMember: {
          cursor.Skip(2);  // access
          PdbField field;
          field.type = cursor.U32();
          field.offset = cursor.Numeric();
          field.name = std::string(cursor.Name());
          result.fields.push_back(std::move(field));
          break;
        }
        case kBaseClass:
          cursor.Skip(2);
          result.bases.push_back(cursor.U32());
          cursor.Numeric();
          break;
        case kVirtualBaseClass:
        case kIndirectVirtualBaseClass: {
          cursor.Skip(2);
          const PdbTypeIndex base = cursor.U32();
          cursor.Skip(4);  // the virtual base pointer's type
          cursor.Numeric();
          cursor.Numeric();
          // An indirect virtual base is a base of a base, not a direct one.
          if (leaf == kVirtualBaseClass) result.bases.push_back(base);
          break;
        }
        case kIndex:
          cursor.Skip(2);
          next = cursor.U32();
          break;
        case kVirtualFunctionTable:
        case kFriendClass:
          cursor.Skip(6);
          break;
        case kVirtualFunctionOffset:
          cursor.Skip(10);
          break;
        case kEnumerate:
          cursor.Skip(2);
          cursor.Numeric(true);
          cursor.Name();
          break;
        case kStaticMember:
        case kNestedTypeEx:
        case kMemberModify:
        case kNestedType:
        case kFriendFunction:
          cursor.Skip(6);
          cursor.Name();
          break;
        case kMethod:
          cursor.Skip(6);  // the overload count and the method list
          cursor.Name();
          break;
        case kOneMethod: {
          const std::uint16_t attributes = cursor.U16();
          cursor.Skip(4);
          // An introducing virtual method (plain or pure) carries its slot in the table.
          const unsigned property = (attributes >> 2) & 7;
          if (property == 4 || property == 6) cursor.Skip(4);
          cursor.Name();
          break;
        }
        default:
          cursor.Fail(
              ("has an entry of a kind this reader does not read (" + Hex(leaf) + ")").c_str());
      }
    }
    list = next;
  }
}
