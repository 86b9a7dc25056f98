#pragma once

#include "QuorlAudio/foundation/TokenVocabulary.hpp"

#include "tests/support/LoopbackHub.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <string>

namespace quorl {

// Scripted SenseVoice models written as bundles: the preprocessor and the three encoder builds share one
// kernel each, whose scripts the tests set.
class SenseVoiceTestModels {
public:
    explicit SenseVoiceTestModels(TokenVocabulary vocabulary = {});

    // The "model.json" documents by model base name ("SenseVoicePreprocessor", "SenseVoiceSmall", ...).
    static std::map<std::string, nlohmann::json> manifests();
    // Every compiled bundle of every precision and "vocab.json" (the vocabulary as an object) into `folder`.
    void writeModelFolder(const std::filesystem::path& folder) const;
    // The same files as the hub serves them for the SenseVoice repository.
    void serve(testsupport::LoopbackHub& hub) const;

    testsupport::ScriptedKernel preprocessor{"sensevoice-test-preprocessor"};
    testsupport::ScriptedKernel encoder{"sensevoice-test-encoder"};

private:
    std::string vocabularyDocument() const;

    TokenVocabulary vocabulary_;
};

} // namespace quorl
