#pragma once

#include "QuorlAudio/diarization/streaming/SortformerModels.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <nlohmann/json.hpp>

#include <atomic>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

namespace quorl::testing {

// Which outputs the stand-in model publishes.
struct SortformerTestOutputs {
    bool predictionsOut = true;
    bool predictions = false;
    bool lengthsOut = true;
    bool lengths = false;
    bool embeddingsOut = true;
    bool embeddings = false;
    // Publishes "chunk_pre_encoder_embs_out" in half precision.
    bool halfPrecisionEmbeddings = false;
    // Publishes "chunk_pre_encoder_lengths_out" with no element.
    bool emptyLengthsOut = false;
};

// A stand-in Sortformer streaming model for the default preset. Each output frame's probability of speaker 0
// follows the loudness of its eight mel frames, speaker 1 is its complement and the other two are silent; the
// chunk embeddings repeat that loudness. The FIFO and cache frames are predicted as 0.1 for every speaker.
class SortformerTestModel {
public:
    explicit SortformerTestModel(std::string kernelName = "sortformer-test", SortformerTestOutputs outputs = {});

    // The ".mlpackage" folder for `load`, with the creator-defined metadata when given.
    std::filesystem::path writePackage(const std::filesystem::path& folder,
                                       const nlohmann::json& creatorDefined = nullptr) const;
    // A model set loaded from a freshly written package.
    SortformerModels load(const std::filesystem::path& folder, const nlohmann::json& creatorDefined = nullptr) const;

    // Called at the start of every prediction with its index; may throw to fail that prediction.
    std::function<void(std::size_t)> beforePrediction;

    testsupport::ScriptedKernel kernel;

    // The loudness read from one output frame's eight mel frames, and its speaker-0 probability.
    static float loudness(const float* melFrames, std::size_t frameCount);

private:
    testsupport::ScriptedKernel::Outputs predict(const testsupport::ScriptedKernel::Call& call) const;

    SortformerTestOutputs outputs_;
};

} // namespace quorl::testing
