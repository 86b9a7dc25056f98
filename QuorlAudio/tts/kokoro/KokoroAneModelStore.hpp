#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneVariant.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneVocab.hpp"
#include "QuorlAudio/tts/frontend/MandarinCustomLexicon.hpp"
#include "QuorlAudio/tts/frontend/MandarinG2P.hpp"
#include "QuorlAudio/tts/frontend/MandarinG2pwModel.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneComputeUnits.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneStage.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneVoicePack.hpp"
#include "platform/ml/Model.hpp"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace quorl {

// Everything the Kokoro chain and its front ends read from disk: the seven stage models, the phoneme
// vocabulary, the voice packs and, for the Mandarin variant, the Mandarin phonemiser. Missing files are fetched
// through the Kokoro downloader; everything is kept until cleanup. Operations are serialised: a load holds the
// others until it is done, so two first calls never load the same files twice.
class KokoroAneModelStore {
public:
    using ModelPointer = std::shared_ptr<const platform::ml::Model>;
    using VoicePackPointer = std::shared_ptr<const KokoroAneVoicePack>;

    // `directory` is the models root (none: the synthesis cache's).
    KokoroAneModelStore(std::optional<std::filesystem::path> directory, KokoroAneComputeUnits computeUnits,
                        KokoroAneVariant variant);

    // Fetches what is missing and loads the seven models and the vocabulary, then the variant's default voice
    // pack; nothing when the models are loaded. Models and vocabulary are kept only when all of them load. A
    // failing default voice pack is thrown but leaves the store loaded. Throws KokoroAneError modelNotLoaded
    // for a missing bundle; load, vocabulary and downloader errors pass through.
    void loadIfNeeded();

    // The loaded model of the stage; KokoroAneError modelNotLoaded with its bundle name when there is none.
    ModelPointer model(KokoroAneStage stage) const;
    // KokoroAneError modelNotLoaded "vocab.json" when not loaded.
    KokoroAneVocab vocabulary() const;
    std::optional<KokoroAneVocab> vocab() const;
    bool isLoaded() const;
    KokoroAneVariant variant() const { return variant_; }

    // The named pack, read once and kept. Throws KokoroAneError modelNotLoaded before loadIfNeeded, and the
    // downloader's and the pack's errors.
    VoicePackPointer voicePack(const std::string& name);

    // The Mandarin phonemiser, built once: the pinyin dictionaries are required; the segmentation tables and the
    // polyphone model are left out, with a log line, when they cannot be had. Throws KokoroAneError
    // inputProcessingFailed on another variant and modelNotLoaded before loadIfNeeded.
    MandarinG2P mandarinG2PPipeline();

    // Kept for every later pipeline and handed to the current one.
    void setMandarinCustomLexicon(MandarinCustomLexicon lexicon);

    // Drops models, vocabulary, voice packs, repository folder and Mandarin pipeline; the custom lexicon stays.
    void cleanup();

private:
    std::map<KokoroAneStage, ModelPointer> loadModels(const std::filesystem::path& repository) const;
    VoicePackPointer voicePackLocked(const std::string& name);
    MandarinG2P buildMandarinG2P(const std::filesystem::path& repository) const;
    std::shared_ptr<const MandarinJiebaHmm> loadJiebaHmm(const std::filesystem::path& repository) const;
    std::shared_ptr<const MandarinG2pwModel> loadG2pwIfAvailable(const std::filesystem::path& repository) const;

    AppLogger logger_{"KokoroAneModelStore"};
    const std::optional<std::filesystem::path> directory_;
    const KokoroAneComputeUnits computeUnits_;
    const KokoroAneVariant variant_;
    mutable std::mutex mutex_;
    std::map<KokoroAneStage, ModelPointer> models_;
    std::optional<KokoroAneVocab> vocab_;
    std::map<std::string, VoicePackPointer> voicePacks_;
    std::optional<std::filesystem::path> repoDirectory_;
    std::optional<MandarinG2P> mandarinG2P_;
    MandarinCustomLexicon mandarinCustomLexicon_ = MandarinCustomLexicon::empty();
};

} // namespace quorl
