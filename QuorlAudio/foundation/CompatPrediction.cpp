#include "QuorlAudio/foundation/CompatPrediction.hpp"

namespace quorl {

std::shared_ptr<const platform::ml::FeatureProvider> compatPrediction(const platform::ml::Model& model,
                                                                      const platform::ml::FeatureProvider& input,
                                                                      const platform::ml::PredictionOptions& options) {
    return model.predict(input, options);
}

} // namespace quorl
