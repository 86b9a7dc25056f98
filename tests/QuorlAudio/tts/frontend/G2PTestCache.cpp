#include "tests/QuorlAudio/tts/frontend/G2PTestCache.hpp"

namespace quorl {

using platform::ml::DataType;
using platform::ml::MultiArray;

std::filesystem::path G2PTestCache::modelFolder() const { return root_.path() / "Models" / "kokoro"; }

G2PModelEnvironment G2PTestCache::environment() const {
    return {.cacheRoot = [this] { return root_.path(); },
            .variable = [this](const std::string& name) -> std::optional<std::string> {
                const auto found = variables.find(name);
                return found == variables.end() ? std::nullopt : std::optional(found->second);
            }};
}

std::vector<std::int32_t> integersOf(const testsupport::ScriptedKernel::Call& call, const std::string& name) {
    const auto array = call.inputs.at(name).multiArrayValue();
    std::vector<std::int32_t> values;
    for (std::size_t index = 0; index < array->count(); ++index) {
        values.push_back(static_cast<std::int32_t>(array->value(index)));
    }
    return values;
}

std::shared_ptr<MultiArray> idsAsHiddenStates(const std::vector<std::int32_t>& ids) {
    auto states = std::make_shared<MultiArray>(MultiArray::Shape{1, ids.size(), 1}, DataType::float32);
    for (std::size_t index = 0; index < ids.size(); ++index) {
        states->setValue(index, ids[index]);
    }
    return states;
}

std::shared_ptr<MultiArray> scoresEndingWith(std::size_t positions, const std::vector<float>& lastRow) {
    auto scores = std::make_shared<MultiArray>(MultiArray::Shape{1, positions, lastRow.size()}, DataType::float32);
    for (std::size_t id = 0; id < lastRow.size(); ++id) {
        scores->at<float>({0, positions - 1, id}) = lastRow[id];
    }
    return scores;
}

std::vector<float> oneHot(std::size_t width, std::int32_t id) {
    std::vector<float> scores(width, 0.0f);
    scores.at(static_cast<std::size_t>(id)) = 1.0f;
    return scores;
}

} // namespace quorl
