#pragma once

#include "QuorlAudio/tts/frontend/CachePayload.hpp"

#include <filesystem>
#include <mutex>
#include <string>
#include <unordered_set>

namespace quorl {

// The English pronunciation lexicon ("us_lexicon_cache.json" in the Kokoro asset folder), read once and
// reduced to the phoneme tokens the owning synthesiser can encode. Safe to share between threads; a caller
// arriving during a load waits for it.
class LexiconAssetCache {
public:
    using Lexicon = CachePayload::Lexicon;

    struct Lexicons {
        // Keyed by the lower-cased word.
        Lexicon word;
        // Keyed by the word as written.
        Lexicon caseSensitive;
    };

    static constexpr const char* fileName = "us_lexicon_cache.json";

    // Reads and filters the file unless a load has already succeeded with a non-empty case-sensitive
    // lexicon, in which case nothing is done whatever the arguments. Each word keeps only its tokens that are
    // in `allowedTokens`, in file order with repeats. Throws TTSError::processingFailed when the file is
    // missing or its lower-case lexicon is empty (both leaving the cache as it was), or when it cannot be
    // read or decoded (leaving the cache empty).
    void ensureLoaded(const std::filesystem::path& kokoroDirectory,
                      const std::unordered_set<std::string>& allowedTokens);

    // What is loaded; two empty lexicons before the first load.
    Lexicons lexicons() const;

private:
    void load(const std::filesystem::path& file, const std::unordered_set<std::string>& allowedTokens);

    mutable std::mutex mutex_;
    Lexicon wordToPhonemes_;
    Lexicon caseSensitiveWordToPhonemes_;
    bool isLoaded_ = false;
};

} // namespace quorl
