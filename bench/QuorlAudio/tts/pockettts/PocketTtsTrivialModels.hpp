#pragma once

#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsKVCache.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLayerKeys.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsMimiKeys.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsStateModels.hpp"
#include "platform/ml/Kernel.hpp"
#include "platform/ml/Model.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

// PocketTTS models that cost next to nothing, so that a benchmark measures the synthesiser's own work around
// the predictions.
namespace pocketttsbench {

using Outputs = std::map<std::string, platform::ml::FeatureValue>;

// "cache_out<i>" and "position_out<i>" per layer, "transformer_out" and "eos_logit".
quorl::PocketTtsLayerKeys keysOf(std::int64_t layers);
quorl::PocketTtsSynthesizer::MultiArrayRef filled(platform::ml::MultiArray::Shape shape, float value);

// A cache model: every layer's cache comes back as the same array and its position moves on by the tokens
// given, as a real model's would; it never signals end of speech.
class TrivialCacheModel : public platform::ml::Kernel {
public:
    explicit TrivialCacheModel(std::int64_t layers);

    Outputs predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState* state,
                    const platform::ml::PredictionOptions& options) override;

private:
    quorl::PocketTtsLayerKeys keys_;
    quorl::PocketTtsSynthesizer::MultiArrayRef transformerOut_;
    quorl::PocketTtsSynthesizer::MultiArrayRef eosLogit_;
};

struct Models {
    std::shared_ptr<platform::ml::Model> cache;
    std::shared_ptr<platform::ml::Model> flow;
    std::shared_ptr<platform::ml::Model> mimi;
    quorl::PocketTtsMimiKeys mimiKeys{
        .audioOutput = "audio", .stateMapping = {{"state", "state_out"}}, .stateShapes = {{"state", {1, 512, 16}}}};
};

// The cache model of `layers` layers, the flow decoder and the codec decoder.
Models trivialModels(const benchsupport::BundleFolder& folder, std::int64_t layers);
// The stateful model's two functions over half-precision caches of `layers` layers: prefill does nothing,
// generate hands the noise back as the latent and never signals end of speech.
quorl::PocketTtsStateModels trivialStateModels(const benchsupport::BundleFolder& folder, std::int64_t layers);

} // namespace pocketttsbench
