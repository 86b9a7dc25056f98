#pragma once

#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "tests/QuorlAudio/models/LogLines.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorl::testing {

// The transducer repositories played by a loopback hub, Application Support in the scratch folder, and one
// kernel behind every bundle so that each model load is recorded with its configuration.
class AsrModelsTest : public ModelHubTest {
protected:
    static constexpr const char* vocabularyText = R"({"0": "\u2581hello", "1": "world"})";

    // One call of the model hub as the loader saw it.
    struct HubCall {
        Repo repo;
        std::vector<std::string> modelNames;
        std::filesystem::path directory;
        platform::ml::ComputeUnits computeUnits;
        std::optional<std::string> variant;

        bool operator==(const HubCall&) const = default;
    };

    static std::vector<std::string> modelFiles(AsrModelVersion version, ParakeetEncoderPrecision precision) {
        std::vector<std::string> files{preprocessorFileName(version)};
        if (const auto encoder = encoderFileName(version, precision)) {
            files.push_back(*encoder);
        }
        files.push_back(decoderFileName(version));
        files.push_back(jointFileName(version));
        return files;
    }

    static std::filesystem::path folderOf(AsrModelVersion version) {
        return modelsRoot() / folderName(quorl::repo(version));
    }

    // The version's models, and its vocabulary unless left out, in its default model folder.
    void cacheVersion(AsrModelVersion version, ParakeetEncoderPrecision precision = ParakeetEncoderPrecision::int8,
                      bool withVocabulary = true) {
        for (const auto& file : modelFiles(version, precision)) {
            cacheBundle(folderOf(version), file, kernel.name());
        }
        if (withVocabulary) {
            writeFile(folderOf(version) / vocabularyFileName(version), vocabularyText);
        }
    }

    // The version's repository on the hub: its models and its vocabulary.
    void serveVersion(AsrModelVersion version, ParakeetEncoderPrecision precision = ParakeetEncoderPrecision::int8) {
        for (const auto& file : modelFiles(version, precision)) {
            putBundle(quorl::repo(version), file, kernel.name());
        }
        hub.putFile(remotePath(quorl::repo(version)), vocabularyFileName(version), vocabularyText);
    }

    // The hub's loads, recorded into `calls`; the answer lacks `withheld` when given.
    AsrModels::ModelHubLoader recordingLoader(std::vector<HubCall>& calls,
                                              std::optional<std::string> withheld = std::nullopt) {
        return [this, &calls, withheld](Repo repository, const std::vector<std::string>& names,
                                        const std::filesystem::path& directory, platform::ml::ComputeUnits computeUnits,
                                        const std::optional<std::string>& variant, const ProgressHandler& handler) {
            calls.push_back(HubCall{.repo = repository,
                                    .modelNames = names,
                                    .directory = directory,
                                    .computeUnits = computeUnits,
                                    .variant = variant});
            auto models = AsrModels::hubLoader(modelHub)(repository, names, directory, computeUnits, variant, handler);
            if (withheld) {
                models.erase(*withheld);
            }
            return models;
        };
    }

    // Each bundle the runtime loaded, with the compute units it was loaded for, in order.
    std::vector<std::pair<std::filesystem::path, platform::ml::ComputeUnits>> loadedBundles() const {
        std::vector<std::pair<std::filesystem::path, platform::ml::ComputeUnits>> bundles;
        for (const auto& load : kernel.loads()) {
            bundles.emplace_back(load.bundlePath, load.configuration.computeUnits);
        }
        return bundles;
    }

    std::vector<std::string> modelSetLines() const { return logLines(sink, "AsrModels"); }

    // The progress runs reported, one per model-hub load: each ends at 1.0 with no model name.
    std::size_t progressRuns() {
        std::size_t runs = 0;
        for (const auto& report : reports()) {
            runs += report.fractionCompleted == 1.0 && report.phase == DownloadPhase::compiling("") ? 1 : 0;
        }
        return runs;
    }

    testsupport::ScriptedKernel kernel{"asr-models"};
};

} // namespace quorl::testing
