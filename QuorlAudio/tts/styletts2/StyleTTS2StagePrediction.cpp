#include "QuorlAudio/tts/styletts2/StyleTTS2StagePrediction.hpp"

#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayOutput.hpp"

#include <exception>
#include <utility>

namespace quorl::StyleTTS2StagePrediction {

std::shared_ptr<const platform::ml::FeatureProvider> predict(const platform::ml::Model& model, Inputs inputs,
                                                             const std::string& stage) {
    const platform::ml::DictionaryFeatureProvider provider(std::move(inputs));
    try {
        return model.predict(provider, platform::ml::PredictionOptions{});
    } catch (const std::exception&) {
        throw StyleTTS2Error::inferenceFailed(stage, platform::core::describe(std::current_exception()));
    }
}

std::vector<std::string> orderedOutputs(const platform::ml::Model& of) {
    std::vector<std::string> names;
    for (const auto& [name, description] : of.description().outputDescriptionsByName) {
        names.push_back(name);
    }
    return names;
}

std::shared_ptr<platform::ml::MultiArray>
singleOutput(const platform::ml::Model& model, const platform::ml::FeatureProvider& outputs, const std::string& stage) {
    const auto& described = model.description().outputDescriptionsByName;
    auto array = described.empty() ? nullptr : platform::ml::multiArrayOutput(outputs, described.begin()->first);
    if (!array) {
        throw StyleTTS2Error::inferenceFailed(stage, "no output value");
    }
    return array;
}

std::vector<std::shared_ptr<platform::ml::MultiArray>> orderedOutputArrays(const platform::ml::Model& model,
                                                                           const platform::ml::FeatureProvider& outputs,
                                                                           const std::string& stage,
                                                                           std::size_t expected) {
    const auto names = orderedOutputs(model);
    if (names.size() != expected) {
        throw StyleTTS2Error::inferenceFailed(stage, "expected " + std::to_string(expected) + " outputs, got " +
                                                         std::to_string(names.size()));
    }
    std::vector<std::shared_ptr<platform::ml::MultiArray>> arrays;
    for (const auto& name : names) {
        auto array = platform::ml::multiArrayOutput(outputs, name);
        if (!array) {
            throw StyleTTS2Error::inferenceFailed(stage, "missing output value(s)");
        }
        arrays.push_back(std::move(array));
    }
    return arrays;
}

} // namespace quorl::StyleTTS2StagePrediction
