#include "QuorlAudio/asr/other/ParaformerCif.hpp"

#include "QuorlAudio/asr/other/ParaformerConfig.hpp"

#include <algorithm>
#include <cstddef>

namespace quorl {
namespace {

void addScaled(std::span<float> sum, std::span<const float> row, float weight) {
    for (std::size_t index = 0; index < sum.size(); ++index) {
        sum[index] += weight * row[index];
    }
}

} // namespace

FeatureRows ParaformerCif::integrateAndFire(const FeatureRows& encRows, std::span<const float> alphas) {
    const std::size_t width = encRows.count() == 0 ? ParaformerConfig::encoderDim : encRows.width;
    FeatureRows embeddings{.width = width, .values = {}};
    std::vector<float> integrated(width, 0.0f);
    float accumulated = 0.0f;
    const std::size_t frames = std::min(encRows.count(), alphas.size());
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const float weight = alphas[frame];
        const auto row = encRows.row(frame);
        accumulated += weight;
        if (accumulated < ParaformerConfig::cifThreshold) {
            addScaled(integrated, row, weight);
            continue;
        }
        const float remainder = accumulated - ParaformerConfig::cifThreshold;
        addScaled(integrated, row, weight - remainder);
        embeddings.values.insert(embeddings.values.end(), integrated.begin(), integrated.end());
        std::fill(integrated.begin(), integrated.end(), 0.0f);
        addScaled(integrated, row, remainder);
        accumulated = remainder;
    }
    if (accumulated + ParaformerConfig::cifTailThreshold >= ParaformerConfig::cifThreshold) {
        embeddings.values.insert(embeddings.values.end(), integrated.begin(), integrated.end());
    }
    return embeddings;
}

} // namespace quorl
