#pragma once

// A fixture with a fresh stand-in server in a directory of its own, the server's printed output
// captured, and checks at the end that the test left no fault and no engine memory behind.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "devserver/control/server.h"

class DevServerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Restarts the server with these options (the directory is filled in).
  void Restart(devserver::ServerOptions options);

  // The events since the last call, then forgets them.
  std::vector<std::string> TakeEvents();
  // The printed lines since the last call, then forgets them.
  std::vector<std::string> TakeOutput();
  // The faults so far, then forgets them: for tests that provoke faults on purpose.
  std::vector<std::string> TakeFaults();

  devserver::CreatureId PlaceOne(const std::string& reference, int32_t team = devserver::kWildTeam);

  std::filesystem::path server_dir_;
  std::vector<std::string> output_;
  int64_t unowned_blocks_at_start_ = 0;
};

inline constexpr const char* kStrider =
    "/Game/Creatures/Strider/Strider_Character.Strider_Character_C";
inline constexpr const char* kGrazer = "/Game/Creatures/Grazer/Grazer_Character.Grazer_Character_C";
