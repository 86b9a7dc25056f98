#pragma once

#include "platform/desktop/emulatedruntime/EmulatedClassRegistry.hpp"

#include <string_view>

namespace mirvo {

// Keeps the analytics library from doing its own work each time the application becomes active, by
// replacing that one handler of its measurement class with one that does nothing. Everything else in the
// library runs unchanged. Used on the main queue only.
class AnalyticsHangGuard {
public:
    static constexpr std::string_view measurementClassName = "AnalyticsMeasurement";
    static constexpr std::string_view becameActiveSelector = "handleAppDidBecomeActiveEvent:";

    explicit AnalyticsHangGuard(platform::desktop::EmulatedClassRegistry& classRegistry)
        : classRegistry_(classRegistry) {}

    // Whether the guard has dealt with the loaded class, neutralising the handler or finding none.
    bool installed() const { return installed_; }

    // Does nothing once installed. While the class is not loaded it stays idle, so a later call tries again.
    void install();

private:
    platform::desktop::EmulatedClassRegistry& classRegistry_;
    bool installed_ = false;
};

} // namespace mirvo
