#include "QuorlAudio/foundation/ZeroCopyFeatureProvider.hpp"

#include <utility>

namespace quorl {

using platform::ml::FeatureValue;

ZeroCopyFeatureProvider::ZeroCopyFeatureProvider(std::map<std::string, FeatureValue> features)
    : features(std::move(features)) {}

std::set<std::string> ZeroCopyFeatureProvider::featureNames() const {
    std::set<std::string> names;
    for (const auto& entry : features) {
        names.insert(entry.first);
    }
    return names;
}

std::optional<FeatureValue> ZeroCopyFeatureProvider::featureValue(const std::string& name) const {
    auto found = features.find(name);
    if (found == features.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<ZeroCopyFeatureProvider> ZeroCopyFeatureProvider::chain(const platform::ml::FeatureProvider& source,
                                                                      const std::string& outputName,
                                                                      const std::string& inputName) {
    auto value = source.featureValue(outputName);
    if (!value) {
        return std::nullopt;
    }
    return ZeroCopyFeatureProvider({{inputName, std::move(*value)}});
}

} // namespace quorl
