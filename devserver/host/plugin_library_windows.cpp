#include <windows.h>

#include <filesystem>

#include "devserver/host/plugin_library.h"

namespace devserver {

namespace {

std::string LastErrorText() {
  const DWORD code = GetLastError();
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message;
}

}  // namespace

std::string PluginLibrary::Open(const std::string& path) {
  path_ = std::filesystem::absolute(path).string();
  handle_ = LoadLibraryA(path_.c_str());
  return handle_ != nullptr ? std::string() : LastErrorText();
}

void PluginLibrary::Close() {
  if (handle_ == nullptr) return;
  FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

bool PluginLibrary::StillResident() const { return GetModuleHandleA(path_.c_str()) != nullptr; }

}  // namespace devserver
