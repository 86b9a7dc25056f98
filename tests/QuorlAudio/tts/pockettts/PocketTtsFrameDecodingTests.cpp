#include "QuorlAudio/tts/pockettts/PocketTtsFrameDecoding.hpp"

#include "tests/QuorlAudio/tts/pockettts/PocketTtsCacheModels.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorl::PocketTtsSynthesizer {
namespace {

using platform::ml::DataType;
using testsupport::errorText;
using testsupport::makeArray;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;

std::vector<double> ramp(std::size_t count, double step) {
    std::vector<double> values(count);
    for (std::size_t index = 0; index < count; ++index) {
        values[index] = static_cast<double>(index % 64) * step;
    }
    return values;
}

std::vector<float> floats(const std::vector<double>& values) { return {values.begin(), values.end()}; }

class PocketTtsFlowDecoderTest : public ::testing::Test {
protected:
    testsupport::TemporaryFolder scratch;
    ScriptedKernel::Outputs outputs{{"latent", makeArray({1, 32}, ramp(32, 0.5), DataType::float16)}};
    ScriptedKernel kernel{"frame-flow-decoder", [this](const ScriptedKernel::Call&) { return outputs; }};
    std::shared_ptr<platform::ml::Model> model = pocketttscache::loadModel(
        scratch.path(), "flow_decoder_fused",
        testsupport::modelManifest(
            "frame-flow-decoder",
            {multiArrayFeature("transformer_out", {1, 1024}), multiArrayFeature("latent_init", {1, 32})}, {}));
};

// Half-precision outputs are widened value by value, never copied as if they were 32-bit floats.
TEST_F(PocketTtsFlowDecoderTest, ReadsHalfPrecisionArraysByValueAndAnOutputOfAnotherName) {
    const auto transformerOut = makeArray({1, 1, 1024}, ramp(1024, 0.25), DataType::float16);
    SeededRNG rng(3);
    SeededRNG reference(3);
    const auto latent = flowDecode(*transformerOut, 0.7F, *model, rng);
    EXPECT_EQ(latent, floats(ramp(32, 0.5)));
    const auto call = kernel.calls().at(0);
    const auto given = call.inputs.at("transformer_out").multiArrayValue();
    EXPECT_EQ(given->shape(), (platform::ml::MultiArray::Shape{1, 1024}));
    EXPECT_EQ(testsupport::valuesOf(*given), ramp(1024, 0.25));
    const auto noise = flowNoise(0.7F, reference);
    EXPECT_EQ(testsupport::valuesOf(*call.inputs.at("latent_init").multiArrayValue()),
              std::vector<double>(noise.begin(), noise.end()));
}

TEST_F(PocketTtsFlowDecoderTest, PrefersLatentFinalAndRefusesShortOrMissingOutputs) {
    outputs.insert_or_assign("latent_final", makeArray({1, 32}, std::vector<double>(32, 9.0)));
    SeededRNG rng(1);
    const auto transformerOut = makeArray({1, 1, 1024}, std::vector<double>(1024, 1.0));
    EXPECT_EQ(flowDecode(*transformerOut, 0.7F, *model, rng), std::vector<float>(32, 9.0F));
    outputs = {{"latent_final", makeArray({1, 16}, std::vector<double>(16, 1.0))}};
    EXPECT_EQ(errorText([&] { flowDecode(*transformerOut, 0.7F, *model, rng); }),
              "Processing failed: flow decoder latent has 16 values, expected at least 32");
    outputs.clear();
    EXPECT_EQ(errorText([&] { flowDecode(*transformerOut, 0.7F, *model, rng); }),
              "Processing failed: Missing fused flow decoder latent_final output");
    const std::size_t calls = kernel.calls().size();
    EXPECT_EQ(errorText([&] {
                  flowDecode(*makeArray({1, 512}, std::vector<double>(512)), 0.7F, *model, rng);
              }),
              "Processing failed: transformer output has 512 values, expected at least 1024");
    EXPECT_EQ(kernel.calls().size(), calls);
}

// A codec decoder with one state carried under its own name and one under another.
class PocketTtsMimiDecoderTest : public ::testing::Test {
protected:
    MimiState initialState() const {
        return {.tensors = {{"upsample_partial", makeArray({1, 2}, {1, 2})}, {"attn0_offset", makeArray({1}, {0})}}};
    }

    testsupport::TemporaryFolder scratch;
    const PocketTtsMimiKeys keys{.audioOutput = "audio",
                                 .stateMapping = {{"upsample_partial", "upsample_partial"}, {"attn0_offset", "var_7"}},
                                 .stateShapes = {{"upsample_partial", {1, 2}}, {"attn0_offset", {1}}}};
    ScriptedKernel::Outputs outputs{{"audio", makeArray({1, 1, 1920}, ramp(1920, 0.125))},
                                    {"upsample_partial", makeArray({1, 2}, {3, 4})},
                                    {"var_7", makeArray({1}, {1})}};
    ScriptedKernel kernel{"frame-mimi-decoder", [this](const ScriptedKernel::Call&) { return outputs; }};
    std::shared_ptr<platform::ml::Model> model = pocketttscache::loadModel(
        scratch.path(), "mimi_decoder",
        testsupport::modelManifest("frame-mimi-decoder", {multiArrayFeature("latent", {1, 32})}, {}));
};

TEST_F(PocketTtsMimiDecoderTest, DecodesAFrameAndCarriesTheState) {
    auto state = initialState();
    const auto samples = runMimiDecoder(std::vector<float>(32, 0.5F), state, *model, keys);
    EXPECT_EQ(samples, floats(ramp(1920, 0.125)));
    EXPECT_EQ(testsupport::valuesOf(*state.tensors.at("upsample_partial")), (std::vector<double>{3, 4}));
    EXPECT_EQ(testsupport::valuesOf(*state.tensors.at("attn0_offset")), (std::vector<double>{1}));
    const auto call = kernel.calls().at(0);
    EXPECT_EQ(testsupport::valuesOf(*call.inputs.at("upsample_partial").multiArrayValue()),
              (std::vector<double>{1, 2}));
    outputs.insert_or_assign("audio", makeArray({1, 1, 1920}, ramp(1920, 0.125), DataType::float16));
    EXPECT_EQ(runMimiDecoder(std::vector<float>(32, 0.5F), state, *model, keys), samples);
}

TEST_F(PocketTtsMimiDecoderTest, RefusesMissingStateShortAudioAndMissingOutputs) {
    auto partial = initialState();
    partial.tensors.erase("attn0_offset");
    EXPECT_EQ(errorText([&] { runMimiDecoder(std::vector<float>(32), partial, *model, keys); }),
              "Processing failed: Mimi state missing tensor 'attn0_offset'");
    EXPECT_TRUE(kernel.calls().empty());
    struct Case {
        std::string output;
        std::optional<ScriptedKernel::Outputs::mapped_type> value;
        std::string message;
    };
    const std::vector<Case> cases{
        {"audio", makeArray({1, 1, 1000}, std::vector<double>(1000)),
         "Processing failed: Mimi audio output has 1000 values, expected at least 1920"},
        {"audio", std::nullopt, "Processing failed: Missing Mimi audio output"},
        {"var_7", std::nullopt, "Processing failed: Missing Mimi state output: var_7 (for attn0_offset)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        auto changed = outputs;
        changed.erase(c.output);
        if (c.value) {
            changed.insert_or_assign(c.output, *c.value);
        }
        std::swap(outputs, changed);
        auto state = initialState();
        EXPECT_EQ(errorText([&] { runMimiDecoder(std::vector<float>(32), state, *model, keys); }), c.message);
        std::swap(outputs, changed);
    }
}

TEST(PocketTtsMimiInitialState, ReadsExactFilesAndLeavesOthersAtZero) {
    testsupport::TemporaryFolder scratch;
    const auto folder = scratch.path() / "constants_bin" / "mimi_init_state";
    pocketttsfixtures::writeFile(folder / "exact.bin", pocketttsfixtures::floatBytes({1, 2, 3, 4}));
    pocketttsfixtures::writeFile(folder / "short.bin", pocketttsfixtures::floatBytes({1, 2, 3}));
    pocketttsfixtures::writeFile(folder / "empty.bin", pocketttsfixtures::floatBytes({1}));
    const PocketTtsMimiKeys keys{
        .audioOutput = "audio",
        .stateMapping = {},
        .stateShapes = {{"exact", {2, 2}}, {"short", {4}}, {"empty", {1, 0}}, {"absent", {2}}}};
    const auto state = loadMimiInitialState(scratch.path(), keys);
    EXPECT_EQ(testsupport::valuesOf(*state.tensors.at("exact")), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(testsupport::valuesOf(*state.tensors.at("short")), (std::vector<double>{0, 0, 0, 0}));
    EXPECT_EQ(state.tensors.at("empty")->count(), 0U);
    EXPECT_EQ(testsupport::valuesOf(*state.tensors.at("absent")), (std::vector<double>{0, 0}));
}

} // namespace
} // namespace quorl::PocketTtsSynthesizer
