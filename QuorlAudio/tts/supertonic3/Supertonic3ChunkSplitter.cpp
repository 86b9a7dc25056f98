#include "QuorlAudio/tts/supertonic3/Supertonic3ChunkSplitter.hpp"

#include "QuorlAudio/tts/supertonic3/Supertonic3Constants.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3TextChunker.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3UnicodeProcessor.hpp"
#include "platform/text/Utf8.hpp"

#include <cstddef>
#include <utility>

namespace quorl::Supertonic3ChunkSplitter {
namespace {

bool fits(std::string_view text, std::string_view language) {
    const auto tagged = Supertonic3UnicodeProcessor::preprocess(text, language);
    return platform::text::decodeScalars(tagged).size() <= static_cast<std::size_t>(Supertonic3Constants::textTFixed);
}

// Words packed greedily while the tagged piece still fits.
void splitAtWords(const std::string& chunk, std::string_view language, Split& split) {
    std::string current;
    for (const auto& word : Supertonic3TextChunker::words(chunk)) {
        std::string candidate = current.empty() ? word : current + " " + word;
        if (fits(candidate, language)) {
            current = std::move(candidate);
            continue;
        }
        if (!current.empty()) {
            split.chunks.push_back(std::move(current));
        }
        if (!fits(word, language)) {
            split.overlongWords.push_back(word);
        }
        current = word;
    }
    if (!current.empty()) {
        split.chunks.push_back(std::move(current));
    }
}

} // namespace

Split fitToEncoder(const std::vector<std::string>& chunks, std::string_view language) {
    Split split;
    for (const auto& chunk : chunks) {
        if (fits(chunk, language)) {
            split.chunks.push_back(chunk);
        } else {
            splitAtWords(chunk, language, split);
        }
    }
    return split;
}

} // namespace quorl::Supertonic3ChunkSplitter
