// The program database reader on databases that clang-cl and lld-link build here, held against
// llvm-pdbutil's reading of the same files; the same databases rewritten with other block sizes
// and scattered blocks; and databases cut short, damaged or made up to go round in circles.

#include "tools/doctor/pdb_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/doctor/pdb_writer.h"
#include "tools/doctor/msf_file.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#ifdef KESTROVAR_PDB_FIXTURES
const std::filesystem::path kFixtures = KESTROVAR_PDB_FIXTURES;
#define REQUIRE_FIXTURES() (void)0
#else
const std::filesystem::path kFixtures;
#define REQUIRE_FIXTURES() GTEST_SKIP() << "clang-cl-19 or lld-link-19 is missing: no databases"
#endif

using Public = std::pair<std::string, bool>;

std::vector<Public> Publics(const PdbReader& reader) {
  std::vector<Public> publics;
  reader.ForEachPublic([&](std::string_view name, bool is_function) {
    publics.emplace_back(std::string(name), is_function);
  });
  return publics;
}

std::string Describe(const PdbType& type) {
  std::ostringstream out;
  out << static_cast<int>(type.kind) << " '" << type.name << "' size " << type.size
      << (type.is_signed ? " signed" : "") << (type.is_const ? " const" : "")
      << (type.is_volatile ? " volatile" : "") << (type.forward_reference ? " forward" : "")
      << " target " << type.target << " count " << type.element_count;
  return out.str();
}

std::string Describe(const PdbClass& found) {
  std::ostringstream out;
  out << found.name << " size " << found.size << " bases";
  for (const PdbTypeIndex base : found.bases) out << ' ' << base;
  for (const PdbField& field : found.fields) {
    out << " | " << field.name << '@' << field.offset << ':' << field.type;
  }
  if (!found.problem.empty()) out << " problem: " << found.problem;
  return out.str();
}

// All that the reader gives of a database: its publics, every type and every class definition.
std::string DescribeAll(const PdbReader& reader) {
  std::ostringstream out;
  for (const Public& public_symbol : Publics(reader)) {
    out << public_symbol.first << (public_symbol.second ? " code\n" : "\n");
  }
  for (PdbTypeIndex index = 0; index < 0x1000 + reader.TypeCount() + 2; ++index) {
    const PdbType type = reader.Type(index);
    if (type.kind == PdbType::Kind::kNone) continue;
    out << std::hex << index << std::dec << ": " << Describe(type) << '\n';
    if (type.kind == PdbType::Kind::kClass && !type.forward_reference) {
      const std::optional<PdbClass> found = reader.FindClass(type.name);
      out << "  " << (found ? Describe(*found) : "not found") << '\n';
    }
  }
  return out.str();
}

// What llvm-pdbutil reads of the same database.
struct Dump {
  std::vector<Public> publics;
  struct Member {
    std::string name;
    std::uint64_t offset = 0;
    PdbTypeIndex type = 0;
  };
  struct FieldList {
    std::vector<Member> members;
    std::vector<PdbTypeIndex> bases;
  };
  struct Record {
    std::string kind;
    std::string name;
    std::vector<std::string> lines;
  };
  std::map<PdbTypeIndex, Record> records;
  std::map<PdbTypeIndex, FieldList> field_lists;
};

PdbTypeIndex Hex(const std::string& text) {
  return static_cast<PdbTypeIndex>(std::stoul(text, nullptr, 16));
}

Dump ReadDump(const std::string& publics_text, const std::string& types_text) {
  Dump dump;
  std::istringstream publics(publics_text);
  const std::regex public_line(R"(S_PUB32 \[size = \d+\] `(.*)`)");
  std::string line;
  std::smatch match;
  while (std::getline(publics, line)) {
    if (!std::regex_search(line, match, public_line)) continue;
    const std::string name = match[1];
    std::string flags;
    std::getline(publics, flags);
    const bool is_function =
        flags.find("function") != std::string::npos || flags.find("code") != std::string::npos;
    dump.publics.emplace_back(name, is_function);
  }
  std::istringstream types(types_text);
  const std::regex record_line(R"(^\s*0x([0-9A-F]+) \| (LF_\w+) \[size = \d+\](?: `(.*)`)?)");
  const std::regex member_line(
      R"(- LF_MEMBER \[name = `(.*)`, Type = 0x([0-9A-F]+).*, offset = (\d+), attrs)");
  const std::regex base_line(R"(^\s*type = 0x([0-9A-F]+), offset = \d+)");
  const std::regex virtual_base_line(R"(^\s*base = 0x([0-9A-F]+), vbptr)");
  PdbTypeIndex current = 0;
  bool in_base = false;
  bool in_virtual_base = false;
  while (std::getline(types, line)) {
    if (std::regex_search(line, match, record_line)) {
      current = Hex(match[1]);
      dump.records[current] = {match[2], match[3], {}};
      if (match[2] == "LF_FIELDLIST") dump.field_lists[current];
      in_base = in_virtual_base = false;
      continue;
    }
    if (current == 0) continue;
    dump.records[current].lines.push_back(line);
    if (dump.records[current].kind != "LF_FIELDLIST") continue;
    if (std::regex_search(line, match, member_line)) {
      dump.field_lists[current].members.push_back({match[1], std::stoull(match[3]), Hex(match[2])});
    } else if (line.find("- LF_BCLASS") != std::string::npos) {
      in_base = true;
    } else if (in_base && std::regex_search(line, match, base_line)) {
      dump.field_lists[current].bases.push_back(Hex(match[1]));
      in_base = false;
    } else if (line.find("- LF_VBCLASS") != std::string::npos) {
      // A direct virtual base; an indirect one (LF_IVBCLASS) is a base's base.
      in_virtual_base = true;
    } else if (in_virtual_base && std::regex_search(line, match, virtual_base_line)) {
      dump.field_lists[current].bases.push_back(Hex(match[1]));
      in_virtual_base = false;
    }
  }
  return dump;
}

std::string Joined(const Dump::Record& record) {
  std::string text;
  for (const std::string& line : record.lines) text += line + '\n';
  return text;
}

PdbOpenResult OpenFixture(const std::string& name, std::string& bytes) {
  bytes = ReadFile(kFixtures / name);
  return ReadPdbBytes(bytes);
}

TEST(PdbReader, ReadsThePublicsAndClassesThatLlvmPdbutilReads) {
  REQUIRE_FIXTURES();
  if (!std::filesystem::exists(kFixtures / "program.types.txt")) {
    GTEST_SKIP() << "llvm-pdbutil-19 is missing";
  }
  std::string bytes;
  const PdbOpenResult read = OpenFixture("program.pdb", bytes);
  ASSERT_TRUE(read.reader) << read.problem;
  const Dump dump = ReadDump(ReadFile(kFixtures / "program.publics.txt"),
                             ReadFile(kFixtures / "program.types.txt"));

  // The same publics; the dump lists them in hash order, the reader in stream order.
  std::vector<Public> expected = dump.publics;
  std::vector<Public> publics = Publics(*read.reader);
  ASSERT_GT(expected.size(), 15u);
  std::sort(expected.begin(), expected.end());
  std::sort(publics.begin(), publics.end());
  EXPECT_EQ(publics, expected);
  EXPECT_EQ(read.reader->PublicCount(), expected.size());
  EXPECT_EQ(read.reader->TypeCount(), dump.records.size());

  // Every class definition: its size, bases and data members; and every pointer, modifier,
  // array and enum as the dump reads them.
  int classes = 0;
  const std::regex size_of(R"(sizeof (\d+))");
  const std::regex field_list(R"(field list: 0x([0-9A-F]+))");
  const std::regex referent(
      R"(referent = 0x([0-9A-F]+).*mode = ([a-z ]+), opts = ([a-z |A-Z]+), kind = ptr64)");
  const std::regex modifier(R"(referent = 0x([0-9A-F]+).*modifiers = (.*))");
  const std::regex array(R"(size: (\d+), index type: .*, element type: 0x([0-9A-F]+))");
  const std::regex underlying(R"(underlying type: 0x([0-9A-F]+))");
  std::smatch match;
  for (const auto& [index, record] : dump.records) {
    SCOPED_TRACE(record.kind + " " + record.name);
    const std::string lines = Joined(record);
    const PdbType type = read.reader->Type(index);
    if (record.kind == "LF_STRUCTURE" || record.kind == "LF_CLASS" || record.kind == "LF_UNION") {
      EXPECT_EQ(type.kind, PdbType::Kind::kClass);
      EXPECT_EQ(type.name, record.name);
      EXPECT_EQ(type.forward_reference, lines.find("forward ref") != std::string::npos);
      if (type.forward_reference) continue;
      ++classes;
      const std::optional<PdbClass> found = read.reader->FindClass(record.name);
      ASSERT_TRUE(found);
      EXPECT_EQ(found->index, index);
      EXPECT_TRUE(found->problem.empty()) << found->problem;
      ASSERT_TRUE(std::regex_search(lines, match, size_of));
      EXPECT_EQ(found->size, std::stoull(match[1]));
      EXPECT_EQ(type.size, found->size);
      Dump::FieldList fields;
      if (std::regex_search(lines, match, field_list)) fields = dump.field_lists.at(Hex(match[1]));
      ASSERT_EQ(found->fields.size(), fields.members.size());
      for (std::size_t i = 0; i < fields.members.size(); ++i) {
        EXPECT_EQ(found->fields[i].name, fields.members[i].name);
        EXPECT_EQ(found->fields[i].offset, fields.members[i].offset);
        EXPECT_EQ(found->fields[i].type, fields.members[i].type);
      }
      EXPECT_EQ(found->bases, fields.bases);
    } else if (record.kind == "LF_POINTER") {
      ASSERT_TRUE(std::regex_search(lines, match, referent)) << lines;
      EXPECT_EQ(type.target, Hex(match[1]));
      const std::string mode = match[2];
      EXPECT_EQ(type.kind, mode == "pointer"      ? PdbType::Kind::kPointer
                           : mode == "ref"        ? PdbType::Kind::kLValueReference
                           : mode == "rvalue ref" ? PdbType::Kind::kRValueReference
                                                  : PdbType::Kind::kOther)
          << mode;
      if (type.kind != PdbType::Kind::kOther) {
        EXPECT_EQ(type.size, 8u);
      }
      EXPECT_EQ(type.is_const, std::string(match[3]).find("const") != std::string::npos);
    } else if (record.kind == "LF_MODIFIER") {
      ASSERT_TRUE(std::regex_search(lines, match, modifier));
      EXPECT_EQ(type.kind, PdbType::Kind::kModifier);
      EXPECT_EQ(type.target, Hex(match[1]));
      EXPECT_EQ(type.is_const, std::string(match[2]).find("const") != std::string::npos);
      EXPECT_EQ(type.is_volatile, std::string(match[2]).find("volatile") != std::string::npos);
    } else if (record.kind == "LF_ARRAY") {
      ASSERT_TRUE(std::regex_search(lines, match, array));
      EXPECT_EQ(type.kind, PdbType::Kind::kArray);
      EXPECT_EQ(type.size, std::stoull(match[1]));
      EXPECT_EQ(type.target, Hex(match[2]));
    } else if (record.kind == "LF_ENUM") {
      ASSERT_TRUE(std::regex_search(lines, match, underlying));
      EXPECT_EQ(type.kind, PdbType::Kind::kEnum);
      EXPECT_EQ(type.name, record.name);
      EXPECT_EQ(type.target, Hex(match[1]));
    } else if (record.kind == "LF_PROCEDURE") {
      EXPECT_EQ(type.kind, PdbType::Kind::kProcedure);
    } else if (record.kind == "LF_MFUNCTION") {
      EXPECT_EQ(type.kind, PdbType::Kind::kMemberFunction);
    }
  }
  EXPECT_GE(classes, 11);
}

// What the doctor asks of the classes of the test program, spelt out.
TEST(PdbReader, ReadsTheTestProgramsClasses) {
  REQUIRE_FIXTURES();
  std::string bytes;
  const PdbOpenResult read = OpenFixture("program.pdb", bytes);
  ASSERT_TRUE(read.reader) << read.problem;
  const PdbReader& reader = *read.reader;

  std::map<std::string, bool> publics;
  reader.ForEachPublic(
      [&](std::string_view name, bool code) { publics[std::string(name)] = code; });
  EXPECT_EQ(publics.at("?Take@Worker@@QEAA_NUArg@@@Z"), true);
  EXPECT_EQ(publics.at("?Kind@Derived@@UEAAHXZ"), true);
  EXPECT_EQ(publics.at("entry"), true);
  EXPECT_EQ(publics.at("?derived@@3UDerived@@A"), false);
  EXPECT_EQ(publics.at("?count@?$Box@H@@2HA"), false);

  const std::optional<PdbClass> base = reader.FindClass("Base");
  ASSERT_TRUE(base);
  EXPECT_EQ(Describe(*base).substr(0, 15), "Base size 16 ba");
  ASSERT_EQ(base->fields.size(), 1u);
  EXPECT_EQ(base->fields[0].name, "next");
  EXPECT_EQ(base->fields[0].offset, 8u);  // after the virtual table's pointer
  const PdbType next = reader.Type(base->fields[0].type);
  EXPECT_EQ(next.kind, PdbType::Kind::kPointer);
  EXPECT_EQ(next.size, 8u);
  EXPECT_EQ(reader.Type(next.target).name, "Base");

  const std::optional<PdbClass> derived = reader.FindClass("Derived");
  ASSERT_TRUE(derived);
  EXPECT_EQ(derived->size, 24u);
  ASSERT_EQ(derived->bases.size(), 1u);
  EXPECT_EQ(reader.Type(derived->bases[0]).name, "Base");
  ASSERT_EQ(derived->fields.size(), 1u);
  EXPECT_EQ(derived->fields[0].offset, 16u);
  EXPECT_EQ(Describe(reader.Type(derived->fields[0].type)), Describe(reader.Type(0x74)));

  const std::optional<PdbClass> box = reader.FindClass("Box<int>");
  ASSERT_TRUE(box);
  ASSERT_EQ(box->fields.size(), 1u);  // the static member is no field
  EXPECT_EQ(box->fields[0].name, "item");
  EXPECT_FALSE(reader.FindClass("Box"));
  EXPECT_FALSE(reader.FindClass("base"));
  EXPECT_FALSE(reader.FindClass(""));
  EXPECT_TRUE(reader.FindClass("Number"));  // a union

  // A direct virtual base counts, an indirect one does not; a nested class by its full name.
  const std::optional<PdbClass> shared = reader.FindClass("Shared");
  ASSERT_TRUE(shared);
  ASSERT_EQ(shared->bases.size(), 1u);
  EXPECT_EQ(reader.Type(shared->bases[0]).name, "Base");
  const std::optional<PdbClass> joined = reader.FindClass("Joined");
  ASSERT_TRUE(joined);
  ASSERT_EQ(joined->bases.size(), 1u);
  EXPECT_EQ(reader.Type(joined->bases[0]).name, "Shared");
  ASSERT_EQ(joined->fields.size(), 1u);
  EXPECT_EQ(reader.Type(joined->fields[0].type).name, "Joined::Inner");
  EXPECT_TRUE(joined->problem.empty()) << joined->problem;
  EXPECT_EQ(reader.FindClass("Joined::Inner")->size, 4u);

  // The by-value struct and the member function's type.
  const std::optional<PdbClass> arg = reader.FindClass("Arg");
  ASSERT_TRUE(arg);
  EXPECT_EQ(arg->size, 16u);
  ASSERT_EQ(arg->fields.size(), 2u);
  EXPECT_EQ(arg->fields[1].offset, 8u);
  EXPECT_EQ(reader.Type(arg->fields[1].type).name, "double");

  // Each member of Shapes: kind, name, size, qualifiers and count.
  const std::optional<PdbClass> shapes = reader.FindClass("Shapes");
  ASSERT_TRUE(shapes);
  std::map<std::string, PdbType> fields;
  for (const PdbField& field : shapes->fields) fields[field.name] = reader.Type(field.type);
  using Kind = PdbType::Kind;
  struct Case {
    const char* field;
    Kind kind;
    const char* name;
    std::uint64_t size;
    bool is_signed;
  };
  const Case cases[] = {
      {"single", Kind::kFloatingPoint, "float", 4, false},
      {"twice", Kind::kFloatingPoint, "double", 8, false},
      {"wide", Kind::kInteger, "unsigned __int64", 8, false},
      {"signed_wide", Kind::kInteger, "__int64", 8, true},
      {"little", Kind::kInteger, "short", 2, true},
      {"flag", Kind::kBool, "bool", 1, false},
      {"letter", Kind::kCharacter, "wchar_t", 2, false},
      {"text", Kind::kArray, "", 16, false},
      {"items", Kind::kArray, "", 24, false},
      {"lvalue", Kind::kLValueReference, "", 8, false},
      {"rvalue", Kind::kRValueReference, "", 8, false},
      {"function", Kind::kPointer, "", 8, false},
      {"member", Kind::kOther, "", 4, false},
      {"color", Kind::kEnum, "Color", 4, true},
      {"small", Kind::kEnum, "Small", 1, false},
      {"boxed", Kind::kClass, "Box<Derived>", 0, false},
      {"number", Kind::kClass, "Number", 0, false},
      {"name", Kind::kPointer, "", 8, false},
      {"anything", Kind::kPointer, "", 8, false},
      {"qualified", Kind::kModifier, "", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    ASSERT_EQ(fields.count(c.field), 1u);
    const PdbType& type = fields[c.field];
    EXPECT_EQ(type.kind, c.kind);
    EXPECT_EQ(type.name, c.name);
    EXPECT_EQ(type.size, c.size);
    EXPECT_EQ(type.is_signed, c.is_signed);
  }
  EXPECT_EQ(fields["text"].element_count, 16u);
  EXPECT_EQ(reader.Type(fields["text"].target).name, "char");
  EXPECT_EQ(fields["items"].element_count, 3u);
  EXPECT_EQ(reader.Type(reader.Type(fields["items"].target).target).name, "Derived");
  EXPECT_TRUE(fields["boxed"].forward_reference);
  EXPECT_EQ(fields["qualified"].is_const && fields["qualified"].is_volatile, true);
  EXPECT_EQ(reader.Type(fields["qualified"].target).name, "unsigned char");
  EXPECT_EQ(reader.Type(fields["function"].target).kind, Kind::kProcedure);
  EXPECT_EQ(fields["anything"].target, 3u);  // T_64PVOID: a pointer to void
  EXPECT_EQ(reader.Type(fields["anything"].target).kind, Kind::kVoid);
  const PdbType name_target = reader.Type(fields["name"].target);
  EXPECT_EQ(name_target.kind, Kind::kModifier);
  EXPECT_TRUE(name_target.is_const);
}

// The linker's own 8192-byte blocks, and the same streams rewritten with every block size a
// database uses, each stream's blocks in reverse order: the same reading.
TEST(PdbReader, ReadsEveryBlockSizeAndScatteredBlocks) {
  REQUIRE_FIXTURES();
  std::string bytes;
  const PdbOpenResult read = OpenFixture("program.pdb", bytes);
  ASSERT_TRUE(read.reader) << read.problem;
  const std::string expected = DescribeAll(*read.reader);
  ASSERT_GT(expected.size(), 2000u);

  std::string big_bytes;
  const PdbOpenResult big = OpenFixture("program-8192.pdb", big_bytes);
  ASSERT_TRUE(big.reader) << big.problem;
  EXPECT_EQ(ReadPdbBytes(big_bytes.substr(0, 32)).problem.substr(0, 15), "it is cut short");
  EXPECT_EQ(MsfFile(big_bytes, nullptr).BlockSize(), 8192u);
  EXPECT_EQ(DescribeAll(*big.reader), expected);

  const MsfFile msf(bytes, nullptr);
  for (const std::uint32_t block_size : {512u, 1024u, 2048u, 4096u, 16384u, 65536u}) {
    SCOPED_TRACE(block_size);
    StringSink sink;
    MsfWriter writer(sink, block_size, /*scatter=*/true);
    for (std::uint32_t i = 0; i < msf.StreamCount(); ++i) {
      const std::optional<MsfStream> stream = msf.Stream(i);
      if (stream) {
        writer.SetStream(i, stream->ReadAll());
      } else {
        writer.SetNilStream(i);
      }
    }
    writer.Finish();
    const PdbOpenResult rewritten = ReadPdbBytes(sink.bytes);
    ASSERT_TRUE(rewritten.reader) << rewritten.problem;
    EXPECT_EQ(MsfFile(sink.bytes, nullptr).BlockSize(), block_size);
    EXPECT_EQ(DescribeAll(*rewritten.reader), expected);
  }
}

TEST(PdbReader, OpensAFileAsItReadsItsBytes) {
  REQUIRE_FIXTURES();
  std::string bytes;
  const PdbOpenResult read = OpenFixture("program.pdb", bytes);
  const PdbOpenResult opened = OpenPdbFile(kFixtures / "program.pdb");
  ASSERT_TRUE(opened.reader) << opened.problem;
  EXPECT_EQ(DescribeAll(*opened.reader), DescribeAll(*read.reader));
  EXPECT_EQ(opened.reader->Identity().version, 20000404u);
  EXPECT_EQ(opened.reader->Identity().age, read.reader->Identity().age);
  EXPECT_EQ(opened.reader->Identity().guid, read.reader->Identity().guid);

  const PdbOpenResult missing = OpenPdbFile(kFixtures / "no-such.pdb");
  EXPECT_FALSE(missing.reader);
  EXPECT_EQ(missing.problem.rfind("it cannot be read: ", 0), 0u) << missing.problem;
  const PdbOpenResult folder = OpenPdbFile(kFixtures);
  EXPECT_FALSE(folder.reader);
  EXPECT_FALSE(folder.problem.empty());
}

// Every length of a real database: a reason, never a reader of part of it (and never a read past
// the bytes: the sanitizer build checks that); a byte spoilt at many places: a reason or a reader
// that answers everything without reading outside the file.
TEST(PdbReader, ACutShortOrSpoiltDatabaseGivesAReason) {
  REQUIRE_FIXTURES();
  const std::string bytes = ReadFile(kFixtures / "program.pdb");
  ASSERT_GT(bytes.size(), 40000u);
  for (std::size_t size = 1; size < bytes.size(); size += 97) {
    const PdbOpenResult read = ReadPdbBytes(std::string_view(bytes).substr(0, size));
    ASSERT_FALSE(read.reader) << size;
    EXPECT_FALSE(read.not_pdb) << size;
    EXPECT_EQ(read.problem.rfind("it is cut short", 0), 0u) << size << ": " << read.problem;
  }
  int readable = 0;
  for (std::size_t at = 0; at < bytes.size(); at += 149) {
    for (const char spoilt : {'\xff', '\x00', '\x7f'}) {
      std::string copy = bytes;
      copy[at] = spoilt;
      const PdbOpenResult read = ReadPdbBytes(copy);
      EXPECT_EQ(read.reader == nullptr, !read.problem.empty()) << at;
      if (read.reader) {
        ++readable;
        (void)DescribeAll(*read.reader);
      }
    }
  }
  EXPECT_GT(readable, 100);
}

TEST(PdbReader, BytesThatAreNoDatabaseAreToldApart) {
  const struct {
    std::string bytes;
    bool not_pdb;
    const char* problem;
  } cases[] = {
      {"", false, "it is empty"},
      {"MZ\x90", true, "it is no program database: it does not start with the header"},
      {std::string(4096, 'x'), true, "it is no program database"},
      {"Microsoft C/C++ program database 2.00\r\n\x1aJG\0\0", false,
       "it is a program database of the old 2.00 format"},
      {std::string(kMsfMagic.substr(0, 20)), false, "it is cut short: 20 bytes"},
      {std::string(kMsfMagic) + "abc", false, "it is cut short: 35 bytes"},
  };
  for (const auto& c : cases) {
    const PdbOpenResult read = ReadPdbBytes(c.bytes);
    EXPECT_FALSE(read.reader);
    EXPECT_EQ(read.not_pdb, c.not_pdb) << c.problem;
    EXPECT_EQ(read.problem.rfind(c.problem, 0), 0u) << read.problem;
  }
  // A file of no bytes cannot be mapped, and is read as empty all the same; so is one of text.
  std::ofstream("empty.pdb", std::ios::binary).flush();
  const PdbOpenResult empty = OpenPdbFile("empty.pdb");
  EXPECT_FALSE(empty.reader);
  EXPECT_EQ(empty.problem, "it is empty");
  std::ofstream("text.pdb", std::ios::binary) << "not a database\n";
  const PdbOpenResult text = OpenPdbFile("text.pdb");
  EXPECT_TRUE(text.not_pdb);
  if (std::filesystem::exists(kFixtures / "program.exe")) {
    const PdbOpenResult read = ReadPdbBytes(ReadFile(kFixtures / "program.exe"));
    EXPECT_TRUE(read.not_pdb);
  }
}

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8 |
         static_cast<unsigned char>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

void SetLe32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The superblock, the directory's block list and the directory itself pointing outside the file.
TEST(PdbReader, ADirectoryPointingOutsideTheFileGivesAReason) {
  REQUIRE_FIXTURES();
  const std::string bytes = ReadFile(kFixtures / "program.pdb");
  const std::uint32_t block_size = Le32(bytes, 32);
  const std::uint32_t block_map = Le32(bytes, 52);
  const std::size_t directory = std::size_t{Le32(bytes, block_map * block_size)} * block_size;
  ASSERT_LT(directory, bytes.size());
  const std::uint32_t streams = Le32(bytes, directory);
  ASSERT_LT(Le32(bytes, 44), block_size) << "the directory fits in one block";
  // Stream 2's first block number follows those of streams 0 and 1.
  std::size_t before = 0;
  for (std::uint32_t i = 0; i < 2; ++i) {
    const std::uint32_t size = Le32(bytes, directory + 4 + 4 * i);
    if (size != 0xFFFFFFFF) before += (size + block_size - 1) / block_size;
  }
  const std::size_t stream_2_block = directory + 4 + 4 * streams + 4 * before;
  const struct {
    std::size_t at;
    std::uint32_t value;
    const char* problem;
  } cases[] = {
      {52, 0x40000000, "its stream directory's block list lies outside the file"},
      {52, 0, "its stream directory's block list lies outside the file"},
      {std::size_t{block_map} * block_size, 0x7FFFFFFF,
       "its stream directory lies outside the file"},
      {44, 0xFFFFFFF0, "its stream directory's size"},
      {40, Le32(bytes, 40) + 1, "it is cut short: it holds"},
      {32, 4000, "its block size (4000)"},
      {32, 256, "its block size (256)"},
      {directory, 0x40000000, "its stream directory claims more streams"},
      {directory + 4 + 4 * 2, 0x7FFFFFF0, "its stream directory is cut short"},
      {stream_2_block, 0x00FFFFFF, "stream 2 has a block outside the file"},
      {stream_2_block, 0, "stream 2 has a block outside the file"},
  };
  for (const auto& c : cases) {
    std::string copy = bytes;
    SetLe32(copy, c.at, c.value);
    const PdbOpenResult read = ReadPdbBytes(copy);
    EXPECT_FALSE(read.reader) << c.problem;
    EXPECT_FALSE(read.not_pdb);
    EXPECT_NE(read.problem.find(c.problem), std::string::npos) << read.problem;
  }
}

// Databases made up record by record, for what no compiler writes.
struct MadeUp {
  TypeRecordWriter types;
  PdbParts parts;
  std::string bytes;
  PdbOpenResult Open(std::uint32_t block_size = 512) {
    parts.types = types.Bytes();
    parts.type_count = types.Count();
    StringSink sink;
    MsfWriter writer(sink, block_size, true);
    WritePdb(writer, parts);
    writer.Finish();
    bytes = std::move(sink.bytes);
    return ReadPdbBytes(bytes);
  }
};

constexpr std::uint16_t kFieldList = 0x1203;
constexpr std::uint16_t kStructure = 0x1505;

std::string IndexEntry(PdbTypeIndex next) {
  std::string entry;
  PutU16(entry, 0x1404);
  PutU16(entry, 0);
  PutU32(entry, next);
  return entry;
}

TEST(PdbReader, FieldListsThatGoRoundInCirclesEndWithAReason) {
  MadeUp db;
  // 0x1000: a list that continues into itself; 0x1001 and 0x1002 into each other; 0x1003 into
  // 0x1004, which ends.
  db.types.Add(kFieldList, MemberEntry(0x74, 0, "x") + IndexEntry(0x1000));
  db.types.Add(kFieldList, MemberEntry(0x74, 0, "b") + IndexEntry(0x1002));
  db.types.Add(kFieldList, MemberEntry(0x74, 4, "c") + IndexEntry(0x1001));
  db.types.Add(kFieldList, MemberEntry(0x74, 0, "d") + IndexEntry(0x1004));
  db.types.Add(kFieldList, MemberEntry(0x75, 0x12345, "e"));
  db.types.Add(kStructure, ClassBody(0, 0x1000, 4, "Loop"));
  db.types.Add(kStructure, ClassBody(0, 0x1001, 8, "Pair"));
  db.types.Add(kStructure, ClassBody(0, 0x1003, 8, "Long"));
  // A class whose list is no list, and one whose list is past the last type.
  db.types.Add(kStructure, ClassBody(0, 0x1005, 8, "NotAList"));
  db.types.Add(kStructure, ClassBody(0, 0x7000, 8, "Beyond"));
  // An array of itself, and modifiers of each other under an array.
  std::string array_of_itself;
  PutU32(array_of_itself, 0x100A);
  PutU32(array_of_itself, 0x23);
  PutU16(array_of_itself, 16);
  PutName(array_of_itself, "");
  db.types.Add(0x1503, array_of_itself);  // 0x100A
  std::string modifier;
  PutU32(modifier, 0x100C);
  PutU16(modifier, 1);
  db.types.Add(0x1001, modifier);  // 0x100B -> 0x100C
  modifier.clear();
  PutU32(modifier, 0x100B);
  PutU16(modifier, 2);
  db.types.Add(0x1001, modifier);  // 0x100C -> 0x100B
  std::string array_of_modifier;
  PutU32(array_of_modifier, 0x100B);
  PutU32(array_of_modifier, 0x23);
  PutU16(array_of_modifier, 16);
  PutName(array_of_modifier, "");
  db.types.Add(0x1503, array_of_modifier);  // 0x100D
  const PdbOpenResult read = db.Open();
  ASSERT_TRUE(read.reader) << read.problem;

  const std::optional<PdbClass> loop = read.reader->FindClass("Loop");
  ASSERT_TRUE(loop);
  EXPECT_EQ(Describe(*loop),
            "Loop size 4 bases | x@0:116 problem: field list 0x1000 continues into itself");
  const std::optional<PdbClass> pair = read.reader->FindClass("Pair");
  ASSERT_TRUE(pair);
  EXPECT_EQ(
      Describe(*pair),
      "Pair size 8 bases | b@0:116 | c@4:116 problem: field list 0x1001 continues into itself");
  const std::optional<PdbClass> long_list = read.reader->FindClass("Long");
  ASSERT_TRUE(long_list);
  EXPECT_EQ(Describe(*long_list), "Long size 8 bases | d@0:116 | e@74565:117");
  EXPECT_EQ(Describe(*read.reader->FindClass("NotAList")),
            "NotAList size 8 bases problem: type record 0x1005 is no field list");
  EXPECT_EQ(Describe(*read.reader->FindClass("Beyond")),
            "Beyond size 8 bases problem: type 0x7000 is not in the database");

  const PdbType itself = read.reader->Type(0x100A);
  EXPECT_EQ(itself.kind, PdbType::Kind::kArray);
  EXPECT_EQ(itself.size, 16u);
  EXPECT_EQ(itself.element_count, 1u);
  const PdbType of_modifier = read.reader->Type(0x100D);
  EXPECT_EQ(of_modifier.kind, PdbType::Kind::kArray);
  EXPECT_EQ(of_modifier.element_count, 0u);  // no size found in the circle
  EXPECT_EQ(read.reader->Type(0x100E).kind, PdbType::Kind::kNone);
}

TEST(PdbReader, ReadsNumericLeavesAndForwardReferences) {
  MadeUp db;
  std::string list;
  list += MemberEntry(0x74, 0, "small");
  list += MemberEntry(0x74, 0x10000, "ulong");  // LF_ULONG
  std::string entry;
  PutU16(entry, 0x150d);
  PutU16(entry, 3);
  PutU32(entry, 0x74);
  PutU16(entry, 0x800a);  // LF_UQUADWORD
  PutU32(entry, 0x20000);
  PutU32(entry, 0);
  PutName(entry, "quad");
  while (entry.size() % 4 != 0) entry += '\xf1';
  list += entry;
  entry.clear();
  PutU16(entry, 0x150d);
  PutU16(entry, 3);
  PutU32(entry, 0x74);
  PutU16(entry, 0x8001);  // LF_SHORT
  PutU16(entry, 0x30);
  PutName(entry, "short");
  list += entry;  // no padding before the next entry
  list += MemberEntry(0x74, 0x40, "after");
  db.types.Add(kFieldList, list);                              // 0x1000
  db.types.Add(kStructure, ClassBody(0x80, 0, 0, "Numbers"));  // 0x1001, the forward reference
  std::string body = ClassBody(0, 0x1000, 0, "Numbers");
  // The size as LF_LONG: replace the two bytes of the short size with the leaf and four bytes.
  std::string size;
  PutU16(size, 0x8003);
  PutU32(size, 0x20008);
  body.replace(16, 2, size);
  db.types.Add(kStructure, body);  // 0x1002
  std::string negative;
  PutU16(negative, 0x150d);
  PutU16(negative, 3);
  PutU32(negative, 0x74);
  PutU16(negative, 0x8000);  // LF_CHAR
  negative += '\xfe';
  PutName(negative, "negative");
  db.types.Add(kFieldList, MemberEntry(0x74, 0, "first") + negative);  // 0x1003
  db.types.Add(kStructure, ClassBody(0, 0x1003, 4, "Negative"));
  std::string unknown;
  PutU16(unknown, 0x1234);
  db.types.Add(kFieldList, MemberEntry(0x74, 0, "known") + unknown);  // 0x1005
  db.types.Add(kStructure, ClassBody(0, 0x1005, 4, "Unknown"));
  db.types.Add(kStructure, ClassBody(0x80, 0, 0, "OnlyDeclared"));
  // Two definitions of one name (the linkers keep both when they differ): the first counts.
  db.types.Add(kStructure, ClassBody(0, 0, 1, "Twice"));
  db.types.Add(kStructure, ClassBody(0, 0, 2, "Twice"));
  // The newer MSVC record with 32-bit properties (LF_STRUCTURE2), defining a class of its own, and
  // its union form.
  std::string wide;
  PutU32(wide, 0);
  PutU32(wide, 0x1005);
  PutU32(wide, 0);
  PutU32(wide, 0);
  PutU16(wide, 1);
  PutU16(wide, 12);
  PutName(wide, "Wide");
  db.types.Add(0x1609, wide);
  std::string wide_union;
  PutU32(wide_union, 0x80);
  PutU32(wide_union, 0);
  PutU16(wide_union, 0);
  PutU16(wide_union, 0);
  PutName(wide_union, "WideUnion");
  const PdbTypeIndex wide_union_index = db.types.Add(0x160a, wide_union);
  const PdbOpenResult read = db.Open(1024);
  ASSERT_TRUE(read.reader) << read.problem;

  EXPECT_EQ(Describe(*read.reader->FindClass("Numbers")),
            "Numbers size 131080 bases | small@0:116 | ulong@65536:116 | quad@131072:116 | "
            "short@48:116 | after@64:116");
  EXPECT_TRUE(read.reader->Type(0x1001).forward_reference);
  EXPECT_EQ(read.reader->Type(0x1002).size, 131080u);
  EXPECT_EQ(Describe(*read.reader->FindClass("Negative")),
            "Negative size 4 bases | first@0:116 problem: type record 0x1003 has a negative size "
            "or offset");
  EXPECT_EQ(
      Describe(*read.reader->FindClass("Unknown")),
      "Unknown size 4 bases | known@0:116 problem: type record 0x1005 has an entry of a kind this "
      "reader does not read (0x1234)");
  EXPECT_FALSE(read.reader->FindClass("OnlyDeclared"));
  EXPECT_EQ(read.reader->FindClass("Twice")->size, 1u);
  EXPECT_EQ(Describe(*read.reader->FindClass("Wide")),
            "Wide size 12 bases | known@0:116 problem: type record 0x1005 has an entry of a kind "
            "this reader does not read (0x1234)");
  const PdbType declared = read.reader->Type(wide_union_index);
  EXPECT_EQ(declared.name, "WideUnion");
  EXPECT_TRUE(declared.forward_reference);
}

TEST(PdbReader, VisitsThePublicsInStreamOrderEachOnce) {
  MadeUp db;
  AddPublic(db.parts, "?First@@YAXXZ", true);
  AddPublic(db.parts, "?data@@3HA", false);
  AddPublic(db.parts, std::string(3000, 'n'), true);  // across blocks of 512 bytes
  AddPublic(db.parts, "last", false);
  // The hash lists them in another order, one twice.
  db.parts.publics = {db.parts.publics[3], db.parts.publics[0], db.parts.publics[2],
                      db.parts.publics[1], db.parts.publics[0]};
  const PdbOpenResult read = db.Open();
  ASSERT_TRUE(read.reader) << read.problem;
  const std::vector<Public> expected = {{"?First@@YAXXZ", true},
                                        {"?data@@3HA", false},
                                        {std::string(3000, 'n'), true},
                                        {"last", false}};
  EXPECT_EQ(Publics(*read.reader), expected);

  // A hash record that points past the symbols, or into the middle of a record.
  for (const std::uint32_t offset : {0x10000u, 4u}) {
    MadeUp damaged;
    AddPublic(damaged.parts, "one", true);
    damaged.parts.publics.push_back(offset);
    const PdbOpenResult result = damaged.Open();
    EXPECT_FALSE(result.reader) << offset;
    EXPECT_EQ(result.problem.rfind("its publics hash points", 0), 0u) << result.problem;
  }
}

TEST(PdbReader, ATypeStreamThatClaimsMoreThanItHoldsGivesAReason) {
  MadeUp db;
  db.types.Add(kStructure, ClassBody(0, 0, 1, "One"));
  db.types.Add(kStructure, ClassBody(0, 0, 1, "Two"));
  db.parts.type_count = 0;
  db.Open();
  std::string bytes = db.bytes;
  // The type count of the header: find the TPI header by its version and start.
  std::string header;
  PutU32(header, 20040203);
  PutU32(header, 56);
  PutU32(header, 0x1000);
  const std::size_t at = bytes.find(header);
  ASSERT_NE(at, std::string::npos);
  const struct {
    std::uint32_t end;
    const char* problem;
  } cases[] = {
      {0x1003, "its type records end before type 0x1002"},
      {0x7FFFFFFF, "its type stream's header gives an impossible range"},
      {0x0FFF, "its type stream's header gives an impossible range"},
  };
  for (const auto& c : cases) {
    std::string copy = bytes;
    SetLe32(copy, at + 12, c.end);
    const PdbOpenResult read = ReadPdbBytes(copy);
    EXPECT_FALSE(read.reader);
    EXPECT_EQ(read.problem.rfind(c.problem, 0), 0u) << read.problem;
  }
  SetLe32(bytes, at + 12, 0x1002);
  ASSERT_TRUE(ReadPdbBytes(bytes).reader);
  SetLe32(bytes, at + 16, 0x7FFFFFF0);
  EXPECT_EQ(ReadPdbBytes(bytes).problem,
            "its type stream's header gives sizes past the stream's end");
}

TEST(PdbReader, NamesTheBuiltInTypes) {
  using Kind = PdbType::Kind;
  const std::vector<std::pair<PdbTypeIndex, std::string>> cases = {
      {0x0000, Describe(PdbType{})},
      {0x0003, Describe({Kind::kVoid, "void", 0, false, false, false, false, 0, 0})},
      {0x0074, Describe({Kind::kInteger, "int", 4, true, false, false, false, 0, 0})},
      {0x0075, Describe({Kind::kInteger, "unsigned int", 4, false, false, false, false, 0, 0})},
      {0x0069, Describe({Kind::kInteger, "unsigned char", 1, false, false, false, false, 0, 0})},
      {0x0020, Describe({Kind::kCharacter, "unsigned char", 1, false, false, false, false, 0, 0})},
      {0x0070, Describe({Kind::kCharacter, "char", 1, true, false, false, false, 0, 0})},
      {0x0030, Describe({Kind::kBool, "bool", 1, false, false, false, false, 0, 0})},
      {0x0040, Describe({Kind::kFloatingPoint, "float", 4, false, false, false, false, 0, 0})},
      {0x0041, Describe({Kind::kFloatingPoint, "double", 8, false, false, false, false, 0, 0})},
      {0x0023, Describe({Kind::kInteger, "unsigned __int64", 8, false, false, false, false, 0, 0})},
      {0x0013, Describe({Kind::kInteger, "__int64", 8, true, false, false, false, 0, 0})},
      {0x0012, Describe({Kind::kInteger, "long", 4, true, false, false, false, 0, 0})},
      {0x0603, Describe({Kind::kPointer, "", 8, false, false, false, false, 3, 0})},
      {0x0674, Describe({Kind::kPointer, "", 8, false, false, false, false, 0x74, 0})},
      {0x0474, Describe({Kind::kPointer, "", 4, false, false, false, false, 0x74, 0})},
      {0x0600, Describe(PdbType{})},  // a pointer to no type
      {0x0FFF, Describe(PdbType{})},
  };
  MadeUp db;
  const PdbOpenResult read = db.Open();
  ASSERT_TRUE(read.reader) << read.problem;
  for (const auto& [index, expected] : cases) {
    EXPECT_EQ(Describe(read.reader->Type(index)), expected) << std::hex << index;
  }
}

}  // namespace
