#include "platform/sys/Environment.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using platform::sys::environmentValue;
using platform::sys::nonEmptyEnvironmentValue;

TEST(Environment, AnEmptyValueIsAbsentOnlyWhereEmptyMeansAbsent) {
    struct Case {
        std::optional<std::string> set;
        std::optional<std::string> value;
        std::optional<std::string> nonEmptyValue;
    };
    const Case cases[] = {
        {.set = std::nullopt, .value = std::nullopt, .nonEmptyValue = std::nullopt},
        {.set = "", .value = "", .nonEmptyValue = std::nullopt},
        {.set = " ", .value = " ", .nonEmptyValue = " "},
        {.set = "/tmp/a b", .value = "/tmp/a b", .nonEmptyValue = "/tmp/a b"},
    };
    for (const auto& testCase : cases) {
        testsupport::ScopedEnvironment environment;
        environment.set("QUORL_ENVIRONMENT_TEST", testCase.set);
        EXPECT_EQ(environmentValue("QUORL_ENVIRONMENT_TEST"), testCase.value);
        EXPECT_EQ(nonEmptyEnvironmentValue("QUORL_ENVIRONMENT_TEST"), testCase.nonEmptyValue);
    }
}

} // namespace
