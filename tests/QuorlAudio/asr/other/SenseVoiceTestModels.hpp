#pragma once

#include "QuorlAudio/asr/other/SenseVoiceModels.hpp"
#include "QuorlAudio/foundation/TokenVocabulary.hpp"

#include "tests/QuorlAudio/asr/other/TestModelFolder.hpp"
#include "tests/support/LoopbackHub.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include "platform/ml/DataType.hpp"
#include "platform/ml/MultiArray.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorl {

// Scripted SenseVoice models written as bundles; the three encoder builds share one kernel.
//
// The preprocessor answers `featureFrames` frames of `featureType` in which every value of frame k is k + 1, so
// a test sees which frames reach the encoder. The encoder answers `scoreFrames` frames of scores (by default
// its "speech_lengths" plus 4) over a vocabulary `scoreWidth` wide, in which frame t scores 1.0 at id
// `bestIds[t]` and 0 elsewhere (all 0 past the end of the list).
class SenseVoiceTestModels {
public:
    explicit SenseVoiceTestModels(TokenVocabulary vocabulary = {});

    // A set loaded from compiled bundles written once into a folder of the object's own.
    SenseVoiceModels modelSet();

    // The "model.json" documents by model base name ("SenseVoicePreprocessor", "SenseVoiceSmall", ...).
    static std::map<std::string, nlohmann::json> manifests();
    // Every compiled bundle of every precision and "vocab.json" (the vocabulary as an object) into `folder`.
    void writeModelFolder(const std::filesystem::path& folder) const;
    // The same files as the hub serves them for the SenseVoice repository.
    void serve(testsupport::LoopbackHub& hub) const;

    std::size_t featureFrames = 1;
    platform::ml::DataType featureType = platform::ml::DataType::float32;
    std::vector<int> bestIds;
    std::optional<std::size_t> scoreFrames;
    std::size_t scoreWidth = 16;
    platform::ml::DataType scoreType = platform::ml::DataType::float32;
    // Outputs ("features", "ctc_logits") the models leave out of their answers.
    std::set<std::string> omittedOutputs;

    testsupport::ScriptedKernel preprocessor;
    testsupport::ScriptedKernel encoder;

private:
    TestModelFolder files() const;
    testsupport::ScriptedKernel::Outputs features() const;
    testsupport::ScriptedKernel::Outputs logits(const testsupport::ScriptedKernel::Call& call) const;
    testsupport::ScriptedKernel::Outputs answer(const std::string& name,
                                                std::shared_ptr<platform::ml::MultiArray> array) const;

    TokenVocabulary vocabulary_;
    testsupport::TemporaryFolder folder_;
    bool written_ = false;
};

} // namespace quorl
