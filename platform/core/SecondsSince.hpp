#pragma once

#include <chrono>

namespace platform::core {

// The seconds elapsed on the steady clock since `start`.
double secondsSince(std::chrono::steady_clock::time_point start);

} // namespace platform::core
