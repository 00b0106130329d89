#pragma once
// The texts the translation memory compares, and how it compares them
// (docs/memory.md). The module counts a text in characters of Windows-1252,
// one byte each, so the memory keeps texts as those bytes: a length is a
// character count and the edit distance works on characters. Sources are
// compared with their shortcut marks removed; the similarity folds letters
// as the find/replace dialog does when it ignores case.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trd::server::memory {

// The Windows-1252 bytes of a UTF-8 text. The write path admits only texts
// the code page can hold; anything else (a byte sequence that is no UTF-8, a
// character without a byte) becomes 0x7F, which no text holds, so it never
// matches a real character.
std::string toWin1252(std::string_view utf8);
// And back, for the answers.
std::string fromWin1252(std::string_view bytes);

// Every "&" followed by a character other than "&" removed, deciding each on
// the original text: "&Arquivo" -> "Arquivo", "&&x" -> "&x", "a && b" ->
// "a & b", "x&" stays. The dialogs' own rule, on bytes.
std::string removeShortcutMarks(std::string_view text);

// A source or translation as the memory keeps it: Windows-1252 bytes with the
// shortcut marks removed, case kept. The second form reuses out's storage.
void memoryText(std::string_view utf8, std::string& out);
inline std::string memoryText(std::string_view utf8)
{
    std::string out;
    memoryText(utf8, out);
    return out;
}

// The fold of the find/replace dialog: a-z and the 24 accented letters of its
// table (ã õ ñ ç á é í ó ú ä ë ï ö ü â ê î ô û à è ì ò ù) upper-cased; every
// other byte (ý, ÿ, å, æ, ø, š, œ, ž among the letters) unchanged.
const std::array<unsigned char, 256>& foldTable();
inline unsigned char fold(unsigned char c)
{
    return foldTable()[c];
}
std::string folded(std::string_view text);

// The Levenshtein distance of the folded texts: insertions, deletions and
// substitutions of one character, each costing 1.
int editDistance(std::string_view a, std::string_view b);

// A similarity: the distance of two texts and the length of the longer one.
// Its value is 100 × (1 − distance ÷ longer); two empty texts are equal (100).
struct Similarity {
    int distance = 0;
    int longer = 0;

    double percent() const { return longer == 0 ? 100.0 : 100.0 * (longer - distance) / longer; }
    // The value shown: rounded down, computed in whole numbers so that 2/3
    // shows 66 and 7/10 shows 70 exactly.
    int shownPercent() const { return longer == 0 ? 100 : 100 * (longer - distance) / longer; }
    // The threshold applies to the exact value: 100 (L − d) ≥ t L.
    bool meets(double threshold) const { return 100.0 * (longer - distance) >= threshold * longer; }
};

// Orders similarities by their exact value, comparing (L1 − d1) L2 with
// (L2 − d2) L1 in whole numbers: negative when a is less similar than b.
int compare(const Similarity& a, const Similarity& b);

Similarity similarity(std::string_view a, std::string_view b);

// A 64-bit hash of a text, for grouping equal texts without keeping them.
std::uint64_t textHash(std::string_view text);

} // namespace trd::server::memory
