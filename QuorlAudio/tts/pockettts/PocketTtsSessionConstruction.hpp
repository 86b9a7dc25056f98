#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLanguage.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSession.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceData.hpp"

#include <cstdint>
#include <memory>
#include <optional>

// Building a running session from the model store bound in Context. Both throw
// PocketTTSError::processingFailed when no store is bound, PocketTTSError::modelNotFound for the first model,
// key set, constants or language root the store lacks, and the errors of what they call; on failure no
// session exists.
namespace quorl::PocketTtsSynthesizer {

struct SessionOptions {
    // The noise scale; not validated.
    float temperature = PocketTtsConstants::temperature;
    // None: a fresh seed from the system's random source, drawn once for the session.
    std::optional<std::uint64_t> seed{};
    PocketTtsLanguage language{};
};

// On the cache road the voice is prefilled here, once; a store of the stateful placement gets a state session
// with chunks of at most 50 tokens.
std::shared_ptr<PocketTtsSession> makeSession(std::shared_ptr<const PocketTtsVoiceData> voiceData,
                                              const SessionOptions& options);
// A session on the stateful road, which prefills the voice on its first chunk.
std::shared_ptr<PocketTtsSession> makeStateSession(std::shared_ptr<const PocketTtsVoiceData> voiceData,
                                                   const SessionOptions& options, std::int64_t maxTokensPerChunk);

} // namespace quorl::PocketTtsSynthesizer
