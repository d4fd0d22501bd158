// Fuzz target for the configuration reader and every question asked of the configuration: whatever
// the file holds, reading it either replaces the document or leaves it exactly as it was, and no
// question raises anything but the JSON library's own errors.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "config/config.h"
#include "devserver/control/server.h"
#include "spawn_control/dino_counts.h"

namespace {

const std::filesystem::path& ServerDir() {
  static const std::filesystem::path dir = [] {
    auto path = std::filesystem::temp_directory_path() / "kestrovar-config-fuzz";
    std::filesystem::create_directories(path / "ArkApi" / "Plugins" / "Kestrovar");
    devserver::ServerOptions options;
    options.server_dir = path.string();
    options.log_to_stdout = false;
    options.record_events = false;
    devserver::StartServer(options);
    return path;
  }();
  return dir;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

template <typename Question>
void Ask(Question&& question) {
  try {
    question();
  } catch (const nlohmann::json::exception&) {
    // A value of the wrong type: the library's error is the expected answer.
  }
}

// What a question answers: its value, or nothing when the library raised its error.
template <typename Question>
std::optional<int64_t> AnswerOf(Question&& question) {
  try {
    return question();
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

bool IsAscii(std::string_view text) {
  for (const char byte : text) {
    if (static_cast<unsigned char>(byte) > 0x7F) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = ServerDir() / "ArkApi" / "Plugins" / "Kestrovar" / "config.json";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  ReplaceConfig(nlohmann::json{{"before", 1}});
  const nlohmann::json before = config;
  try {
    ReadConfig();
  } catch (const nlohmann::json::exception&) {
    Check(config == before);
  } catch (const std::runtime_error&) {
    Check(config == before);
  }
  const FString key("Blueprint'/Game/A/A.A'");
  Ask([&] { GetMaxDinoCount(key); });
  Ask([&] { GetMaxDinoCount(FString()); });
  for (const int32_t level : {-1, 0, 1, 150, 2147483647}) Ask([&] { IsOverMaxLevel(level); });
  Ask([&] { LookupBool(config, "WriteDumpsToFile", false); });
  if (config.is_object()) {
    const auto limits = config.find("Max_Dino_Counts");
    if (limits != config.end() && limits->is_object()) {
      // Not a structured binding: clang 14 cannot capture one in a lambda.
      for (const auto& item : limits->items()) {
        const std::string& name = item.key();
        // The limit a spawn gets (through the index of the limits where it applies) is what the
        // document says for the whole name, zero bytes included: an ASCII name is the UTF-8 text
        // of the key with one unit per byte.
        const auto in_document = AnswerOf([&] { return LookupInt32(*limits, name, -1); });
        if (!IsAscii(name)) continue;
        const FString class_key{std::string_view(name)};
        Check(AnswerOf([&] { return GetMaxDinoCount(class_key); }) == in_document);
      }
    }
  }
  return 0;
}
