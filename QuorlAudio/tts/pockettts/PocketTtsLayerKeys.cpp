#include "QuorlAudio/tts/pockettts/PocketTtsLayerKeys.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsKeyOrdering.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/text/DecimalInteger.hpp"

#include <cstddef>
#include <string_view>

namespace quorl {
namespace {

using Shape = std::vector<std::size_t>;

const Shape cacheShape{2, 1, 512, 16, 64};
const Shape positionShape{1};
const Shape transformerShape{1, 1, 1024};
const Shape eosShape{1, 1, 1};

// Converted caches are named new_cache_<n>_…, with key and value of layer i numbered 2i + 1 and 2i + 2.
std::optional<std::int64_t> cacheLayerIndex(const std::string& from) {
    constexpr std::string_view prefix = "new_cache_";
    if (!from.starts_with(prefix)) {
        return std::nullopt;
    }
    const std::size_t separator = from.find('_', prefix.size());
    if (separator == std::string::npos) {
        return std::nullopt;
    }
    const auto number =
        platform::text::decimalInteger(std::string_view(from).substr(prefix.size(), separator - prefix.size()));
    if (!number) {
        return std::nullopt;
    }
    return (*number - 1) / 2;
}

struct FoundOutputs {
    std::vector<std::string> caches;
    std::vector<std::string> positions;
    std::optional<std::string> transformer;
    std::optional<std::string> eos;
};

FoundOutputs findOutputs(const platform::ml::ModelDescription& description) {
    FoundOutputs found;
    for (const auto& [name, feature] : description.outputDescriptionsByName) {
        if (!feature.multiArrayConstraint) {
            continue;
        }
        const Shape& shape = feature.multiArrayConstraint->shape;
        if (shape == cacheShape) {
            found.caches.push_back(name);
        } else if (shape == positionShape) {
            found.positions.push_back(name);
        } else if (shape == transformerShape) {
            found.transformer = name;
        } else if (shape == eosShape) {
            found.eos = name;
        }
    }
    return found;
}

std::string discoveryPrefix(const std::string& modelName) {
    return platform::core::concatenated({"PocketTTS layer-key discovery on ", modelName, ": "});
}

} // namespace

PocketTtsLayerKeys::DiscoveryError PocketTtsLayerKeys::DiscoveryError::shapeMismatch(const std::string& modelName,
                                                                                     std::int64_t expectedLayers,
                                                                                     std::int64_t actualCaches) {
    return DiscoveryError(
        platform::core::concatenated({discoveryPrefix(modelName), "expected ", std::to_string(expectedLayers),
                                      " cache outputs, found ", std::to_string(actualCaches)}));
}

PocketTtsLayerKeys::DiscoveryError PocketTtsLayerKeys::DiscoveryError::positionMismatch(const std::string& modelName,
                                                                                        std::int64_t cacheCount,
                                                                                        std::int64_t positionCount) {
    return DiscoveryError(
        platform::core::concatenated({discoveryPrefix(modelName), std::to_string(cacheCount), " cache outputs but ",
                                      std::to_string(positionCount), " position outputs"}));
}

PocketTtsLayerKeys::DiscoveryError
PocketTtsLayerKeys::DiscoveryError::missingFlowLMOutputs(const std::string& modelName, bool hasTransformer,
                                                         bool hasEos) {
    return DiscoveryError(platform::core::concatenated(
        {"PocketTTS ", modelName, " missing flowlm outputs (transformer=", hasTransformer ? "true" : "false",
         ", eos=", hasEos ? "true" : "false", ")"}));
}

PocketTtsLayerKeys PocketTtsLayerKeys::discover(const platform::ml::ModelDescription& from, ModelKind kind,
                                                std::int64_t expectedLayers, const std::string& modelName) {
    FoundOutputs found = findOutputs(from);
    auto caches = PocketTtsKeyOrdering::sortedByNumericKey(std::move(found.caches), cacheLayerIndex);
    auto positions =
        PocketTtsKeyOrdering::sortedByNumericKey(std::move(found.positions), PocketTtsKeyOrdering::trailingNumber);
    const auto cacheCount = static_cast<std::int64_t>(caches.size());
    const auto positionCount = static_cast<std::int64_t>(positions.size());
    if (cacheCount != expectedLayers) {
        throw DiscoveryError::shapeMismatch(modelName, expectedLayers, cacheCount);
    }
    if (positionCount != expectedLayers) {
        throw DiscoveryError::positionMismatch(modelName, expectedLayers, positionCount);
    }
    if (kind == ModelKind::cond) {
        return {.cacheKeys = std::move(caches), .positionKeys = std::move(positions)};
    }
    if (!found.transformer || !found.eos) {
        throw DiscoveryError::missingFlowLMOutputs(modelName, found.transformer.has_value(), found.eos.has_value());
    }
    return {.cacheKeys = std::move(caches),
            .positionKeys = std::move(positions),
            .transformerOut = std::move(found.transformer),
            .eosLogit = std::move(found.eos)};
}

PocketTtsLayerKeys PocketTtsLayerKeys::aneKeys(std::int64_t layers, ModelKind kind) {
    PocketTtsLayerKeys keys{.vCacheKeys = std::vector<std::string>{}};
    for (std::int64_t layer = 0; layer < layers; ++layer) {
        const std::string index = std::to_string(layer);
        keys.cacheKeys.push_back("new_k_cache" + index);
        keys.vCacheKeys->push_back("new_v_cache" + index);
        keys.positionKeys.push_back("new_position" + index);
    }
    if (kind == ModelKind::flowlm) {
        keys.transformerOut = "transformer_out";
        keys.eosLogit = "is_eos";
    }
    return keys;
}

std::optional<std::int64_t> PocketTtsLayerKeys::trailingNumber(const std::string& in) {
    return PocketTtsKeyOrdering::trailingNumber(in);
}

} // namespace quorl
