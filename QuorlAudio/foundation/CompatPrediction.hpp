#pragma once

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/PredictionOptions.hpp"

#include <memory>

namespace quorl {

// The model's own prediction with the provider and options; its result and errors unchanged.
std::shared_ptr<const platform::ml::FeatureProvider> compatPrediction(const platform::ml::Model& model,
                                                                      const platform::ml::FeatureProvider& input,
                                                                      const platform::ml::PredictionOptions& options);

} // namespace quorl
