#pragma once

#include "platform/ml/FeatureProvider.hpp"

#include <map>
#include <string>

namespace platform::ml {

// A feature provider over a map from name to value; prediction results are returned as one.
class DictionaryFeatureProvider : public FeatureProvider {
public:
    explicit DictionaryFeatureProvider(std::map<std::string, FeatureValue> dictionary);

    std::set<std::string> featureNames() const override;
    std::optional<FeatureValue> featureValue(const std::string& name) const override;

    const std::map<std::string, FeatureValue>& dictionary() const { return dictionary_; }
    // For a result that predictions fill again and again (Model::predictInto).
    std::map<std::string, FeatureValue>& dictionary() { return dictionary_; }

private:
    std::map<std::string, FeatureValue> dictionary_;
};

} // namespace platform::ml
