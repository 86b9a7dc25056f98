#include "QuorlAudio/foundation/ZeroCopyDiarizerFeatureProvider.hpp"

#include <algorithm>
#include <utility>

namespace quorl {

using platform::ml::FeatureValue;

ZeroCopyDiarizerFeatureProvider::ZeroCopyDiarizerFeatureProvider(std::map<std::string, FeatureValue> features)
    : features(std::move(features)) {}

std::set<std::string> ZeroCopyDiarizerFeatureProvider::featureNames() const {
    std::set<std::string> names;
    for (const auto& entry : features) {
        names.insert(entry.first);
    }
    return names;
}

std::optional<FeatureValue> ZeroCopyDiarizerFeatureProvider::featureValue(const std::string& name) const {
    auto found = features.find(name);
    if (found == features.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<ZeroCopyDiarizerFeatureProvider>
ZeroCopyDiarizerFeatureProvider::chain(const platform::ml::FeatureProvider& source, const std::string& outputName,
                                       const std::string& inputName,
                                       std::map<std::string, FeatureValue> additionalFeatures) {
    auto value = source.featureValue(outputName);
    if (!value) {
        return std::nullopt;
    }
    additionalFeatures.insert_or_assign(inputName, std::move(*value));
    return ZeroCopyDiarizerFeatureProvider(std::move(additionalFeatures));
}

std::vector<ZeroCopyDiarizerFeatureProvider>
ZeroCopyDiarizerFeatureProvider::batchProvider(const std::vector<std::shared_ptr<platform::ml::MultiArray>>& waveforms,
                                               const std::vector<std::shared_ptr<platform::ml::MultiArray>>& masks) {
    std::vector<ZeroCopyDiarizerFeatureProvider> providers;
    const std::size_t count = std::min(waveforms.size(), masks.size());
    providers.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        providers.emplace_back(std::map<std::string, FeatureValue>{
            {"waveform", FeatureValue(waveforms[index])},
            {"mask", FeatureValue(masks[index])},
        });
    }
    return providers;
}

} // namespace quorl
