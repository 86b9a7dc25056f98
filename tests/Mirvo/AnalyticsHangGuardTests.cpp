#include "Mirvo/AnalyticsHangGuard.hpp"

#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using mirvo::AnalyticsHangGuard;
using platform::desktop::ClassRegistry;
using platform::desktop::RuntimeClass;

const std::string selector(AnalyticsHangGuard::becameActiveSelector);

class AnalyticsHangGuardTests : public ::testing::Test {
protected:
    void SetUp() override { AnalyticsHangGuard::installed = false; }
    void TearDown() override { AnalyticsHangGuard::installed = false; }

    std::shared_ptr<RuntimeClass> loadMeasurementClass() {
        auto measurement = std::make_shared<RuntimeClass>(std::string(AnalyticsHangGuard::measurementClassName));
        classes.registerClass(measurement);
        return measurement;
    }

    void addRecordingHandler(RuntimeClass& measurement) {
        measurement.addMethod(selector, [this](const auto&, const auto&) { ++handlerRuns; });
    }

    void becomeActive(const RuntimeClass& measurement) {
        measurement.instanceMethod(selector)->invoke(std::make_shared<int>(1), std::make_shared<int>(2));
    }

    testsupport::RecordingLogSink log;
    ClassRegistry classes;
    int handlerRuns = 0;
};

TEST_F(AnalyticsHangGuardTests, WhileTheClassIsNotLoadedTheGuardStaysIdleAndALaterCallInstallsIt) {
    AnalyticsHangGuard::install(classes);
    EXPECT_FALSE(AnalyticsHangGuard::installed);

    auto measurement = loadMeasurementClass();
    addRecordingHandler(*measurement);
    AnalyticsHangGuard::install(classes);
    EXPECT_TRUE(AnalyticsHangGuard::installed);
    becomeActive(*measurement);
    EXPECT_EQ(handlerRuns, 0);
    EXPECT_EQ(log.messages(), (std::vector<std::string>{
                           "Mirvo: analytics class AnalyticsMeasurement not loaded; hang guard stays idle",
                           "Mirvo: analytics method AnalyticsMeasurement handleAppDidBecomeActiveEvent: neutralised"}));
}

TEST_F(AnalyticsHangGuardTests, AMissingMethodIsLoggedAndTheGuardIsNotTriedAgain) {
    auto measurement = loadMeasurementClass();
    AnalyticsHangGuard::install(classes);
    EXPECT_TRUE(AnalyticsHangGuard::installed);

    addRecordingHandler(*measurement);
    AnalyticsHangGuard::install(classes);
    becomeActive(*measurement);
    EXPECT_EQ(handlerRuns, 1);
    EXPECT_EQ(log.messages(),
              (std::vector<std::string>{"Mirvo: analytics method AnalyticsMeasurement handleAppDidBecomeActiveEvent: "
                                        "missing; nothing to neutralise"}));
}

TEST_F(AnalyticsHangGuardTests, OnlyTheBecameActiveHandlerIsNeutralised) {
    auto measurement = loadMeasurementClass();
    addRecordingHandler(*measurement);
    int otherRuns = 0;
    measurement->addMethod("logEvent:", [&otherRuns](const auto&, const auto&) { ++otherRuns; });

    AnalyticsHangGuard::install(classes);
    becomeActive(*measurement);
    measurement->instanceMethod("logEvent:")->invoke(nullptr, nullptr);

    EXPECT_EQ(handlerRuns, 0);
    EXPECT_EQ(otherRuns, 1);
}

} // namespace
