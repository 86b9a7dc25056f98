#pragma once

#include "platform/ml/MultiArray.hpp"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace platform::ml {

// Buffers a stateful model keeps between predictions, by state name. Made by Model::makeState and passed to
// each stateful prediction; any model (or function of a multifunction bundle) declaring the same states can
// use it. Not synchronised: one prediction or access at a time.
class ModelState {
public:
    explicit ModelState(std::map<std::string, std::shared_ptr<MultiArray>> buffers);

    ModelState(const ModelState&) = delete;
    ModelState& operator=(const ModelState&) = delete;

    std::set<std::string> stateNames() const;

    // Runs `body` with the named buffer; its memory and strides may be read and written for the duration of
    // the call only. Throws ModelError naming the state when there is no such buffer.
    void withMultiArray(const std::string& stateName, const std::function<void(MultiArray&)>& body) const;

private:
    std::map<std::string, std::shared_ptr<MultiArray>> buffers_;
};

} // namespace platform::ml
