// The plug-in's state outlives its unload and goes when the library is released, in the order
// logger, configuration, count table. The release is watched from inside the allocator: this
// program replaces the global operator delete, so that the configuration's text and the table's
// key are seen going back, and at each the host's log sink tells whether the plug-in's logger still
// holds it. Native builds only: a Windows plug-in carries its own C++ runtime, whose deletes
// never reach this program.

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <random>
#include <string>

#include "devserver/control/server.h"
#include "host/api.h"
#include "tests/support/world_events.h"

// The replacements below pair operator new with malloc and operator delete with free; once inlined,
// g++ would take each delete for a free of memory from new.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

// A limit name that nothing but the configuration document holds while the library is released.
constexpr char kConfigText[] = "Blueprint'/Game/ReleaseWitness/OnlyInTheConfiguration.Witness'";
// The table's key of kRaptor, as the engine string the table keeps.
constexpr char16_t kTableKey[] = u"Blueprint'/Game/Raptor.Raptor'";

struct Release {
  char what;  // 'c': the configuration's text, 't': the table's key
  long sink_holders;
};

std::atomic<bool> watching{false};
std::weak_ptr<spdlog::sinks::sink> watched_sink;
Release releases[16];
std::atomic<int> release_count{0};

bool Holds(void* block, const void* text, std::size_t bytes) {
  return malloc_usable_size(block) >= bytes && std::memcmp(block, text, bytes) == 0;
}

// Engine memory comes from the stand-in's allocator, which takes aligned blocks; the plug-in's own
// buffers (such as the one it builds keys in) are plain ones and are not the table's.
void Witness(void* block, bool engine_memory) {
  if (block == nullptr || !watching.load(std::memory_order_relaxed)) return;
  char what = 0;
  if (!engine_memory && Holds(block, kConfigText, sizeof kConfigText - 1)) what = 'c';
  if (engine_memory && Holds(block, kTableKey, sizeof kTableKey)) what = 't';
  if (what == 0) return;
  const int at = release_count.fetch_add(1);
  if (at < 16) releases[at] = {what, watched_sink.use_count()};
}

void* Allocate(std::size_t bytes) {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void* AllocateAligned(std::size_t bytes, std::align_val_t alignment) {
  const auto align = static_cast<std::size_t>(alignment);
  void* block = std::aligned_alloc(align, (bytes + align - 1) / align * align);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void Free(void* block, bool aligned) {
  Witness(block, aligned);
  std::free(block);
}

}  // namespace

void* operator new(std::size_t bytes) { return Allocate(bytes); }
void* operator new[](std::size_t bytes) { return Allocate(bytes); }
void* operator new(std::size_t bytes, std::align_val_t alignment) {
  return AllocateAligned(bytes, alignment);
}
void operator delete(void* block) noexcept { Free(block, false); }
void operator delete[](void* block) noexcept { Free(block, false); }
void operator delete(void* block, std::size_t) noexcept { Free(block, false); }
void operator delete[](void* block, std::size_t) noexcept { Free(block, false); }
void operator delete(void* block, std::align_val_t) noexcept { Free(block, true); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { Free(block, true); }

namespace {

TEST(ReleaseOrderTest, LoggerThenConfigurationThenCountTable) {
  const auto server_dir = std::filesystem::temp_directory_path() /
                          ("kestrovar-release-" + std::to_string(std::random_device()()));
  const auto plugin_dir = server_dir / "ArkApi" / "Plugins" / "Kestrovar";
  std::filesystem::create_directories(plugin_dir);
  std::ofstream(plugin_dir / "config.json")
      << R"({"Max_Dino_Counts": {")" << kConfigText << R"(": 3}})";
  devserver::ServerOptions options;
  options.server_dir = server_dir.string();
  options.log_to_stdout = false;
  devserver::StartServer(options);
  devserver::SetOutput([](std::string_view) {});
  devserver::InitGame();

  watched_sink = GetLogSinks().front();
  const long host_holders = watched_sink.use_count();
  const auto library = std::filesystem::path(devserver::ProgramDirectory()) / KESTROVAR_PLUGIN_FILE;
  ASSERT_EQ(devserver::LoadPlugin(library.string()), "");
  devserver::Spawn(SpawnOf(kRaptor));
  ASSERT_GT(watched_sink.use_count(), host_holders) << "the plug-in's logger shares the sink";

  watching = true;
  devserver::UnloadPlugin();
  watching = false;

  ASSERT_EQ(release_count.load(), 2) << "the configuration's text and the table's key, once each";
  EXPECT_EQ(releases[0].what, 'c');
  EXPECT_EQ(releases[1].what, 't');
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(releases[i].sink_holders, host_holders) << "the logger went first";
  }
  EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});

  devserver::StopServer();
  std::error_code ignored;
  std::filesystem::remove_all(server_dir, ignored);
}

}  // namespace
