#pragma once

#include "StreamingTestAudio.hpp"
#include "StreamingTestModels.hpp"

#include "QuorlAudio/asr/streaming/SlidingWindowAsrConfig.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"
#include "QuorlAudio/foundation/AudioSource.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorl::testing {

// A recogniser over the wrapped scripted models, with its log lines recorded. The recogniser belongs to the
// fixture so that a held window is released before the recogniser waits for its worker, even when a test
// stops early.
class SlidingWindowTest : public ::testing::Test {
protected:
    static constexpr int second = 16000;
    // Token ids of the scripted vocabulary; `marker` is the token of markLastFrames.
    static constexpr int one = 1, two = 2, three = 3, four = 4, five = 5, marker = 9;

    SlidingWindowTest() { environment.set("TDT_EMISSION_DELAY_FRAMES", std::nullopt); }

    void TearDown() override {
        models.release();
        recogniser.reset();
    }

    static StreamingTestModels::Vocabulary vocabulary() {
        return {{one, "\u2581one"},   {two, "\u2581two"},   {three, "\u2581three"},
                {four, "\u2581four"}, {five, "\u2581five"}, {marker, "\u2581end"}};
    }

    // A recogniser with the models loaded, not yet streaming.
    SlidingWindowAsrManager& loaded(const SlidingWindowAsrConfig& config = SlidingWindowAsrConfig::streaming()) {
        recogniser = std::make_unique<SlidingWindowAsrManager>(config);
        recogniser->loadModels(models.modelSet());
        return *recogniser;
    }

    SlidingWindowAsrManager& started(const SlidingWindowAsrConfig& config = SlidingWindowAsrConfig::streaming()) {
        loaded(config).startStreaming(AudioSource::microphone);
        return *recogniser;
    }

    std::vector<std::string> lines(const std::string& category = "SlidingWindowASR") const {
        return sink.messages(category);
    }

    bool logged(const std::string& line, const std::string& category = "SlidingWindowASR") const {
        const auto all = lines(category);
        return std::ranges::find(all, line) != all.end();
    }

    // Whether the lines were logged in this order; lines of other threads may come between them.
    bool loggedInOrder(const std::vector<std::string>& expected,
                       const std::string& category = "SlidingWindowASR") const {
        const auto all = lines(category);
        auto from = all.begin();
        for (const auto& line : expected) {
            from = std::find(from, all.end(), line);
            if (from == all.end()) {
                return false;
            }
            ++from;
        }
        return true;
    }

    testsupport::ScopedEnvironment environment;
    testsupport::RecordingLogSink sink;
    StreamingTestModels models{vocabulary()};
    std::unique_ptr<SlidingWindowAsrManager> recogniser;
};

} // namespace quorl::testing
