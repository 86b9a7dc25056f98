#include "ChannelHarness.hpp"

#include "Mirvo/DictationCuesPlugin.hpp"

#include "platform/audio/RecordingAudioOutput.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace mirvo {
namespace {

namespace ui = platform::ui;

constexpr const char* channel = "mirvo/dictation_cues";

std::uint32_t readUInt32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes.at(offset)) | static_cast<std::uint32_t>(bytes.at(offset + 1)) << 8 |
           static_cast<std::uint32_t>(bytes.at(offset + 2)) << 16 |
           static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24;
}

std::uint16_t readUInt16(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

std::string readText(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                       bytes.begin() + static_cast<std::ptrdiff_t>(offset + 4));
}

std::vector<std::int16_t> samplesOf(const std::vector<std::uint8_t>& wav) {
    std::vector<std::int16_t> samples;
    for (std::size_t offset = 44; offset + 1 < wav.size(); offset += 2) {
        samples.push_back(static_cast<std::int16_t>(readUInt16(wav, offset)));
    }
    return samples;
}

// FNV-1a over the whole file: any change to any byte shows.
std::uint64_t fingerprint(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const std::uint8_t byte : bytes) {
        hash = (hash ^ byte) * 1099511628211ULL;
    }
    return hash;
}

std::vector<std::uint8_t> wavOf(double hz, double seconds, float volume) {
    const auto wav = DictationCuesPlugin::gongWav(hz, seconds, volume);
    return wav ? *wav : std::vector<std::uint8_t>{};
}

struct CueFile {
    const char* name;
    double hz;
    double seconds;
    float volume;
    std::uint32_t fileSize;
    std::size_t sampleCount;
    std::vector<std::int16_t> firstSamples;
    std::int16_t peak;
    std::uint64_t fingerprint;
};

const CueFile cueFiles[] = {
    {.name = "start",
     .hz = 220,
     .seconds = 0.22,
     .volume = 0.18F,
     .fileSize = 19448,
     .sampleCount = 9702,
     .firstSamples = {0, 1, 3, 5, 9, 13},
     .peak = 3667,
     .fingerprint = 6954879832658316068ULL},
    {.name = "stop",
     .hz = 165,
     .seconds = 0.26,
     .volume = 0.16F,
     .fileSize = 22976,
     .sampleCount = 11466,
     .firstSamples = {0},
     .peak = 3110,
     .fingerprint = 18159803016971856788ULL},
};

TEST(DictationCuesPluginWavTests, EachCueIsAMono16BitWavFileWithItsGongSamples) {
    for (const auto& cue : cueFiles) {
        const auto wav = wavOf(cue.hz, cue.seconds, cue.volume);
        ASSERT_EQ(wav.size(), cue.fileSize) << cue.name;

        EXPECT_EQ(readText(wav, 0), "RIFF") << cue.name;
        EXPECT_EQ(readUInt32(wav, 4), 36 + 2 * cue.sampleCount) << cue.name;
        EXPECT_EQ(readText(wav, 8), "WAVE") << cue.name;
        EXPECT_EQ(readText(wav, 12), "fmt ") << cue.name;
        EXPECT_EQ(readUInt32(wav, 16), 16u) << cue.name;
        EXPECT_EQ(readUInt16(wav, 20), 1u) << cue.name;
        EXPECT_EQ(readUInt16(wav, 22), 1u) << cue.name;
        EXPECT_EQ(readUInt32(wav, 24), 44100u) << cue.name;
        EXPECT_EQ(readUInt32(wav, 28), 88200u) << cue.name;
        EXPECT_EQ(readUInt16(wav, 32), 2u) << cue.name;
        EXPECT_EQ(readUInt16(wav, 34), 16u) << cue.name;
        EXPECT_EQ(readText(wav, 36), "data") << cue.name;
        EXPECT_EQ(readUInt32(wav, 40), 2 * cue.sampleCount) << cue.name;

        const auto samples = samplesOf(wav);
        ASSERT_EQ(samples.size(), cue.sampleCount) << cue.name;
        EXPECT_TRUE(std::equal(cue.firstSamples.begin(), cue.firstSamples.end(), samples.begin())) << cue.name;
        EXPECT_EQ(*std::max_element(samples.begin(), samples.end()), cue.peak) << cue.name;
        EXPECT_EQ(fingerprint(wav), cue.fingerprint) << cue.name;
    }
}

TEST(DictationCuesPluginWavTests, VeryShortCuesKeepAtLeastOneSampleAndStartSilent) {
    struct Length {
        double seconds;
        std::size_t sampleCount;
    };
    const Length lengths[] = {
        {.seconds = 0, .sampleCount = 1},           {.seconds = -1, .sampleCount = 1},
        {.seconds = 1.4 / 44100, .sampleCount = 1}, {.seconds = 1.6 / 44100, .sampleCount = 2},
        {.seconds = 3.0 / 44100, .sampleCount = 3},
    };
    for (const auto& length : lengths) {
        const auto samples = samplesOf(wavOf(220, length.seconds, 0.18F));
        ASSERT_EQ(samples.size(), length.sampleCount) << length.seconds;
        EXPECT_EQ(samples[0], 0) << length.seconds;
    }
}

TEST(DictationCuesPluginWavTests, LoudSamplesClipToFullScaleInBothDirections) {
    const auto samples = samplesOf(wavOf(220, 0.22, 100.0F));

    EXPECT_EQ(*std::max_element(samples.begin(), samples.end()), 32767);
    EXPECT_EQ(*std::min_element(samples.begin(), samples.end()), -32767);
}

TEST(DictationCuesPluginWavTests, LengthsAndPitchesNoFileCanHoldBuildNothing) {
    const double infinity = std::numeric_limits<double>::infinity();
    const double notANumber = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(DictationCuesPlugin::gongWav(220, notANumber, 0.18F));
    EXPECT_FALSE(DictationCuesPlugin::gongWav(220, infinity, 0.18F));
    EXPECT_FALSE(DictationCuesPlugin::gongWav(220, 1e9, 0.18F));
    EXPECT_FALSE(DictationCuesPlugin::gongWav(notANumber, 0.22, 0.18F));
    // Finite pitches whose phase steps overflow to infinity.
    EXPECT_FALSE(DictationCuesPlugin::gongWav(1e308, 0.22, 0.18F));
    EXPECT_FALSE(DictationCuesPlugin::gongWav(-1e308, 0.22, 0.18F));
    EXPECT_FALSE(DictationCuesPlugin::gongWav(220, 0.22, std::numeric_limits<float>::infinity()));
}

class DictationCuesPluginTests : public ::testing::Test {
protected:
    std::optional<ui::MethodReply> play(ui::Value arguments) {
        return harness.call(channel, "play", std::move(arguments));
    }

    testsupport::RecordingLogSink log;
    testing::ChannelHarness harness;
    platform::audio::RecordingAudioOutput output;
    std::shared_ptr<DictationCuesPlugin> plugin = std::make_shared<DictationCuesPlugin>(harness.messenger(), output);
};

TEST_F(DictationCuesPluginTests, PlayStartsTheNamedCueAtFullPlayerVolume) {
    struct Request {
        std::string which;
        std::uint32_t frames;
    };
    const Request requests[] = {
        {.which = "start", .frames = 9702}, {.which = "stop", .frames = 11466}, {.which = "", .frames = 9702},
        {.which = "Stop", .frames = 9702},  {.which = "chime", .frames = 9702},
    };
    for (const auto& request : requests) {
        EXPECT_EQ(play(ui::ValueMap{{"which", request.which}}), ui::MethodReply(ui::Value())) << request.which;
    }

    const auto playbacks = output.playbacks();
    const auto lines = log.messages();
    ASSERT_EQ(playbacks.size(), std::size(requests));
    ASSERT_EQ(lines.size(), std::size(requests));
    for (std::size_t i = 0; i < std::size(requests); ++i) {
        EXPECT_EQ(playbacks[i].buffer->frameLength(), requests[i].frames) << requests[i].which;
        EXPECT_EQ(playbacks[i].volume, 1.0F) << requests[i].which;
        EXPECT_EQ(lines[i], "Mirvo: dictation cue " + requests[i].which + " meditation-gong");
    }
    EXPECT_EQ(plugin->playingPlayerCount(), std::size(requests));
}

TEST_F(DictationCuesPluginTests, PlayWithoutAStringWhichIsRefusedAndPlaysNothing) {
    const ui::Value malformed[] = {
        ui::Value(),
        ui::ValueList{ui::Value("start")},
        ui::ValueMap{},
        ui::ValueMap{{"which", 1}},
        ui::ValueMap{{"which", ui::Value()}},
        ui::ValueMap{{"cue", "start"}},
    };
    for (const auto& arguments : malformed) {
        EXPECT_EQ(play(arguments), testing::errorReply("bad-args", "play needs {which: start|stop}"));
    }
    EXPECT_TRUE(output.playbacks().empty());
    EXPECT_TRUE(log.records().empty());
}

TEST_F(DictationCuesPluginTests, OtherMethodsAreNotImplemented) {
    for (const char* method : {"Play", "start", "stop", "playCue"}) {
        EXPECT_EQ(harness.call(channel, method, ui::ValueMap{{"which", "start"}}),
                  ui::MethodReply(ui::NotImplemented{}))
            << method;
    }
    EXPECT_TRUE(output.playbacks().empty());
}

TEST_F(DictationCuesPluginTests, OverlappingCuesAreEachKeptUntilTheyFinish) {
    play(ui::ValueMap{{"which", "start"}});
    play(ui::ValueMap{{"which", "stop"}});
    ASSERT_EQ(output.playbacks().size(), 2u);
    EXPECT_EQ(plugin->playingPlayerCount(), 2u);

    // The output reports from its own thread; the plug-in lets go only once the main queue has run.
    std::thread([this] { output.finish(1); }).join();
    EXPECT_EQ(plugin->playingPlayerCount(), 2u);
    harness.runUntilIdle();
    EXPECT_EQ(plugin->playingPlayerCount(), 1u);

    output.finish(0, false);
    harness.runUntilIdle();
    EXPECT_EQ(plugin->playingPlayerCount(), 0u);
}

TEST_F(DictationCuesPluginTests, ACueThatCannotStartIsDroppedAndStillAnsweredWithSuccess) {
    output.refuseStarts(true);

    EXPECT_EQ(play(ui::ValueMap{{"which", "stop"}}), ui::MethodReply(ui::Value()));

    EXPECT_EQ(plugin->playingPlayerCount(), 0u);
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Mirvo: dictation cue stop failed to start"});
}

TEST_F(DictationCuesPluginTests, AnEndReportedAfterThePluginIsGoneChangesNothing) {
    play(ui::ValueMap{{"which", "start"}});
    plugin.reset();

    output.finishAll();
    harness.runUntilIdle();

    EXPECT_EQ(output.playbacks().size(), 1u);
    EXPECT_TRUE(output.playbacks()[0].finished);
}

TEST_F(DictationCuesPluginTests, PlayCueReachesThePluginThroughTheMainQueue) {
    std::thread([this] { plugin->playCue("stop"); }).join();
    EXPECT_TRUE(output.playbacks().empty());
    harness.runUntilIdle();

    const auto playbacks = output.playbacks();
    ASSERT_EQ(playbacks.size(), 1u);
    EXPECT_EQ(playbacks[0].buffer->frameLength(), 11466u);
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Mirvo: dictation cue stop meditation-gong"});
}

TEST_F(DictationCuesPluginTests, ACueOfAPluginGoneBeforeTheMainQueueRunsPlaysNothing) {
    plugin->playCue("start");
    plugin.reset();
    harness.runUntilIdle();

    EXPECT_TRUE(output.playbacks().empty());
}

} // namespace
} // namespace mirvo
