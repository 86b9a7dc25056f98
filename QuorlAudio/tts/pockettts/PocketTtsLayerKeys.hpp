#pragma once

#include "platform/core/Error.hpp"
#include "platform/ml/ModelDescription.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// The output names of a conditioner or flow-LM step model: one key-value cache and one position per
// transformer layer, in layer order, and for the flow-LM its hidden state and end-of-speech logit. Converters
// name these features freely, so they are found from the output shapes; the Neural-Engine conversions use
// fixed names.
struct PocketTtsLayerKeys {
    enum class ModelKind { cond, flowlm };

    class DiscoveryError : public platform::core::Error {
    public:
        using platform::core::Error::Error;

        static DiscoveryError shapeMismatch(const std::string& modelName, std::int64_t expectedLayers,
                                            std::int64_t actualCaches);
        static DiscoveryError positionMismatch(const std::string& modelName, std::int64_t cacheCount,
                                               std::int64_t positionCount);
        static DiscoveryError missingFlowLMOutputs(const std::string& modelName, bool hasTransformer, bool hasEos);
    };

    std::vector<std::string> cacheKeys{};
    std::optional<std::vector<std::string>> vCacheKeys{};
    std::vector<std::string> positionKeys{};
    std::optional<std::string> transformerOut{};
    std::optional<std::string> eosLogit{};

    // Finds the names in a loaded model's outputs; throws DiscoveryError when the counts or the flow-LM
    // outputs do not match, naming `modelName`.
    static PocketTtsLayerKeys discover(const platform::ml::ModelDescription& from, ModelKind kind,
                                       std::int64_t expectedLayers, const std::string& modelName);
    // The fixed names of the Neural-Engine conversions.
    static PocketTtsLayerKeys aneKeys(std::int64_t layers, ModelKind kind);
    static std::optional<std::int64_t> trailingNumber(const std::string& in);

    bool operator==(const PocketTtsLayerKeys&) const = default;
};

} // namespace quorl
