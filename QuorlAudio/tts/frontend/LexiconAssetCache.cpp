#include "QuorlAudio/tts/frontend/LexiconAssetCache.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/frontend/CachePayload.hpp"
#include "QuorlAudio/tts/frontend/TTSError.hpp"

#include <system_error>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;

const AppLogger& logger() {
    static const AppLogger instance("LexiconAssetCache");
    return instance;
}

} // namespace

void LexiconAssetCache::ensureLoaded(const fs::path& kokoroDirectory,
                                     const std::unordered_set<std::string>& allowedTokens) {
    const std::lock_guard lock(mutex_);
    if (isLoaded_ && !caseSensitiveWordToPhonemes_.empty()) {
        return;
    }
    const auto file = kokoroDirectory / fileName;
    std::error_code unreadable;
    if (!fs::exists(file, unreadable)) {
        throw TTSError::processingFailed("Missing lexicon cache (expected us_lexicon_cache.json)");
    }
    load(file, allowedTokens);
}

// Holds the lock of its caller.
void LexiconAssetCache::load(const fs::path& file, const std::unordered_set<std::string>& allowedTokens) {
    Lexicon lower;
    Lexicon caseSensitive;
    try {
        auto payload = CachePayload::read(file, allowedTokens);
        lower = std::move(payload.lower);
        caseSensitive = std::move(payload.caseSensitive);
    } catch (const std::exception& error) {
        wordToPhonemes_.clear();
        caseSensitiveWordToPhonemes_.clear();
        isLoaded_ = false;
        throw TTSError::processingFailed(std::string("Failed to load lexicon cache: ") + error.what());
    }
    if (lower.empty()) {
        throw TTSError::processingFailed("us_lexicon_cache.json had no entries within the allowed token set");
    }
    wordToPhonemes_ = std::move(lower);
    caseSensitiveWordToPhonemes_ = std::move(caseSensitive);
    isLoaded_ = true;
    logger().info("Loaded lexicon cache: " + std::to_string(wordToPhonemes_.size()) + " entries");
}

LexiconAssetCache::Lexicons LexiconAssetCache::lexicons() const {
    const std::lock_guard lock(mutex_);
    return Lexicons{.word = wordToPhonemes_, .caseSensitive = caseSensitiveWordToPhonemes_};
}

} // namespace quorl
