// `kestrovar check` judges the document the plug-in would hold: for every file, the plug-in's own
// read and the check's read give the same document or fail with the same error.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "config/config.h"
#include "tests/support/plugin_test.h"
#include "tools/common/files.h"
#include "tools/common/output.h"
#include "tools/common/positioned_json.h"

namespace {

class CheckReadsLikePluginTest : public PluginTest {};

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".json") files.push_back(entry.path());
  }
  return files;
}

TEST_F(CheckReadsLikePluginTest, SameDocumentAndSameErrors) {
  // The check's own samples, and the inputs saved by fuzzing the plug-in's reader.
  std::vector<std::filesystem::path> files = FilesIn(std::string(KESTROVAR_TEST_DATA) + "/check");
  const std::vector<std::filesystem::path> corpus = FilesIn(KESTROVAR_CONFIG_CORPUS);
  files.insert(files.end(), corpus.begin(), corpus.end());
  ASSERT_GE(files.size(), 14u);

  for (const std::filesystem::path& path : files) {
    std::ifstream source(path, std::ios::binary);
    WriteConfig(std::string(std::istreambuf_iterator<char>(source), {}));
    ReplaceConfig(nullptr);
    const std::string plugin_error = ErrorOf(ReadConfig);

    const auto text = ReadTextAsThePluginDoes((PluginDir() / "config.json").string());
    ASSERT_TRUE(text.has_value()) << path;
    const PositionedDocument read = ReadPositioned(*text);
    EXPECT_EQ(read.failure ? read.failure->message : "", plugin_error) << path;
    if (plugin_error.empty()) {
      EXPECT_EQ(read.document, config) << path;
    }
  }
}

std::string Place(const TextPosition& at) {
  return std::to_string(at.line) + ":" + std::to_string(at.column);
}

// Every value and member name has its place at any depth, in characters as an editor counts them,
// the byte-order mark not counted; a name given twice keeps both places.
TEST(PositionedJson, PlacesOfEveryValueAtAnyDepth) {
  const PositionedDocument read = ReadPositioned(
      "\xEF\xBB\xBF{\"\xC3\xA4\": [1, {\"b\": [true, \"x\"]}],\n"
      "  \"c\": {\"d\": {\"e\": null}}, \"c\": 2}");
  ASSERT_FALSE(read.failure);
  EXPECT_EQ(Place(read.places.at), "1:1");
  ASSERT_EQ(read.places.members.size(), 3u);
  const ValuePlaces& list = read.places.members[0].value;
  EXPECT_EQ(Place(read.places.members[0].name_at), "1:2");
  EXPECT_EQ(Place(list.at), "1:7");
  ASSERT_EQ(list.items.size(), 2u);
  EXPECT_EQ(Place(list.items[0].at), "1:8");
  EXPECT_EQ(Place(list.items[1].at), "1:11");
  const ValuePlaces& inner = list.items[1].members.at(0).value;
  EXPECT_EQ(Place(inner.at), "1:17");
  ASSERT_EQ(inner.items.size(), 2u);
  EXPECT_EQ(Place(inner.items[1].at), "1:24");
  EXPECT_EQ(Place(read.places.members[1].value.members.at(0).value.members.at(0).value.at), "2:20");
  // The document holds the later "c"; Find gives its place.
  EXPECT_EQ(read.document["c"], 2);
  ASSERT_NE(read.places.Find("c"), nullptr);
  EXPECT_EQ(Place(read.places.Find("c")->value.at), "2:33");
  EXPECT_EQ(read.places.Find("nothing"), nullptr);
}

// Every command reads and writes an operator's files through tools/common/files: what stands in the
// way is said in the operator's words, never in the library's.
TEST(Files, WhatStandsInTheWayIsSaidInWords) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("kestrovar-files-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::filesystem::path file = folder / "file.txt";
  WriteWholeFile(file, "a\r\nb");
  EXPECT_EQ(ReadWholeFile(file), "a\r\nb");

  const struct {
    std::filesystem::path path;
    const char* why;
  } unreadable[] = {
      {folder / "missing.json", "there is no such file"},
      {folder, "it is a folder, not a file"},
      {"", "no file was named (an empty path)"},
  };
  for (const auto& one : unreadable) {
    std::string why;
    EXPECT_EQ(ReadWholeFile(one.path, &why), std::nullopt) << one.path;
    EXPECT_EQ(why, one.why) << one.path;
    EXPECT_EQ(FileToReadProblem(one.path), one.why) << one.path;
  }
  try {
    ReadFileOrThrow(folder, "scenario");
    ADD_FAILURE() << "a folder was read";
  } catch (const FileError& error) {
    EXPECT_EQ(std::string(error.what()),
              "cannot read the scenario " + folder.string() + ": it is a folder, not a file");
  }

  const struct {
    std::filesystem::path path;
    std::string why;
  } unwritable[] = {
      {folder / "missing" / "config.json",
       "the folder " + (folder / "missing").string() + " does not exist"},
      {folder, "it is a folder, not a file"},
      {file / "config.json", file.string() + " is a file, not a folder"},
  };
  for (const auto& one : unwritable) {
    try {
      WriteWholeFile(one.path, "{}");
      ADD_FAILURE() << "wrote " << one.path;
    } catch (const FileError& error) {
      EXPECT_EQ(std::string(error.what()), "cannot write " + one.path.string() + ": " + one.why);
    }
  }
  EXPECT_EQ(FolderProblem(folder / "missing"), "there is no such folder");
  EXPECT_EQ(FolderProblem(file), "it is a file, not a folder");
  EXPECT_EQ(FolderProblem(folder), "");

  // The library's filesystem errors, without its "filesystem error: ... [PATH]".
  EXPECT_EQ(FileErrorText(std::filesystem::filesystem_error(
                "cannot create directories", "/proc/x",
                std::make_error_code(std::errc::permission_denied))),
            "/proc/x: permission denied");
  try {
    std::filesystem::create_directories("");
  } catch (const std::filesystem::filesystem_error& error) {
    EXPECT_EQ(FileErrorText(error), "an empty path names no file or folder");
  }
  EXPECT_EQ(ErrorText(std::bad_alloc()), "out of memory");
  std::filesystem::remove_all(folder);
}

}  // namespace
