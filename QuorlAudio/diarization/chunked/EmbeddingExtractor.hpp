#pragma once

#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace quorl {

// Turns audio and one frame mask per local speaker into one speaker embedding per mask with the
// speaker-embedding model. Masks with too little activity get 256 zeros without a model call.
class EmbeddingExtractor {
public:
    static constexpr std::size_t waveformLength = 160000;
    static constexpr std::size_t waveformRows = 3;
    static constexpr std::size_t embeddingSize = 256;

    explicit EmbeddingExtractor(std::shared_ptr<platform::ml::Model> embeddingModel);

    // One raw 256-value embedding per mask, in mask order. Audio shorter than the model's window is repeated to
    // fill it and the masks are scaled to the audio it holds. Throws DiarizerError::processingFailed when the
    // masks differ in length or the output "embedding" holds fewer than 256 32-bit floats; a model without that
    // output gives zeros. Model errors pass through and discard every embedding of the call.
    std::vector<std::vector<float>> getEmbeddings(std::span<const float> audio,
                                                  const std::vector<std::vector<float>>& masks,
                                                  float minActivityThreshold);

private:
    void fillWaveformBuffer(std::span<const float> audio, platform::ml::MultiArray& buffer) const;
    std::vector<float> embeddingFor(const std::vector<float>& mask, std::size_t matchingLength,
                                    const std::shared_ptr<platform::ml::MultiArray>& waveform,
                                    const std::shared_ptr<platform::ml::MultiArray>& maskInput);
    std::vector<float> extractEmbeddingOptimized(platform::ml::MultiArray& output, std::size_t speakerIndex);

    std::shared_ptr<platform::ml::Model> wespeakerModel_;
    AppLogger logger_{"EmbeddingExtractor"};
    ANEMemoryOptimizer memoryOptimizer_;
};

} // namespace quorl
