#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "devserver/control/server.h"
#include "host/engine_types.h"

namespace {

std::u16string Units(const FString& text) { return std::u16string(text.View()); }

int64_t LiveBlocks() { return devserver::Memory().live_blocks; }

TEST(FStringFromNarrow, CountsOneUnitPerByteAndTheTerminator) {
  const FString dump("kvar.dumpdinos");
  const FString reload("kvar.reload");
  EXPECT_EQ(dump.Num(), 15);
  EXPECT_EQ(reload.Num(), 12);
  EXPECT_EQ(Units(dump), u"kvar.dumpdinos");
  EXPECT_EQ(dump.Data()[14], u'\0');
}

TEST(FStringFromNarrow, TurnsEveryByteFrom0x80IntoAQuestionMark) {
  // "é" in UTF-8 is two bytes; each becomes one '?'. 0x7F stays as it is.
  const FString text("caf\xC3\xA9 \x7F\xFF");
  EXPECT_EQ(Units(text), u"caf?? \x7F?");
  EXPECT_EQ(text.Num(), 9);
}

TEST(FStringFromNarrow, EmptyTextHasNoStorage) {
  const FString empty("");
  EXPECT_EQ(empty.Num(), 0);
  EXPECT_EQ(empty.Data(), nullptr);
  EXPECT_TRUE(empty.View().empty());
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(FStringStorage, ComesFromTheEngineAllocatorAndGoesBack) {
  const int64_t before = LiveBlocks();
  {
    FString text("abc");
    EXPECT_EQ(LiveBlocks(), before + 1);
    FString copy(text);
    EXPECT_EQ(LiveBlocks(), before + 2);
    FString moved(std::move(copy));
    EXPECT_EQ(LiveBlocks(), before + 2);
    EXPECT_EQ(copy.Data(), nullptr);
    EXPECT_EQ(Units(moved), u"abc");
    text = moved;
    EXPECT_EQ(Units(text), u"abc");
  }
  EXPECT_EQ(LiveBlocks(), before);
  EXPECT_EQ(devserver::Memory().double_frees, 0);
}

TEST(FStringAppend, BuildsALongTextLineByLine) {
  FString text;
  std::u16string expected;
  for (int i = 0; i < 200; ++i) {
    text.AppendNarrow("line " + std::to_string(i) + "\n");
    expected += u"line ";
    for (const char c : std::to_string(i)) expected += static_cast<char16_t>(c);
    expected += u"\n";
  }
  EXPECT_EQ(Units(text), expected);
  EXPECT_EQ(text.Num(), static_cast<int32_t>(expected.size()) + 1);
  EXPECT_GE(text.Max(), text.Num());
}

}  // namespace
