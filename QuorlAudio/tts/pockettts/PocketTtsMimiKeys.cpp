#include "QuorlAudio/tts/pockettts/PocketTtsMimiKeys.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsKeyOrdering.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/ml/MessageText.hpp"

#include <deque>
#include <optional>

namespace quorl {
namespace {

using Shape = std::vector<std::size_t>;
using FeatureMap = std::map<std::string, platform::ml::FeatureDescription>;

const Shape audioShape{1, 1, 1920};

std::string findAudioOutput(const FeatureMap& outputs) {
    for (const auto& [name, feature] : outputs) {
        if (feature.multiArrayConstraint && feature.multiArrayConstraint->shape == audioShape) {
            return name;
        }
    }
    throw PocketTtsMimiKeys::DiscoveryError::missingAudioOutput();
}

std::map<std::string, Shape> stateInputShapes(const FeatureMap& inputs) {
    std::map<std::string, Shape> shapes;
    for (const auto& [name, feature] : inputs) {
        if (name != "latent" && feature.multiArrayConstraint) {
            shapes.emplace(name, feature.multiArrayConstraint->shape);
        }
    }
    return shapes;
}

// The state outputs not named after an input, grouped by shape, each group in layer order.
std::map<Shape, std::deque<std::string>> freeOutputsByShape(const FeatureMap& outputs, const std::string& audioOutput,
                                                            const std::map<std::string, Shape>& stateShapes) {
    std::map<Shape, std::vector<std::string>> groups;
    for (const auto& [name, feature] : outputs) {
        if (name != audioOutput && !stateShapes.contains(name) && feature.multiArrayConstraint) {
            groups[feature.multiArrayConstraint->shape].push_back(name);
        }
    }
    std::map<Shape, std::deque<std::string>> sorted;
    for (auto& [shape, names] : groups) {
        auto ordered = PocketTtsKeyOrdering::sortedByNumericKey(std::move(names), PocketTtsKeyOrdering::trailingNumber);
        sorted.emplace(shape, std::deque<std::string>(ordered.begin(), ordered.end()));
    }
    return sorted;
}

} // namespace

PocketTtsMimiKeys::DiscoveryError PocketTtsMimiKeys::DiscoveryError::unmatchedStateInput(const std::string& name,
                                                                                         const Shape& shape) {
    return DiscoveryError(
        platform::core::concatenated({"PocketTTS Mimi decoder: no output of shape ", platform::ml::shapeText(shape),
                                      " for state input '", name, "'"}));
}

PocketTtsMimiKeys::DiscoveryError PocketTtsMimiKeys::DiscoveryError::missingAudioOutput() {
    return DiscoveryError("PocketTTS Mimi decoder is missing a [1, 1, 1920] audio output");
}

PocketTtsMimiKeys PocketTtsMimiKeys::discover(const platform::ml::ModelDescription& from) {
    const auto& outputs = from.outputDescriptionsByName;
    PocketTtsMimiKeys keys{.audioOutput = findAudioOutput(outputs),
                           .stateShapes = stateInputShapes(from.inputDescriptionsByName)};
    auto freeOutputs = freeOutputsByShape(outputs, keys.audioOutput, keys.stateShapes);
    for (const std::string_view canonical : canonicalStateOrder) {
        const std::string name(canonical);
        const auto input = keys.stateShapes.find(name);
        if (input == keys.stateShapes.end()) {
            continue;
        }
        if (outputs.contains(name)) {
            keys.stateMapping.push_back({.input = name, .output = name});
            continue;
        }
        auto group = freeOutputs.find(input->second);
        if (group == freeOutputs.end() || group->second.empty()) {
            throw DiscoveryError::unmatchedStateInput(name, input->second);
        }
        keys.stateMapping.push_back({.input = name, .output = group->second.front()});
        group->second.pop_front();
    }
    return keys;
}

} // namespace quorl
