// `kestrovar check` judges the document the plug-in would hold: for every file, the plug-in's own
// read and the check's read give the same document or fail with the same error.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "config/config.h"
#include "tests/support/plugin_test.h"
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

}  // namespace
