#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/frontend/G2PModel.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2MelExtractor.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2ModelStore.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Phonemizer.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Synthesizer.hpp"
#include "platform/ml/ComputeUnits.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quorl {

// The front door of the StyleTTS2 synthesiser: initialize() fetches and loads the models, the
// grapheme-to-phoneme assets and the English lexicon once; then English text, an IPA string or token ids are
// spoken as 24 kHz mono samples in the style of a reference clip. Operations are serialised, but a synthesis
// runs outside the lock on what was loaded when it began, so several may run at once.
class StyleTTS2Manager {
public:
    // How a synthesis blends the styles and seeds its noise; the same for every chunk of one call.
    struct Style {
        // Weights of the sampled style in the acoustic and the prosodic half of the style vector.
        float alpha = StyleTTS2Constants::defaultAlpha;
        float beta = StyleTTS2Constants::defaultBeta;
        std::uint64_t noiseSeed = 0;
    };

    using ReferenceMel = StyleTTS2MelExtractor::Result;

    // `directory` is the models' cache root (none: the synthesis cache's "Models"); `g2p` reads the words no
    // lexicon knows and must outlive the manager. Loads nothing.
    StyleTTS2Manager(std::optional<std::filesystem::path> directory, platform::ml::ComputeUnits computeUnits,
                     G2PModel& g2p = G2PModel::shared());

    // A manager on `cacheDirectory`, initialised; initialize's errors pass through.
    static std::unique_ptr<StyleTTS2Manager> downloadAndCreate(std::optional<std::filesystem::path> cacheDirectory,
                                                               platform::ml::ComputeUnits computeUnits,
                                                               G2PModel& g2p = G2PModel::shared());

    bool isAvailable() const;

    // Nothing when ready. Otherwise loads the store, fetches the G2P assets and the lexicon, loads the G2P
    // model and reads the lexicon; a lexicon that cannot be read leaves only the G2P model to read words, with
    // a warning. Errors of the store, the downloader and the G2P model pass through.
    void initialize();

    // English text, spoken in chunks of at most 255 phoneme characters and concatenated. Throws
    // StyleTTS2Error: notInitialized, phonemizationFailed, unsupportedReferenceAudio, and the synthesiser's.
    std::vector<float> synthesize(std::string_view text, const std::filesystem::path& referenceAudioURL,
                                  const Style& style) const;
    // An IPA string, not chunked: more than 255 symbols fail with noBucketAvailable.
    std::vector<float> synthesizeIPA(std::string_view ipa, const std::filesystem::path& referenceAudioURL,
                                     const Style& style) const;
    // Token ids used as given (no pad is added).
    std::vector<float> synthesize(std::span<const std::int32_t> tokenIds,
                                  const std::filesystem::path& referenceAudioURL, const Style& style) const;
    // Token ids with a mel made by referenceMel(), passed on unchecked.
    std::vector<float> synthesize(std::span<const std::int32_t> tokenIds, const ReferenceMel& referenceMel,
                                  const Style& style) const;

    // The clip's mel, for several syntheses in one voice; zero frames are returned as they are.
    ReferenceMel referenceMel(const std::filesystem::path& from) const;

    // Unloads and drops everything; the G2P model stays loaded for the process.
    void cleanup();

private:
    // What a synthesis needs, taken under the lock; absent parts are absent.
    struct Loaded {
        std::shared_ptr<StyleTTS2ModelStore> store;
        std::shared_ptr<const StyleTTS2Phonemizer> phonemizer;
        std::shared_ptr<const StyleTTS2MelExtractor> melExtractor;
        std::shared_ptr<const StyleTTS2Synthesizer> synthesizer;
    };

    Loaded loaded() const;
    StyleTTS2Phonemizer makePhonemizer() const;
    std::vector<float> speakChunks(const std::vector<std::string>& chunks, const std::filesystem::path& clip,
                                   const Style& style, const Loaded& parts) const;
    static std::vector<float> speak(std::span<const std::int32_t> tokenIds, const ReferenceMel& mel, const Style& style,
                                    const Loaded& parts);
    static ReferenceMel melOfClip(const std::filesystem::path& clip, const StyleTTS2MelExtractor& extractor);
    static ReferenceMel requireFrames(ReferenceMel mel, const std::filesystem::path& clip);

    AppLogger logger_{"StyleTTS2Manager"};
    const std::optional<std::filesystem::path> directory_;
    const platform::ml::ComputeUnits computeUnits_;
    G2PModel& g2p_;
    mutable std::mutex mutex_;
    Loaded loaded_;
};

} // namespace quorl
