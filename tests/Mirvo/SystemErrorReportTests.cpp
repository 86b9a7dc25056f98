#include "Mirvo/PluginError.hpp"
#include "Mirvo/SystemErrorReport.hpp"

#include "platform/core/SystemError.hpp"

#include <gtest/gtest.h>

#include <exception>
#include <stdexcept>
#include <string>

namespace mirvo {
namespace {

TEST(SystemErrorReportTests, TheCodeIsWrittenInDecimalBesideTheDescription) {
    const struct {
        std::exception_ptr failure;
        std::string code;
        std::string message;
    } cases[] = {
        {std::make_exception_ptr(PluginError::notPrepared(PluginError::dictationDomain)), "1",
         "Call prepare before start"},
        {std::make_exception_ptr(PluginError(PluginError::dictationDomain, 2, "Failed to build 16 kHz mono format")),
         "2", "Failed to build 16 kHz mono format"},
        {std::make_exception_ptr(platform::core::SystemError("URLError", -1009, "The Internet is offline")), "-1009",
         "The Internet is offline"},
        {std::make_exception_ptr(std::runtime_error("Model not loaded")), "1", "Model not loaded"},
    };
    for (const auto& c : cases) {
        const auto report = SystemErrorReport::of(c.failure);
        EXPECT_EQ(report.code, c.code) << c.message;
        EXPECT_EQ(report.message, c.message);
    }
}

TEST(SystemErrorReportTests, PlatformErrorsKeepTheirDomainAndOthersAreWrapped) {
    const auto notPrepared =
        asSystemError(std::make_exception_ptr(PluginError::notPrepared(PluginError::paraformerDomain)));
    EXPECT_EQ(notPrepared.domain(), "mirvo.paraformer");
    EXPECT_EQ(notPrepared.code(), 1);

    const auto original = std::make_exception_ptr(std::logic_error("broken"));
    const auto wrapped = asSystemError(original);
    EXPECT_EQ(wrapped.domain(), hostErrorDomain);
    EXPECT_EQ(wrapped.underlying(), original);
    EXPECT_EQ(std::string(wrapped.what()), "broken");
}

} // namespace
} // namespace mirvo
