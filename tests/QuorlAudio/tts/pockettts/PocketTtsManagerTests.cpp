#include "QuorlAudio/tts/pockettts/PocketTtsManager.hpp"

#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsPackWriter.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsScriptedPack.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quorl::PocketTtsSynthesizer {
namespace {

namespace fs = std::filesystem;
using platform::sys::LogType;
using testsupport::errorText;
using testsupport::ScriptedKernel;
using Placement = PocketTtsModelPlacement;

const std::string notInitialized = "Model PocketTTS model not initialized not found";

std::vector<AudioFrame> drained(FrameStream stream) {
    std::vector<AudioFrame> all;
    for (auto& frame : stream) {
        all.push_back(std::move(frame));
    }
    return all;
}

std::size_t loadsOf(const std::vector<const ScriptedKernel*>& kernels) {
    std::size_t count = 0;
    for (const auto* kernel : kernels) {
        count += kernel->loads().size();
    }
    return count;
}

// A manager of its own over the scripted English pack in the cache, as a new user would make one. Every
// chunk ends 5 frames after its first step.
class PocketTtsManagerTest : public PocketTtsScriptedPackTest, public ::testing::WithParamInterface<Placement> {
protected:
    PocketTtsManagerTest() : PocketTtsScriptedPackTest(GetParam()) {
        logit = [](std::size_t) { return 0.0; };
        pocketttsfixtures::writeFile(english / "constants_bin" / "bob.safetensors",
                                     pocketttsfixtures::safetensorsFile(pocketttsfixtures::voiceTensors(6, 2)));
    }

    // The WAV data of n frames.
    static std::size_t wavBytes(std::size_t frames) { return 44 + frames * 1920 * 2; }

    std::shared_ptr<PocketTtsManager> manager =
        std::make_shared<PocketTtsManager>(PocketTtsModelSelection{.language = PocketTtsLanguage::english,
                                                                   .directory = folder / "cache",
                                                                   .precision = PocketTtsPrecision::fp16,
                                                                   .placement = GetParam()});
    ScriptedKernel mimiEncoder{
        pocketttspacks::mimiEncoderKernel, [](const ScriptedKernel::Call&) {
            std::vector<double> frames(125 * 1024);
            for (std::size_t index = 0; index < frames.size(); ++index) {
                frames[index] = static_cast<double>(index % 97) / 8;
            }
            return ScriptedKernel::Outputs{{"conditioning", testsupport::makeArray({1, 125, 1024}, frames)}};
        }};
};

INSTANTIATE_TEST_SUITE_P(BothRoads, PocketTtsManagerTest, ::testing::Values(Placement::gpu, Placement::aneState),
                         [](const auto& info) {
                             return std::string(rawValue(info.param) == "gpu" ? "cache" : "state");
                         });

TEST_P(PocketTtsManagerTest, BeforeInitializeNothingIsSpoken) {
    const auto voice = trackedVoice();
    const PocketTtsManager::Request request{.text = "Hi."};
    const std::vector<std::function<void()>> operations{
        [&] { manager->synthesize(request); },
        [&] { manager->synthesize(request, voice); },
        [&] { manager->synthesizeDetailed(request); },
        [&] { manager->synthesizeStreaming(request); },
        [&] { manager->synthesizeStreaming(request, voice); },
        [&] { manager->makeSession({}); },
        [&] { manager->makeSession({}, voice); },
        [&] { manager->synthesizeToFile(request, folder / "out.wav"); },
    };
    for (const auto& operation : operations) {
        EXPECT_EQ(errorText(operation), notInitialized);
    }
    EXPECT_FALSE(manager->isAvailable());
    EXPECT_FALSE(fs::exists(folder / "out.wav"));
    EXPECT_TRUE(lines("PocketTtsSynthesizer", LogType::info).empty());
    EXPECT_TRUE(lines("PocketTtsManager", LogType::defaultType).empty());
}

TEST_P(PocketTtsManagerTest, AfterInitializeEveryFormSpeaksWithTheDefaultVoiceOrTheOneSetLater) {
    manager->initialize();
    EXPECT_TRUE(manager->isAvailable());
    EXPECT_EQ(manager->language(), PocketTtsLanguage::english);
    EXPECT_EQ(manager->synthesize({.text = "Hi."}).size(), wavBytes(5));
    EXPECT_EQ(manager->synthesizeDetailed({.text = "Hi.", .voice = "bob"}).frameCount, 5);
    EXPECT_EQ(drained(manager->synthesizeStreaming({.text = "Hi."})).size(), 5U);
    EXPECT_EQ(drained(manager->synthesizeStreaming({.text = "Hi."}, trackedVoice())).size(), 5U);
    manager->synthesizeToFile({.text = "Hi."}, folder / "out.wav");
    EXPECT_EQ(testsupport::fileContents(folder / "out.wav").size(), wavBytes(5));
    const auto session = manager->makeSession({.seed = 5});
    session->enqueue("Hi.");
    session->finish();
    const auto frames = drained(session->frames());
    ASSERT_EQ(frames.size(), 5U);
    EXPECT_EQ(frames.front().utteranceIndex, 0);
    EXPECT_EQ(lines("PocketTtsManager", LogType::defaultType),
              (std::vector<std::string>{"PocketTtsManager initialized", "Saved synthesized audio to: out.wav"}));

    manager->setDefaultVoice("carol");
    EXPECT_EQ(manager->defaultVoice(), "carol");
    for (const auto& operation : std::vector<std::function<void()>>{[&] { manager->synthesize({.text = "Hi."}); },
                                                                    [&] { manager->makeSession({}); }}) {
        EXPECT_NE(errorText(operation).find("carol voice prompt (english)"), std::string::npos) << errorText(operation);
    }
    manager->setDefaultVoice("bob");
    EXPECT_EQ(manager->synthesize({.text = "Hi."}).size(), wavBytes(5));
}

TEST_P(PocketTtsManagerTest, SynthesesDrawFreshNoiseWhileASeededSessionRepeats) {
    manager->initialize();
    EXPECT_NE(manager->synthesize({.text = "Hi."}), manager->synthesize({.text = "Hi."}));
    std::vector<std::vector<AudioFrame>> runs;
    for (int run = 0; run < 2; ++run) {
        const auto session = manager->makeSession({.seed = 11}, trackedVoice());
        session->enqueue("Hi.");
        session->finish();
        runs.push_back(drained(session->frames()));
    }
    ASSERT_EQ(runs[0].size(), runs[1].size());
    for (std::size_t index = 0; index < runs[0].size(); ++index) {
        EXPECT_EQ(runs[0][index].samples, runs[1][index].samples);
    }
}

TEST_P(PocketTtsManagerTest, CleanupRefusesSynthesisUntilInitializeWhichLoadsNothingAgain) {
    manager->initialize();
    const std::vector<const ScriptedKernel*> kernels{&conditioner, &flowlm, &flowDecoder, &mimiDecoder, &state};
    const auto loads = loadsOf(kernels);
    const auto requests = hub.requests().size();
    const auto session = manager->makeSession({}, trackedVoice());
    manager->cleanup();
    EXPECT_FALSE(manager->isAvailable());
    EXPECT_EQ(errorText([&] { manager->synthesize({.text = "Hi."}); }), notInitialized);
    session->enqueue("Hi.");
    session->finish();
    EXPECT_EQ(drained(session->frames()).size(), 5U);
    manager->initialize();
    EXPECT_EQ(manager->synthesize({.text = "Hi."}).size(), wavBytes(5));
    EXPECT_EQ(loadsOf(kernels), loads);
    EXPECT_EQ(hub.requests().size(), requests);
}

// A failed synthesis leaves the file that was there; a successful one replaces it whole.
TEST_P(PocketTtsManagerTest, SynthesizingToAFileReplacesItOnlyOnSuccess) {
    const auto output = folder / "speech.wav";
    pocketttsfixtures::writeFile(output, "earlier take");
    EXPECT_EQ(errorText([&] { manager->synthesizeToFile({.text = "Hi."}, output); }), notInitialized);
    manager->initialize();
    EXPECT_NE(errorText([&] { manager->synthesizeToFile({.text = "Hi.", .voice = "carol"}, output); }).find("carol"),
              std::string::npos);
    EXPECT_EQ(testsupport::fileContents(output), "earlier take");
    manager->synthesizeToFile({.text = "Hi."}, output);
    EXPECT_EQ(testsupport::fileContents(output).substr(0, 4), "RIFF");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

// The encoder is fetched from the hub on first use, with no initialize; a saved clone loads back equal.
TEST_P(PocketTtsManagerTest, VoicesAreClonedWithoutInitializeAndSavedClonesLoadBackEqual) {
    pocketttspacks::writeMimiEncoder(folder / "upstream");
    pocketttspacks::publish(hub, folder / "upstream", "");
    EXPECT_FALSE(manager->isVoiceCloningAvailable());
    const auto clone = manager->cloneVoice(std::vector<float>(48000, 0.1F));
    EXPECT_EQ(clone.promptLength, 25);
    const auto saved = folder / "voices" / "mine.bin";
    fs::create_directories(saved.parent_path());
    PocketTtsManager::saveClonedVoice(clone, saved);
    EXPECT_EQ(PocketTtsManager::loadClonedVoice(saved).audioPrompt, clone.audioPrompt);
    EXPECT_EQ(PocketTtsManager::loadClonedVoice(saved).promptLength, clone.promptLength);
    EXPECT_FALSE(manager->isAvailable());

    manager->initialize();
    EXPECT_TRUE(manager->isVoiceCloningAvailable());
    const auto cloned = std::make_shared<const PocketTtsVoiceData>(clone);
    EXPECT_EQ(manager->synthesize({.text = "Hi."}, cloned).size(), wavBytes(5));
    EXPECT_EQ(mimiEncoder.loads().size(), 1U);
}

} // namespace
} // namespace quorl::PocketTtsSynthesizer
