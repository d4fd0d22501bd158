#pragma once

// Class keys as `kestrovar check` handles them: in UTF-8, as config.json holds them, formed and
// compared by the plug-in's own rules.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// UTF-16 units of UTF-8 text; a byte that starts no valid sequence becomes U+FFFD.
std::u16string Utf16FromUtf8(std::string_view text);

// Whether a text has the form of every key the plug-in forms: "Blueprint'" ... "'".
bool HasClassKeyForm(std::string_view text);

// The key of the class with this reference text, in UTF-8.
std::string ClassKeyOfReference(std::string_view reference_text);

// The key that a text written in place of a class key most likely means, when one can be derived:
// a key with spaces around it or "blueprint'" in another letter case, a key without its closing
// quote, or a reference text ("/Game/.../Name.Name_C"). Empty when the text names no class path.
std::optional<std::string> DerivedClassKey(std::string_view text);

// The object name of a class key (after the last full stop, closing quote not included), and the
// asset name (the last path segment before that full stop). Empty when the key has no full stop.
std::string_view ObjectNameOf(std::string_view key);
std::string_view AssetNameOf(std::string_view key);

// A line of a class list that names no class.
struct UnreadLine {
  int line = 0;
  std::string text;
  bool cut_short = false;  // a dump line that breaks off before its count
};

struct ClassList {
  std::vector<std::string> keys;
  std::vector<UnreadLine> unread;
  // Some classes come from dump lines (a dump file, or the log's dump entries): the list then
  // holds the classes the plug-in had met when it dumped, not every class the server has.
  bool from_dump = false;
  // Why the file is no list of classes at all; its keys and lines are then not given.
  enum class Unusable { kNo, kUtf16, kNotText } unusable = Unusable::kNo;
};

// The classes named in a file, one a line: a class key, a reference text (turned into its key), or
// a line of a dump ("KEY. Num: N"), also as the server's log holds it, behind an entry's time.
// Blank lines, lines starting with '#', the log's other entries and the further lines of an
// entry's message are skipped; any other line is kept in `unread`. UTF-16 text, or a file with a
// handful of lines that are not text, is `unusable`. Empty, with `why` set, when the file is not a
// regular file that can be read. "-" reads standard input.
std::optional<ClassList> ReadClassList(const std::string& path, std::string* why = nullptr);
ClassList ReadClassListText(std::string_view text);

// The candidate nearest to `name` by edit distance, letter case ignored, provided it is at most
// `most` edits away; empty when there is none.
std::string ClosestOf(std::string_view name, const std::vector<std::string>& candidates,
                      std::size_t most);

// The class key nearest to `key` that is likely the same class misspelt: within an edit distance of
// a tenth of the key's length, and with an object name (the creature) no further than an eighth of
// its length from the key's, beginning with the same letter, and not AreTwoCreatures. Empty when
// there is none; of equally near keys, the first listed.
std::string ClosestClassKey(std::string_view key, const std::vector<std::string>& keys);

// Whether two keys name two creatures whose names differ in one letter (Bear, Boar) rather than one
// creature misspelt: their object names differ by one letter put for another in a word of at most
// five letters, and their asset names differ too. A slip of the keyboard shows in one place; a
// copied key of another creature shows the same letter in both.
bool AreTwoCreatures(std::string_view key, std::string_view other);

// The listed classes, indexed so that the class nearest to a key is found without comparing the key
// with every class: a server may list tens of thousands, and a configuration hold as many limits.
class ClassKeyIndex {
 public:
  explicit ClassKeyIndex(const std::vector<std::string>& keys);
  // As ClosestClassKey.
  std::string Closest(std::string_view key) const;

 private:
  // The object names, A-Z folded, as a tree of their letters: names that begin alike share their
  // beginning, so a search walks each beginning once and leaves a branch as soon as it is too far.
  struct Node {
    char letter = 0;  // the last letter of the beginning it stands for
    std::vector<std::pair<char, uint32_t>> next;
    std::vector<uint32_t> keys;  // whose object name ends here, as indices in keys_
    // The lengths of the names that begin here.
    std::size_t shortest = std::numeric_limits<std::size_t>::max();
    std::size_t longest = 0;
  };
  const std::vector<std::string>& keys_;
  std::vector<Node> nodes_;
  std::size_t deepest_ = 0;
};
