#include <dlfcn.h>

#include <filesystem>

#include "devserver/host/plugin_library.h"

namespace devserver {

std::string PluginLibrary::Open(const std::string& path) {
  // A path without a directory would make the loader search its library path instead.
  path_ = std::filesystem::absolute(path).string();
  handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ != nullptr) return {};
  const char* reason = dlerror();
  return reason != nullptr ? reason : "unknown loader error";
}

void PluginLibrary::Close() {
  if (handle_ == nullptr) return;
  dlclose(handle_);
  handle_ = nullptr;
}

bool PluginLibrary::StillResident() const {
  void* again = dlopen(path_.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (again == nullptr) return false;
  dlclose(again);
  return true;
}

}  // namespace devserver
