#include "QuorlAudio/tts/kokoro/KokoroAneManager.hpp"

#include "QuorlAudio/foundation/AudioWAV.hpp"
#include "QuorlAudio/tts/frontend/EnglishTextNormalizer.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneResourceDownloader.hpp"
#include "QuorlAudio/tts/frontend/MandarinG2P.hpp"
#include "QuorlAudio/tts/frontend/PhonemeChunker.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneSynthesizer.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Error.hpp"
#include "platform/text/CharacterCategory.hpp"
#include "platform/text/CharacterProperties.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Utf8.hpp"

#include <exception>
#include <unordered_set>
#include <utility>

namespace quorl {
namespace {

namespace downloader = KokoroAneResourceDownloader;
using KokoroAneConstants::maxPhonemeLength;

std::shared_ptr<G2PModel> sharedG2PModel() { return {std::shared_ptr<G2PModel>{}, &G2PModel::shared()}; }

std::shared_ptr<KokoroAneModelStore> storeFor(KokoroAneManagerConfig& config) {
    if (config.modelStore) {
        return std::move(config.modelStore);
    }
    return std::make_shared<KokoroAneModelStore>(config.directory, config.computeUnits, config.variant);
}

// Vocabulary characters that are neither letters, nor numbers, nor white space.
std::set<std::string, std::less<>> punctuationOf(const KokoroAneVocab& vocab) {
    std::set<std::string, std::less<>> punctuation;
    for (const auto& [character, id] : vocab.map) {
        const char32_t scalar = platform::text::firstScalar(character);
        if (!platform::text::isLetter(scalar) && !platform::text::hasNumericType(scalar) &&
            !platform::text::isWhiteSpace(scalar)) {
            punctuation.insert(character);
        }
    }
    return punctuation;
}

std::unordered_set<std::string> tokensOf(const KokoroAneVocab& vocab) {
    std::unordered_set<std::string> tokens;
    for (const auto& [character, id] : vocab.map) {
        tokens.insert(character);
    }
    return tokens;
}

// The downloader names the lexicon file itself; the cache takes the folder that holds it.
std::filesystem::path lexiconFolder(const std::filesystem::path& located) {
    return located.filename() == LexiconAssetCache::fileName ? located.parent_path() : located;
}

} // namespace

KokoroAneManager::KokoroAneManager(KokoroAneManagerConfig config)
    : variant_(config.variant), store_(storeFor(config)),
      g2pModel_(config.g2pModel ? std::move(config.g2pModel) : sharedG2PModel()),
      defaultVoice_(config.defaultVoice.value_or(std::string(quorl::defaultVoice(config.variant)))) {}

void KokoroAneManager::initialize(const std::set<std::string>& preloadVoices) {
    store_->loadIfNeeded();
    if (variant_ == KokoroAneVariant::english) {
        downloader::ensureG2PAssets(std::nullopt);
        g2pModel_->ensureModelsAvailable();
        downloader::ensureEnglishLexicon(std::nullopt);
    }
    for (const auto& voice : preloadVoices) {
        store_->voicePack(voice);
    }
}

bool KokoroAneManager::isAvailable() const { return store_->isLoaded(); }

std::string KokoroAneManager::defaultVoice() const {
    const std::lock_guard lock(mutex_);
    return defaultVoice_;
}

void KokoroAneManager::setDefaultVoice(std::string voice) {
    const std::lock_guard lock(mutex_);
    defaultVoice_ = std::move(voice);
}

void KokoroAneManager::setMandarinCustomLexicon(MandarinCustomLexicon lexicon) {
    store_->setMandarinCustomLexicon(std::move(lexicon));
}

KokoroAneManager::EnglishLexicon KokoroAneManager::englishCustomLexicon() const {
    const std::lock_guard lock(mutex_);
    return englishCustomLexicon_;
}

void KokoroAneManager::setEnglishCustomLexicon(EnglishLexicon lexicon) {
    const std::lock_guard lock(mutex_);
    englishCustomLexicon_ = std::move(lexicon);
    englishPhonemizer_.reset();
}

void KokoroAneManager::cleanup() {
    store_->cleanup();
    const std::lock_guard lock(mutex_);
    englishPhonemizer_.reset();
}

KokoroAneManager::Bytes KokoroAneManager::synthesize(const std::string& text, const std::optional<std::string>& voice,
                                                     float speed) {
    return wavData(synthesizeDetailed(text, voice, speed));
}

KokoroAneSynthesisResult KokoroAneManager::synthesizeDetailed(const std::string& text,
                                                              const std::optional<std::string>& voice, float speed) {
    const auto phonemeString = phonemes(text);
    const auto chunks = PhonemeChunker::chunk(phonemeString, maxPhonemeLength);
    if (chunks.size() > 1) {
        return synthesizeChunks(chunks, voice, speed);
    }
    // A string made long only by surrounding white space is spoken as its one trimmed chunk.
    const bool fitsOneRun = platform::text::characterCount(phonemeString) <= maxPhonemeLength;
    return runChain(fitsOneRun || chunks.empty() ? phonemeString : chunks.front(), voice, speed);
}

std::string KokoroAneManager::phonemes(const std::string& text) {
    switch (variant_) {
    case KokoroAneVariant::english: return phonemize(text);
    case KokoroAneVariant::mandarin:
        store_->loadIfNeeded();
        return MandarinG2P::looksLikeHanzi(text) ? store_->mandarinG2PPipeline().phonemize(text) : text;
    case KokoroAneVariant::japanese: break;
    }
    throw KokoroAneError::inputProcessingFailed("Japanese variant has no text G2P frontend; call "
                                                "synthesizeFromPhonemes(_:voice:speed:) with pre-computed IPA.");
}

KokoroAneManager::Bytes KokoroAneManager::synthesizeFromPhonemes(const std::string& phonemes,
                                                                 const std::optional<std::string>& voice, float speed) {
    return wavData(runChain(phonemes, voice, speed));
}

KokoroAneSynthesisResult KokoroAneManager::synthesizeFromPhonemesDetailed(const std::string& phonemes,
                                                                          const std::optional<std::string>& voice,
                                                                          float speed) {
    return runChain(phonemes, voice, speed);
}

KokoroAneSynthesisResult KokoroAneManager::synthesizeChunks(const std::vector<std::string>& chunks,
                                                            const std::optional<std::string>& voice, float speed) {
    KokoroAneSynthesisResult joined;
    for (const auto& chunk : chunks) {
        auto part = runChain(chunk, voice, speed);
        joined.samples.insert(joined.samples.end(), part.samples.begin(), part.samples.end());
        joined.encoderTokens += part.encoderTokens;
        joined.acousticFrames += part.acousticFrames;
        joined.timings += part.timings;
        joined.sampleRate = part.sampleRate;
    }
    return joined;
}

KokoroAneSynthesisResult KokoroAneManager::runChain(const std::string& phonemes,
                                                    const std::optional<std::string>& voice, float speed) {
    store_->loadIfNeeded();
    const auto vocab = store_->vocabulary();
    const auto pack = store_->voicePack(voice.value_or(defaultVoice()));
    auto ids = vocab.encode(phonemes);
    auto style = pack->slice(static_cast<long long>(platform::text::characterCount(phonemes)));
    return KokoroAneSynthesizer::synthesize({.inputIds = std::move(ids),
                                             .styleS = std::move(style.styleS),
                                             .styleTimbre = std::move(style.styleTimbre),
                                             .speed = speed},
                                            *store_);
}

std::string KokoroAneManager::phonemize(const std::string& text) {
    const auto normalized = EnglishTextNormalizer::normalize(text);
    const auto phonemizer = ensureEnglishPhonemizer();
    return phonemizer.phonemize(normalized, [this](const std::string& word) { return g2pModel_->phonemize(word); });
}

KokoroAneEnglishPhonemizer KokoroAneManager::ensureEnglishPhonemizer() {
    {
        const std::lock_guard lock(mutex_);
        if (englishPhonemizer_) {
            return *englishPhonemizer_;
        }
    }
    std::set<std::string, std::less<>> allowedPunctuation;
    try {
        store_->loadIfNeeded();
        const auto vocab = store_->vocabulary();
        allowedPunctuation = punctuationOf(vocab);
        const auto located = downloader::ensureEnglishLexicon(std::nullopt);
        if (!located) {
            return degradedPhonemizer(std::move(allowedPunctuation));
        }
        englishLexiconCache_.ensureLoaded(lexiconFolder(*located), tokensOf(vocab));
    } catch (const platform::core::CancellationError&) {
        throw;
    } catch (const std::exception&) {
        logger_.warning("English lexicon unavailable (" + platform::core::describe(std::current_exception()) +
                        "); using BART G2P only");
        return degradedPhonemizer(std::move(allowedPunctuation));
    }
    auto lexicons = englishLexiconCache_.lexicons();
    const std::lock_guard lock(mutex_);
    englishPhonemizer_ = KokoroAneEnglishPhonemizer{
        .wordToPhonemes = {lexicons.word.begin(), lexicons.word.end()},
        .caseSensitiveWordToPhonemes = {lexicons.caseSensitive.begin(), lexicons.caseSensitive.end()},
        .customLexicon = englishCustomLexicon_,
        .allowedPunctuation = std::move(allowedPunctuation),
    };
    return *englishPhonemizer_;
}

KokoroAneEnglishPhonemizer
KokoroAneManager::degradedPhonemizer(std::set<std::string, std::less<>> allowedPunctuation) const {
    KokoroAneEnglishPhonemizer phonemizer;
    phonemizer.customLexicon = englishCustomLexicon();
    phonemizer.allowedPunctuation = std::move(allowedPunctuation);
    return phonemizer;
}

KokoroAneManager::Bytes KokoroAneManager::wavData(const KokoroAneSynthesisResult& result) const {
    try {
        return AudioWAV::data(result.samples, result.sampleRate, variant_ != KokoroAneVariant::japanese);
    } catch (const std::exception&) {
        throw KokoroAneError::audioConversionFailed(platform::core::describe(std::current_exception()));
    }
}

} // namespace quorl
