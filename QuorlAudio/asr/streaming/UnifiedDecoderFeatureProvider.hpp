#pragma once

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace quorl {

// The unified single-step decoder's inputs: the recurrent state "h_in" and "c_in" [layers, 1, hidden], the
// previous token "targets" [1, 1] and "target_length" [1].
class UnifiedDecoderFeatureProvider final : public platform::ml::FeatureProvider {
public:
    struct Inputs {
        std::shared_ptr<platform::ml::MultiArray> hIn;
        std::shared_ptr<platform::ml::MultiArray> cIn;
        std::shared_ptr<platform::ml::MultiArray> targets;
        std::shared_ptr<platform::ml::MultiArray> targetLength;
    };

    explicit UnifiedDecoderFeatureProvider(Inputs inputs);

    std::set<std::string> featureNames() const override;
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override;

private:
    platform::ml::FeatureValue hIn_;
    platform::ml::FeatureValue cIn_;
    platform::ml::FeatureValue targets_;
    platform::ml::FeatureValue targetLength_;
};

} // namespace quorl
