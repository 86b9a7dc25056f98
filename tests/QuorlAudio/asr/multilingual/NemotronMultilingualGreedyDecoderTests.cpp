#include "QuorlAudio/asr/multilingual/NemotronMultilingualGreedyDecoder.hpp"

#include "MultilingualTestVariant.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace quorl {
namespace {

using Model = MultilingualTestVariant::Model;
using platform::ml::DataType;
using platform::ml::MultiArray;
using testsupport::valuesOf;

// Frames 6 wide, [1, 6, 2], element (0, i, t) = 10 t + i, laid out with padding between rows.
std::shared_ptr<MultiArray> wideFrames(std::vector<float>& storage) {
    storage.assign(6 * 4, -1.0F);
    for (std::size_t i = 0; i < 6; ++i) {
        for (std::size_t t = 0; t < 2; ++t) {
            storage[i * 4 + t] = static_cast<float>(10 * t + i);
        }
    }
    return std::make_shared<MultiArray>(storage.data(), MultiArray::Shape{1, 6, 2}, DataType::float32,
                                        MultiArray::Shape{24, 4, 1}, [](void*) {});
}

TEST(NemotronMultilingualGreedyDecoderTests, AFrameWiderThanItsStepBufferGoesIntoAFreshArray) {
    MultilingualTestVariant variant(
        {{"encoder_dim", 6}, {"vocab_size", 5}, {"decoder_hidden", 8}, {"lang_tag_token_ids", {2, 3, 4}}});
    variant.add(Model::decoderJointArgmax);
    const auto config = NemotronMultilingualStreamingConfig::read(variant.folder() / "metadata.json");
    NemotronMultilingualModels models;
    models.decoderJointArgmax = platform::ml::Model::load(variant.folder() / "decoder_joint_argmax.mlmodelc");
    const NemotronMultilingualTokenizer tokenizer(variant.folder() / "tokenizer.json", config.langTagTokenIds);
    const NemotronMultilingualStepBuffers buffers{
        .encoderStep = std::make_shared<MultiArray>(MultiArray::Shape{1, 4, 1}, DataType::float32),
        .encoderProjStep = nullptr,
        .tokenInput = std::make_shared<MultiArray>(MultiArray::Shape{1, 1}, DataType::int32),
        .tokenLength = testsupport::makeArray({1}, {1}, DataType::int32),
    };
    NemotronMultilingualTranscript transcript;
    NemotronMultilingualDecoderState state{
        .token = 5,
        .h = std::make_shared<MultiArray>(MultiArray::Shape{2, 1, 8}, DataType::float32),
        .c = std::make_shared<MultiArray>(MultiArray::Shape{2, 1, 8}, DataType::float32),
    };
    std::vector<float> storage;
    const auto frames = wideFrames(storage);

    NemotronMultilingualGreedyDecoder({models, config, tokenizer, buffers}, transcript)
        .decodeChunk(*frames, nullptr, state);

    const auto calls = variant.kernel(Model::decoderJointArgmax).calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(valuesOf(*calls[1].inputs.at("encoder").multiArrayValue()),
              (std::vector<double>{10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(valuesOf(*buffers.encoderStep), std::vector<double>(4, 0.0));
}

TEST(NemotronMultilingualGreedyDecoderTests, StepArraysCopyOneFrameThroughTheStrides) {
    std::vector<float> storage;
    const auto frames = wideFrames(storage);
    EXPECT_EQ(valuesOf(*NemotronMultilingualGreedyDecoder::extractEncoderStep(*frames, 1)),
              (std::vector<double>{10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(NemotronMultilingualGreedyDecoder::sliceDecoderOutput(*frames)->shape(), (MultiArray::Shape{1, 6, 1}));
    EXPECT_EQ(valuesOf(*NemotronMultilingualGreedyDecoder::sliceDecoderOutput(*frames)),
              (std::vector<double>{0, 1, 2, 3, 4, 5}));
    const auto projected = testsupport::makeArray({1, 2, 3}, {0, 1, 2, 100, 101, 102});
    EXPECT_EQ(valuesOf(*NemotronMultilingualGreedyDecoder::extractEncoderProjStep(*projected, 1)),
              (std::vector<double>{100, 101, 102}));
}

} // namespace
} // namespace quorl
