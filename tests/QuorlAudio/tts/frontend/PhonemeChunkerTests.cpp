#include "QuorlAudio/tts/frontend/PhonemeChunker.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

using Pieces = std::vector<std::string>;

TEST(PhonemeChunkerTests, CutsAfterTheLastBlankOrMarkOfEachWindow) {
    const struct {
        std::string name;
        std::string text;
        int maxLength;
        Pieces pieces;
    } cases[] = {
        {"empty", "", 10, {}},
        {"blanks only", " \t\n ", 10, {}},
        {"short text is one trimmed piece", "  a, b.  ", 10, {"a, b."}},
        {"the blank ending the window ends the piece", "ab cd, ef gh ij", 10, {"ab cd, ef", "gh ij"}},
        {"no cut point cuts hard", "abcdefghijkl", 5, {"abcde", "fghij", "kl"}},
        {"a mark after the first character", "a,bcdefgh", 5, {"a,", "bcdef", "gh"}},
        {"the window's first character is never a cut", ",bcdefgh", 5, {",bcde", "fgh"}},
        {"leading blanks are skipped before each window", "   ab cd ef", 5, {"ab", "cd ef"}},
        {"line breaks are white space", "ab\ncdefg", 5, {"ab", "cdefg"}},
        {"the ellipsis cuts", "ab\u2026cdefgh", 5, {"ab\u2026", "cdefg", "h"}},
        {"the em dash cuts", "ab\u2014cdefgh", 5, {"ab\u2014", "cdefg", "h"}},
        {"the en dash does not", "ab\u2013cdefgh", 5, {"ab\u2013cd", "efgh"}},
        {"the hyphen does not", "ab-cdefgh", 5, {"ab-cd", "efgh"}},
        {"a letter with a combining mark counts once",
         "e\u0301e\u0301e\u0301e\u0301",
         2,
         {"e\u0301e\u0301", "e\u0301e\u0301"}},
        {"a length below 1 is taken as 1", "ab c", 0, {"a", "b", "c"}},
        {"a negative length too", "ab", -3, {"a", "b"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PhonemeChunker::chunk(c.text, c.maxLength), c.pieces) << c.name;
    }
}

TEST(PhonemeChunkerTests, TheCallerChoosesTheBoundaryMarks) {
    const std::set<std::string, std::less<>> bar{"|"};
    EXPECT_EQ(PhonemeChunker::chunk("ab|cdef,gh", 5, bar), (Pieces{"ab|", "cdef,", "gh"}));
    EXPECT_EQ(PhonemeChunker::chunk("ab,cdefgh", 5, bar), (Pieces{"ab,cd", "efgh"}));
}

} // namespace
} // namespace quorl
