#include "tests/QuorlAudio/asr/other/TestModelFolder.hpp"

#include "platform/core/Concatenated.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <fstream>

namespace quorl {

using platform::core::concatenated;

void TestModelFolder::write(const std::filesystem::path& folder) const {
    for (const auto& [name, manifest] : manifests) {
        testsupport::writeModelBundle(folder, name + ".mlmodelc", manifest);
    }
    std::ofstream(folder / "vocab.json") << vocabularyDocument();
}

void TestModelFolder::serve(testsupport::LoopbackHub& hub, Repo repo) const {
    const std::string repository = remotePath(repo);
    for (const auto& [name, manifest] : manifests) {
        hub.putFile(repository, concatenated({name, ".mlmodelc/coremldata.bin"}), "compiled");
        hub.putFile(repository, concatenated({name, ".mlmodelc/model.json"}), manifest.dump(2));
    }
    hub.putFile(repository, "vocab.json", vocabularyDocument());
}

std::string TestModelFolder::vocabularyDocument() const {
    nlohmann::json document = nlohmann::json::object();
    for (const auto& [id, piece] : vocabulary) {
        document[std::to_string(id)] = piece;
    }
    return document.dump();
}

} // namespace quorl
