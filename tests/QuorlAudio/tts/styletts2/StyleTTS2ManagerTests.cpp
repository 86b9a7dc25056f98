#include "QuorlAudio/tts/styletts2/StyleTTS2Manager.hpp"

#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/tts/frontend/G2PModel.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "tests/QuorlAudio/models/HubTest.hpp"
#include "tests/QuorlAudio/tts/frontend/G2PTestModels.hpp"
#include "tests/QuorlAudio/tts/styletts2/StyleTTS2Fixtures.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/SoundFileWriter.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace fixtures = styletts2fixtures;
using fixtures::kindAndText;
using platform::ml::ComputeUnits;
using platform::sys::LogType;
using testsupport::makeArray;
using testsupport::ScriptedKernel;
using Call = ScriptedKernel::Call;
using Outputs = ScriptedKernel::Outputs;
using Ids = std::vector<std::int32_t>;
using Lines = std::vector<std::string>;
using Shape = std::vector<std::size_t>;
using Kind = StyleTTS2Error::Kind;

constexpr const char* kokoroRepository = "ZirazEvavirivi/kokoro-82m-coreml";
constexpr const char* category = "StyleTTS2Manager";
constexpr const char* lexicon =
    R"({"lower": {"hello": ["h", "ə", "l", "O"], "world": ["w", "ɜ", "ɹ", "l", "d"]}, "caseSensitive": {"A": ["A"]}})";

platform::ml::FeatureValue filledArray(const Shape& shape, double value) {
    std::size_t count = 1;
    for (const auto dimension : shape) {
        count *= dimension;
    }
    return makeArray(shape, std::vector<double>(count, value));
}

std::size_t axis(const Call& call, const std::string& name, std::size_t index) {
    return call.inputs.at(name).multiArrayValue()->shape()[index];
}

Ids idsOf(const Call& call) {
    Ids ids;
    for (const auto value : testsupport::valuesOf(*call.inputs.at("tokens").multiArrayValue())) {
        ids.push_back(static_cast<std::int32_t>(value));
    }
    return ids;
}

// Eight honest stand-ins sized from their inputs: every token lasts one frame and a chunk of n ids gives n
// samples of the value n, so the audio shows which chunks were spoken in which order.
class StyleTTS2ManagerTest : public testing::HubTest {
protected:
    StyleTTS2ManagerTest() {
        environment.set("HOME", (folder / "home").string());
        addKernel("text_encoder", [](const Call& call) {
            return Outputs{{"t_en", filledArray({1, 3, axis(call, "tokens", 1)}, 0.5)}};
        });
        addKernel("bert", [](const Call& call) {
            const auto length = axis(call, "tokens", 1);
            return Outputs{{"bert_dur", filledArray({1, length, 2}, 1.0)}, {"d_en", filledArray({1, 4, length}, 1.0)}};
        });
        addKernel("ref_encoder", [](const Call&) { return Outputs{{"ref_s", filledArray({1, 256}, 1.0)}}; });
        addKernel("fused_diffusion_sampler", [](const Call&) {
            return Outputs{{"s_pred", filledArray({1, 256}, 1.0)}};
        });
        addKernel("duration_predictor", [](const Call& call) {
            const auto tokens = axis(call, "d_en", 2);
            return Outputs{{"d", filledArray({1, tokens, 5}, 1.0)}, {"logits", filledArray({1, tokens, 1}, 30.0)}};
        });
        addKernel("fused_f0n_har_source", [](const Call& call) {
            const auto frames = axis(call, "en", 2);
            return Outputs{{"f0_pred", filledArray({1, 2 * frames}, 1.0)},
                           {"n_pred", filledArray({1, 2 * frames}, 1.0)},
                           {"source_har", filledArray({1, 1, 300 * frames}, 1.0)}};
        });
        addKernel("decoder_pre", [](const Call& call) {
            return Outputs{{"x_pre", filledArray({1, 512, 2 * axis(call, "asr", 2)}, 1.0)}};
        });
        addKernel("decoder_upsample", [](const Call& call) {
            const auto frames = axis(call, "x_pre", 2) / 2;
            return Outputs{{"audio", filledArray({1, frames + 50}, static_cast<double>(frames))}};
        });
        testsupport::writeSoundFile(clip, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 24000, 1, std::vector<float>(2400, 0.1F));
    }

    void addKernel(const std::string& stage, ScriptedKernel::Script script) {
        kernels.emplace(stage, ScriptedKernel(fixtures::kernelOf(stage), std::move(script)));
    }

    // Every file initialize needs, already in the cache.
    void warmCache(const std::string& lexiconText = lexicon) {
        fixtures::writeBundles(root / "styletts2", ModelNames::StyleTTS2::requiredModels());
        for (const auto size : {64, 128, 256}) {
            fixtures::writeBundles(root / "styletts2", ModelNames::StyleTTS2::bucketModels(size));
        }
        for (const auto& name : ModelNames::G2P::requiredModels()) {
            fs::create_directories(root / "kokoro" / name);
        }
        std::ofstream(root / "kokoro" / "us_lexicon_cache.json") << lexiconText;
    }

    StyleTTS2Manager& initialized() {
        warmCache();
        manager.initialize();
        return manager;
    }

    std::vector<Ids> spokenIds() const {
        std::vector<Ids> spoken;
        for (const auto& call : kernels.at("text_encoder").calls()) {
            spoken.push_back(idsOf(call));
        }
        return spoken;
    }

    // n samples of the value n for each chunk of n ids, in order.
    std::vector<float> audioOf(const std::vector<Ids>& chunks) const {
        std::vector<float> audio;
        for (const auto& ids : chunks) {
            audio.insert(audio.end(), ids.size(), static_cast<float>(ids.size()));
        }
        return audio;
    }

    Lines lines(LogType type) const { return sink.messages(category, type); }

    const fs::path root = folder / "home" / ".cache" / "quorlaudio" / "Models";
    const fs::path clip = folder / "voice.wav";
    const StyleTTS2Manager::Style style{.alpha = 0.3F, .beta = 0.7F, .noiseSeed = 11};
    testsupport::RecordingLogSink sink;
    std::map<std::string, ScriptedKernel> kernels;
    G2PTestModels models;
    G2PModel g2p{models.cache.environment()};
    StyleTTS2Manager manager{std::nullopt, ComputeUnits::cpuOnly, g2p};
};

TEST_F(StyleTTS2ManagerTest, EverySynthesisBeforeInitializeFailsAndCleanupDoesNothing) {
    const Ids ids{0, 50};
    const StyleTTS2Manager::ReferenceMel mel{std::vector<float>(80, 0.0F), 1};
    const std::map<std::string, std::function<void()>> operations{
        {"text", [&] { manager.synthesize("hello", clip, style); }},
        {"ipa", [&] { manager.synthesizeIPA("h\u0259", clip, style); }},
        {"ids with clip", [&] { manager.synthesize(ids, clip, style); }},
        {"ids with mel", [&] { manager.synthesize(ids, mel, style); }},
        {"reference mel", [&] { manager.referenceMel(clip); }},
    };
    manager.cleanup();
    EXPECT_FALSE(manager.isAvailable());
    for (const auto& [name, operation] : operations) {
        EXPECT_EQ(kindAndText(operation, Kind::notInitialized),
                  "StyleTTS2 manager has not been initialized. Call initialize() first.")
            << name;
    }
    EXPECT_TRUE(sink.messages().empty());
    EXPECT_TRUE(hub.requests().empty());
}

TEST_F(StyleTTS2ManagerTest, InitializesOnceAndCleanupDropsEverything) {
    initialized();
    EXPECT_TRUE(manager.isAvailable());
    EXPECT_EQ(lines(LogType::info),
              (Lines{"StyleTTS2 phonemizer mirrors Kokoro: Misaki lexicon-cache lookup first, BART G2P CoreML for OOV. "
                     "Pass IPA directly via synthesize(ipa:...) when you have a higher-quality phonemizer.",
                     "Loaded Misaki lexicon cache: 2 lower entries, 1 case-sensitive entries",
                     "StyleTTS2 ready (compute units: cpuOnly)"}));
    const auto logged = sink.messages().size();
    manager.initialize();
    EXPECT_EQ(sink.messages().size(), logged);
    EXPECT_TRUE(hub.requests().empty());

    manager.cleanup();
    EXPECT_FALSE(manager.isAvailable());
    EXPECT_EQ(kindAndText([&] { manager.synthesize("hello", clip, style); }, Kind::notInitialized),
              "StyleTTS2 manager has not been initialized. Call initialize() first.");
}

TEST_F(StyleTTS2ManagerTest, CorruptLexiconLeavesTheModelToReadWords) {
    warmCache("{\"lower\": [");
    manager.initialize();
    EXPECT_TRUE(manager.isAvailable());
    const auto warnings = lines(LogType::error);
    ASSERT_EQ(warnings.size(), 1U);
    EXPECT_TRUE(warnings.front().starts_with("Lexicon cache load failed ("));
    EXPECT_TRUE(warnings.front().ends_with("); falling back to G2P-only path"));

    manager.synthesize("hello", clip, style);
    EXPECT_EQ(models.encoder.calls().size(), 1U);
    EXPECT_EQ(spokenIds(), (std::vector<Ids>{{0, 50, 51, 54, 54, 57, 135}}));
}

TEST_F(StyleTTS2ManagerTest, LongPhonemesAreSpokenChunkByChunkAndConcatenated) {
    initialized();
    std::string text;
    for (int word = 0; word < 60; ++word) {
        text += "hello ";
    }
    const auto audio = manager.synthesize(text, clip, style);
    const auto spoken = spokenIds();
    ASSERT_EQ(spoken.size(), 2U);
    for (const auto& ids : spoken) {
        EXPECT_EQ(ids.front(), 0);
        EXPECT_LE(ids.size(), 256U);
    }
    EXPECT_EQ(spoken[0].size() + spoken[1].size(), 2U + 60U * 5U + 58U);
    EXPECT_EQ(audio, audioOf(spoken));
}

TEST_F(StyleTTS2ManagerTest, SingleChunkTextsAreSpokenWhole) {
    initialized();
    manager.synthesize(" \n ", clip, style);
    manager.synthesize("Hello, world.", clip, style);
    EXPECT_EQ(spokenIds(), (std::vector<Ids>{{0}, {0, 50, 83, 54, 57, 135, 16, 3, 16, 65, 87, 123, 54, 46, 16, 4}}));
}

TEST_F(StyleTTS2ManagerTest, WhiteSpaceAroundTheOnlyChunkIsNotSpoken) {
    std::string spaces;
    for (int space = 0; space < 300; ++space) {
        spaces += R"(, " ")";
    }
    warmCache(R"({"lower": {"hum": ["h", "ə")" + spaces + R"(]}, "caseSensitive": {}})");
    manager.initialize();
    EXPECT_EQ(manager.synthesize("hum", clip, style), std::vector<float>(3, 3.0F));
    EXPECT_EQ(spokenIds(), (std::vector<Ids>{{0, 50, 83}}));
}

TEST_F(StyleTTS2ManagerTest, IpaIsNotChunkedAndMustFitTheLargestBucket) {
    initialized();
    EXPECT_EQ(manager.synthesizeIPA(std::string(255, 'a'), clip, style).size(), 256U);
    EXPECT_EQ(kindAndText([&] { manager.synthesizeIPA(std::string(256, 'a'), clip, style); }, Kind::noBucketAvailable),
              "No StyleTTS2 token-axis bucket fits 257 tokens (max bucket = 256).");
}

TEST_F(StyleTTS2ManagerTest, TokenIdsAreSpokenAsGivenWithAClipOrItsMel) {
    initialized();
    const Ids ids{50, 83};
    EXPECT_EQ(manager.synthesize(ids, clip, style), audioOf({ids}));
    const auto mel = manager.referenceMel(clip);
    EXPECT_EQ(mel.frames, 9);
    EXPECT_EQ(mel.mel.size(), 80U * 9U);
    EXPECT_EQ(manager.synthesize(ids, mel, style), audioOf({ids}));
    EXPECT_EQ(spokenIds(), (std::vector<Ids>{ids, ids}));
}

TEST_F(StyleTTS2ManagerTest, UnreadableClipIsUnsupportedReferenceAudio) {
    initialized();
    const auto notAudio = folder / "notes.wav";
    std::ofstream(notAudio) << "not audio at all";
    for (const auto& path : {notAudio, folder / "missing.wav"}) {
        const auto text =
            kindAndText([&] { manager.synthesize("hello", path, style); }, Kind::unsupportedReferenceAudio);
        EXPECT_TRUE(text.starts_with("StyleTTS2 reference audio could not be loaded: ")) << text;
        EXPECT_GT(text.size(), std::string("StyleTTS2 reference audio could not be loaded: ").size()) << text;
    }
    EXPECT_TRUE(kernels.at("text_encoder").calls().empty());
}

// A new user's first run: nothing cached, everything fetched from the hub, then two sentences in the voice of a
// stereo 16 kHz clip.
TEST_F(StyleTTS2ManagerTest, DownloadsEverythingAndSpeaksTwoSentences) {
    for (const auto& name : ModelNames::StyleTTS2::requiredModels()) {
        fixtures::serveBundle(hub, fixtures::hubModelFolder, name);
    }
    for (const auto& entry : fs::recursive_directory_iterator(models.cache.modelFolder())) {
        if (entry.is_regular_file()) {
            hub.putFile(kokoroRepository, fs::relative(entry.path(), models.cache.modelFolder()).generic_string(),
                        testsupport::fileContents(entry.path()));
        }
    }
    hub.putFile(kokoroRepository, "us_lexicon_cache.json", lexicon);
    const auto stereo = folder / "stereo.wav";
    testsupport::writeSoundFile(stereo, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 2, std::vector<float>(3200, 0.2F));
    G2PModel userG2P(G2PModelEnvironment{.variable = [](const std::string&) { return std::optional<std::string>(); }});

    const auto created = StyleTTS2Manager::downloadAndCreate(std::nullopt, ComputeUnits::cpuAndGPU, userG2P);
    const auto audio = created->synthesize("Hello world. Hello code!", stereo, StyleTTS2Manager::Style{});

    const Ids expected{0,  50, 83, 54, 57, 135, 16, 65, 87, 123, 54, 46, 16, 4,
                       16, 50, 83, 54, 57, 135, 16, 53, 57, 135, 46, 51, 16, 5};
    EXPECT_EQ(spokenIds(), std::vector<Ids>{expected});
    EXPECT_EQ(audio, audioOf({expected}));
    EXPECT_GE(axis(kernels.at("ref_encoder").calls().back(), "mel", 3), 8U);
    EXPECT_TRUE(fs::exists(root / "styletts2" / "decoder_upsample_fp16.mlmodelc" / "model.json"));
    EXPECT_TRUE(fs::exists(root / "kokoro" / "us_lexicon_cache.json"));
    EXPECT_EQ(lines(LogType::info).back(), "StyleTTS2 ready (compute units: cpuAndGPU)");
}

} // namespace
} // namespace quorl
