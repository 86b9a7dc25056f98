#include "Mirvo/AnalyticsHangGuard.hpp"

#include "Mirvo/HostLog.hpp"

#include "platform/core/Concatenated.hpp"

#include <string>

namespace mirvo {

void AnalyticsHangGuard::install() {
    if (installed_) {
        return;
    }
    const auto measurementClass = classRegistry_.lookUpClass(std::string(measurementClassName));
    if (!measurementClass) {
        hostLog(platform::core::concatenated(
            {"analytics class ", measurementClassName, " not loaded; hang guard stays idle"}));
        return;
    }
    installed_ = true;
    const auto handler = measurementClass->instanceMethod(std::string(becameActiveSelector));
    if (!handler) {
        hostLog(platform::core::concatenated(
            {"analytics method ", measurementClassName, " ", becameActiveSelector, " missing; nothing to neutralise"}));
        return;
    }
    handler->setImplementation([](const auto&, const auto&) {});
    hostLog(platform::core::concatenated(
        {"analytics method ", measurementClassName, " ", becameActiveSelector, " neutralised"}));
}

} // namespace mirvo
