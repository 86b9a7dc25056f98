#include "QuorlAudio/tts/pockettts/PocketTtsStateEngine.hpp"

#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsStateModel.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace names = ModelNames::PocketTTS;
using platform::ml::DataType;
using platform::ml::ModelConfiguration;
using testsupport::errorText;
using testsupport::ScriptedKernel;
using Snapshot = PocketTtsStateEngine::Fp16Snapshot;

constexpr std::size_t bufferCount = 512 * 1024;

std::uint16_t halfBits(float value) { return std::bit_cast<std::uint16_t>(static_cast<_Float16>(value)); }

// Key k of layer i is 1.5 + i; its value is -(2 + i): numbers half precision holds exactly.
PocketTtsVoiceCacheSnapshot shippedVoice(std::int64_t layers, std::int64_t seqLen) {
    PocketTtsVoiceCacheSnapshot voice{.layers = {}, .cacheSeqLen = seqLen};
    const auto plane = static_cast<std::size_t>(seqLen) * 1024;
    for (std::int64_t layer = 0; layer < layers; ++layer) {
        std::vector<float> cache(plane, 1.5F + static_cast<float>(layer));
        cache.resize(2 * plane, -2.0F - static_cast<float>(layer));
        voice.layers.push_back({.cache = std::move(cache), .offset = seqLen});
    }
    return voice;
}

// A snapshot whose every element says where it lies: buffer b's element e holds the bits of e mod 2048.
Snapshot numberedSnapshot(std::int64_t layers, float position) {
    Snapshot snapshot{.kBuffers = {}, .vBuffers = {}, .position = position};
    std::vector<std::uint16_t> buffer(bufferCount);
    for (std::size_t element = 0; element < bufferCount; ++element) {
        buffer[element] = static_cast<std::uint16_t>(element % 2048);
    }
    snapshot.kBuffers.assign(static_cast<std::size_t>(layers), buffer);
    snapshot.vBuffers.assign(static_cast<std::size_t>(layers), buffer);
    return snapshot;
}

class PocketTtsStateEngineTest : public testing::Test {
protected:
    PocketTtsStateEngine engine(const pocketttsstate::Layout& layout = {}) {
        const auto bundle =
            testsupport::writeModelBundle(folder.path(), "pocket_state" + std::to_string(bundles++) + ".mlmodelc",
                                          pocketttsstate::stateManifest("pockettts-state-engine", layout));
        const auto function = [&](std::string_view name) {
            return platform::ml::Model::load(bundle, ModelConfiguration{.functionName = std::string(name)});
        };
        return PocketTtsStateEngine(
            {.prefill = function(names::StateFunction::prefill), .generate = function(names::StateFunction::generate)},
            layout.layers);
    }

    std::vector<ScriptedKernel::Call> calls(std::string_view function) const {
        std::vector<ScriptedKernel::Call> matching;
        for (auto& call : kernel.calls()) {
            if (call.configuration.functionName == function) {
                matching.push_back(std::move(call));
            }
        }
        return matching;
    }

    testsupport::TemporaryFolder folder;
    int bundles = 0;
    bool reportsNewPosition = false;
    std::optional<double> logit = -10.0;
    // What the last "generate" found in layer 0's keys at (position 1, head 0, dims 0 and 1), read through
    // the buffer's own strides.
    std::vector<double> seenKeys;
    ScriptedKernel kernel{"pockettts-state-engine", [this](const ScriptedKernel::Call& call) {
                              if (call.configuration.functionName == names::StateFunction::prefill) {
                                  return pocketttsstate::prefillOutputs(call, reportsNewPosition);
                              }
                              call.state->withMultiArray("k_cache0", [&](platform::ml::MultiArray& buffer) {
                                  seenKeys = {static_cast<double>(buffer.at<_Float16>({0, 1, 0, 0})),
                                              static_cast<double>(buffer.at<_Float16>({0, 1, 0, 1}))};
                              });
                              auto outputs = pocketttsstate::generateOutputs(call, logit.value_or(0));
                              if (!logit) {
                                  outputs.erase("is_eos");
                              }
                              return outputs;
                          }};
};

TEST_F(PocketTtsStateEngineTest, AShippedVoiceBecomesAHalfPrecisionSnapshotPaddedToTheWholeCache) {
    const auto snapshot = PocketTtsStateEngine::fp16Snapshot(shippedVoice(6, 125), 6);
    ASSERT_EQ(snapshot.kBuffers.size(), 6U);
    ASSERT_EQ(snapshot.vBuffers.size(), 6U);
    EXPECT_EQ(snapshot.position, 125.0F);
    for (std::size_t layer = 0; layer < 6; ++layer) {
        for (const auto* buffer : {&snapshot.kBuffers[layer], &snapshot.vBuffers[layer]}) {
            ASSERT_EQ(buffer->size(), bufferCount);
            EXPECT_EQ(std::count((*buffer).begin() + 128000, (*buffer).end(), 0), bufferCount - 128000);
        }
        const auto key = halfBits(1.5F + static_cast<float>(layer));
        const auto value = halfBits(-2.0F - static_cast<float>(layer));
        EXPECT_EQ(std::count(snapshot.kBuffers[layer].begin(), snapshot.kBuffers[layer].begin() + 128000, key), 128000);
        EXPECT_EQ(std::count(snapshot.vBuffers[layer].begin(), snapshot.vBuffers[layer].begin() + 128000, value),
                  128000);
    }
}

TEST_F(PocketTtsStateEngineTest, AVoiceThatDoesNotFitTheModelIsRefused) {
    auto shortLayer = shippedVoice(6, 4);
    shortLayer.layers[2].cache.pop_back();
    const std::vector<std::pair<PocketTtsVoiceCacheSnapshot, std::string>> cases{
        {shippedVoice(7, 4), "voice snapshot layer count 7 != model layer count 6"},
        {shippedVoice(6, 600), "voice snapshot seqLen 600 exceeds capacity 512"},
        {shortLayer, "voice snapshot layer 2 has 8191 floats, expected 8192"},
    };
    for (const auto& [voice, message] : cases) {
        EXPECT_EQ(errorText([&] { PocketTtsStateEngine::fp16Snapshot(voice, 6); }), "Processing failed: " + message);
    }
}

// Written through the padded strides, the keys a model reads sit where the snapshot put them, and a capture
// gives back every element unchanged.
TEST_F(PocketTtsStateEngineTest, SnapshotsRoundTripThroughDenseAndPaddedBuffers) {
    for (const auto& strides : {std::vector<std::size_t>{}, std::vector<std::size_t>{512 * 16 * 80, 16 * 80, 80, 1}}) {
        auto stateEngine = engine({.layers = 2, .dataType = DataType::float16, .strides = strides});
        const auto snapshot = numberedSnapshot(2, 37);
        stateEngine.reset(snapshot);
        EXPECT_EQ(stateEngine.position(), 37.0F);
        stateEngine.generateFrame(std::vector<float>(32, 0.0F), std::vector<float>(32, 0.0F));
        const auto expected = std::vector<double>{static_cast<double>(std::bit_cast<_Float16>(std::uint16_t{1024})),
                                                  static_cast<double>(std::bit_cast<_Float16>(std::uint16_t{1025}))};
        EXPECT_EQ(seenKeys, expected);
        stateEngine.reset(snapshot);
        const auto captured = stateEngine.captureSnapshot();
        EXPECT_EQ(captured.kBuffers, snapshot.kBuffers);
        EXPECT_EQ(captured.vBuffers, snapshot.vBuffers);
        EXPECT_EQ(captured.position, 37.0F);
    }
}

TEST_F(PocketTtsStateEngineTest, ClearingZeroesEveryBufferAndThePosition) {
    auto stateEngine = engine({.layers = 2});
    stateEngine.reset(numberedSnapshot(2, 9));
    stateEngine.resetToZero();
    const auto captured = stateEngine.captureSnapshot();
    EXPECT_EQ(captured.position, 0.0F);
    for (const auto& buffer : captured.kBuffers) {
        EXPECT_EQ(buffer, std::vector<std::uint16_t>(bufferCount));
    }
    EXPECT_EQ(captured.vBuffers, captured.kBuffers);
}

TEST_F(PocketTtsStateEngineTest, PrefillRunsUpTo256TokensACallFromThePosition) {
    auto stateEngine = engine({.layers = 1});
    stateEngine.prefill({}, 0);
    EXPECT_TRUE(kernel.calls().empty());

    std::vector<float> conditioning(300 * 1024);
    for (std::size_t token = 0; token < 300; ++token) {
        conditioning[token * 1024] = static_cast<float>(token % 64);
    }
    stateEngine.prefill(conditioning, 300);
    const auto prefills = calls(names::StateFunction::prefill);
    ASSERT_EQ(prefills.size(), 2U);
    const auto input = [&](std::size_t call, const std::string& name, std::size_t index = 0) {
        return prefills[call].inputs.at(name).multiArrayValue()->value(index);
    };
    EXPECT_EQ(
        (std::vector<double>{input(0, "valid_len"), input(0, "position"), input(1, "valid_len"), input(1, "position")}),
        (std::vector<double>{256, 0, 44, 256}));
    EXPECT_EQ(input(1, "conditioning", 1024), 1.0);
    EXPECT_EQ(input(1, "conditioning", 44 * 1024), 0.0);
    EXPECT_EQ(stateEngine.position(), 300.0F);
    EXPECT_EQ(stateEngine.captureSnapshot().kBuffers[0][299 * 1024], halfBits(299 % 64));

    reportsNewPosition = true;
    stateEngine.prefill(conditioning, 3);
    EXPECT_EQ(stateEngine.position(), 303.0F);
}

TEST_F(PocketTtsStateEngineTest, AFrameReadsItsHalfPrecisionLatentAndMovesThePositionOn) {
    auto stateEngine = engine({.layers = 1});
    logit = -3.5;
    stateEngine.prefill(std::vector<float>(5 * 1024), 5);
    const auto frame = stateEngine.generateFrame(std::vector<float>(32, 0.25F), std::vector<float>(32, 0.5F));
    EXPECT_EQ(frame.latent, std::vector<float>(32, 5.5F));
    EXPECT_EQ(frame.eosLogit, -3.5F);
    EXPECT_EQ(stateEngine.position(), 6.0F);
    const auto generate = calls(names::StateFunction::generate).front();
    EXPECT_EQ(generate.inputs.at("sequence").multiArrayValue()->shape(), (std::vector<std::size_t>{1, 1, 32}));
    EXPECT_EQ(generate.inputs.at("position").multiArrayValue()->value(0), 5.0);
}

TEST_F(PocketTtsStateEngineTest, AFrameWithoutItsEndOfSpeechLogitFailsAndKeepsThePosition) {
    auto stateEngine = engine({.layers = 1});
    logit.reset();
    try {
        stateEngine.generateFrame(std::vector<float>(32), std::vector<float>(32));
        ADD_FAILURE() << "a frame without is_eos was accepted";
    } catch (const PocketTtsStateEngine::StateError& error) {
        EXPECT_EQ(error.kind(), PocketTtsStateError::Kind::missingOutput);
        EXPECT_EQ(error.name(), "is_eos");
    }
    EXPECT_EQ(stateEngine.position(), 0.0F);
}

TEST_F(PocketTtsStateEngineTest, BuffersOfAnotherTypeOrSizeAreRefusedByName) {
    auto wide = engine({.layers = 1, .dataType = DataType::float32, .strides = {}});
    const std::vector<std::function<void()>> operations{
        [&] { wide.resetToZero(); }, [&] { wide.reset(numberedSnapshot(1, 0)); }, [&] { wide.captureSnapshot(); }};
    for (const auto& operation : operations) {
        try {
            operation();
            ADD_FAILURE() << "a 32-bit state buffer was used";
        } catch (const PocketTtsStateEngine::StateError& error) {
            EXPECT_EQ(error.kind(), PocketTtsStateError::Kind::unsupportedStateLayout);
            EXPECT_EQ(error.name(), "k_cache0");
        }
    }
    auto dense = engine({.layers = 2});
    auto shortSnapshot = numberedSnapshot(2, 4);
    shortSnapshot.vBuffers[1].pop_back();
    try {
        dense.reset(shortSnapshot);
        ADD_FAILURE() << "a short buffer was written";
    } catch (const PocketTtsStateEngine::StateError& error) {
        EXPECT_EQ(error.kind(), PocketTtsStateError::Kind::stateBufferMismatch);
        EXPECT_EQ(error.name(), "v_cache1");
        EXPECT_EQ(error.expected(), static_cast<std::int64_t>(bufferCount - 1));
        EXPECT_EQ(error.actual(), static_cast<std::int64_t>(bufferCount));
    }
    EXPECT_EQ(dense.position(), 0.0F);
    shortSnapshot.vBuffers.pop_back();
    EXPECT_EQ(errorText([&] { dense.reset(shortSnapshot); }),
              "Processing failed: state snapshot of 1 layers for a model of 2");
}

} // namespace
} // namespace quorl
