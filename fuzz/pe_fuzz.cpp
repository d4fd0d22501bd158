// Fuzz target for the doctor's PE reader, which reads whatever an operator's server folder holds
// where a library belongs: any bytes give an image or a reason, never a read outside them, and
// every name read from them is spelt out or left as it is, never more.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/doctor/msvc_names.h"
#include "tools/doctor/pe_image.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void SpellOut(std::string_view name) {
  const std::optional<std::string_view> head = MsvcNameHead(name);
  if (head) Check(name.substr(0, head->size()) == *head);
  const std::optional<std::string> readable = ReadableMsvcName(name);
  const std::optional<MsvcFunction> function = ParseMsvcFunction(name);
  Check(readable.has_value() == function.has_value());
  if (function) {
    // A name that is read has a head, and every part of the reading can be spelt.
    Check(head.has_value());
    Check(SpellMsvcFunction(*function) == *readable);
    (void)UndnameMsvcFunction(*function);
    for (const MsvcType& parameter : function->parameters) (void)SpellMsvcType(parameter);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const PeReadResult read = ReadPeImage(bytes);
  Check(read.image.has_value() != !read.problem.empty());
  if (read.image) {
    for (const PeImport& import : read.image->imports) {
      for (const std::string& name : import.names) SpellOut(name);
    }
    for (const std::string& name : read.image->exports) {
      SpellOut(name);
      Check(ExportsName(*read.image, name));
    }
  }
  // The bytes as a name too: the spelling reads names from any library.
  SpellOut(bytes.substr(0, 4096));
  return 0;
}
