#pragma once

#include "QuorlAudio/foundation/TokenVocabulary.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"

#include "platform/ml/Model.hpp"

#include <filesystem>
#include <memory>

namespace quorl {

class AppLogger;

// The loaded Paraformer set: preprocessor (waveform to features), encoder, the CIF-alpha model (encoder rows
// to firing weights), the decoder and the vocabulary. A plain value: copies share the models.
//
// Every file lives in one folder, <models root>/paraformer-large-zh, the models root being Application
// Support/QuorlAudio/Models (the temporary folder in place of Application Support where there is none). A
// model may be there as a compiled ".mlmodelc" bundle or only as a ".mlpackage", compiled at every load.
struct ParaformerModels {
    std::shared_ptr<platform::ml::Model> preprocessor;
    std::shared_ptr<platform::ml::Model> encoder;
    std::shared_ptr<platform::ml::Model> cifAlphas;
    std::shared_ptr<platform::ml::Model> decoder;
    TokenVocabulary vocabulary;

    // What to download, written with designated initialisers: `{.precision = …, .force = true}`.
    struct DownloadRequest {
        ParaformerPrecision precision;
        // Removes the folder first and always fetches.
        bool force = false;
    };

    // The model folder, after fetching the repository from the hub unless the precision's files are already
    // there. Progress (0 to 0.5) is reported only while files are fetched; hub failures pass through unchanged.
    static std::filesystem::path download(const DownloadRequest& request, const ProgressHandler& progressHandler = {});
    // Loads the precision's four models and the vocabulary from the folder: the preprocessor on the CPU alone,
    // the others on the CPU and the neural engine. Throws ASRError::processingFailed for a model missing in both
    // forms or a vocabulary of another shape; runtime and file-read errors pass through unchanged.
    static ParaformerModels load(const std::filesystem::path& from, ParaformerPrecision precision);
    // download without force, then load.
    static ParaformerModels downloadAndLoad(ParaformerPrecision precision, const ProgressHandler& progressHandler = {});
    // Whether the folder holds the compiled bundles of the precision and "vocab.json" (existence only).
    static bool modelsExist(const std::filesystem::path& at, ParaformerPrecision precision);

    // "vocab.json" of the folder as an array of pieces or an object from decimal ids to pieces; any other
    // content fails with ASRError::processingFailed. Shared with the SenseVoice model set.
    static TokenVocabulary loadVocabulary(const std::filesystem::path& from);

private:
    static const AppLogger& logger();
};

} // namespace quorl
