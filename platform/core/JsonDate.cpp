#include "platform/core/JsonDate.hpp"

#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>

namespace platform::core {

namespace {

using Clock = std::chrono::system_clock;

// 2001-01-01 00:00:00 UTC in seconds since the Unix epoch.
constexpr std::int64_t referenceDateUnixSeconds = 978307200;

Clock::time_point referenceDate() { return Clock::time_point(std::chrono::seconds(referenceDateUnixSeconds)); }

// The whole seconds and the nanoseconds are converted apart, so the fraction keeps its precision whatever the
// magnitude of the seconds.
double toSeconds(std::chrono::nanoseconds offset) {
    const auto whole = std::chrono::floor<std::chrono::seconds>(offset);
    const auto fraction = offset - whole;
    return static_cast<double>(whole.count()) + static_cast<double>(fraction.count()) / 1e9;
}

std::chrono::nanoseconds fromSeconds(double seconds) {
    const double whole = std::floor(seconds);
    const auto nanoseconds = static_cast<std::int64_t>(std::llround((seconds - whole) * 1e9));
    return std::chrono::seconds(static_cast<std::int64_t>(whole)) + std::chrono::nanoseconds(nanoseconds);
}

} // namespace

nlohmann::json jsonDate(Clock::time_point date) {
    return toSeconds(std::chrono::duration_cast<std::chrono::nanoseconds>(date - referenceDate()));
}

Clock::time_point dateFromJson(const nlohmann::json& value) {
    if (!value.is_number()) {
        throw nlohmann::json::type_error::create(302, "type must be number, but is " + std::string(value.type_name()),
                                                 &value);
    }
    const auto seconds = value.get<double>();
    // A time point holds about ±292 years of nanoseconds around 1970; about ±253 years around 2001 fit.
    constexpr double limitSeconds = 8.0e9;
    if (!(std::fabs(seconds) < limitSeconds)) {
        throw nlohmann::json::out_of_range::create(406, "date out of range: " + value.dump(), &value);
    }
    return referenceDate() + std::chrono::duration_cast<Clock::duration>(fromSeconds(seconds));
}

} // namespace platform::core
