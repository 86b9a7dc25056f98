#pragma once

#include "QuorlAudio/tts/supertonic3/Supertonic3LatentSampler.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3ModelStore.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3UnicodeProcessor.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3VoiceStyle.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>
#include <string_view>
#include <vector>

namespace quorl {

// Turns one chunk of text into audio at the configuration's sample rate with the store's four models: the
// duration predictor sizes the utterance, the text encoder embeds the characters, the vector estimator refines
// a noise latent step by step and the vocoder makes the waveform. A value that keeps nothing between calls;
// copies share the store, whose models calls from several threads use together.
class Supertonic3Synthesizer {
public:
    struct Request {
        std::string_view text;
        // One of Supertonic3Constants::availableLanguages.
        std::string_view language;
        const Supertonic3VoiceStyle& style;
        // Vector-estimator steps; none for 0 or fewer.
        int totalSteps = 0;
        // Durations are divided by it, taken as at least 0.05.
        float speed = 1.0F;
    };

    struct Result {
        std::vector<float> samples;
        // Seconds: the predicted duration after the speed, at least 0.05.
        float duration = 0.0F;
    };

    // `rng` draws the initial noise; by default the system's random source.
    Supertonic3Synthesizer(std::shared_ptr<Supertonic3ModelStore> store, Supertonic3UnicodeProcessor processor,
                           Supertonic3LatentSampler::RandomSource rng = Supertonic3LatentSampler::systemRandom());

    // The vocoder's samples cut to the predicted duration (kept whole when it gave fewer). Throws
    // Supertonic3Error: unsupportedLanguage; invalidTensorShape for stage "tensor" when a style's values do not
    // fill its dims, before any model runs; notInitialized for a model the store lacks; inferenceFailed for a
    // failed prediction, a missing output or a duration that is not a finite number; the store's estimator
    // errors (a latent too long for the largest bucket among them). Cancellation passes through.
    Result infer(const Request& request) const;

private:
    struct TextInputs;
    struct StyleInputs;
    struct Latent;

    float predictDuration(const TextInputs& text, const StyleInputs& style, float speed) const;
    platform::ml::FeatureValue encodeText(const TextInputs& text, const StyleInputs& style) const;
    std::shared_ptr<platform::ml::MultiArray> refine(const Latent& latent, const TextInputs& text,
                                                     const StyleInputs& style, int totalSteps) const;
    std::vector<float> vocode(const std::shared_ptr<platform::ml::MultiArray>& latent) const;

    std::shared_ptr<Supertonic3ModelStore> store_;
    Supertonic3UnicodeProcessor processor_;
    Supertonic3LatentSampler::RandomSource rng_;
};

} // namespace quorl
