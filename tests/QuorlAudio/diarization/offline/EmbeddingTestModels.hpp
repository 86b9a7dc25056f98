#pragma once

#include "QuorlAudio/diarization/offline/OfflineDiarizerConfig.hpp"
#include "QuorlAudio/diarization/offline/OfflineEmbeddingExtractor.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <nlohmann/json.hpp>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quorl::testmodels {

// The three models of the embedding stage over scripted kernels that record their calls, in the order the
// models ran ("fbank", "embedding", "plda"):
// - FBANK "audio" → "fbank_features" [1, 3]: the input's first sample, how many samples are not zero, and the
//   number of the FBANK call (from 0, warm-up included), so each window's features name their window;
// - embedding "fbank_features" [1, 3] + "weights" → "embedding" [1, 256]: the three feature values, the sum of
//   the weights, then the number of the embedding call;
// - PldaRho "embeddings" [n, 256] → "rho" [n, 128]: each row's first 128 values.
class EmbeddingTestModels {
    // First, so the bundles below can be written while the rest is built.
    mutable std::mutex mutex_;
    std::vector<std::string> order_;
    mutable int bundles_ = 0;

public:
    explicit EmbeddingTestModels(const platform::ml::MultiArray::Shape& audioShape,
                                 const platform::ml::MultiArray::Shape& weightsShape);

    OfflineEmbeddingExtractor extractor(const OfflineDiarizerConfig& config) const;
    // The FBANK or embedding bundle with other features, for construction checks.
    std::shared_ptr<platform::ml::Model> fbankModel(const std::vector<nlohmann::json>& inputs,
                                                    const std::vector<nlohmann::json>& outputs) const;
    std::shared_ptr<platform::ml::Model> embeddingModel(const std::vector<nlohmann::json>& inputs,
                                                        const std::vector<nlohmann::json>& outputs) const;
    PLDATransform pldaTransform() const;

    std::vector<std::string> order() const;

    testsupport::TemporaryFolder folder;
    testsupport::ScriptedKernel fbank;
    testsupport::ScriptedKernel embedding;
    testsupport::ScriptedKernel plda;
    std::shared_ptr<platform::ml::Model> fbankBundle;
    std::shared_ptr<platform::ml::Model> embeddingBundle;

private:
    void note(const std::string& model);
};

// The PldaRho answer: each row's first 128 values, times `scale`.
testsupport::ScriptedKernel::Outputs leadingRho(const testsupport::ScriptedKernel::Call& call, double scale = 1);

// A window of `seconds` at `sampleRate`, speakers needing `minSegment` seconds, batches of `batchSize`.
OfflineDiarizerConfig embeddingConfig(double seconds, std::int64_t sampleRate, double minSegment,
                                      std::int64_t batchSize = 32);

} // namespace quorl::testmodels
