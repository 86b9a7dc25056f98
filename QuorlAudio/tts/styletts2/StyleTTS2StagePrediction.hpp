#pragma once

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

// One model call of the StyleTTS2 chain and the reading of its outputs, with failures named by the stage.
namespace quorl::StyleTTS2StagePrediction {

using Inputs = std::map<std::string, platform::ml::FeatureValue>;

// A prediction with default options; any failure becomes StyleTTS2Error::inferenceFailed for the stage.
std::shared_ptr<const platform::ml::FeatureProvider> predict(const platform::ml::Model& model, Inputs inputs,
                                                             const std::string& stage);

// The model's output names in ascending order: the order the chain takes its outputs in.
std::vector<std::string> orderedOutputs(const platform::ml::Model& of);

// The array of a single-output model (its first output name); inferenceFailed "no output value" without one.
std::shared_ptr<platform::ml::MultiArray>
singleOutput(const platform::ml::Model& model, const platform::ml::FeatureProvider& outputs, const std::string& stage);

// The `expected` arrays of a multi-output model by ascending name; inferenceFailed "expected <n> outputs, got
// <m>" when the model has another number, "missing output value(s)" when one is not an array.
std::vector<std::shared_ptr<platform::ml::MultiArray>> orderedOutputArrays(const platform::ml::Model& model,
                                                                           const platform::ml::FeatureProvider& outputs,
                                                                           const std::string& stage,
                                                                           std::size_t expected);

} // namespace quorl::StyleTTS2StagePrediction
