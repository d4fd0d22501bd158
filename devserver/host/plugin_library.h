#pragma once

// Loading and releasing a plug-in library with the platform's loader. Loading runs the library's
// entry point (its load); releasing runs its unload and destroys its state.

#include <string>

namespace devserver {

class PluginLibrary {
 public:
  PluginLibrary() = default;
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // Returns an error text, empty on success.
  std::string Open(const std::string& path);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }
  const std::string& Path() const { return path_; }
  // After Close: whether the loader kept the library mapped (its state then was not destroyed).
  bool StillResident() const;

 private:
  void* handle_ = nullptr;
  std::string path_;  // absolute
};

}  // namespace devserver
