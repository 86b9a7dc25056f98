#include "QuorlAudio/tts/frontend/MandarinG2pwModel.hpp"

#include "tests/QuorlAudio/tts/frontend/G2pwTestModel.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Readings = std::map<int, std::string>;
using Strings = std::vector<std::string>;

// 行 lists ㄒㄧㄥˊ (label 1) before ㄏㄤˊ (label 0).
constexpr const char* catalogText = "行 ㄒㄧㄥˊ\n行 ㄏㄤˊ\n";

TEST(MandarinG2pwModelTests, NoTargetsNoPrediction) {
    G2pwTestModel fixture(catalogText);
    EXPECT_TRUE(fixture.model()->disambiguate({"行"}, {}).empty());
    EXPECT_TRUE(fixture.kernel.calls().empty());
}

TEST(MandarinG2pwModelTests, SkipsTargetsOutsideTheTextOrTheCatalogue) {
    G2pwTestModel fixture(catalogText);
    EXPECT_TRUE(fixture.model()->disambiguate({"行", "中"}, {-1, 1, 2}).empty());
    EXPECT_TRUE(fixture.kernel.calls().empty());
}

TEST(MandarinG2pwModelTests, TheFirstListedCandidateWinsATieAndAHigherScoreWinsOtherwise) {
    G2pwTestModel fixture(catalogText);
    fixture.scores = [](std::int32_t position, const auto&) {
        return position == 1 ? std::vector<float>{0.5F, 0.5F} : std::vector<float>{2.0F, 1.0F};
    };
    EXPECT_EQ(fixture.model()->disambiguate({"行", "行"}, {0, 1}), (Readings{{0, "ㄒㄧㄥˊ"}, {1, "ㄏㄤˊ"}}));

    fixture.scores = [](std::int32_t, const auto&) { return std::vector<float>{9.0F}; };
    EXPECT_EQ(fixture.model()->disambiguate({"行"}, {0}), (Readings{{0, "ㄏㄤˊ"}}))
        << "a candidate beyond the scores is ignored";
    fixture.scores = [](std::int32_t, const auto&) { return std::vector<float>{}; };
    EXPECT_EQ(fixture.model()->disambiguate({"行"}, {0}), (Readings{{0, "ㄒㄧㄥˊ"}}));
}

TEST(MandarinG2pwModelTests, SendsTheWholeTextAndTheTargetsTokenPosition) {
    G2pwTestModel fixture(catalogText);
    fixture.model(8)->disambiguate({"中", "行"}, {1});
    const auto calls = fixture.kernel.calls();
    ASSERT_EQ(calls.size(), 1U);
    const auto& inputs = calls[0].inputs;
    EXPECT_EQ(testsupport::valuesOf(*inputs.at("input_ids").multiArrayValue()),
              (std::vector<double>{2, 1, 4, 3, 0, 0, 0, 0}));
    EXPECT_EQ(inputs.at("input_ids").multiArrayValue()->shape(), (std::vector<std::size_t>{1, 8}));
    EXPECT_EQ(testsupport::valuesOf(*inputs.at("attention_mask").multiArrayValue()),
              (std::vector<double>{1, 1, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(testsupport::valuesOf(*inputs.at("token_type_ids").multiArrayValue()), std::vector<double>(8, 0));
    EXPECT_EQ(testsupport::valuesOf(*inputs.at("target_position").multiArrayValue()), (std::vector<double>{2}));
}

TEST(MandarinG2pwModelTests, TargetsCutOffByTheLengthKeepNoReading) {
    G2pwTestModel fixture(catalogText);
    const auto readings = fixture.model(512)->disambiguate(Strings(600, "行"), {520, 509});
    EXPECT_EQ(readings, (Readings{{509, "ㄒㄧㄥˊ"}}));
    ASSERT_EQ(fixture.kernel.calls().size(), 1U);
    EXPECT_EQ(testsupport::valuesOf(*fixture.kernel.calls()[0].inputs.at("target_position").multiArrayValue()),
              (std::vector<double>{510}));
}

TEST(MandarinG2pwModelTests, FailuresEndTheCall) {
    G2pwTestModel fixture(catalogText);
    fixture.answersLogits = false;
    try {
        fixture.model()->disambiguate({"行"}, {0});
        FAIL() << "nothing thrown";
    } catch (const MandarinG2pwModel::InferenceError& error) {
        EXPECT_EQ(error.kind(), MandarinG2pwModel::InferenceError::Kind::missingOutput);
        EXPECT_STREQ(error.what(), "g2pW model output 'logits' is missing");
    }

    fixture.answersLogits = true;
    fixture.kernel.failPredictionsWith(std::make_exception_ptr(std::runtime_error("kernel broke")));
    EXPECT_EQ(testsupport::errorText([&] { fixture.model()->disambiguate({"行"}, {0}); }), "kernel broke");
}

TEST(MandarinG2pwModelTests, RefusesValuesThatDoNotFillTheShape) {
    const std::vector<std::int32_t> values{1, 2, 3};
    EXPECT_EQ(testsupport::errorText([&] {
                  MandarinG2pwModel::makeInt32Array(values, {1, 512});
              }),
              "g2pW shape mismatch: expected 512 elements for shape [1, 512], got 3");
    EXPECT_EQ(testsupport::valuesOf(*MandarinG2pwModel::makeInt32Array(values, {3, 1})),
              (std::vector<double>{1, 2, 3}));
}

} // namespace
} // namespace quorl
