#pragma once

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>
#include <string>

namespace platform::ml {

// The multi-array a prediction answered under `name`; null when it gave none or a value of another kind.
std::shared_ptr<MultiArray> multiArrayOutput(const FeatureProvider& outputs, const std::string& name);

} // namespace platform::ml
