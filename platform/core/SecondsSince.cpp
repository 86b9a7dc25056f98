#include "platform/core/SecondsSince.hpp"

namespace platform::core {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace platform::core
