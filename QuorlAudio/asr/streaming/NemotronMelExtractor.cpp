#include "QuorlAudio/asr/streaming/NemotronMelExtractor.hpp"

#include <cstddef>
#include <optional>

namespace quorl {
namespace {

// The front end's default hop.
constexpr int hop = 160;

} // namespace

NemotronMelExtractor NemotronMelExtractor::make(int nMels) {
    return {
        // The front end's defaults are the recognisers' configuration, this one's included.
        .mel = std::make_shared<AudioMelSpectrogram>(AudioMelSpectrogram::Options{.nMels = nMels}),
        .nMels = nMels,
        .hopLength = hop,
    };
}

std::shared_ptr<platform::ml::MultiArray> NemotronMelExtractor::melSpectrogram(std::span<const float> samples) const {
    const auto result =
        mel->computeFlatTransposed(samples, 0.0f, AudioMelSpectrogram::PaddingMode::center, std::nullopt);
    const auto bands = static_cast<std::size_t>(nMels);
    const auto frames = static_cast<std::size_t>(result.numFrames);
    auto array = std::make_shared<platform::ml::MultiArray>(platform::ml::MultiArray::Shape{1, bands, frames},
                                                            platform::ml::DataType::float32);
    float* out = array->data<float>();
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const float* row = result.mel.data() + frame * bands;
        for (std::size_t band = 0; band < bands; ++band) {
            out[band * frames + frame] = row[band];
        }
    }
    return array;
}

} // namespace quorl
