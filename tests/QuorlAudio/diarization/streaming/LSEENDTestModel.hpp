#pragma once

#include "QuorlAudio/diarization/streaming/LSEENDMetadata.hpp"
#include "QuorlAudio/diarization/streaming/LSEENDModel.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorl::testing {

// Small LS-EEND sizes: 8 kHz, hop 80, 10 mel frames per output frame of 0.1 s, 4 frames per chunk (3200
// samples), 2 speaker slots, a convolution delay of 3 frames.
LSEENDMetadata smallLSEENDMetadata();

// The metadata as the model carries it: snake-case keys.
nlohmann::json snakeCaseConfig(const LSEENDMetadata& metadata);

// A stand-in LS-EEND model. Every prediction adds 1 to every state element, so the count of predictions run
// since the state was last zero can be read from it. An output frame whose ten mel frames lie on average
// above -1 (speech, after the running-mean normalisation) gets each slot's probability from
// `slotProbabilities` (0 for slots beyond it); any other frame (the silence that ends a stream) gets 0. Its probabilities come back in an array whose
// frame stride is padded, as the accelerator lays them out.
class LSEENDTestModel {
public:
    explicit LSEENDTestModel(std::string kernelName, LSEENDMetadata metadata = smallLSEENDMetadata());

    // The bundle folder (a package when the name ends in ".mlpackage") with the config in its metadata, or
    // with the creator-defined metadata given instead.
    std::filesystem::path write(const std::filesystem::path& folder, const std::string& name = "LSEEND.mlmodelc",
                                const nlohmann::json& creatorDefined = nullptr) const;
    std::shared_ptr<LSEENDModel> load(const std::filesystem::path& folder) const;

    LSEENDMetadata metadata;
    std::vector<float> slotProbabilities{0.9f, 0.1f};
    // Called at the start of every prediction with its index; may throw to fail that prediction.
    std::function<void(std::size_t)> beforePrediction;
    testsupport::ScriptedKernel kernel;

private:
    float meanLevel(const platform::ml::MultiArray& features, std::size_t frame) const;
    testsupport::ScriptedKernel::Outputs predict(const testsupport::ScriptedKernel::Call& call) const;
};

} // namespace quorl::testing
