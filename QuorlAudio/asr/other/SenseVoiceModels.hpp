#pragma once

#include "QuorlAudio/asr/other/SenseVoiceEncoderPrecision.hpp"
#include "QuorlAudio/foundation/TokenVocabulary.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"

#include "platform/ml/Model.hpp"

#include <filesystem>
#include <memory>

namespace quorl {

class AppLogger;

// The loaded SenseVoice set: the preprocessor (scaled waveform to feature frames), the encoder with its CTC head
// and the vocabulary. A plain value: copies share the models.
//
// Every file lives in <models root>/sensevoice-small, beside the Paraformer folder under the same root. A model
// may be there as a compiled ".mlmodelc" bundle or only as a ".mlpackage", compiled at every load.
struct SenseVoiceModels {
    std::shared_ptr<platform::ml::Model> preprocessor;
    std::shared_ptr<platform::ml::Model> encoder;
    TokenVocabulary vocabulary;

    // What to download, written with designated initialisers: `{.precision = …, .force = true}`.
    struct DownloadRequest {
        SenseVoiceEncoderPrecision precision;
        // Removes the folder first and always fetches.
        bool force = false;
    };

    // The model folder, after fetching the precision's files from the hub unless they are already there. Hub
    // failures pass through unchanged.
    static std::filesystem::path download(const DownloadRequest& request, const ProgressHandler& progressHandler = {});
    // Loads the preprocessor (CPU only), the precision's encoder and the vocabulary from the folder. Throws
    // ASRError::processingFailed for a model missing in both forms; runtime and file errors pass through.
    static SenseVoiceModels load(const std::filesystem::path& from, SenseVoiceEncoderPrecision precision);
    // download without force, then load.
    static SenseVoiceModels downloadAndLoad(SenseVoiceEncoderPrecision precision,
                                            const ProgressHandler& progressHandler = {});
    // Whether the folder holds the preprocessor's and the precision's encoder bundles and "vocab.json"
    // (existence only; packages do not count).
    static bool modelsExist(const std::filesystem::path& at, SenseVoiceEncoderPrecision precision);

private:
    static const AppLogger& logger();
};

} // namespace quorl
