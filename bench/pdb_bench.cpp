// `kestrovar doctor`'s program database reader on a database of 1.1 GB, as large as a game
// server's: 250 MB of type records (classes of a dozen members and a method each), 110 MB of
// symbol records (1.3 million publics among other records) and 740 MB of module streams that the
// reader does not read. Written once into a temporary folder (10 to 15 s) and deleted after. One
// run opens it, visits every public, finds a handful of classes and runs the doctor's whole
// game-build check on it (whose names the made-up game does not have: each is looked for, and
// found missing): it must take at most 5 s of processor time and 300 MB of resident memory (the
// writing is not counted).
//   build/native/bin/kestrovar_pdb_bench
// KESTROVAR_PDB_BENCH_DIR=DIR keeps the file in DIR (made when missing) for runs by hand.

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/process_usage.h"
#include "tests/doctor/pdb_writer.h"
#include "tools/doctor/game_build_check.h"
#include "tools/doctor/pdb_reader.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kClasses = 460000;
constexpr int kMembersPerClass = 12;
constexpr std::uint32_t kPublics = 1300000;
constexpr int kModules = 740;
constexpr std::uint32_t kModuleBytes = 1 << 20;

std::string ClassName(std::uint32_t index) {
  return fmt::format("UGeneratedComponent{:06}_Character_BP_C", index);
}

// The type records of class `i`, starting at type index `first`: its forward reference, a pointer
// to it, the method's argument list and type, the field list and the definition.
void ClassRecords(std::uint32_t i, std::uint32_t first, TypeRecordWriter& out) {
  const std::string name = ClassName(i);
  std::string body = ClassBody(0x80 | 0x200, 0, 0, name);
  PutName(body, ".?AV" + name + "@@");
  out.Add(0x1504, body);  // first: LF_CLASS, forward
  std::string pointer;
  PutU32(pointer, first);
  PutU32(pointer, 0x0c | (8u << 13));  // 64-bit pointer
  out.Add(0x1002, pointer);            // first + 1
  std::string arguments;
  PutU32(arguments, 2);
  PutU32(arguments, 0x74);
  PutU32(arguments, first + 1);
  out.Add(0x1201, arguments);  // first + 2
  std::string method;
  PutU32(method, 0x30);  // bool
  PutU32(method, first);
  PutU32(method, first + 1);
  method += '\0';
  method += '\0';
  PutU16(method, 2);
  PutU32(method, first + 2);
  PutU32(method, 0);
  out.Add(0x1009, method);  // first + 3
  std::string fields;
  // A base class: the previous class, as a game's classes derive from one another.
  if (i > 0) {
    PutU16(fields, 0x1400);
    PutU16(fields, 3);
    PutU32(fields, first - 6);
    PutU16(fields, 0);
  }
  for (int m = 0; m < kMembersPerClass; ++m) {
    const std::uint32_t type = m % 3 == 0 ? first + 1 : (m % 3 == 1 ? 0x74 : 0x40);
    fields += MemberEntry(type, 8 + 8 * m, fmt::format("Member{}Of{}", m, i % 1000));
  }
  std::string one_method;
  PutU16(one_method, 0x1511);
  PutU16(one_method, 3);
  PutU32(one_method, first + 3);
  PutName(one_method, "Activate");
  fields += one_method;
  out.Add(0x1203, fields);  // first + 4
  body = ClassBody(0x200, first + 4, 8 + 8 * kMembersPerClass, name);
  PutName(body, ".?AV" + name + "@@");
  out.Add(0x1504, body);  // first + 5
}

std::string PublicName(std::uint32_t index) {
  return fmt::format("?Function{}@UGeneratedComponent{:06}_Character_BP_C@@QEAA_NAEBUFPoint@@H@Z",
                     index % 97, index % kClasses);
}

void PublicRecord(std::uint32_t index, std::string& out) {
  std::string record;
  PutU16(record, 0x110E);
  PutU32(record, index % 5 == 0 ? 0 : 2);
  PutU32(record, index * 16);
  PutU16(record, 1);
  PutName(record, PublicName(index));
  while ((record.size() + 2) % 4 != 0) record += '\0';
  PutU16(out, static_cast<std::uint32_t>(record.size()));
  out += record;
}

// A global data record (S_GDATA32) between the publics, as the linkers interleave them.
void GlobalRecord(std::uint32_t index, std::string& out) {
  std::string record;
  PutU16(record, 0x110D);
  PutU32(record, 0x74);
  PutU32(record, index * 8);
  PutU16(record, 3);
  PutName(record, fmt::format("GGlobalCounter{}", index));
  while ((record.size() + 2) % 4 != 0) record += '\0';
  PutU16(out, static_cast<std::uint32_t>(record.size()));
  out += record;
}

void ModuleStream(MsfWriter& writer, std::uint32_t index) {
  writer.SetStream(index, kModuleBytes,
                   [index](std::uint64_t offset, std::uint64_t count, std::string& piece) {
                     piece.assign(count, static_cast<char>('a' + (offset / count + index) % 26));
                   });
}

fs::path MakeDatabase() {
  const char* kept = std::getenv("KESTROVAR_PDB_BENCH_DIR");
  const fs::path dir =
      kept != nullptr ? fs::path(kept) : fs::temp_directory_path() / "kestrovar-pdb-bench";
  const fs::path file = dir / "server.pdb";
  if (fs::exists(dir / "done")) return file;
  fs::remove_all(dir);
  fs::create_directories(dir);
  FileSink sink(file.string());
  MsfWriter writer(sink, 4096);
  writer.SetStream(1, PdbInfoStream());
  constexpr std::uint32_t kFirstModule = 8;
  for (int m = 0; m < kModules / 2; ++m) ModuleStream(writer, kFirstModule + m);

  // The type records, made twice: once to count them for the header, once to write them.
  std::uint64_t record_bytes = 0;
  std::uint32_t type_count = 0;
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) {
      writer.BeginStream(2);
      writer.Append(TypeStreamHeader(type_count, static_cast<std::uint32_t>(record_bytes)));
    }
    for (std::uint32_t i = 0; i < kClasses; i += 1000) {
      TypeRecordWriter records;
      std::uint32_t first = 0x1000 + i * 6;
      for (std::uint32_t c = i; c < std::min(i + 1000, kClasses); ++c, first += 6) {
        ClassRecords(c, first, records);
      }
      if (pass == 0) {
        record_bytes += records.Bytes().size();
        type_count += records.Count();
      } else {
        writer.Append(records.Bytes());
      }
    }
  }
  writer.EndStream();
  writer.SetStream(3, DbiStream());
  writer.SetStream(4, std::string_view());

  std::vector<std::uint32_t> publics;
  publics.reserve(kPublics);
  writer.BeginStream(kSymbolStreamIndex);
  std::uint64_t offset = 0;
  std::string piece;
  for (std::uint32_t i = 0; i < kPublics; ++i) {
    piece.clear();
    if (i % 4 == 0) GlobalRecord(i, piece);
    publics.push_back(static_cast<std::uint32_t>(offset + piece.size()));
    PublicRecord(i, piece);
    offset += piece.size();
    writer.Append(piece);
  }
  writer.EndStream();
  writer.SetStream(kPublicsStreamIndex, PublicsStream(publics));
  writer.SetStream(kGlobalsStreamIndex, GlobalsStream());
  for (int m = kModules / 2; m < kModules; ++m) ModuleStream(writer, kFirstModule + m);
  writer.Finish();
  if (!sink.Good()) return {};
  std::ofstream(dir / "done") << "made\n";
  return file;
}

void BM_PdbOpenPublicsClasses(benchmark::State& state) {
  const fs::path file = MakeDatabase();
  if (file.empty()) {
    state.SkipWithError("the database could not be written");
    return;
  }
  // The peak counts from here (Linux: 5 to clear_refs).
  std::ofstream("/proc/self/clear_refs") << "5";
  const double start = ProcessorSeconds();
  std::size_t publics = 0;
  std::size_t fields = 0;
  std::size_t findings = 0;
  for (auto _ : state) {
    const PdbOpenResult read = OpenPdbFile(file);
    if (!read.reader) {
      state.SkipWithError(("the database could not be read: " + read.problem).c_str());
      break;
    }
    read.reader->ForEachPublic([&](std::string_view name, bool is_function) {
      publics += name.size() > 10 && is_function;
    });
    for (const std::uint32_t index : {0u, 1u, 230000u, 459998u, 459999u, 123456u}) {
      const std::optional<PdbClass> found = read.reader->FindClass(ClassName(index));
      if (!found || found->fields.size() != kMembersPerClass) {
        state.SkipWithError(("no class " + ClassName(index)).c_str());
        break;
      }
      fields += found->fields.size();
    }
    const GameBuildResult checked = CheckGameBuild(*read.reader, file.string());
    findings += checked.findings.size();
    benchmark::DoNotOptimize(publics);
  }
  state.counters["cpu_s"] = ProcessorSeconds() - start;
  state.counters["peak_MB"] = PeakResidentMb();
  state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / (1 << 20);
  state.counters["publics"] = static_cast<double>(publics);
  state.counters["findings"] = static_cast<double>(findings);
  if (std::getenv("KESTROVAR_PDB_BENCH_DIR") == nullptr) fs::remove_all(file.parent_path());
}
BENCHMARK(BM_PdbOpenPublicsClasses)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
