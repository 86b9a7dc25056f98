#include "QuorlAudio/asr/streaming/RnntDecoder.hpp"

#include "EouTestModels.hpp"
#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/streaming/RnntDecoderError.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::Model;
using platform::ml::MultiArray;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;

constexpr std::size_t hidden = EouTestModels::encoderHidden;

// A [1, hidden, frames] encoder output whose element (0, i, t) is t + i / 10, so element 0 of frame t is the
// frame mark the scripted joint reads (chunk 0). `padding` extra elements after each row and after the block
// hold 999, which no decoder input may ever show.
std::shared_ptr<MultiArray> encoderOutput(std::size_t frames, std::size_t padding = 0) {
    const std::size_t rowStride = frames + padding;
    const std::size_t blockStride = hidden * rowStride + padding;
    auto* memory = new float[blockStride];
    std::fill(memory, memory + blockStride, 999.0f);
    auto array = std::make_shared<MultiArray>(memory, MultiArray::Shape{1, hidden, frames}, DataType::float32,
                                              MultiArray::Shape{blockStride, rowStride, 1},
                                              [](void* data) { delete[] static_cast<float*>(data); });
    for (std::size_t i = 0; i < hidden; ++i) {
        for (std::size_t t = 0; t < frames; ++t) {
            array->at<float>({0, i, t}) = static_cast<float>(t) + static_cast<float>(i) / 10.0f;
        }
    }
    return array;
}

struct Decoding {
    std::shared_ptr<Model> decoder;
    std::shared_ptr<Model> joint;
};

Decoding load(const EouTestModels& models) {
    return {
        .decoder = Model::load(models.folder() / "decoder.mlmodelc"),
        .joint = Model::load(models.folder() / "joint_decision.mlmodelc"),
    };
}

TEST(RnntDecoderTests, EmitsTokensByTheTransducerRules) {
    const struct {
        const char* name;
        std::map<int, std::vector<int>> frameTokens;
        std::optional<int> validOutLen;
        std::vector<std::int64_t> tokenIds;
        std::vector<int> tokenFrames;
        bool eouDetected;
        std::int32_t lastToken;
        // Steps committed: each adds one to the hidden state.
        double hidden;
    } cases[] = {
        {"end of utterance first", {{0, {RnntDecoder::eouId}}, {1, {3}}}, std::nullopt, {}, {}, true, 1026, 0},
        {"two symbols per frame at most", {{0, {1, 2, 3}}, {1, {4}}}, std::nullopt, {1, 2, 4}, {0, 0, 1}, false, 4, 3},
        {"blank after a token", {{1, {5}}}, std::nullopt, {5}, {1}, false, 5, 1},
        {"valid frames only", {{1, {1}}, {2, {2}}, {3, {3}}}, 2, {1}, {1}, false, 1, 1},
        {"all frames without a count", {{1, {1}}, {2, {2}}, {3, {3}}}, std::nullopt, {1, 2, 3}, {1, 2, 3}, false, 3, 3},
        {"end of utterance after words",
         {{0, {1}}, {1, {RnntDecoder::eouId}}, {2, {2}}},
         std::nullopt,
         {1},
         {0},
         true,
         1,
         1},
    };
    for (const auto& testCase : cases) {
        EouTestModels models(StreamingChunkSize::ms160);
        for (const auto& [frame, tokens] : testCase.frameTokens) {
            models.script(0, frame, tokens);
        }
        const auto [decoderModel, jointModel] = load(models);
        RnntDecoder decoder(decoderModel, jointModel);
        const auto result = decoder.decodeWithEOU(*encoderOutput(4), 0, 0, testCase.validOutLen);
        EXPECT_EQ(result.tokenIds, testCase.tokenIds) << testCase.name;
        EXPECT_EQ(result.tokenFrames, testCase.tokenFrames) << testCase.name;
        EXPECT_EQ(result.eouDetected, testCase.eouDetected) << testCase.name;
        EXPECT_EQ(decoder.lastToken(), testCase.lastToken) << testCase.name;
        EXPECT_EQ(decoder.hState()->value(0), testCase.hidden) << testCase.name;
    }
}

TEST(RnntDecoderTests, ReadsEncoderFramesThroughTheirStrides) {
    EouTestModels models(StreamingChunkSize::ms160);
    const auto [decoderModel, jointModel] = load(models);
    RnntDecoder decoder(decoderModel, jointModel);
    decoder.decodeWithEOU(*encoderOutput(3, 5), 0, 1, std::nullopt);

    const auto calls = models.joint().calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(testsupport::valuesOf(*calls[0].inputs.at("encoder_step").multiArrayValue()),
              (std::vector<double>{1.0, 1.0f + 0.1f, 1.0f + 0.2f, 1.0f + 0.3f}));
    EXPECT_EQ(testsupport::valuesOf(*calls[1].inputs.at("encoder_step").multiArrayValue()),
              (std::vector<double>{2.0, 2.0f + 0.1f, 2.0f + 0.2f, 2.0f + 0.3f}));
}

TEST(RnntDecoderTests, TokenFramesCountFromTheStartOfTheChunk) {
    EouTestModels models(StreamingChunkSize::ms160);
    models.script(0, 2, {3});
    const auto [decoderModel, jointModel] = load(models);
    RnntDecoder decoder(decoderModel, jointModel);
    EXPECT_EQ(decoder.decodeWithEOU(*encoderOutput(3), 0, 2, std::nullopt).tokenFrames, std::vector<int>{2});
    EXPECT_TRUE(decoder.decodeWithEOU(*encoderOutput(2), 0, 2, std::nullopt).tokenIds.empty());
}

TEST(RnntDecoderTests, TheStateCarriesOnUntilReset) {
    EouTestModels models(StreamingChunkSize::ms160);
    models.script(0, 0, {5});
    const auto [decoderModel, jointModel] = load(models);
    RnntDecoder decoder(decoderModel, jointModel);
    decoder.decodeWithEOU(*encoderOutput(1), 0, 0, std::nullopt);
    decoder.decodeWithEOU(*encoderOutput(1), 0, 0, std::nullopt);
    decoder.resetState();
    decoder.decodeWithEOU(*encoderOutput(1), 0, 0, std::nullopt);

    std::vector<double> targets;
    for (const auto& call : models.decoder().calls()) {
        targets.push_back(call.inputs.at("targets").multiArrayValue()->value(0));
    }
    // Token 5, then blank; blank carrying 5 on; after the reset blank again.
    EXPECT_EQ(targets, (std::vector<double>{1026, 5, 5, 1026}));
    EXPECT_EQ(decoder.lastToken(), RnntDecoder::blankId);
    EXPECT_EQ(decoder.hState()->value(0), 0.0);
}

TEST(RnntDecoderTests, TheFusedModelReplacesBothNetworks) {
    EouTestModels models(StreamingChunkSize::ms160);
    models.writeFusedModel();
    models.script(0, 0, {1, 2});
    const auto [decoderModel, jointModel] = load(models);
    RnntDecoder decoder(decoderModel, jointModel,
                        Model::load(models.folder() / "decoder_joint_decision_fused.mlmodelc"));
    const auto result = decoder.decodeWithEOU(*encoderOutput(2), 0, 0, std::nullopt);
    EXPECT_EQ(result.tokenIds, (std::vector<std::int64_t>{1, 2}));
    EXPECT_TRUE(models.decoder().calls().empty());
    EXPECT_TRUE(models.joint().calls().empty());
    EXPECT_EQ(models.fused().calls().size(), 3u);
    EXPECT_EQ(decoder.hState()->value(0), 2.0);
}

// A prediction network answering a wide, padded "decoder" output [1, hidden, 3] and leaving out `missing`.
class WidePredictionNetwork {
public:
    explicit WidePredictionNetwork(const std::filesystem::path& folder, std::string missing = {})
        : kernel_("rnnt-tests-wide-decoder", [missing](const ScriptedKernel::Call& call) {
              ScriptedKernel::Outputs outputs{
                  {"decoder", encoderOutput(3, 2)},
                  {"h_out", testsupport::snapshotOf(*call.inputs.at("h_in").multiArrayValue())},
                  {"c_out", testsupport::snapshotOf(*call.inputs.at("c_in").multiArrayValue())},
              };
              outputs.erase(missing);
              return outputs;
          }) {
        const std::vector<std::size_t> state{1, 1, 640};
        model_ = Model::load(testsupport::writeModelBundle(
            folder, "wide.mlmodelc",
            testsupport::modelManifest(kernel_.name(),
                                       {multiArrayFeature("targets", {1, 1}, DataType::int32),
                                        multiArrayFeature("target_length", {1}, DataType::int32),
                                        multiArrayFeature("h_in", state), multiArrayFeature("c_in", state)},
                                       {})));
    }

    const std::shared_ptr<Model>& model() const { return model_; }

private:
    ScriptedKernel kernel_;
    std::shared_ptr<Model> model_;
};

TEST(RnntDecoderTests, AWidePredictionIsCutToItsLastPosition) {
    EouTestModels models(StreamingChunkSize::ms160);
    const WidePredictionNetwork prediction(models.folder());
    RnntDecoder decoder(prediction.model(), Model::load(models.folder() / "joint_decision.mlmodelc"));
    decoder.decodeWithEOU(*encoderOutput(1), 0, 0, std::nullopt);
    const auto calls = models.joint().calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(testsupport::valuesOf(*calls[0].inputs.at("decoder_step").multiArrayValue()),
              (std::vector<double>{2.0, 2.0f + 0.1f, 2.0f + 0.2f, 2.0f + 0.3f}));
}

TEST(RnntDecoderTests, MissingOutputsAndMalformedEncoderOutputsAreReported) {
    for (const std::string missing : {"decoder", "h_out", "c_out"}) {
        EouTestModels models(StreamingChunkSize::ms160);
        const WidePredictionNetwork prediction(models.folder(), missing);
        RnntDecoder decoder(prediction.model(), Model::load(models.folder() / "joint_decision.mlmodelc"));
        try {
            decoder.decodeWithEOU(*encoderOutput(1), 0, 0, std::nullopt);
            ADD_FAILURE() << missing << " was not missed";
        } catch (const RnntDecoderError& error) {
            EXPECT_EQ(error.name(), missing);
            EXPECT_EQ(std::string(error.what()), "RNNT decoder missing expected output: " + missing);
        }
    }
    EouTestModels models(StreamingChunkSize::ms160);
    const auto [decoderModel, jointModel] = load(models);
    RnntDecoder decoder(decoderModel, jointModel);
    const MultiArray flat(MultiArray::Shape{4, 2}, DataType::float32);
    EXPECT_THROW(decoder.decodeWithEOU(flat, 0, 0, std::nullopt), ASRError);
}

} // namespace
} // namespace quorl
