#include "platform/ml/DictionaryFeatureProvider.hpp"

#include <utility>

namespace platform::ml {

DictionaryFeatureProvider::DictionaryFeatureProvider(std::map<std::string, FeatureValue> dictionary)
    : dictionary_(std::move(dictionary)) {}

std::set<std::string> DictionaryFeatureProvider::featureNames() const {
    std::set<std::string> names;
    for (const auto& entry : dictionary_) {
        names.insert(entry.first);
    }
    return names;
}

std::optional<FeatureValue> DictionaryFeatureProvider::featureValue(const std::string& name) const {
    auto found = dictionary_.find(name);
    if (found == dictionary_.end()) {
        return std::nullopt;
    }
    return found->second;
}

} // namespace platform::ml
