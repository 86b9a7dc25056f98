#pragma once

#include <chrono>
#include <nlohmann/json_fwd.hpp>

namespace platform::core {

// Dates in the toolkit's JSON files are numbers of seconds since 2001-01-01 00:00:00 UTC, written and read by
// these two alone.

// The date as such a number; to the nearest representable double, which keeps about a tenth of a microsecond
// for present-day dates.
nlohmann::json jsonDate(std::chrono::system_clock::time_point date);

// The date a JSON number stands for, to the nearest nanosecond. Throws nlohmann::json::type_error for a value
// that is not a number and nlohmann::json::out_of_range for one outside the dates a time point can hold.
std::chrono::system_clock::time_point dateFromJson(const nlohmann::json& value);

} // namespace platform::core
