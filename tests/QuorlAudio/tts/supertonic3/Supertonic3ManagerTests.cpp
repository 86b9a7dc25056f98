#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Manager.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3ResourceDownloader.hpp"
#include "platform/text/Normalization.hpp"
#include "platform/text/Utf8.hpp"
#include "tests/QuorlAudio/models/HubTest.hpp"
#include "tests/QuorlAudio/tts/supertonic3/Supertonic3ScriptedSet.hpp"
#include "tests/QuorlAudio/tts/supertonic3/Supertonic3SetWriter.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using platform::sys::LogType;
using testsupport::errorText;
using Estimator = Supertonic3VectorEstimator;
using Lines = std::vector<std::string>;

constexpr const char* repository = "ZirazEvavirivi/supertonic-3-coreml";
constexpr const char* notInitialized = "Supertonic3 manager has not been initialized. Call initialize() first.";

// The samples of a chunk: vocoder call `call` cut to the predicted duration.
std::vector<float> chunkSamples(std::size_t call, float duration) {
    std::vector<float> samples(static_cast<std::size_t>(duration * 44100.0F));
    for (std::size_t index = 0; index < samples.size(); ++index) {
        samples[index] = Supertonic3ScriptedSet::wavSample(call, index);
    }
    return samples;
}

std::vector<float> joined(const std::vector<float>& first, std::size_t silence, const std::vector<float>& second) {
    std::vector<float> samples = first;
    samples.resize(samples.size() + silence, 0.0F);
    samples.insert(samples.end(), second.begin(), second.end());
    return samples;
}

class Supertonic3ManagerTest : public testing::HubTest {
protected:
    Supertonic3ManagerTest() { environment.set("HOME", (folder / "home").string()); }

    // A manager over a set that is already in the cache.
    std::shared_ptr<Supertonic3Manager> cachedManager(ComputeUnits units = ComputeUnits::cpuOnly) {
        models.write(repoDir, Estimator::fp16Dynamic());
        return std::make_shared<Supertonic3Manager>(root, units, Estimator::fp16Dynamic());
    }

    std::shared_ptr<Supertonic3Manager> initializedManager() {
        auto manager = cachedManager();
        manager->initialize();
        return manager;
    }

    Supertonic3Manager::Result speak(const Supertonic3Manager& manager, const std::string& text,
                                     const std::string& language, float silenceDuration = 0.05F) const {
        return manager.synthesize({.text = text,
                                   .language = language,
                                   .style = style,
                                   .totalSteps = 0,
                                   .speed = 1.0F,
                                   .silenceDuration = silenceDuration});
    }

    // The texts the encoder received, read back from their ids (the test's table maps every scalar to itself).
    Lines encodedTexts() const {
        Lines texts;
        for (const auto& call : models.textEncoder.calls()) {
            const auto ids = testsupport::valuesOf(*call.inputs.at("text_ids").multiArrayValue());
            const auto mask = testsupport::valuesOf(*call.inputs.at("text_mask").multiArrayValue());
            std::u32string scalars;
            for (std::size_t position = 0; position < ids.size() && mask[position] == 1.0; ++position) {
                scalars.push_back(static_cast<char32_t>(ids[position]));
            }
            texts.push_back(platform::text::encodeScalars(scalars));
        }
        return texts;
    }

    Supertonic3ScriptedSet models;
    testsupport::RecordingLogSink sink;
    const fs::path root = folder / "Models";
    const fs::path repoDir = root / "supertonic-3";
    const Supertonic3VoiceStyle style = testsupport::supertonic3Style(0.5F);
};

TEST_F(Supertonic3ManagerTest, SpeaksOnlyBetweenInitializeAndCleanup) {
    const auto manager = cachedManager(ComputeUnits::cpuAndNeuralEngine);
    manager->cleanup();
    EXPECT_FALSE(manager->isAvailable());
    EXPECT_EQ(errorText([&] { speak(*manager, "Hello.", "en"); }), notInitialized);

    manager->initialize();
    EXPECT_TRUE(manager->isAvailable());
    EXPECT_EQ(sink.messages("Supertonic3Manager", LogType::info),
              Lines{"Supertonic-3 ready (compute units: cpuAndNeuralEngine)"});
    EXPECT_FALSE(speak(*manager, "Hello.", "en").samples.empty());

    manager->cleanup();
    EXPECT_FALSE(manager->isAvailable());
    EXPECT_EQ(errorText([&] { speak(*manager, "Hello.", "en"); }), notInitialized);
    manager->initialize();
    EXPECT_TRUE(manager->isAvailable());
    EXPECT_EQ(models.textEncoder.loads().size(), 2U);
}

TEST_F(Supertonic3ManagerTest, BlankTextIsEmptyWhateverTheLanguage) {
    const auto manager = initializedManager();
    for (const char* language : {"en", "xx"}) {
        EXPECT_EQ(errorText([&] { speak(*manager, "  \n\n \t ", language); }),
                  "Supertonic3 received empty text after normalization.")
            << language;
    }
    EXPECT_TRUE(errorText([&] {
                    speak(*manager, "Hello.", "xx");
                }).starts_with("Supertonic3 unsupported language 'xx'. Available: en, ko, ja,"));
}

TEST_F(Supertonic3ManagerTest, KoreanAndJapaneseAreChunkedShorter) {
    const struct {
        const char* language;
        int limit;
    } cases[] = {{"ko", 57}, {"ja", 57}, {"en", 70}, {"KO", 70}, {"xx", 70}};
    for (const auto& c : cases) {
        EXPECT_EQ(Supertonic3Manager::chunkLimit(c.language), c.limit) << c.language;
    }

    const auto manager = initializedManager();
    const std::string sixtyCharacters = "aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj kkkk llll";
    speak(*manager, sixtyCharacters, "en");
    EXPECT_EQ(models.textEncoder.calls().size(), 1U);
    speak(*manager, sixtyCharacters, "ko");
    EXPECT_EQ(models.textEncoder.calls().size(), 3U);
}

TEST_F(Supertonic3ManagerTest, ChunksAreJoinedByTheSilence) {
    const struct {
        float silence;
        float duration;
        std::size_t gap;
    } cases[] = {{0.05F, 2.05F, 2205}, {0.0F, 2.0F, 0}, {-1.0F, 2.0F, 0}};
    const auto manager = initializedManager();
    for (const auto& c : cases) {
        models.durations = {1.2F, 0.8F};
        const std::size_t firstCall = models.vocoder.calls().size();
        const auto before = models.durationPredictor.calls().size();
        models.durations.insert(models.durations.begin(), before, 1.0F);

        const auto result = speak(*manager, "The first paragraph.\n\nAnd the second.", "en", c.silence);

        EXPECT_FLOAT_EQ(result.duration, c.duration) << c.silence;
        EXPECT_EQ(result.samples, joined(chunkSamples(firstCall, 1.2F), c.gap, chunkSamples(firstCall + 1, 0.8F)))
            << c.silence;
    }
    EXPECT_THROW(speak(*manager, "Hello.", "en", std::numeric_limits<float>::infinity()), std::invalid_argument);
}

TEST_F(Supertonic3ManagerTest, AMissingOrMalformedCharacterTableFailsInitialize) {
    const struct {
        const char* name;
        std::optional<std::string> content;
    } cases[] = {{"a folder in its place", std::nullopt},
                 {"not JSON", "[1, 2"},
                 {"an object", "{}"},
                 {"a fraction", "[1.5]"},
                 {"a Boolean", "[true]"},
                 {"too large", "[9223372036854775808]"}};
    for (const auto& c : cases) {
        const auto manager = cachedManager();
        const fs::path table = repoDir / "unicode_indexer.json";
        fs::remove(table);
        if (c.content) {
            std::ofstream(table) << *c.content;
        } else {
            // The cache counts a folder as present, so only the manager's read finds the table missing.
            fs::create_directory(table);
        }
        EXPECT_TRUE(
            errorText([&] { manager->initialize(); }).starts_with("Supertonic3 unicode_indexer.json load failed: "))
            << c.name;
        EXPECT_FALSE(manager->isAvailable()) << c.name;
    }
}

TEST_F(Supertonic3ManagerTest, AChunkTooLongForTheEncoderIsCutAtWordsAndNothingIsDropped) {
    const auto manager = initializedManager();
    const std::string korean = "\uD55C\uAD6D \uD55C\uAD6D \uD55C\uAD6D \uD55C\uAD6D \uD55C\uAD6D \uD55C\uAD6D "
                               "\uD55C\uAD6D \uD55C\uAD6D \uD55C\uAD6D \uD55C\uAD6D \uD55C\uAD6D \uD55C\uAD6D "
                               "\uD55C\uAD6D \uD55C\uAD6D \uD55C\uAD6D \uD55C\uAD6D \uD55C\uAD6D \uD55C\uAD6D "
                               "\uC548\uB155\uD558";
    speak(*manager, korean, "ko");

    const Lines texts = encodedTexts();
    ASSERT_GT(texts.size(), 1U);
    std::string spoken;
    for (const auto& text : texts) {
        ASSERT_TRUE(text.starts_with("<ko>") && text.ends_with(".</ko>")) << text;
        spoken += (spoken.empty() ? "" : " ") + text.substr(4, text.size() - 10);
    }
    EXPECT_EQ(spoken, platform::text::nfkd(korean));
    EXPECT_TRUE(sink.messages("Supertonic3Manager", LogType::error).empty());

    const std::string word(150, 'a');
    speak(*manager, "Say " + word + " now", "en");
    EXPECT_EQ(sink.messages("Supertonic3Manager", LogType::error),
              Lines{"A word does not fit the text encoder's 128 positions; its end will not be spoken: " + word});
}

TEST_F(Supertonic3ManagerTest, ANewUserDownloadsLoadsAVoiceAndSpeaksTwoParagraphs) {
    const fs::path staging = folder / "hub";
    models.write(staging, Estimator::defaultEstimator());
    for (const auto& entry : fs::recursive_directory_iterator(staging)) {
        if (entry.is_regular_file()) {
            hub.putFile(repository, fs::relative(entry.path(), staging).string(),
                        testsupport::fileContents(entry.path()));
        }
    }
    hub.putFile(repository, "voice_styles/M1.json", testsupport::supertonic3StyleDocument(0.5F));
    models.durations = {1.2F, 0.8F};

    const auto manager = Supertonic3Manager::downloadAndCreate(root, ComputeUnits::cpuAndNeuralEngine);
    const auto voice = Supertonic3ResourceDownloader::loadVoiceStyle(Supertonic3Voice::m1, root);
    const auto result =
        manager->synthesize({.text = "Supertonic speaks many languages.\n\nThis is the second paragraph.",
                             .language = "en",
                             .style = voice});

    EXPECT_TRUE(manager->isAvailable());
    EXPECT_EQ(voice.name, "M1");
    const float first = 1.2F / 1.05F;
    const float second = 0.8F / 1.05F;
    EXPECT_FLOAT_EQ(result.duration, first + 0.05F + second);
    EXPECT_EQ(result.samples, joined(chunkSamples(0, first), 2205, chunkSamples(1, second)));
    EXPECT_EQ(models.vectorEstimator.calls().size(), 16U);
    EXPECT_EQ(encodedTexts(),
              (Lines{"<en>Supertonic speaks many languages.</en>", "<en>This is the second paragraph.</en>"}));
}

} // namespace
} // namespace quorl
