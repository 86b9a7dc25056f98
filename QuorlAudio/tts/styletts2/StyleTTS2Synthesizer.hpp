#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2ModelStore.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace quorl {

// Turns one chunk of StyleTTS2 token ids and a reference clip's log-mel into 24 kHz mono samples by running
// the store's eight models in a fixed order, with the CPU work between them (padding the token axis, seeded
// diffusion noise, style blending, the hard alignment and its expansion, the tail trim). Keeps nothing between
// calls; calls from several threads share only the store, which must outlive the synthesiser.
class StyleTTS2Synthesizer {
public:
    struct Request {
        // At least one id.
        std::span<const std::int32_t> tokenIds;
        // 80 rows of referenceMelFrames values, as StyleTTS2MelExtractor lays them out.
        std::span<const float> referenceMel;
        int referenceMelFrames = 0;
        // Weights of the sampled style in the acoustic and the prosodic half.
        float alpha = 0.0F;
        float beta = 0.0F;
        std::uint64_t noiseSeed = 0;
    };

    explicit StyleTTS2Synthesizer(StyleTTS2ModelStore& store);

    // Throws StyleTTS2Error: noBucketAvailable above 256 ids and invalidTensorShape for no id or a mel of
    // another size, both before any model runs; notInitialized, the store's fetch and load errors,
    // inferenceFailed for a failed prediction or a missing output, invalidTensorShape for an output that does
    // not fit the shapes built from it.
    std::vector<float> synthesize(const Request& request) const;

private:
    struct Chunk;
    struct BertOutputs;
    struct DurationOutputs;
    struct SourceOutputs;

    std::vector<float> runTextEncoder(const Chunk& chunk) const;
    BertOutputs runBert(const Chunk& chunk) const;
    std::vector<float> runRefEncoder(std::span<const float> mel, int frames) const;
    std::vector<float> runFusedSampler(const Chunk& chunk, const BertOutputs& bert, std::span<const float> refS,
                                       std::uint64_t noiseSeed) const;
    DurationOutputs runDurationPredictor(const Chunk& chunk, const BertOutputs& bert,
                                         std::span<const float> s128) const;
    SourceOutputs runFusedF0nHarSource(std::span<const float> en, std::size_t enChannels, std::size_t totalFrames,
                                       std::span<const float> s128) const;
    std::vector<float> runDecoderPre(std::span<const float> asr, std::size_t asrChannels, std::size_t totalFrames,
                                     const SourceOutputs& source, std::span<const float> ref) const;
    std::vector<float> runDecoderUpsample(std::span<const float> xPre, std::size_t xPreFrames,
                                          std::span<const float> ref, std::span<const float> harSource) const;

    AppLogger logger_{"StyleTTS2Synthesizer"};
    StyleTTS2ModelStore& store_;
};

} // namespace quorl
