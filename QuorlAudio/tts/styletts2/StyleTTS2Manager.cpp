#include "QuorlAudio/tts/styletts2/StyleTTS2Manager.hpp"

#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/tts/frontend/PhonemeChunker.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Constants.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2ResourceDownloader.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2TextCleaner.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/text/GraphemeClusters.hpp"

#include <exception>
#include <string>
#include <unordered_set>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;

template <class Part> const Part& required(const std::shared_ptr<Part>& part) {
    if (!part) {
        throw StyleTTS2Error::notInitialized();
    }
    return *part;
}

std::unordered_set<std::string> allowedTokens() {
    const auto& symbols = StyleTTS2TextCleaner::symbols();
    return {symbols.begin(), symbols.end()};
}

std::vector<float> loadReferenceAudio(const fs::path& clip) {
    try {
        return AudioConverter(static_cast<double>(StyleTTS2Constants::sampleRate)).resampleAudioFile(clip);
    } catch (const platform::core::CancellationError&) {
        throw;
    } catch (const std::exception&) {
        throw StyleTTS2Error::unsupportedReferenceAudio(platform::core::describe(std::current_exception()));
    }
}

// The text a phoneme string of fewer than two chunks is spoken as. A string longer than a chunk whose excess
// is white space around it is spoken as its one trimmed chunk: the whole string would not fit any bucket.
std::string singleChunkText(const std::string& phonemes, const std::vector<std::string>& chunks) {
    if (platform::text::characterCount(phonemes) <=
        static_cast<std::size_t>(StyleTTS2Constants::maxPhonemeChunkChars)) {
        return phonemes;
    }
    return chunks.empty() ? std::string() : chunks.front();
}

} // namespace

StyleTTS2Manager::StyleTTS2Manager(std::optional<fs::path> directory, platform::ml::ComputeUnits computeUnits,
                                   G2PModel& g2p)
    : directory_(std::move(directory)), computeUnits_(computeUnits), g2p_(g2p) {}

std::unique_ptr<StyleTTS2Manager> StyleTTS2Manager::downloadAndCreate(std::optional<fs::path> cacheDirectory,
                                                                      platform::ml::ComputeUnits computeUnits,
                                                                      G2PModel& g2p) {
    auto manager = std::make_unique<StyleTTS2Manager>(std::move(cacheDirectory), computeUnits, g2p);
    manager->initialize();
    return manager;
}

bool StyleTTS2Manager::isAvailable() const { return loaded().synthesizer != nullptr; }

void StyleTTS2Manager::initialize() {
    const std::lock_guard lock(mutex_);
    if (loaded_.synthesizer) {
        return;
    }
    logger_.info("StyleTTS2 phonemizer mirrors Kokoro: Misaki lexicon-cache lookup first, BART G2P CoreML for "
                 "OOV. Pass IPA directly via synthesize(ipa:...) when you have a higher-quality phonemizer.");
    auto store = std::make_shared<StyleTTS2ModelStore>(directory_, computeUnits_);
    store->loadIfNeeded();
    loaded_.store = store;
    auto phonemizer = std::make_shared<const StyleTTS2Phonemizer>(makePhonemizer());
    loaded_.phonemizer = std::move(phonemizer);
    loaded_.melExtractor = std::make_shared<const StyleTTS2MelExtractor>();
    loaded_.synthesizer = std::make_shared<const StyleTTS2Synthesizer>(*store);
    logger_.info(concatenated({"StyleTTS2 ready (compute units: ", platform::ml::description(computeUnits_), ")"}));
}

// Fetches the G2P assets and the lexicon, loads the G2P model, and reads the lexicon if it can.
StyleTTS2Phonemizer StyleTTS2Manager::makePhonemizer() const {
    StyleTTS2ResourceDownloader::ensureG2PAssets(directory_, nullptr);
    const auto lexiconFolder = StyleTTS2ResourceDownloader::ensureLexiconCache();
    g2p_.ensureModelsAvailable();
    LexiconAssetCache cache;
    try {
        cache.ensureLoaded(lexiconFolder, allowedTokens());
    } catch (const platform::core::CancellationError&) {
        throw;
    } catch (const std::exception&) {
        logger_.warning(concatenated({"Lexicon cache load failed (", platform::core::describe(std::current_exception()),
                                      "); falling back to G2P-only path"}));
        return StyleTTS2Phonemizer({}, {}, g2p_);
    }
    const auto lexicons = cache.lexicons();
    logger_.info(
        concatenated({"Loaded Misaki lexicon cache: ", std::to_string(lexicons.word.size()), " lower entries, ",
                      std::to_string(lexicons.caseSensitive.size()), " case-sensitive entries"}));
    return StyleTTS2Phonemizer(lexicons.word, lexicons.caseSensitive, g2p_);
}

std::vector<float> StyleTTS2Manager::synthesize(std::string_view text, const fs::path& referenceAudioURL,
                                                const Style& style) const {
    const auto parts = loaded();
    const auto phonemes = required(parts.phonemizer).phonemize(text);
    const auto chunks = PhonemeChunker::chunk(phonemes, StyleTTS2Constants::maxPhonemeChunkChars);
    if (chunks.size() >= 2) {
        return speakChunks(chunks, referenceAudioURL, style, parts);
    }
    const auto ids = StyleTTS2TextCleaner::encode(singleChunkText(phonemes, chunks), true);
    required(parts.synthesizer);
    return speak(ids, requireFrames(melOfClip(referenceAudioURL, required(parts.melExtractor)), referenceAudioURL),
                 style, parts);
}

std::vector<float> StyleTTS2Manager::synthesizeIPA(std::string_view ipa, const fs::path& referenceAudioURL,
                                                   const Style& style) const {
    return synthesize(StyleTTS2TextCleaner::encode(ipa, true), referenceAudioURL, style);
}

std::vector<float> StyleTTS2Manager::synthesize(std::span<const std::int32_t> tokenIds,
                                                const fs::path& referenceAudioURL, const Style& style) const {
    const auto parts = loaded();
    const auto& extractor = required(parts.melExtractor);
    required(parts.synthesizer);
    return speak(tokenIds, requireFrames(melOfClip(referenceAudioURL, extractor), referenceAudioURL), style, parts);
}

std::vector<float> StyleTTS2Manager::synthesize(std::span<const std::int32_t> tokenIds,
                                                const ReferenceMel& referenceMel, const Style& style) const {
    return speak(tokenIds, referenceMel, style, loaded());
}

StyleTTS2Manager::ReferenceMel StyleTTS2Manager::referenceMel(const fs::path& from) const {
    return melOfClip(from, required(loaded().melExtractor));
}

void StyleTTS2Manager::cleanup() {
    const std::lock_guard lock(mutex_);
    if (loaded_.store) {
        loaded_.store->unload();
    }
    loaded_ = {};
}

StyleTTS2Manager::Loaded StyleTTS2Manager::loaded() const {
    const std::lock_guard lock(mutex_);
    return loaded_;
}

// Each chunk spoken with the clip's one mel and the same seed, the samples joined without pause or fade.
std::vector<float> StyleTTS2Manager::speakChunks(const std::vector<std::string>& chunks, const fs::path& clip,
                                                 const Style& style, const Loaded& parts) const {
    const auto mel = requireFrames(melOfClip(clip, required(parts.melExtractor)), clip);
    std::vector<float> samples;
    for (const auto& chunk : chunks) {
        const auto chunkSamples = speak(StyleTTS2TextCleaner::encode(chunk, true), mel, style, parts);
        samples.insert(samples.end(), chunkSamples.begin(), chunkSamples.end());
    }
    return samples;
}

std::vector<float> StyleTTS2Manager::speak(std::span<const std::int32_t> tokenIds, const ReferenceMel& mel,
                                           const Style& style, const Loaded& parts) {
    return required(parts.synthesizer)
        .synthesize({.tokenIds = tokenIds,
                     .referenceMel = mel.mel,
                     .referenceMelFrames = mel.frames,
                     .alpha = style.alpha,
                     .beta = style.beta,
                     .noiseSeed = style.noiseSeed});
}

StyleTTS2Manager::ReferenceMel StyleTTS2Manager::melOfClip(const fs::path& clip,
                                                           const StyleTTS2MelExtractor& extractor) {
    return extractor.compute(loadReferenceAudio(clip));
}

StyleTTS2Manager::ReferenceMel StyleTTS2Manager::requireFrames(ReferenceMel mel, const fs::path& clip) {
    if (mel.frames == 0) {
        throw StyleTTS2Error::unsupportedReferenceAudio(
            concatenated({"reference audio at ", clip.filename().string(), " yielded 0 mel frames"}));
    }
    return mel;
}

} // namespace quorl
