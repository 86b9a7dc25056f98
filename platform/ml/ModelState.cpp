#include "platform/ml/ModelState.hpp"

#include "platform/ml/MessageText.hpp"

#include <utility>

namespace platform::ml {

ModelState::ModelState(std::map<std::string, std::shared_ptr<MultiArray>> buffers) : buffers_(std::move(buffers)) {}

std::set<std::string> ModelState::stateNames() const {
    std::set<std::string> names;
    for (const auto& entry : buffers_) {
        names.insert(entry.first);
    }
    return names;
}

void ModelState::withMultiArray(const std::string& stateName, const std::function<void(MultiArray&)>& body) const {
    auto found = buffers_.find(stateName);
    if (found == buffers_.end()) {
        throw ModelError::invalidState(concat({"no state named \"", stateName, "\""}));
    }
    body(*found->second);
}

} // namespace platform::ml
