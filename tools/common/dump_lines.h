#pragma once

// The lines that kvar.dumpdinos writes, one per class of the plug-in's count table: "KEY. Num: N".
// They come in the RCON reply, in the dump files (DinoDumpLogs/) and, behind the logger's prefix,
// in the server's log. Every command that reads a dump reads it here.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class DumpLineForm {
  kEntry,     // "KEY. Num: N", whole
  kCutShort,  // a line that breaks off: the text ends before its line end, or the line ends
              // within ". Num: " or right after it, before any digit
  kOther,     // no dump line
};

struct DumpLine {
  DumpLineForm form = DumpLineForm::kOther;
  // As written, bytes and all: the reply and the dump file show each byte of a letter outside
  // ASCII as "?", the log the letter itself. Set for kEntry, and for kCutShort when the line
  // reached ". Num:", so that the key is whole; empty otherwise.
  std::string_view key;
  uint32_t count = 0;  // kEntry only
};

// One line without its '\n' (a '\r' before it is dropped). `text_ends_here`: nothing followed the
// line, not even its '\n', so that what it holds may be cut short, its count included.
DumpLine ReadDumpLine(std::string_view line, bool text_ends_here = false);

struct NumberedDumpLine {
  int number = 0;         // from 1
  std::string_view text;  // the line without its line end
  DumpLine read;
};

// Every line of a dump text (a file or a reply): LF or CRLF line ends, the last line's end
// optional. Nothing after the last line end is no line.
std::vector<NumberedDumpLine> ReadDumpLines(std::string_view text);

// A key as the dump writes it (the RCON reply and the dump file): the dump text takes the key byte
// for unit, so each byte outside ASCII shows as "?" ("Grün" and "Grän" both as "Gr??n"). Every
// command that holds a configuration's or log's key against a dump's goes through this.
std::string DumpForm(std::string_view key);

// Whether a file's name is the plug-in's for a dump: DinoDumpLog_*.txt.
bool IsDumpFileName(std::string_view file_name);
