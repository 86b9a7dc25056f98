#pragma once

#include "QuorlAudio/asr/biasing/ParakeetLanguageModelConfig.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace quorl {

// One loaded Parakeet-style model set (preprocessor, encoder, decoder, optional joint, vocabulary) of the
// family its ParakeetLanguageModelConfig describes, obtained through the model hub. A plain value: copies
// share the models.
//
// The hub keeps a set in the folder named after its repository under the models root; every operation works
// on that folder for the one it is given (see setFolder), so the files fetched and the files read are the
// same ones.
struct ParakeetLanguageModels {
    using Vocabulary = std::unordered_map<int, std::string>;

    std::shared_ptr<platform::ml::Model> preprocessor;
    std::shared_ptr<platform::ml::Model> encoder;
    std::shared_ptr<platform::ml::Model> decoder;
    // Present exactly when the family names a joint.
    std::shared_ptr<platform::ml::Model> joint{};
    platform::ml::ModelConfiguration configuration;
    Vocabulary vocabulary{};
    int blankId = 0;

    // CPU and neural engine, low-precision accumulation on the GPU allowed.
    static platform::ml::ModelConfiguration defaultConfiguration();
    // Application Support / "QuorlAudio" / "Models" / the repository's folder; nothing is created.
    static std::filesystem::path defaultCacheDirectory(const ParakeetLanguageModelConfig& family);
    // The folder the hub keeps the set in for a caller who names `directory`: `directory` itself when it
    // ends in the repository's folder name, else that name beside it.
    static std::filesystem::path setFolder(const std::filesystem::path& directory,
                                           const ParakeetLanguageModelConfig& family);

    // Whether `at` holds every bundle of the set and the vocabulary; of two encoders either one will do.
    static bool modelsExist(const std::filesystem::path& at, const ParakeetLanguageModelConfig& family);

    struct DownloadRequest {
        // Default: defaultCacheDirectory.
        std::optional<std::filesystem::path> to{};
        bool useInt8Encoder = true;
        bool downloadBothEncoders = false;
        // Remove the folder first.
        bool force = false;
        ProgressHandler progressHandler{};
    };
    // Makes sure the set is on disk, fetching what is missing through the hub, and returns its folder.
    static std::filesystem::path download(const ParakeetLanguageModelConfig& family, const DownloadRequest& request);

    struct LoadRequest {
        bool useInt8Encoder = true;
        // Default: defaultConfiguration.
        std::optional<platform::ml::ModelConfiguration> configuration{};
        ProgressHandler progressHandler{};
    };
    // Loads the bundles through the hub (which fetches what is missing) and reads the vocabulary.
    static ParakeetLanguageModels load(const std::filesystem::path& from, const ParakeetLanguageModelConfig& family,
                                       const LoadRequest& request);

    // download (one encoder, without force) into `to`, then load from the folder it returns; the progress
    // handler hears both.
    static ParakeetLanguageModels downloadAndLoad(const std::optional<std::filesystem::path>& to,
                                                  const ParakeetLanguageModelConfig& family,
                                                  const LoadRequest& request);

private:
    // A JSON array of pieces, or an object from decimal ids to pieces.
    static Vocabulary loadVocabulary(const std::filesystem::path& from, const ParakeetLanguageModelConfig& family);
};

} // namespace quorl
