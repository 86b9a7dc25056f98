#pragma once

#include "QuorlAudio/asr/biasing/CtcModelVariant.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace quorl {

class AppLogger;

// One loaded Parakeet CTC model set: the mel-spectrogram model, the encoder with its CTC head, and the CTC
// vocabulary. A plain value: copies share the two models.
//
// The hub client keeps a set in the folder named after its repository; operations that go through the hub
// therefore work on that folder beside the one they are given (setFolder), so the files fetched and the files
// loaded are always the same ones.
struct CtcModels {
    using Vocabulary = std::map<std::int64_t, std::string>;

    std::shared_ptr<platform::ml::Model> melSpectrogram;
    std::shared_ptr<platform::ml::Model> encoder;
    platform::ml::ModelConfiguration configuration;
    // Token id to piece; its size is the blank id of the spotter.
    Vocabulary vocabulary;
    CtcModelVariant variant = CtcModelVariant::ctc110m;

    // download without force, then load from the folder it returns.
    static CtcModels downloadAndLoad(const std::optional<std::filesystem::path>& to, CtcModelVariant variant);

    // What to download, written with designated initialisers: `{.variant = CtcModelVariant::ctc06b}`.
    struct DownloadRequest {
        // The variant's cache folder when absent.
        std::optional<std::filesystem::path> to = std::nullopt;
        CtcModelVariant variant = CtcModelVariant::ctc110m;
        // First removes the set folder.
        bool force = false;
    };

    // Makes sure the set is in its folder beside the request's `to`, fetching it through the hub and proving
    // each model loads, and returns that folder.
    static std::filesystem::path download(const DownloadRequest& request);

    // Loads the two models through the hub (which fetches what is missing) and the vocabulary, all from the
    // set folder beside `from`.
    static CtcModels load(const std::filesystem::path& from, CtcModelVariant variant);

    // Loads the two models straight from `from`, compiling one that does not load as it is, without the hub.
    static CtcModels loadDirect(const std::filesystem::path& from, CtcModelVariant variant);

    // Whether `at` holds both compiled models and "vocab.json".
    static bool modelsExist(const std::filesystem::path& at);

    // Application Support / "QuorlAudio" / "Models" / the variant's folder; nothing is created.
    static std::filesystem::path defaultCacheDirectory(CtcModelVariant variant);

    // CPU and neural engine, low-precision accumulation on the GPU allowed.
    static platform::ml::ModelConfiguration defaultConfiguration();

    // The folder the hub keeps the variant's set in for a caller who names `directory`: its sibling named after
    // the repository, which is `directory` itself when that already bears the name.
    static std::filesystem::path setFolder(const std::filesystem::path& directory, CtcModelVariant variant);

private:
    static const AppLogger& logger();
    // "vocab.json" of the folder; an entry whose piece is not a string is skipped with a warning.
    static Vocabulary loadVocabulary(const std::filesystem::path& from);
};

} // namespace quorl
