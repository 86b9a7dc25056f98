#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstantsBundle.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLanguage.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSessionSetup.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsStateEngine.hpp"

#include <memory>
#include <optional>

namespace quorl {

// The state engine of a session on the stateful road and the voice it speaks with, both made on first need:
// the engine with the language's layer count, the voice snapshot once (a shipped voice's cache converted, or
// a cloned voice's start embedding and prompt prefilled and captured), so that every chunk restores it.
class PocketTtsStateVoice {
public:
    PocketTtsStateVoice(PocketTtsSessionStatePath path, std::shared_ptr<const PocketTtsConstantsBundle> constants,
                        PocketTtsLanguage language, const AppLogger& logger);

    // Throws PocketTTSError::processingFailed when the road has no models.
    PocketTtsStateEngine& engine();
    // Throws PocketTTSError::processingFailed without voice data, or for a cloned voice without the start
    // embedding or with fewer prompt floats than its frames; a failure leaves no snapshot, so the next chunk
    // tries again.
    const PocketTtsStateEngine::Fp16Snapshot& voiceSnapshot();

private:
    PocketTtsStateEngine::Fp16Snapshot makeVoiceSnapshot(PocketTtsStateEngine& engine) const;

    const PocketTtsSessionStatePath path_;
    const std::shared_ptr<const PocketTtsConstantsBundle> constants_;
    const PocketTtsLanguage language_;
    const AppLogger& logger_;
    std::unique_ptr<PocketTtsStateEngine> engine_;
    std::optional<PocketTtsStateEngine::Fp16Snapshot> voiceSnapshot_;
};

} // namespace quorl
