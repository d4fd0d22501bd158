#include "tools/common/output.h"

#include <cstdio>
#include <filesystem>
#include <new>

#include "tools/common/files.h"

namespace {

void Write(std::FILE* stream, std::string_view line, std::string_view more) noexcept {
  // An empty view may hold a null pointer, which fwrite must not be given even for no bytes.
  if (!line.empty()) std::fwrite(line.data(), 1, line.size(), stream);
  if (!more.empty()) std::fwrite(more.data(), 1, more.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

}  // namespace

void PrintLine(std::string_view line, std::string_view more) noexcept { Write(stdout, line, more); }

void PrintError(std::string_view line, std::string_view more) noexcept {
  std::fflush(stdout);
  Write(stderr, line, more);
}

std::string ErrorText(const std::exception& error) {
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "out of memory";
  if (const auto* file = dynamic_cast<const std::filesystem::filesystem_error*>(&error))
    return FileErrorText(*file);
  return error.what();
}

void PrintFailure(std::string_view prefix, const std::exception& error) noexcept {
  try {
    PrintError(prefix, ErrorText(error));
  } catch (const std::exception&) {
    PrintError(prefix,
               dynamic_cast<const std::bad_alloc*>(&error) ? "out of memory" : error.what());
  }
}
