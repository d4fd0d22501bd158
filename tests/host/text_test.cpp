#include "host/text.h"

#include <gtest/gtest.h>

#include <string>

#include "host/engine_types.h"

namespace {

FString Wide(std::u16string_view units) {
  FString text;
  text.AppendUnits(units);
  return text;
}

TEST(ToUtf8, ConvertsEveryPlaneAndDropsTheTerminator) {
  EXPECT_EQ(ToUtf8(Wide(u"Blueprint'/Game/A.A'")), "Blueprint'/Game/A.A'");
  EXPECT_EQ(ToUtf8(Wide(u"\u00E9")), "\xC3\xA9");
  EXPECT_EQ(ToUtf8(Wide(u"\u20AC")), "\xE2\x82\xAC");
  // U+1F600 as a surrogate pair.
  EXPECT_EQ(ToUtf8(Wide(u"a\xD83D\xDE00z")), "a\xF0\x9F\x98\x80z");
}

TEST(ToUtf8, UnpairedSurrogatesBecomeTheReplacementCharacter) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(ToUtf8(Wide(u"a\xD83Dz")), "a" + replacement + "z");
  EXPECT_EQ(ToUtf8(Wide(u"a\xDE00z")), "a" + replacement + "z");
  EXPECT_EQ(ToUtf8(Wide(u"end\xD83D")), "end" + replacement);
  // A low surrogate before a high one pairs with nothing.
  EXPECT_EQ(ToUtf8(Wide(u"\xDE00\xD83D")), replacement + replacement);
}

TEST(ToUtf8, StringWithoutStorageIsEmpty) {
  EXPECT_EQ(ToUtf8(FString()), "");
  EXPECT_EQ(ToUtf8(FString("")), "");
}

TEST(ToUtf8, IntoABufferReplacesWhatItHeld) {
  std::string buffer = "a longer text than any below, left from an earlier key";
  ToUtf8(u"\u00E9t\xD83D\xDE00", buffer);
  EXPECT_EQ(buffer, "\xC3\xA9t\xF0\x9F\x98\x80");
  ToUtf8(u"", buffer);
  EXPECT_EQ(buffer, "");
}

int Sign(int value) { return (value > 0) - (value < 0); }

int Compare(std::u16string_view left, std::u16string_view right) {
  return Sign(CompareIgnoringCase(Wide(left), Wide(right)));
}

TEST(CompareIgnoringCase, FoldsOnlyAsciiCapitals) {
  EXPECT_EQ(Compare(u"Blueprint'/Game/A'", u"BLUEPRINT'/game/a'"), 0);
  // Ä (U+00C4) and ä (U+00E4) are different letters to this order.
  EXPECT_EQ(Compare(u"\u00C4", u"\u00E4"), -1);
  // Folding puts 'A' (0x41) after '_' (0x5F), as lower-case 'a' (0x61).
  EXPECT_EQ(Compare(u"A", u"_"), 1);
  EXPECT_EQ(Compare(u"[", u"A"), -1);
}

TEST(CompareIgnoringCase, PrefixSortsFirst) {
  EXPECT_EQ(Compare(u"abc", u"abcd"), -1);
  EXPECT_EQ(Compare(u"ABCD", u"abc"), 1);
  EXPECT_EQ(Compare(u"", u"a"), -1);
  EXPECT_EQ(CompareIgnoringCase(FString(), Wide(u"")), 0);
  EXPECT_EQ(Sign(CompareIgnoringCase(FString(), FString("a"))), -1);
}

// The folded form and its hash are what the count table's index goes by, so they must call two
// keys equal exactly when the order does, on every platform.
TEST(FoldForKeyOrder, EqualExactlyWhenTheOrderSaysEqual) {
  const std::u16string_view keys[] = {
      u"",
      u"a",
      u"A",
      u"Blueprint'/Game/Raptor.Raptor'",
      u"BLUEPRINT'/GAME/raptor.raptor'",
      u"Blueprint'/Game/Raptor.Raptor' ",
      std::u16string_view(u"ab\0c", 4),
      std::u16string_view(u"AB\0d", 4),
      std::u16string_view(u"\0z", 2),
      u"\u00C4",
      u"\u00E4",
      u"@",
      u"`",
      u"[",
      u"{",
      u"Z",
      u"z",
      u"\xFF21",
      u"\xFF41",
  };
  std::u16string left_folded, right_folded;
  for (const auto left : keys) {
    for (const auto right : keys) {
      const KeyDigest left_digest = DigestKey(left, left_folded);
      const KeyDigest right_digest = DigestKey(right, right_folded);
      const bool equal = CompareIgnoringCase(Wide(left), Wide(right)) == 0;
      EXPECT_EQ(left_folded == right_folded, equal) << ToUtf8(left) << " / " << ToUtf8(right);
      // The indexes hash the folded form: keys the order calls equal must hash alike.
      if (equal) {
        EXPECT_EQ(left_digest.folded_hash, right_digest.folded_hash) << ToUtf8(left);
      }
    }
  }
}

TEST(CompareIgnoringCase, ComparesUnitsUnsigned) {
  EXPECT_EQ(Compare(u"\xFF21", u"a"), 1);
  EXPECT_EQ(Compare(u"\xD83D\xDE00", u"\uFFFD"), -1);
  EXPECT_EQ(Compare(u"z", u"\u0100"), -1);
}

}  // namespace
