#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"

#include "MultilingualStreamScript.hpp"
#include "StreamingNemotronMultilingualAsrManagerProbe.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using namespace multilingualstream;
using Probe = StreamingNemotronMultilingualAsrManagerProbe;
using platform::sys::LogType;
using testsupport::valuesOf;

constexpr const char* category = "NemotronMultilingualStreaming";
const DecodingPath bare = decodingPaths()[3];

class StreamingNemotronMultilingualAsrManagerLanguageTest : public ::testing::Test {
protected:
    StreamingNemotronMultilingualAsrManagerLanguageTest() {
        for (const char* name : {"QUORLAUDIO_ENABLE_SMART_SPECULATIVE", "QUORLAUDIO_DISABLE_TOKEN_PREALLOC"}) {
            environment.set(name, std::nullopt);
        }
        loadStream(manager, variant, bare);
        decoderCallsAtLoad = variant.kernel(Model::decoder).calls().size();
    }

    std::vector<std::string> linesSinceLoad(LogType type) const {
        auto lines = log.messages(category, type);
        const auto loaded = std::ranges::find_if(
            lines, [](const std::string& line) { return line.starts_with("Nemotron multilingual models loaded"); });
        return {loaded == lines.end() ? lines.begin() : loaded + 1, lines.end()};
    }
    std::size_t seeds() { return variant.kernel(Model::decoder).calls().size() - decoderCallsAtLoad; }

    testsupport::ScopedEnvironment environment;
    testsupport::RecordingLogSink log;
    MultilingualTestVariant variant{smallMetadata()};
    StreamingNemotronMultilingualAsrManager manager;
    std::size_t decoderCallsAtLoad = 0;
};

TEST_F(StreamingNemotronMultilingualAsrManagerLanguageTest, AForcedLanguageSeedsTheDecoderOnceBeforeAnyAudio) {
    manager.setLanguage("de");
    manager.setForcedPrefix(true);

    EXPECT_EQ(seeds(), 1u);
    const auto seed = variant.kernel(Model::decoder).calls().back();
    EXPECT_EQ(valuesOf(*seed.inputs.at("token").multiArrayValue()), std::vector<double>{3});
    EXPECT_TRUE(seed.options.outputBackings.empty());
    EXPECT_EQ(manager.detectedLanguage(), "de");
    EXPECT_EQ(manager.currentPromptIdValue(), 11);
    EXPECT_EQ(Probe::state(manager).lastToken, 3);
    EXPECT_EQ(valuesOf(*Probe::state(manager).hState)[0], static_cast<double>(seed.index + 1));
    EXPECT_TRUE(Probe::transcript(manager).tokenIds.empty());
    EXPECT_EQ(linesSinceLoad(LogType::info), (std::vector<std::string>{
                                                 "Prompt id set to 11 for language de",
                                                 "Forced prefix enabled",
                                                 "Forced prefix: seeded decoder with lang-tag token id 3 for de",
                                             }));

    manager.process(noise(chunkSamples));
    const auto decoder = variant.kernel(Model::decoder).calls();
    EXPECT_EQ(valuesOf(*decoder[decoderCallsAtLoad + 1].inputs.at("token").multiArrayValue()), std::vector<double>{3});
    EXPECT_EQ(valuesOf(*variant.kernel(Model::encoder).calls().back().inputs.at("prompt_id").multiArrayValue()),
              std::vector<double>{11});

    manager.reset();
    EXPECT_EQ(seeds(), 16u);
    EXPECT_EQ(manager.detectedLanguage(), "de");
}

TEST_F(StreamingNemotronMultilingualAsrManagerLanguageTest, TheSeedLooksForTheTagOfTheCodeAsGiven) {
    manager.setForcedPrefix(true);
    manager.setLanguage("en_US");

    EXPECT_EQ(manager.promptId(), 12);
    EXPECT_EQ(seeds(), 0u);
    EXPECT_EQ(linesSinceLoad(LogType::info), (std::vector<std::string>{
                                                 "Forced prefix enabled",
                                                 "Prompt id set to 12 for language en_US",
                                                 "Forced prefix: no lang-tag token for en_US; skipping seed",
                                             }));

    manager.setLanguage(std::nullopt);
    EXPECT_EQ(manager.promptId(), 7);
    EXPECT_EQ(linesSinceLoad(LogType::info).back(), "Prompt id set to 7 for language auto");
    EXPECT_EQ(manager.detectedLanguage(), std::nullopt);
    manager.setPromptId(42);
    EXPECT_EQ(manager.promptId(), 42);
}

TEST_F(StreamingNemotronMultilingualAsrManagerLanguageTest, ALanguageTheModelNamedFirstOutlivesALaterSeed) {
    emitPlan(variant, Model::joint, {{{0, 0}, {4, 0}}});
    manager.process(noise(chunkSamples));
    EXPECT_EQ(manager.detectedLanguage(), "fr");

    manager.setLanguage("de");
    manager.setForcedPrefix(true);

    EXPECT_EQ(seeds(), 1u + 16u);
    EXPECT_EQ(manager.detectedLanguage(), "fr");
    EXPECT_EQ(manager.finish(), "hello");
    EXPECT_EQ(manager.lastDecodeStats().detectedLanguage, "fr");
}

TEST(StreamingNemotronMultilingualAsrManagerLanguageSwitchTest, TheSwitchAloneOnlyStoresItself) {
    testsupport::RecordingLogSink log;
    StreamingNemotronMultilingualAsrManager manager;
    manager.setForcedPrefix(true);
    EXPECT_TRUE(manager.forcedPrefixEnabled());
    EXPECT_EQ(log.messages(category), std::vector<std::string>{"Forced prefix enabled"});
    EXPECT_EQ(manager.detectedLanguage(), std::nullopt);
}

} // namespace
} // namespace quorl
