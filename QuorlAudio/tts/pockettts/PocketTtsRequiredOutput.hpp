#pragma once

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>
#include <string>

namespace quorl::PocketTtsSynthesizer {

// The multi-array a prediction answered under `name`; PocketTTSError::processingFailed with `message` when it
// gave none or a value of another kind.
std::shared_ptr<platform::ml::MultiArray> requiredOutput(const platform::ml::FeatureProvider& outputs,
                                                         const std::string& name, const std::string& message);

} // namespace quorl::PocketTtsSynthesizer
