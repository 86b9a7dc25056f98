#include "platform/core/JsonDate.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>

namespace platform::core {
namespace {

using std::chrono::system_clock;

TEST(JsonDateTests, DatesAreSecondsSinceTheStartOf2001) {
    const system_clock::time_point reference{std::chrono::seconds(978307200)};
    EXPECT_EQ(jsonDate(reference), nlohmann::json(0.0));
    EXPECT_EQ(jsonDate(reference + std::chrono::milliseconds(1500)), nlohmann::json(1.5));
    EXPECT_EQ(jsonDate(reference - std::chrono::seconds(86400)), nlohmann::json(-86400.0));
    EXPECT_EQ(dateFromJson(nlohmann::json(1.5)), reference + std::chrono::milliseconds(1500));
    EXPECT_EQ(dateFromJson(nlohmann::json(-2)), reference - std::chrono::seconds(2));
}

TEST(JsonDateTests, PresentDayNumbersReadAndWriteBackUnchanged) {
    for (const double seconds : {786931200.123456789, 812345678.9, 0.1}) {
        EXPECT_EQ(jsonDate(dateFromJson(seconds)).get<double>(), seconds);
    }
    const auto now = system_clock::now();
    const auto readBack = dateFromJson(jsonDate(now));
    EXPECT_LT(std::chrono::abs(readBack - now), std::chrono::microseconds(1));
}

TEST(JsonDateTests, AnythingButAReasonableNumberIsRefused) {
    EXPECT_THROW(dateFromJson(nlohmann::json("786931200")), nlohmann::json::type_error);
    EXPECT_THROW(dateFromJson(nlohmann::json(true)), nlohmann::json::type_error);
    EXPECT_THROW(dateFromJson(nlohmann::json(nullptr)), nlohmann::json::type_error);
    EXPECT_THROW(dateFromJson(nlohmann::json(1e300)), nlohmann::json::out_of_range);
}

} // namespace
} // namespace platform::core
