#pragma once

#include "QuorlAudio/tts/frontend/MandarinPinyinNormalizer.hpp"

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

namespace quorl {

// The pieces Mandarin text is cut into before its phonemes are written, in text order.
namespace MandarinG2PSegment {

// Tone-marked pinyin of a dictionary phrase or of one character.
struct Pinyin {
    std::vector<std::string> readings;
    std::size_t hanziCount;

    bool operator==(const Pinyin&) const = default;
};

// The syllables of a custom-lexicon word.
struct Syllables {
    std::vector<MandarinPinyinNormalizer::Syllable> syllables;

    bool operator==(const Syllables&) const = default;
};

// One character of the phoneme alphabet's punctuation.
struct Punctuation {
    std::string text;

    bool operator==(const Punctuation&) const = default;
};

// Text copied as it is: ASCII other than punctuation, characters without a reading, bopomofo of the lexicon.
struct Literal {
    std::string text;

    bool operator==(const Literal&) const = default;
};

// A reading the polyphone model chose, in bopomofo with its tone digit.
struct BopomofoOverride {
    std::string text;

    bool operator==(const BopomofoOverride&) const = default;
};

} // namespace MandarinG2PSegment

using MandarinSegment =
    std::variant<MandarinG2PSegment::Pinyin, MandarinG2PSegment::Syllables, MandarinG2PSegment::Punctuation,
                 MandarinG2PSegment::Literal, MandarinG2PSegment::BopomofoOverride>;

// A character whose dictionary entry offers several readings: its single-character Pinyin segment and its
// place among the text's characters.
struct MandarinPolyphoneTarget {
    std::size_t segmentIdx;
    std::size_t charPos;

    bool operator==(const MandarinPolyphoneTarget&) const = default;
};

struct MandarinSegmentResult {
    std::vector<MandarinSegment> segments;
    std::vector<MandarinPolyphoneTarget> targets;
};

} // namespace quorl
