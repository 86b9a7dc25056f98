#include "QuorlAudio/diarization/offline/SingleInputPrediction.hpp"

#include "QuorlAudio/foundation/PrefetchToNeuralEngine.hpp"
#include "QuorlAudio/foundation/ZeroCopyDiarizerFeatureProvider.hpp"

namespace quorl {

std::shared_ptr<const platform::ml::FeatureProvider>
predictSingleInput(const platform::ml::Model& model, const std::string& name,
                   const std::shared_ptr<platform::ml::MultiArray>& input) {
    const ZeroCopyDiarizerFeatureProvider provider({{name, platform::ml::FeatureValue(input)}});
    prefetchToNeuralEngine(*input);
    return model.predict(provider, platform::ml::PredictionOptions{});
}

} // namespace quorl
