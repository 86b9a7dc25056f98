#include "QuorlAudio/tts/frontend/G2PEncoderDecoder.hpp"

#include "platform/ml/BestScoreIndex.hpp"
#include "platform/ml/MultiArrayOutput.hpp"
#include "platform/sys/PathPresence.hpp"

#include <algorithm>
#include <exception>

namespace quorl::G2PEncoderDecoder {

using platform::ml::MultiArray;

std::optional<std::filesystem::path> firstMissing(std::initializer_list<std::filesystem::path> bundles) {
    for (const auto& bundle : bundles) {
        if (!platform::sys::isPresent(bundle)) {
            return bundle;
        }
    }
    return std::nullopt;
}

std::shared_ptr<platform::ml::Model> loadOnCpu(const std::filesystem::path& bundle) {
    platform::ml::ModelConfiguration configuration;
    configuration.computeUnits = platform::ml::ComputeUnits::cpuOnly;
    return platform::ml::Model::load(bundle, configuration);
}

std::shared_ptr<MultiArray> int32Sequence(std::span<const std::int32_t> ids) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1, ids.size()}, platform::ml::DataType::int32);
    std::copy(ids.begin(), ids.end(), array->data<std::int32_t>());
    return array;
}

std::shared_ptr<MultiArray> predictedArray(const platform::ml::Model& model,
                                           const platform::ml::DictionaryFeatureProvider& inputs,
                                           const std::string& output) {
    try {
        return platform::ml::multiArrayOutput(*model.predict(inputs), output);
    } catch (const std::exception&) {
        return nullptr;
    }
}

bool holdsScoresFor(const MultiArray& logits, std::size_t positions) {
    const auto& shape = logits.shape();
    return shape.size() == 3 && shape[0] >= 1 && shape[1] >= positions;
}

std::vector<std::int32_t> GreedyDecoding::decode(const Step& step) const {
    std::vector<std::int32_t> sequence{startId};
    for (int generated = 0; generated < maxSteps; ++generated) {
        const auto logits = step(sequence);
        const auto best = static_cast<std::int32_t>(platform::ml::bestScoreIndex(*logits, sequence.size() - 1));
        if (best == eosId) {
            break;
        }
        sequence.push_back(best);
    }
    return {sequence.begin() + 1, sequence.end()};
}

} // namespace quorl::G2PEncoderDecoder
