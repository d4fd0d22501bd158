#include "tests/devserver/devserver_test.h"

#include <random>

void DevServerTest::SetUp() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::random_device random;
  server_dir_ = std::filesystem::temp_directory_path() /
                (std::string("devserver-") + test->test_suite_name() + "-" + test->name() + "-" +
                 std::to_string(random()));
  std::filesystem::create_directories(server_dir_);
  Restart({});
}

void DevServerTest::Restart(devserver::ServerOptions options) {
  options.server_dir = server_dir_.string();
  options.log_to_stdout = false;
  devserver::StartServer(options);
  devserver::SetOutput([this](std::string_view line) { output_.emplace_back(line); });
  unowned_blocks_at_start_ = devserver::Memory().unowned_blocks;
}

void DevServerTest::TearDown() {
  EXPECT_EQ(devserver::Memory().unowned_blocks, unowned_blocks_at_start_)
      << "engine memory left behind";
  devserver::StopServer();
  EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
  std::error_code ignored;
  std::filesystem::remove_all(server_dir_, ignored);
}

std::vector<std::string> DevServerTest::TakeEvents() {
  std::vector<std::string> events = devserver::Events();
  devserver::ClearEvents();
  return events;
}

std::vector<std::string> DevServerTest::TakeOutput() { return std::exchange(output_, {}); }

std::vector<std::string> DevServerTest::TakeFaults() {
  std::vector<std::string> faults = devserver::Faults();
  devserver::ClearFaults();
  return faults;
}

devserver::CreatureId DevServerTest::PlaceOne(const std::string& reference, int32_t team) {
  devserver::PlaceRequest request;
  request.reference = reference;
  request.team = team;
  return devserver::Place(request).at(0);
}
