#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsConstantsBundle.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLayerKeys.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLoadedModels.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsMimiKeys.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsModelSelection.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsStateModels.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceData.hpp"
#include "platform/ml/Model.hpp"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

namespace quorl {

// The PocketTTS models of one language pack, precision and placement: fetched and loaded once, then served to
// the synthesis code with the feature names found in them, the pack's constants, its voices (each read once)
// and, for voice cloning, the Mimi encoder. Safe to share between threads; a caller arriving during a load
// waits for it. The accessors throw PocketTTSError::modelNotFound until what they serve is loaded.
class PocketTtsModelStore {
public:
    explicit PocketTtsModelStore(PocketTtsModelSelection selection);

    PocketTtsLanguage language() const { return selection_.language; }
    PocketTtsPrecision precision() const { return selection_.precision; }
    PocketTtsModelPlacement placement() const { return selection_.placement; }

    // Fetches the language pack and loads everything of the placement. The store counts as loaded only once
    // all of it is, so a failure leaves it as it was and the next call tries again.
    void loadIfNeeded();
    // A shipped voice, fetched when missing; cached by the name as given. Needs the pack's folder, known once
    // a load has started.
    std::shared_ptr<const PocketTtsVoiceData> voiceData(const std::string& voice);
    void loadMimiEncoderIfNeeded();

    std::shared_ptr<platform::ml::Model> condStep() const;
    std::shared_ptr<platform::ml::Model> condPrefill() const;
    bool hasCondPrefill() const;
    std::shared_ptr<platform::ml::Model> flowlmStep() const;
    std::shared_ptr<platform::ml::Model> flowDecoder() const;
    std::shared_ptr<platform::ml::Model> mimiDecoder() const;
    std::shared_ptr<const PocketTtsConstantsBundle> constants() const;
    PocketTtsStateModels stateModels() const;
    PocketTtsLayerKeys condStepLayerKeys() const;
    std::optional<PocketTtsLayerKeys> condPrefillStepLayerKeys() const;
    PocketTtsLayerKeys flowLMStepLayerKeys() const;
    PocketTtsMimiKeys mimiDecoderKeys() const;
    std::filesystem::path repoDir() const;
    std::shared_ptr<platform::ml::Model> mimiEncoder() const;
    // Whether the encoder bundle is in the cache, loaded or not.
    bool isMimiEncoderAvailable() const;

    // Cloned voices are not cached. Both need the Mimi encoder loaded.
    PocketTtsVoiceData cloneVoice(const std::filesystem::path& from) const;
    PocketTtsVoiceData cloneVoice(std::span<const float> from) const;

private:
    // The loaded models, or the "not loaded" error naming `what`.
    const PocketTtsLoadedModels& loaded(const std::string& what) const;
    std::optional<std::filesystem::path> languageRoot() const;

    const PocketTtsModelSelection selection_;
    // Serialises the loads, so that two callers never fetch or load the same models at once; held apart from
    // `mutex_` so that the accessors answer while a load runs.
    std::mutex loadMutex_;
    mutable std::mutex mutex_;
    std::optional<std::filesystem::path> languageRootDirectory_;
    std::optional<PocketTtsLoadedModels> models_;
    std::shared_ptr<platform::ml::Model> mimiEncoderModel_;
    std::map<std::string, std::shared_ptr<const PocketTtsVoiceData>> voiceCache_;
};

} // namespace quorl
