#include "platform/ml/MultiArrayOutput.hpp"

namespace platform::ml {

std::shared_ptr<MultiArray> multiArrayOutput(const FeatureProvider& outputs, const std::string& name) {
    const auto value = outputs.featureValue(name);
    return value ? value->multiArrayValue() : nullptr;
}

} // namespace platform::ml
