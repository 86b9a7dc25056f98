#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLanguage.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsStreamingGenerator.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceData.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Text to speech with the model store bound in Context: as a stream of 80 ms frames delivered while they are
// made, or as one WAV clip. Every operation throws PocketTTSError::processingFailed when no store is bound.
namespace quorl::PocketTtsSynthesizer {

struct SynthesisRequest {
    std::string text{};
    float temperature = PocketTtsConstants::temperature;
    // None: a fresh seed from the system's random source.
    std::optional<std::uint64_t> seed{};
    std::int64_t maxTokensPerChunk = PocketTtsConstants::maxTokensPerChunk;
    PocketTtsLanguage language{};
    // `synthesize` only: cut sibilants by 3 dB above 6 kHz after the rumble filter.
    bool deEss = false;
};

struct SynthesisResult {
    // 16-bit mono WAV at 24000 Hz, peak-normalised.
    std::vector<std::uint8_t> audio{};
    // The frames joined, de-essed when asked, not normalised.
    std::vector<float> samples{};
    std::int64_t frameCount = 0;
    std::optional<std::int64_t> eosStep{};
};

// Setup failures (models, keys or constants not loaded, the voice, the codec's initial state) are thrown
// here; failures while generating end the stream with their error.
FrameStream synthesizeStreaming(const SynthesisRequest& request, const std::string& voice);
FrameStream synthesizeStreaming(const SynthesisRequest& request, std::shared_ptr<const PocketTtsVoiceData> voiceData);

// Consumes the stream to its end; a cancelled task returns what was generated so far.
SynthesisResult synthesize(const SynthesisRequest& request, const std::string& voice);
SynthesisResult synthesize(const SynthesisRequest& request, std::shared_ptr<const PocketTtsVoiceData> voiceData);

} // namespace quorl::PocketTtsSynthesizer
