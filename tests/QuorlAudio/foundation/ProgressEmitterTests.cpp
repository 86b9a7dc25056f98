#include "QuorlAudio/foundation/ProgressEmitter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

using quorl::ProgressEmitter;

std::vector<double> drain(ProgressEmitter::Stream stream) {
    std::vector<double> values;
    for (double value : stream) {
        values.push_back(value);
    }
    return values;
}

TEST(ProgressEmitter, ASessionRunsFromZeroThroughClampedReportsToOne) {
    ProgressEmitter emitter;
    auto stream = emitter.ensureSession();
    EXPECT_EQ(emitter.ensureSession().next(), 0.0); // the same stream: one 0.0 only
    emitter.report(0.25);
    emitter.report(1.5);
    emitter.report(-0.2);
    emitter.report(0.5);
    emitter.finishSession();
    EXPECT_EQ(drain(stream), (std::vector<double>{0.25, 1.0, 0.0, 0.5, 1.0}));
}

TEST(ProgressEmitter, NotANumberIsPassedOnUnchanged) {
    ProgressEmitter emitter;
    auto stream = emitter.ensureSession();
    emitter.report(std::nan(""));
    EXPECT_EQ(stream.next(), 0.0);
    EXPECT_TRUE(std::isnan(*stream.next()));
}

TEST(ProgressEmitter, ReportsOutsideASessionAreDroppedAndEndingNoSessionDoesNothing) {
    ProgressEmitter emitter;
    emitter.report(0.5);
    emitter.finishSession();
    emitter.failSession(std::make_exception_ptr(std::runtime_error("ignored")));
    auto stream = emitter.ensureSession();
    emitter.finishSession();
    EXPECT_EQ(drain(stream), (std::vector<double>{0.0, 1.0}));
}

TEST(ProgressEmitter, AFailedSessionEndsItsStreamWithTheErrorAndTheNextSessionIsFresh) {
    ProgressEmitter emitter;
    auto first = emitter.ensureSession();
    emitter.report(0.5);
    emitter.failSession(std::make_exception_ptr(std::runtime_error("decode failed")));
    EXPECT_EQ(first.next(), 0.0);
    EXPECT_EQ(first.next(), 0.5);
    EXPECT_THROW(first.next(), std::runtime_error);

    auto second = emitter.ensureSession();
    emitter.report(0.75);
    emitter.finishSession();
    EXPECT_EQ(drain(second), (std::vector<double>{0.0, 0.75, 1.0}));
    EXPECT_EQ(first.next(), std::nullopt);
}

} // namespace
