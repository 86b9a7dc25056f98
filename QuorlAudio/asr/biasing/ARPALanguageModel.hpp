#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>

namespace quorl {

// A word bigram language model read from an ARPA back-off file, in natural-log units. Orders above two are
// read past and not kept. A plain value: a loaded model can be read from any number of threads.
struct ARPALanguageModel {
    struct Entry {
        float logProb = 0;
        // The weight added when this word is the context of a bigram the model does not hold.
        float backoff = 0;

        bool operator==(const Entry&) const = default;
    };

    static constexpr float log10ToNat = 2.3025851F;
    // The unigram score of a word the model does not know.
    static constexpr float unkLogProb = -23.026F;

    std::unordered_map<std::string, Entry> unigrams;
    // Previous word to word.
    std::unordered_map<std::string, std::unordered_map<std::string, Entry>> bigrams;

    // The model of the file; throws ARPAError when it cannot be opened. Its contents never fail the load: a
    // line that does not read is skipped with a warning.
    static ARPALanguageModel load(const std::filesystem::path& from);

    // The score of `word` after `prev`, or of `word` alone: the bigram when held, else the previous word's
    // back-off plus the word's unigram score.
    float score(const std::string& word, const std::optional<std::string>& prev) const;
};

} // namespace quorl
