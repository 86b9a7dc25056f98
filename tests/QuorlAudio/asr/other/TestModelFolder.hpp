#pragma once

#include "QuorlAudio/foundation/TokenVocabulary.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"

#include "tests/support/LoopbackHub.hpp"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <string>

namespace quorl {

// The files of a scripted model set, as the recognisers of this area find them: one compiled bundle per
// "model.json" document (keyed by model base name) and "vocab.json", the vocabulary written as an object from
// decimal ids to pieces.
struct TestModelFolder {
    std::map<std::string, nlohmann::json> manifests;
    TokenVocabulary vocabulary;

    // Every bundle and "vocab.json" into `folder`.
    void write(const std::filesystem::path& folder) const;
    // The same files as the hub serves them for `repo`.
    void serve(testsupport::LoopbackHub& hub, Repo repo) const;
    std::string vocabularyDocument() const;
};

} // namespace quorl
