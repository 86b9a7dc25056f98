#include "QuorlAudio/diarization/offline/PLDATransform.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::ScriptedKernel;

constexpr std::size_t embeddingSize = 256;
constexpr std::size_t rhoSize = 128;

// Embedding i holds i + j / 1000 at position j.
std::vector<std::vector<float>> embeddings(std::size_t count) {
    std::vector<std::vector<float>> list(count, std::vector<float>(embeddingSize));
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t j = 0; j < embeddingSize; ++j) {
            list[i][j] = static_cast<float>(i) + static_cast<float>(j) / 1000.0f;
        }
    }
    return list;
}

class PLDATransformTest : public ::testing::Test {
protected:
    // "rho" row r, value k is the row's first embedding value plus k: each rho vector names its embedding.
    ScriptedKernel::Outputs predict(const ScriptedKernel::Call& call) const {
        const auto& input = *call.inputs.at("embeddings").multiArrayValue();
        const std::size_t rows = input.shape()[0];
        if (answer) {
            return answer(rows);
        }
        auto rho = std::make_shared<MultiArray>(MultiArray::Shape{rows, rhoSize}, DataType::float32);
        for (std::size_t row = 0; row < rows; ++row) {
            for (std::size_t k = 0; k < rhoSize; ++k) {
                rho->at<float>({row, k}) = input.at<float>({row, 0}) + static_cast<float>(k);
            }
        }
        return {{"rho", FeatureValue(rho)}};
    }

    std::vector<std::size_t> batchSizes() const {
        std::vector<std::size_t> sizes;
        for (const auto& call : kernel.calls()) {
            sizes.push_back(call.inputs.at("embeddings").multiArrayValue()->shape()[0]);
        }
        return sizes;
    }

    std::function<ScriptedKernel::Outputs(std::size_t rows)> answer;
    ScriptedKernel kernel{"offline-plda", [this](const ScriptedKernel::Call& call) { return predict(call); }};
    testsupport::TemporaryFolder folder;
    PLDATransform transform{platform::ml::Model::load(testsupport::writeModelBundle(
                                folder.path(), "PldaRho.mlmodelc", testsupport::modelManifest(kernel.name(), {}, {}))),
                            {0.25, 0.5}};
};

TEST_F(PLDATransformTest, AnEmptyListRunsNoPredictionAtAll) {
    EXPECT_TRUE(transform.transform(std::vector<std::vector<float>>{}).empty());
    EXPECT_TRUE(kernel.calls().empty());
    EXPECT_EQ(transform.psi(), (std::vector<double>{0.25, 0.5}));
}

TEST_F(PLDATransformTest, ThirtyThreeEmbeddingsMakeTheWarmUpABatchOfThirtyTwoAndOne) {
    const auto rho = transform.transform(embeddings(33));

    EXPECT_EQ(batchSizes(), (std::vector<std::size_t>{1, 32, 1}));
    const auto warmUp = testsupport::valuesOf(*kernel.calls()[0].inputs.at("embeddings").multiArrayValue());
    EXPECT_EQ(warmUp, std::vector<double>(embeddingSize, 0.0));
    const auto lastBatch = testsupport::valuesOf(*kernel.calls()[2].inputs.at("embeddings").multiArrayValue());
    EXPECT_EQ(lastBatch[255], static_cast<double>(embeddings(33)[32][255]));
    ASSERT_EQ(rho.size(), 33u);
    for (std::size_t i = 0; i < rho.size(); ++i) {
        ASSERT_EQ(rho[i].size(), rhoSize);
        EXPECT_EQ(rho[i][0], static_cast<double>(i)) << i;
        EXPECT_EQ(rho[i][127], static_cast<double>(i) + 127) << i;
    }
    EXPECT_EQ(transform.transform(embeddings(1)[0]), rho[0]);
}

TEST_F(PLDATransformTest, ACancelledTaskStopsAfterTheWarmUp) {
    platform::core::CancellationSource cancellation;
    cancellation.cancel();
    const platform::core::Task::Scope scope(cancellation.token());

    EXPECT_THROW(transform.transform(embeddings(2)), platform::core::CancellationError);
    EXPECT_EQ(batchSizes(), std::vector<std::size_t>{1});
}

TEST_F(PLDATransformTest, WrongLengthsAreRefusedBeforeAnyPrediction) {
    auto list = embeddings(3);
    list[2].pop_back();
    EXPECT_EQ(testsupport::errorText([&] { transform.transform(list); }),
              "Invalid configuration: Expected 256-dim embeddings, got 255");
    EXPECT_EQ(testsupport::errorText([&] { transform.transform(std::vector<float>(300)); }),
              "Invalid configuration: Expected 256-dim embedding, got 300");
    EXPECT_TRUE(kernel.calls().empty());
}

TEST_F(PLDATransformTest, RhoIsReadThroughItsLayoutAndMustHoldEveryRow) {
    answer = [](std::size_t rows) {
        // Half precision in rows padded to 144 values.
        const auto backing = std::make_shared<MultiArray>(MultiArray::Shape{rows, 144}, DataType::float16);
        auto rho =
            std::make_shared<MultiArray>(backing->storage(), backing->dataPointer(), MultiArray::Shape{rows, rhoSize},
                                         DataType::float16, MultiArray::Shape{144, 1});
        for (std::size_t index = 0; index < rho->count(); ++index) {
            rho->setValue(index, static_cast<double>(index / rhoSize) + 0.5);
        }
        return ScriptedKernel::Outputs{{"rho", FeatureValue(rho)}};
    };
    const auto rho = transform.transform(embeddings(2));
    EXPECT_EQ(rho,
              (std::vector<std::vector<double>>{std::vector<double>(rhoSize, 0.5), std::vector<double>(rhoSize, 1.5)}));

    const std::vector<std::pair<ScriptedKernel::Outputs, std::string>> cases{
        {{}, "Processing failed: PldaRho model did not produce rho output"},
        {{{"rho", FeatureValue(std::int64_t{4})}}, "Processing failed: PldaRho model did not produce rho output"},
        {{{"rho", FeatureValue(std::make_shared<MultiArray>(MultiArray::Shape{1, rhoSize}, DataType::float32))}},
         "Processing failed: PldaRho rho output holds 128 values but 2 embeddings need 256"},
    };
    for (const auto& [outputs, description] : cases) {
        answer = [&](std::size_t) { return outputs; };
        EXPECT_EQ(testsupport::errorText([&] { transform.transform(embeddings(2)); }), description);
    }
}

TEST(PLDAScore, IsTheCosineOfRhoVectors) {
    std::vector<double> a(rhoSize, 0.0);
    std::vector<double> b(rhoSize, 0.0);
    a[0] = 3;
    a[1] = 4;
    b[0] = 4;
    b[1] = 3;
    EXPECT_NEAR(PLDATransform::score(a, a), 1.0, 1e-12);
    EXPECT_NEAR(PLDATransform::score(a, b), 24.0 / 25.0, 1e-12);
    EXPECT_EQ(PLDATransform::score(a, std::vector<double>(rhoSize, 0.0)), 0.0);
    EXPECT_EQ(PLDATransform::score(std::vector<double>(127, 1.0), std::vector<double>(127, 1.0)), 0.0);
    EXPECT_EQ(PLDATransform::score(a, std::vector<double>(129, 1.0)), 0.0);
}

} // namespace
} // namespace quorl
