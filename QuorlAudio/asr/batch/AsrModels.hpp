#pragma once

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"
#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelConfiguration.hpp"
#include "platform/ml/PredictionOptions.hpp"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorl {

class AppLogger;
class ModelHub;

// The loaded models of one TDT transducer recogniser, its vocabulary and the configuration they were loaded
// with. A plain value: copies share the model objects.
//
// Every operation given a directory works on the version's model folder (its repository's folder name)
// inside that directory's parent, so the default cache folder and any sibling of it name the same files.
struct AsrModels {
    std::shared_ptr<platform::ml::Model> encoder; // null for the fused tdtCtc110m
    std::shared_ptr<platform::ml::Model> preprocessor;
    std::shared_ptr<platform::ml::Model> decoder;
    std::shared_ptr<platform::ml::Model> joint;
    std::shared_ptr<platform::ml::Model> ctcHead; // only tdtCtc110m may have one
    platform::ml::ModelConfiguration configuration;
    std::unordered_map<int, std::string> vocabulary;
    AsrModelVersion version = AsrModelVersion::v3;

    // Whether preprocessor and encoder are separate models.
    bool usesSplitFrontend() const { return version != AsrModelVersion::tdtCtc110m; }

    // Bundle name to loaded model, as ModelHub::loadModels answers.
    using LoadedModels = std::map<std::string, std::shared_ptr<platform::ml::Model>>;

    // Obtains the compiled models of one repository the way ModelHub::loadModels does (download what is
    // missing, load, purge and retry once); tests put their own in its place.
    using ModelHubLoader =
        std::function<LoadedModels(Repo repo, const std::vector<std::string>& modelNames,
                                   const std::filesystem::path& directory, platform::ml::ComputeUnits computeUnits,
                                   const std::optional<std::string>& variant, const ProgressHandler& progressHandler)>;

    // `hub`'s loadModels (ModelHub::shared() when not given); the hub must outlive the loader.
    static ModelHubLoader hubLoader();
    static ModelHubLoader hubLoader(const ModelHub& hub);

    // The v2 set of required model files.
    static const std::set<std::string>& requiredModelNames();

    static platform::ml::ModelConfiguration defaultConfiguration();
    static platform::ml::ModelConfiguration optimizedConfiguration(bool enableFP16);
    static platform::ml::PredictionOptions optimizedPredictionOptions();
    static std::filesystem::path defaultCacheDirectory(AsrModelVersion version);

    // Which models to load and how, written with designated initialisers: `{.version = AsrModelVersion::v2}`.
    struct LoadOptions {
        // The default configuration when absent.
        std::optional<platform::ml::ModelConfiguration> configuration = std::nullopt;
        AsrModelVersion version = AsrModelVersion::v3;
        ParakeetEncoderPrecision encoderPrecision = ParakeetEncoderPrecision::int8;
        // The encoder's own processing units; the configuration's when absent.
        std::optional<platform::ml::ComputeUnits> encoderComputeUnits = std::nullopt;
    };

    // Loads every model file of the options' version through the model hub (downloading what is missing),
    // one hub call per file, then the optional CTC head and the vocabulary.
    static AsrModels load(const std::filesystem::path& from, const LoadOptions& options,
                          const ProgressHandler& progressHandler, const ModelHubLoader& loadModels = hubLoader());

    // load from the version's default cache folder, int8 encoder.
    static AsrModels loadFromCache(const std::optional<platform::ml::ModelConfiguration>& configuration,
                                   AsrModelVersion version,
                                   std::optional<platform::ml::ComputeUnits> encoderComputeUnits,
                                   const ProgressHandler& progressHandler);

    // What to download, written with designated initialisers: `{.version = AsrModelVersion::v2}`.
    struct DownloadRequest {
        // The version's default cache folder when absent.
        std::optional<std::filesystem::path> to = std::nullopt;
        // First removes the model folder, which is not always `to` itself.
        bool force = false;
        AsrModelVersion version = AsrModelVersion::v3;
        ParakeetEncoderPrecision encoderPrecision = ParakeetEncoderPrecision::int8;
    };

    // Puts the version's model files and vocabulary into the model folder unless they are all there, and
    // returns the target directory. Every transfer goes through `hub` (ModelHub::shared() when not given).
    static std::filesystem::path download(const DownloadRequest& request, const ProgressHandler& progressHandler);
    static std::filesystem::path download(const DownloadRequest& request, const ProgressHandler& progressHandler,
                                          const ModelHub& hub);

    // download without `force`, then load from the folder it returns.
    static AsrModels downloadAndLoad(const std::optional<std::filesystem::path>& to, const LoadOptions& options,
                                     const ProgressHandler& progressHandler);
    static AsrModels downloadAndLoad(const std::optional<std::filesystem::path>& to, const LoadOptions& options,
                                     const ProgressHandler& progressHandler, const ModelHub& hub);

    // The v3 int8 models from `from` or the default v3 folder; a damaged file is downloaded again by the hub.
    static AsrModels loadWithAutoRecovery(const std::optional<std::filesystem::path>& from,
                                          const std::optional<platform::ml::ModelConfiguration>& configuration,
                                          std::optional<platform::ml::ComputeUnits> encoderComputeUnits,
                                          const ProgressHandler& progressHandler);

    // Whether the version's required models and its vocabulary are all in the model folder.
    static bool modelsExist(const std::filesystem::path& at, AsrModelVersion version,
                            ParakeetEncoderPrecision encoderPrecision);
    // Infers the version from the path and checks the int8 files.
    static bool modelsExist(const std::filesystem::path& at);

    // Loads each model of the default cache folder once on the CPU; every problem is false.
    static bool isModelValid(AsrModelVersion version, ParakeetEncoderPrecision encoderPrecision);

private:
    // The logger of the model set, category "AsrModels".
    static const AppLogger& logger();

    // The version's vocabulary file in its model folder beside `from`: token id to token text.
    static std::unordered_map<int, std::string> loadVocabulary(const std::filesystem::path& from,
                                                               AsrModelVersion version);
};

} // namespace quorl
