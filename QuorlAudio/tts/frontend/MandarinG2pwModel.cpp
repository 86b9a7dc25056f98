#include "QuorlAudio/tts/frontend/MandarinG2pwModel.hpp"

#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayFloats.hpp"
#include "platform/ml/MultiArrayOutput.hpp"
#include "platform/text/TextPieces.hpp"

#include <algorithm>
#include <functional>
#include <limits>
#include <numeric>
#include <utility>

namespace quorl {

using platform::ml::MultiArray;

MandarinG2pwModel::InferenceError::InferenceError(Kind kind, const std::string& description)
    : platform::core::Error(description), kind_(kind) {}

MandarinG2pwModel::InferenceError MandarinG2pwModel::InferenceError::missingOutput(const std::string& name) {
    return InferenceError(Kind::missingOutput, "g2pW model output '" + name + "' is missing");
}

MandarinG2pwModel::InferenceError MandarinG2pwModel::InferenceError::shapeMismatch(const std::string& text) {
    return InferenceError(Kind::shapeMismatch, "g2pW shape mismatch: " + text);
}

MandarinG2pwModel::MandarinG2pwModel(std::shared_ptr<const platform::ml::Model> model, MandarinBertTokenizer tokenizer,
                                     MandarinPolyphoneCatalog catalog, int maxLength)
    : model_(std::move(model)), tokenizer_(std::move(tokenizer)), catalog_(std::move(catalog)), maxLength_(maxLength) {}

std::map<int, std::string> MandarinG2pwModel::disambiguate(const std::vector<std::string>& chars,
                                                           const std::vector<int>& targets) const {
    std::map<int, std::string> readings;
    if (targets.empty()) {
        return readings;
    }
    const auto encoded = tokenizer_.encode(chars, maxLength_);
    for (const int target : targets) {
        // Characters past the encoded ones were cut off by maxLength and keep their dictionary reading.
        if (target < 0 || static_cast<std::size_t>(target) >= encoded.tokenPositionForChar.size()) {
            continue;
        }
        const auto candidates = catalog_.candidates(chars[static_cast<std::size_t>(target)]);
        if (!candidates || candidates->empty()) {
            continue;
        }
        const auto scores = runOne(encoded, encoded.tokenPositionForChar[static_cast<std::size_t>(target)]);
        if (const auto reading = catalog_.bopomofo(bestCandidate(*candidates, scores))) {
            readings[target] = *reading;
        }
    }
    return readings;
}

int MandarinG2pwModel::bestCandidate(const std::vector<int>& candidates, const std::vector<float>& scores) {
    int choice = candidates.front();
    float best = -std::numeric_limits<float>::infinity();
    for (const int label : candidates) {
        if (label >= 0 && static_cast<std::size_t>(label) < scores.size() &&
            scores[static_cast<std::size_t>(label)] > best) {
            choice = label;
            best = scores[static_cast<std::size_t>(label)];
        }
    }
    return choice;
}

std::vector<float> MandarinG2pwModel::runOne(const MandarinBertTokenizer::Encoded& encoded, int targetPosition) const {
    const MultiArray::Shape inputShape{1, encoded.inputIds.size()};
    const std::int32_t position = targetPosition;
    const platform::ml::DictionaryFeatureProvider inputs({
        {"input_ids", makeInt32Array(encoded.inputIds, inputShape)},
        {"attention_mask", makeInt32Array(encoded.attentionMask, inputShape)},
        {"token_type_ids", makeInt32Array(encoded.tokenTypeIds, inputShape)},
        {"target_position", makeInt32Array(std::span(&position, 1), {1})},
    });
    const auto logits = platform::ml::multiArrayOutput(*model_->predict(inputs), "logits");
    if (!logits) {
        throw InferenceError::missingOutput("logits");
    }
    // Read through the strides, so a padded or half-precision output reads like a dense float list.
    return platform::ml::floatElements(*logits);
}

std::shared_ptr<MultiArray> MandarinG2pwModel::makeInt32Array(std::span<const std::int32_t> values,
                                                              const MultiArray::Shape& shape) {
    const auto elements = std::accumulate(shape.begin(), shape.end(), std::size_t{1}, std::multiplies<>());
    if (elements != values.size()) {
        const std::vector<std::int64_t> dimensions(shape.begin(), shape.end());
        throw InferenceError::shapeMismatch("expected " + std::to_string(elements) + " elements for shape " +
                                            platform::text::bracketedList(dimensions) + ", got " +
                                            std::to_string(values.size()));
    }
    auto array = std::make_shared<MultiArray>(shape, platform::ml::DataType::int32);
    std::copy(values.begin(), values.end(), array->data<std::int32_t>());
    return array;
}

} // namespace quorl
