#pragma once

#include "platform/ui/Value.hpp"

#include <string>

namespace platform::ui {

// One request of the interface layer: a method name and its arguments (null when none).
struct MethodCall {
    std::string method;
    Value arguments;
};

} // namespace platform::ui
