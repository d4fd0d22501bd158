// The dump log file: when it is written, where, under which name, and what stops it.

#include <cstdlib>
#include <ctime>
#include <fstream>

#include "admin/dump_time_stamp.h"
#include "tests/admin/dump_test.h"

namespace {

constexpr const char* kDumpsToFile = R"({"WriteDumpsToFile": true})";

TEST_F(DumpTest, TheFileIsWrittenOnlyWhileTheFlagIsTrue) {
  for (const char* config_text : {"{}", R"({"WriteDumpsToFile": false})"}) {
    Start(config_text);
    devserver::ConsoleCommand("kvar.dumpdinos");
    devserver::RconCommand("kvar.dumpdinos");
    EXPECT_FALSE(std::filesystem::exists(LogDir())) << config_text;
    Detach();
    ResetPluginState();
  }

  // The flag is read at every dump: a reload takes effect at the next one.
  Start(R"({"WriteDumpsToFile": false})");
  SetCount(u"Blueprint'/Game/A.A'", 1);
  WriteConfig(kDumpsToFile);
  devserver::ConsoleCommand("kvar.dumpdinos");
  EXPECT_FALSE(std::filesystem::exists(LogDir()));
  devserver::ConsoleCommand("kvar.reload");
  devserver::ConsoleCommand("kvar.dumpdinos");
  EXPECT_EQ(DumpFiles().size(), 1u);
  std::filesystem::remove_all(LogDir());
  WriteConfig(R"({"WriteDumpsToFile": false})");
  devserver::RconCommand("kvar.reload");
  devserver::ConsoleCommand("kvar.dumpdinos");
  EXPECT_FALSE(std::filesystem::exists(LogDir()));
}

TEST_F(DumpTest, OlderFilesInThePresentFolderAreLeftAlone) {
  Start(kDumpsToFile);
  std::filesystem::create_directory(LogDir());
  const std::string older = "DinoDumpLog_01-01-2000_00-00-00.txt";
  std::ofstream(LogDir() / older, std::ios::binary) << "older";
  SetCount(u"Blueprint'/Game/A.A'", 1);
  devserver::RconCommand("kvar.dumpdinos");
  const auto files = DumpFiles();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files.at(older), "older");
  EXPECT_EQ(PluginLogLines(), Lines{});
}

TEST_F(DumpTest, TwoDumpsInOneSecondShareTheFile) {
  Start(kDumpsToFile);
  // Retried when the two dumps happen to straddle a second.
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::filesystem::remove_all(LogDir());
    SetCount(u"Blueprint'/Game/A.A'", 1);
    const std::time_t first = std::time(nullptr);
    devserver::RconCommand("kvar.dumpdinos");
    SetCount(u"Blueprint'/Game/A.A'", 2);
    devserver::RconCommand("kvar.dumpdinos");
    if (std::time(nullptr) != first) continue;
    EXPECT_EQ(DumpFiles(), (std::map<std::string, std::string>{
                               {DumpFileName(first), AsStored("Blueprint'/Game/A.A'. Num: 2\n")}}));
    return;
  }
  FAIL() << "no two dumps fell into the same second";
}

// The folder cannot be made: the plug-in folder is missing, or a file holds its name.
TEST_F(DumpTest, AFolderThatCannotBeMadeEndsOnlyTheDump) {
  for (const bool plugin_folder_missing : {true, false}) {
    Start(kDumpsToFile);
    SetCount(u"Blueprint'/Game/A.A'", 1);
    if (plugin_folder_missing) {
      std::filesystem::remove_all(PluginDir());
    } else {
      std::ofstream(LogDir()) << "in the way";
    }
    const std::string error = ErrorOf([&] { std::filesystem::create_directory(LogDirAsBuilt()); });
    ASSERT_NE(error, "");
    EXPECT_NE(error.find(LogDirAsBuilt()), std::string::npos) << error;

    const int32_t id = devserver::RconCommand("kvar.dumpdinos");
    EXPECT_EQ(TakeEvents(), Lines{RconReply(id, "Blueprint'/Game/A.A'. Num: 1\n")});
    EXPECT_EQ(PluginLogLines(), Lines{"critical: Error in kvar.dumpdinos: " + error});
    EXPECT_EQ(DinoCountEntries(), (CountEntries{{"Blueprint'/Game/A.A'", 1}}));
    EXPECT_EQ(std::filesystem::exists(PluginDir()), !plugin_folder_missing);
    Detach();
    ResetPluginState();
    std::filesystem::create_directories(PluginDir());
    std::filesystem::remove(LogDir());
  }
}

TEST_F(DumpTest, AFileThatCannotBeOpenedIsPassedOverInSilence) {
  Start(kDumpsToFile);
  // Folders that hold the names of the dump files of the next seconds.
  const std::time_t now = std::time(nullptr);
  for (std::time_t when = now; when < now + 30; ++when) {
    std::filesystem::create_directories(LogDir() / DumpFileName(when));
  }
  SetCount(u"Blueprint'/Game/A.A'", 1);
  const int32_t id = devserver::RconCommand("kvar.dumpdinos");
  EXPECT_EQ(TakeEvents(), Lines{RconReply(id, "Blueprint'/Game/A.A'. Num: 1\n")});
  EXPECT_EQ(PluginLogLines(), Lines{});
  EXPECT_EQ(DumpFiles().size(), 0u);
}

TEST(DumpTimeStampTest, DayMonthYearHourMinuteSecondZeroPadded) {
  std::tm local_time{};
  local_time.tm_year = 2027 - 1900;
  local_time.tm_mon = 0;
  local_time.tm_mday = 3;
  local_time.tm_hour = 9;
  local_time.tm_min = 5;
  local_time.tm_sec = 7;
  EXPECT_EQ(DumpTimeStamp(local_time), "03-01-2027_09-05-07");
}

void SetTimeZone(const char* zone) {
#if defined(_WIN32)
  _putenv((std::string("TZ=") + (zone == nullptr ? "" : zone)).c_str());
  _tzset();
#else
  zone == nullptr ? unsetenv("TZ") : setenv("TZ", zone, 1);
  tzset();
#endif
}

TEST(DumpTimeStampTest, IsTheServersLocalTime) {
  const char* previous = std::getenv("TZ");
  const std::string kept = previous == nullptr ? "" : previous;
  SetTimeZone("XYZ5");                                                    // five hours behind UTC
  const std::string stamp = DumpTimeStamp(std::time_t{365 * 24 * 3600});  // 1971-01-01 00:00 UTC
  SetTimeZone(previous == nullptr ? nullptr : kept.c_str());
  EXPECT_EQ(stamp, "31-12-1970_19-00-00");
}

}  // namespace
