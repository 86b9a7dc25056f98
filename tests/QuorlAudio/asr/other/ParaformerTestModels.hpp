#pragma once

#include "QuorlAudio/asr/other/ParaformerModels.hpp"
#include "QuorlAudio/foundation/TokenVocabulary.hpp"

#include "platform/ml/FeatureValue.hpp"
#include "tests/QuorlAudio/asr/other/TestModelFolder.hpp"
#include "tests/support/LoopbackHub.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// Scripted Paraformer models, written as bundles and run through the runtime, that carry token ids from the
// waveform to the logits through every stage, so the recogniser's own steps (bucketing, integrate-and-fire,
// decoding) decide the text.
//
// The preprocessor asks `transcript` for the token ids of the waveform it is given (already scaled by 32768)
// and puts id k of the list in feature frame k (element 0), giving as many frames as there are ids, at least
// `featureFrames` and at least one. The encoder copies element 0 of each frame into its row; the CIF-alpha
// model answers the weight 1.0 for a row that holds an id and 0 otherwise, so each id fires once on its own
// row; the decoder answers, at each of the "tn" positions, a logit of 1.0 for the id its embedding carries
// and 0 elsewhere. `beforeDecoding` runs in the decoder before it answers, so a test can hold a transcription
// there.
class ParaformerTestModels {
public:
    using Transcript = std::function<std::vector<int>(std::span<const float> waveform)>;

    explicit ParaformerTestModels(TokenVocabulary vocabulary = {});

    // A set loaded from compiled bundles written once into a folder of the object's own.
    ParaformerModels modelSet();

    // The "model.json" documents by model base name ("ParaformerEncoder", "ParaformerEncoder_int8", ...), the
    // precisions of the encoder and of the decoder sharing one document.
    static std::map<std::string, nlohmann::json> manifests();
    // Every compiled bundle of both precisions and "vocab.json" (the vocabulary as an object) into `folder`.
    void writeModelFolder(const std::filesystem::path& folder) const;
    // The same files as the hub serves them for the Paraformer repository.
    void serve(testsupport::LoopbackHub& hub) const;

    Transcript transcript = [](std::span<const float>) { return std::vector<int>{}; };
    int featureFrames = 1;
    std::function<void()> beforeDecoding = [] {};
    // Outputs ("features", "enc_out", "alphas", "logits") the models leave out of their answers.
    std::set<std::string> omittedOutputs;

    testsupport::ScriptedKernel preprocessor;
    testsupport::ScriptedKernel encoder;
    testsupport::ScriptedKernel cifAlphas;
    testsupport::ScriptedKernel decoder;

private:
    TestModelFolder files() const;
    testsupport::ScriptedKernel::Outputs features(const testsupport::ScriptedKernel::Call& call) const;
    testsupport::ScriptedKernel::Outputs logits(const testsupport::ScriptedKernel::Call& call) const;
    testsupport::ScriptedKernel::Outputs answer(const std::string& name, platform::ml::FeatureValue value) const;

    TokenVocabulary vocabulary_;
    int vocabularyWidth_;
    testsupport::TemporaryFolder folder_;
    bool written_ = false;
};

} // namespace quorl
