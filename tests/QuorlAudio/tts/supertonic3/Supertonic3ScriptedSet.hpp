#pragma once

#include "QuorlAudio/tts/supertonic3/Supertonic3VectorEstimator.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorl {

// The four models of a Supertonic-3 set run by scripted kernels that record their inputs: the duration
// predictor answers the test's durations, the text encoder a constant embedding, each estimator step adds 1 to
// the latent, and the vocoder answers samples that tell its calls apart.
class Supertonic3ScriptedSet {
public:
    Supertonic3ScriptedSet();
    Supertonic3ScriptedSet(const Supertonic3ScriptedSet&) = delete;
    Supertonic3ScriptedSet& operator=(const Supertonic3ScriptedSet&) = delete;

    void write(const std::filesystem::path& repoDir, const Supertonic3VectorEstimator& estimator) const;

    // Sample `index` of the vocoder's call `call`: never 0, so silences stand out.
    static float wavSample(std::size_t call, std::size_t index);

    // Seconds the duration predictor answers, call after call; the last repeats.
    std::vector<float> durations{1.0F};
    // Samples of each "wav"; none: the latent's frames × 3072.
    std::optional<std::size_t> wavLength;
    // Outputs the kernels leave out.
    std::set<std::string> omittedOutputs;

    testsupport::ScriptedKernel durationPredictor;
    testsupport::ScriptedKernel textEncoder;
    testsupport::ScriptedKernel vectorEstimator;
    testsupport::ScriptedKernel vocoder;

private:
    using Outputs = testsupport::ScriptedKernel::Outputs;
    using Call = testsupport::ScriptedKernel::Call;

    Outputs answer(const std::string& name, platform::ml::FeatureValue value) const;
    Outputs predictDuration(const Call& call) const;
    Outputs refine(const Call& call) const;
    Outputs vocode(const Call& call) const;
};

} // namespace quorl
