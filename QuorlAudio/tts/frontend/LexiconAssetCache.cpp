#include "QuorlAudio/tts/frontend/LexiconAssetCache.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/frontend/TTSError.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <fstream>
#include <system_error>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

const AppLogger& logger() {
    static const AppLogger instance("LexiconAssetCache");
    return instance;
}

json decodedFile(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        throw fs::filesystem_error("Cannot read the file", file, std::error_code(errno, std::generic_category()));
    }
    return json::parse(stream);
}

// Every word of the object, each with the allowed ones of its tokens; a word left with none stays.
LexiconAssetCache::Lexicon filtered(const json& object, const std::unordered_set<std::string>& allowedTokens) {
    LexiconAssetCache::Lexicon lexicon;
    lexicon.reserve(object.size());
    for (const auto& [word, tokens] : object.get_ref<const json::object_t&>()) {
        auto& kept = lexicon[word];
        for (const auto& token : tokens.get_ref<const json::array_t&>()) {
            if (const auto& text = token.get_ref<const std::string&>(); allowedTokens.contains(text)) {
                kept.push_back(text);
            }
        }
    }
    return lexicon;
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
        const json payload = decodedFile(file);
        lower = filtered(payload.at("lower"), allowedTokens);
        caseSensitive = filtered(payload.at("caseSensitive"), allowedTokens);
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
