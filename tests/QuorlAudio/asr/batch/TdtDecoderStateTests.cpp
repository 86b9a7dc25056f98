#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/asr/batch/TdtDurationMapping.hpp"
#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"
#include "QuorlAudio/foundation/MultiArrayReset.hpp"

#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DictionaryFeatureProvider;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

bool readsZeroEverywhere(const MultiArray& array) {
    for (const double value : testsupport::valuesOf(array)) {
        if (value != 0) {
            return false;
        }
    }
    return true;
}

TEST(TdtDecoderState, MakeGivesZeroedAlignedArraysAndNothingElse) {
    const TdtDecoderState state = TdtDecoderState::make(2);
    for (const auto& array : {state.hiddenState, state.cellState}) {
        EXPECT_EQ(array->shape(), (MultiArray::Shape{2, 1, 640}));
        EXPECT_EQ(array->dataType(), platform::ml::DataType::float32);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(array->dataPointer()) % 64, 0u);
        EXPECT_TRUE(readsZeroEverywhere(*array));
    }
    EXPECT_NE(state.hiddenState, state.cellState);
    EXPECT_FALSE(state.lastToken.has_value());
    EXPECT_EQ(state.predictorOutput, nullptr);
    EXPECT_FALSE(state.timeJump.has_value());
}

TEST(TdtDecoderState, FailedAllocationIsAnErrorTheCallerCanHandle) {
    try {
        TdtDecoderState::make(-1);
        FAIL() << "no error";
    } catch (const ASRError& error) {
        EXPECT_EQ(error.kind(), ASRError::Kind::processingFailed);
        EXPECT_STREQ(error.what(),
                     "ASR processing failed: Failed to allocate decoder state: ANEMemoryError.invalidShape");
    }
    EXPECT_THROW(TdtDecoderState(-1), ANEMemoryUtils::ANEMemoryError);
}

TEST(TdtDecoderState, CopiesShareTheirArraysButSeparateStatesDoNot) {
    const TdtDecoderState original = TdtDecoderState::make(1);
    const TdtDecoderState copy = original;
    const TdtDecoderState other = TdtDecoderState::make(1);

    copy.hiddenState->at<float>({0, 0, 5}) = 3;
    copy.cellState->at<float>({0, 0, 6}) = 4;

    EXPECT_EQ(original.hiddenState->at<float>({0, 0, 5}), 3);
    EXPECT_EQ(original.cellState->at<float>({0, 0, 6}), 4);
    EXPECT_TRUE(readsZeroEverywhere(*other.hiddenState));
    EXPECT_TRUE(readsZeroEverywhere(*other.cellState));
}

TEST(TdtDecoderState, ResetZeroesTheSameArraysAndForgetsTheRest) {
    TdtDecoderState state = TdtDecoderState::make(2);
    const auto hidden = state.hiddenState;
    const auto cell = state.cellState;
    reset(*hidden, 1.5);
    reset(*cell, -2);
    state.lastToken = 7;
    state.predictorOutput = testsupport::makeArray({1, 1, 1}, {1});
    state.timeJump = 3;

    state.reset();

    EXPECT_EQ(state.hiddenState, hidden);
    EXPECT_EQ(state.cellState, cell);
    EXPECT_TRUE(readsZeroEverywhere(*hidden));
    EXPECT_TRUE(readsZeroEverywhere(*cell));
    EXPECT_FALSE(state.lastToken.has_value());
    EXPECT_EQ(state.predictorOutput, nullptr);
    EXPECT_FALSE(state.timeJump.has_value());
}

TEST(TdtDecoderState, UpdateTakesOnlyTheRecurrentArraysTheOutputHolds) {
    TdtDecoderState state = TdtDecoderState::make(1);
    const auto cell = state.cellState;
    const auto newHidden = std::make_shared<MultiArray>(MultiArray::Shape{1, 1, 640}, platform::ml::DataType::float32);

    state.update(DictionaryFeatureProvider({{"h_out", FeatureValue(newHidden)}}));
    EXPECT_EQ(state.hiddenState, newHidden);
    EXPECT_EQ(state.cellState, cell);

    state.update(DictionaryFeatureProvider({{"h_out", FeatureValue(std::int64_t{1})}}));
    EXPECT_EQ(state.hiddenState, newHidden);
}

TEST(TdtDurationMapping, MapsClassesInsideTheBinsAndRejectsOthers) {
    const std::vector<int> bins{0, 1, 2, 3, 4};
    EXPECT_EQ(TdtDurationMapping::mapDurationBin(0, bins), 0);
    EXPECT_EQ(TdtDurationMapping::mapDurationBin(4, bins), 4);
    EXPECT_EQ(TdtDurationMapping::mapDurationBin(1, {0, 7}), 7);
    for (const int index : {5, -1}) {
        try {
            TdtDurationMapping::mapDurationBin(index, bins);
            ADD_FAILURE() << "no error for " << index;
        } catch (const ASRError& error) {
            EXPECT_EQ(error.message(), "Duration bin index out of range: " + std::to_string(index));
        }
    }
}

} // namespace
} // namespace quorl
