#pragma once

#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What the English and the multilingual grapheme-to-phoneme models share in running their encoder-decoder
// pair: the integer sequences they send, predictions whose failure each model reports with its own error, and
// greedy decoding that sends the whole sequence again at every step.
namespace quorl::G2PEncoderDecoder {

// The first of the bundles that is not on disk, if any.
std::optional<std::filesystem::path> firstMissing(std::initializer_list<std::filesystem::path> bundles);

// The bundle loaded to run on the CPU only, as both models are; the runtime's errors pass through.
std::shared_ptr<platform::ml::Model> loadOnCpu(const std::filesystem::path& bundle);

// The ids as a [1, n] array of 32-bit integers.
std::shared_ptr<platform::ml::MultiArray> int32Sequence(std::span<const std::int32_t> ids);

// The multi-array the model answers under `output`; null when the prediction throws or its answer has no such
// array, so that the caller reports the failure as its own error.
std::shared_ptr<platform::ml::MultiArray> predictedArray(const platform::ml::Model& model,
                                                         const platform::ml::DictionaryFeatureProvider& inputs,
                                                         const std::string& output);

// Whether a decoder's logits hold the scores of the last of `positions` positions: shape [1, p, V], p at
// least `positions`. Anything else would be read outside the array.
bool holdsScoresFor(const platform::ml::MultiArray& logits, std::size_t positions);

struct GreedyDecoding {
    // The [1, n, V] scores of one decoder step over the sequence so far (the start id first). It throws the
    // model's own error when the step fails or its scores lack the sequence's last position.
    using Step = std::function<std::shared_ptr<platform::ml::MultiArray>(std::span<const std::int32_t> sequence)>;

    std::int32_t startId;
    std::int32_t eosId;
    int maxSteps;

    // The ids generated after the start id: each step appends the best-scoring id of the last position (the
    // first maximum wins, NaN never) until it is eosId, which is not appended, or maxSteps ids were generated.
    std::vector<std::int32_t> decode(const Step& step) const;
};

} // namespace quorl::G2PEncoderDecoder
