#pragma once

#include "platform/ml/FeatureProvider.hpp"

#include <map>
#include <optional>
#include <set>
#include <string>

namespace quorl {

// A feature provider over fixed features, used to hand one model's output to the next model without copying:
// values (and the arrays in them) are shared, never duplicated.
class ZeroCopyFeatureProvider : public platform::ml::FeatureProvider {
public:
    explicit ZeroCopyFeatureProvider(std::map<std::string, platform::ml::FeatureValue> features);

    std::set<std::string> featureNames() const override;
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override;

    // A provider whose only feature is the source's `outputName` value under `inputName`; none when the
    // source has no such feature.
    static std::optional<ZeroCopyFeatureProvider> chain(const platform::ml::FeatureProvider& source,
                                                        const std::string& outputName, const std::string& inputName);

    const std::map<std::string, platform::ml::FeatureValue> features;
};

} // namespace quorl
