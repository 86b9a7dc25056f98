#pragma once

#include "platform/text/TextRange.hpp"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quorl {

// One recognised SSML element of an input text.
struct SSMLParsedTag {
    // An explicit pronunciation of the content.
    struct Phoneme {
        std::string alphabet;
        std::string ph;
        std::string content;
        bool operator==(const Phoneme&) const = default;
    };
    // A text to speak in place of the content.
    struct Sub {
        std::string alias;
        std::string content;
        bool operator==(const Sub&) const = default;
    };
    // The content to be read by a say-as class.
    struct SayAs {
        std::string interpretAs;
        std::optional<std::string> format;
        std::string content;
        bool operator==(const SayAs&) const = default;
    };
    using TagType = std::variant<Phoneme, Sub, SayAs>;

    TagType type;
    // From the "<" of the opening tag to the ">" of the closing tag, in bytes of the input.
    platform::text::TextRange range;

    bool operator==(const SSMLParsedTag&) const = default;
};

// An explicit pronunciation for the word at `wordIndex` of the processed text.
struct TtsPhoneticOverride {
    // The words of the processed text before the element's replacement.
    int wordIndex = 0;
    // The ph value trimmed and split at blanks; the whole value as one token when it holds no blank.
    std::vector<std::string> tokens;
    // The ph value as written, one Unicode scalar per entry, blanks included.
    std::vector<std::string> scalarTokens;
    // The ph value as written.
    std::string raw;
    // The element's content, trimmed.
    std::string word;

    bool operator==(const TtsPhoneticOverride&) const = default;
};

struct SSMLProcessingResult {
    std::string text;
    // Sorted by word index.
    std::vector<TtsPhoneticOverride> phoneticOverrides;
};

} // namespace quorl
