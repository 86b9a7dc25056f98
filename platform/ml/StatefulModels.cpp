#include "platform/ml/StatefulModels.hpp"

#include <atomic>

namespace platform::ml {

namespace {

std::atomic<bool> supported{true};

} // namespace

bool statefulModelsSupported() { return supported.load(); }

void setStatefulModelsSupported(bool value) { supported.store(value); }

} // namespace platform::ml
