#include <filesystem>

#include "devserver/control/server.h"

namespace devserver {

std::string ProgramDirectory() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

}  // namespace devserver
