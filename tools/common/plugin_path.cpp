#include "tools/common/plugin_path.h"

#include <filesystem>
#include <system_error>

#include "devserver/control/server.h"

namespace {

#if defined(_WIN32)
constexpr const char* kPluginFile = "Kestrovar.dll";
#else
constexpr const char* kPluginFile = "Kestrovar.so";
#endif

bool IsFile(const std::filesystem::path& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

}  // namespace

std::string DefaultPluginPath(const std::string& program_dir) {
  const std::filesystem::path dir(program_dir);
  const std::filesystem::path beside = dir / kPluginFile;
  if (IsFile(beside)) return beside.string();
  // The archive's layout, told by the folder's name: Windows compares names without regard to
  // letter case, and so does this.
  std::filesystem::path folder = dir.filename().empty() ? dir.parent_path() : dir;
  std::string name = folder.filename().string();
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (name == "kestrovar") {
    const std::filesystem::path unpacked =
        folder.parent_path() / "ArkApi" / "Plugins" / "Kestrovar" / kPluginFile;
    if (IsFile(unpacked)) return unpacked.string();
  }
  return beside.string();
}

std::string DefaultPluginPath() { return DefaultPluginPath(devserver::ProgramDirectory()); }
