#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorl {

// Turns text chunks into the text encoder's input: each chunk normalised, wrapped in its language's tags and
// mapped scalar by scalar through the character table of "unicode_indexer.json".
struct Supertonic3UnicodeProcessor {
    // The text encoder's ids and masks, one entry per text.
    struct Encoded {
        // 128 ids each; positions past the text hold 0.
        std::vector<std::vector<std::int64_t>> ids;
        // One 1 × 128 row each: 1 for the positions the text fills, 0 after.
        std::vector<std::vector<std::vector<float>>> mask;
    };

    // Entry k is the id of the scalar of value k; scalars past the end get -1.
    std::vector<std::int64_t> indexer;

    // Each text preprocessed with the language at its position and cut to its first 128 scalars, tags included.
    // Throws Supertonic3Error::unsupportedLanguage for a code outside Supertonic3Constants::availableLanguages
    // (compared exactly, so "EN" is refused), and std::invalid_argument when the two lists differ in length.
    Encoded encode(const std::vector<std::string>& texts, const std::vector<std::string>& languages) const;

    // The tagged text the ids are read from: compatibility decomposition (NFKD), pictographs removed, fixed symbol
    // and expression replacements, no space before punctuation, doubled quotes collapsed, white-space runs made
    // one space, trimmed, a final "." unless the text ends in a closing mark or is empty, then "<lang>" … "</lang>".
    static std::string preprocess(std::string_view text, std::string_view lang);
};

} // namespace quorl
