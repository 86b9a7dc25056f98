#include "QuorlAudio/asr/streaming/UnifiedRnntDecoder.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "ScriptedCallArrays.hpp"
#include "UnifiedTestModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace quorl {
namespace {

namespace files = ModelNames::ParakeetUnified;
using platform::ml::MultiArray;
using Emission = UnifiedRnntDecoder::Emission;

// What the decoder model was fed on one call: the token and the first element of the hidden state.
struct DecoderInput {
    double token;
    double h;
    bool operator==(const DecoderInput&) const = default;
};

class UnifiedRnntDecoderTest : public ::testing::Test {
protected:
    UnifiedRnntDecoder makeDecoder(UnifiedConfig config = {}) {
        const platform::ml::ModelConfiguration cpu{.computeUnits = platform::ml::ComputeUnits::cpuOnly,
                                                   .allowLowPrecisionAccumulationOnGPU = false,
                                                   .functionName = std::nullopt};
        return UnifiedRnntDecoder(platform::ml::Model::load(models.folder() / files::decoderFile, cpu),
                                  platform::ml::Model::load(models.folder() / files::jointDecisionFile, cpu), config);
    }

    // Encoder frames whose marks are their own indices, as encoder call 0 would mark them; padded rows
    // between the hidden units check that the frame is read through the strides.
    static std::shared_ptr<MultiArray> encoded(std::size_t frames) {
        constexpr std::size_t width = UnifiedTestModels::encoderWidth;
        const std::size_t rowStride = frames + 3;
        auto storage =
            std::make_shared<MultiArray>(MultiArray::Shape{1, width * rowStride}, platform::ml::DataType::float32);
        float* values = storage->data<float>();
        for (std::size_t t = 0; t < frames; ++t) {
            values[t] = static_cast<float>(t);
            values[rowStride + t] = 1.0f;
        }
        return std::make_shared<MultiArray>(storage->storage(), values, MultiArray::Shape{1, width, frames},
                                            platform::ml::DataType::float32,
                                            MultiArray::Shape{width * rowStride, rowStride, 1});
    }

    std::vector<DecoderInput> decoderInputs() {
        std::vector<DecoderInput> inputs;
        for (const auto& call : models.decoder().calls()) {
            inputs.push_back({inputArray(call, "targets")->value(0), inputArray(call, "h_in")->value(0)});
        }
        return inputs;
    }

    void scriptWords() {
        models.script(0, 1, {1, 2});
        models.script(0, 4, {3});
    }

    UnifiedTestModels models;
};

TEST_F(UnifiedRnntDecoderTest, DecodesEveryTokenOfAFrameWithItsGlobalFrameAndProbability) {
    scriptWords();
    auto decoder = makeDecoder();
    const auto emissions = decoder.decode(*encoded(6), {.begin = 0, .end = 6}, 100);
    EXPECT_EQ(emissions, (std::vector<Emission>{{.token = 1, .frame = 101, .prob = 0.1f},
                                                {.token = 2, .frame = 101, .prob = 0.2f},
                                                {.token = 3, .frame = 104, .prob = 0.3f}}));
    // The first run feeds the blank on zero states; each emitted token is fed on the state after the last.
    EXPECT_EQ(decoderInputs(), (std::vector<DecoderInput>{{1024, 0}, {1, 1}, {2, 2}, {3, 3}}));
}

TEST_F(UnifiedRnntDecoderTest, TwoRangesOfAStreamDecodeAsOne) {
    scriptWords();
    auto whole = makeDecoder();
    const auto atOnce = whole.decode(*encoded(6), {.begin = 0, .end = 6}, 0);

    scriptWords();
    auto split = makeDecoder();
    auto inParts = split.decode(*encoded(6), {.begin = 0, .end = 3}, 0);
    const auto second = split.decode(*encoded(6), {.begin = 3, .end = 6}, 0);
    inParts.insert(inParts.end(), second.begin(), second.end());
    EXPECT_EQ(inParts, atOnce);
    // The second call starts again from the last token and the state from before it.
    const auto inputs = decoderInputs();
    EXPECT_EQ(inputs[7], (DecoderInput{2, 2}));
}

TEST_F(UnifiedRnntDecoderTest, AFrameThatNeverAnswersBlankEmitsTheSymbolLimitAndMovesOn) {
    models.script(0, 0, std::vector<int>(12, 4));
    models.script(0, 1, {5});
    auto decoder = makeDecoder();
    const auto emissions = decoder.decode(*encoded(2), {.begin = 0, .end = 2}, 0);
    ASSERT_EQ(emissions.size(), 11u);
    EXPECT_TRUE(std::ranges::all_of(emissions.begin(), emissions.end() - 1, [](const Emission& emission) {
        return emission.token == 4 && emission.frame == 0;
    }));
    EXPECT_EQ(emissions.back(), (Emission{.token = 5, .frame = 1, .prob = 0.5f}));

    models.script(1, 0, {4});
    EXPECT_TRUE(makeDecoder({.maxSymbolsPerFrame = 0}).decode(*encoded(1), {.begin = 0, .end = 1}, 0).empty());
}

TEST_F(UnifiedRnntDecoderTest, AMissingProbabilityIsZeroAndMissingTokensOrStatesFail) {
    struct Case {
        std::set<std::string> omitted;
        std::string error;
    };
    const std::vector<Case> cases{
        {{"token_prob"}, "nothing thrown"},
        {{"token_id"}, "ASR processing failed: Unified joint decision missing token_id"},
        {{"decoder"}, "ASR processing failed: Unified decoder failed"},
        {{"h_out"}, "ASR processing failed: Unified decoder failed"},
        {{"c_out"}, "ASR processing failed: Unified decoder failed"},
    };
    for (const auto& c : cases) {
        models.omitOutputs(c.omitted);
        auto decoder = makeDecoder();
        std::vector<Emission> emissions;
        models.script(0, 0, {3});
        EXPECT_EQ(testsupport::errorText([&] { emissions = decoder.decode(*encoded(1), {.begin = 0, .end = 1}, 0); }),
                  c.error);
        if (c.omitted.contains("token_prob")) {
            EXPECT_EQ(emissions, (std::vector<Emission>{{.token = 3, .frame = 0, .prob = 0.0f}}));
        }
    }
}

TEST_F(UnifiedRnntDecoderTest, AFailedCallAndAResetLeaveTheStoredStateAsItShouldBe) {
    models.script(0, 0, {1});
    models.script(0, 1, {2});
    auto decoder = makeDecoder();
    decoder.decode(*encoded(2), {.begin = 0, .end = 1}, 0);
    models.joint().failPredictionsWith(std::make_exception_ptr(std::runtime_error("joint down")));
    EXPECT_EQ(testsupport::errorText([&] { decoder.decode(*encoded(2), {.begin = 1, .end = 2}, 0); }), "joint down");
    models.joint().failPredictionsWith(nullptr);
    EXPECT_TRUE(decoder.decode(*encoded(2), {.begin = 0, .end = 0}, 0).empty());
    decoder.reset();
    EXPECT_TRUE(decoder.decode(*encoded(2), {.begin = 0, .end = 0}, 0).empty());
    const auto inputs = decoderInputs();
    // Before the failure, after it, and after the reset.
    EXPECT_EQ(std::vector<DecoderInput>(inputs.end() - 3, inputs.end()),
              (std::vector<DecoderInput>{{1, 1}, {1, 1}, {1024, 0}}));
}

} // namespace
} // namespace quorl
