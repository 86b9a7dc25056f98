#include "Mirvo/AnalyticsHangGuard.hpp"

#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using mirvo::AnalyticsHangGuard;
using platform::desktop::EmulatedClass;
using platform::desktop::EmulatedClassRegistry;

const std::string selector(AnalyticsHangGuard::becameActiveSelector);

class AnalyticsHangGuardTests : public ::testing::Test {
protected:
    std::shared_ptr<EmulatedClass> loadMeasurementClass() {
        auto measurement = std::make_shared<EmulatedClass>(std::string(AnalyticsHangGuard::measurementClassName));
        classes.registerClass(measurement);
        return measurement;
    }

    void addRecordingHandler(EmulatedClass& measurement) {
        measurement.addMethod(selector, [this](const auto&, const auto&) { ++handlerRuns; });
    }

    void becomeActive(const EmulatedClass& measurement) {
        measurement.instanceMethod(selector)->invoke(std::make_shared<int>(1), std::make_shared<int>(2));
    }

    testsupport::RecordingLogSink log;
    EmulatedClassRegistry classes;
    AnalyticsHangGuard guard{classes};
    int handlerRuns = 0;
};

TEST_F(AnalyticsHangGuardTests, WhileTheClassIsNotLoadedTheGuardStaysIdleAndALaterCallInstallsIt) {
    guard.install();
    EXPECT_FALSE(guard.installed());

    auto measurement = loadMeasurementClass();
    addRecordingHandler(*measurement);
    guard.install();
    EXPECT_TRUE(guard.installed());
    becomeActive(*measurement);
    EXPECT_EQ(handlerRuns, 0);
    EXPECT_EQ(log.messages(),
              (std::vector<std::string>{
                  "Mirvo: analytics class AnalyticsMeasurement not loaded; hang guard stays idle",
                  "Mirvo: analytics method AnalyticsMeasurement handleAppDidBecomeActiveEvent: neutralised"}));
}

TEST_F(AnalyticsHangGuardTests, AMissingMethodIsLoggedAndTheGuardIsNotTriedAgain) {
    auto measurement = loadMeasurementClass();
    guard.install();
    EXPECT_TRUE(guard.installed());

    addRecordingHandler(*measurement);
    guard.install();
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

    guard.install();
    becomeActive(*measurement);
    measurement->instanceMethod("logEvent:")->invoke(nullptr, nullptr);

    EXPECT_EQ(handlerRuns, 0);
    EXPECT_EQ(otherRuns, 1);
}

} // namespace
