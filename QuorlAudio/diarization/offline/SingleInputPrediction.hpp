#pragma once

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>
#include <string>

namespace quorl {

// One prediction of a model that takes a single array: the array goes in under `name` without being copied,
// with default options, its memory touched first so it is resident. Errors of the model are passed on.
std::shared_ptr<const platform::ml::FeatureProvider>
predictSingleInput(const platform::ml::Model& model, const std::string& name,
                   const std::shared_ptr<platform::ml::MultiArray>& input);

} // namespace quorl
