#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/frontend/G2PModel.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneEnglishPhonemizer.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneVariant.hpp"
#include "QuorlAudio/tts/frontend/LexiconAssetCache.hpp"
#include "QuorlAudio/tts/frontend/MandarinCustomLexicon.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneComputeUnits.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneModelStore.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneSynthesisResult.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorl {

struct KokoroAneManagerConfig {
    KokoroAneVariant variant = KokoroAneVariant::english;
    // None: the variant's default voice.
    std::optional<std::string> defaultVoice;
    // The models root of a new store; none: the synthesis cache's.
    std::optional<std::filesystem::path> directory;
    KokoroAneComputeUnits computeUnits = KokoroAneComputeUnits::defaultConfig();
    // Used as given when present; `directory` and `computeUnits` are then ignored.
    std::shared_ptr<KokoroAneModelStore> modelStore;
    // Asked for the words no lexicon knows; none: G2PModel::shared().
    std::shared_ptr<G2PModel> g2pModel;
};

// The Kokoro synthesiser's front door: English or Mandarin text, or a ready phoneme string, in a named voice to
// 24 kHz mono audio, as WAV bytes or with per-stage timings. Phoneme strings longer than one chain run are cut
// into chunks spoken one after another and joined without gaps. Thread-safe; two syntheses may run at once
// and share the store's models and voice packs.
class KokoroAneManager {
public:
    using Bytes = std::vector<std::uint8_t>;
    using EnglishLexicon = std::map<std::string, std::string, std::less<>>;

    explicit KokoroAneManager(KokoroAneManagerConfig config = {});

    // Loads the store (models, vocabulary, default voice), for English also fetches and loads the G2P models and
    // fetches the lexicon, then the voice packs named. The first failure ends the call.
    void initialize(const std::set<std::string>& preloadVoices = {});
    // Whether the store is loaded; loads nothing.
    bool isAvailable() const;

    std::string defaultVoice() const;
    // Not checked: a wrong name fails at the next synthesis.
    void setDefaultVoice(std::string voice);
    void setMandarinCustomLexicon(MandarinCustomLexicon lexicon);
    EnglishLexicon englishCustomLexicon() const;
    // Takes effect at the next English phonemisation.
    void setEnglishCustomLexicon(EnglishLexicon lexicon);
    // Unloads the store and drops the English phonemiser; voice and custom lexicons stay.
    void cleanup();

    Bytes synthesize(const std::string& text, const std::optional<std::string>& voice = std::nullopt,
                     float speed = KokoroAneConstants::defaultSpeed);
    KokoroAneSynthesisResult synthesizeDetailed(const std::string& text,
                                                const std::optional<std::string>& voice = std::nullopt,
                                                float speed = KokoroAneConstants::defaultSpeed);
    // The phoneme string a synthesis of the text speaks. Throws KokoroAneError inputProcessingFailed on the
    // Japanese variant, which has no text front end.
    std::string phonemes(const std::string& text);
    // Neither phonemised nor chunked: more than 510 characters fail with phonemeSequenceTooLong.
    Bytes synthesizeFromPhonemes(const std::string& phonemes, const std::optional<std::string>& voice = std::nullopt,
                                 float speed = KokoroAneConstants::defaultSpeed);
    KokoroAneSynthesisResult synthesizeFromPhonemesDetailed(const std::string& phonemes,
                                                            const std::optional<std::string>& voice = std::nullopt,
                                                            float speed = KokoroAneConstants::defaultSpeed);

private:
    KokoroAneSynthesisResult synthesizeChunks(const std::vector<std::string>& chunks,
                                              const std::optional<std::string>& voice, float speed);
    KokoroAneSynthesisResult runChain(const std::string& phonemes, const std::optional<std::string>& voice,
                                      float speed);
    std::string phonemize(const std::string& text);
    KokoroAneEnglishPhonemizer ensureEnglishPhonemizer();
    KokoroAneEnglishPhonemizer degradedPhonemizer(std::set<std::string, std::less<>> allowedPunctuation) const;
    Bytes wavData(const KokoroAneSynthesisResult& result) const;

    AppLogger logger_{"KokoroAneManager"};
    const KokoroAneVariant variant_;
    const std::shared_ptr<KokoroAneModelStore> store_;
    const std::shared_ptr<G2PModel> g2pModel_;
    LexiconAssetCache englishLexiconCache_;
    mutable std::mutex mutex_;
    std::string defaultVoice_;
    std::optional<KokoroAneEnglishPhonemizer> englishPhonemizer_;
    EnglishLexicon englishCustomLexicon_;
};

} // namespace quorl
