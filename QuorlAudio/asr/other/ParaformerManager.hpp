#pragma once

#include "QuorlAudio/asr/other/FeatureRows.hpp"
#include "QuorlAudio/asr/other/ParaformerModels.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"

#include "platform/ml/MultiArray.hpp"

#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace quorl {

class AppLogger;

// Mandarin speech to text with the Paraformer models, one whole utterance per call: preprocessor, encoder in
// a fixed-length bucket, CIF weights, integrate-and-fire, decoder and greedy decoding. Calls do not influence
// each other; transcriptions on one manager run one at a time. A failure leaves the manager usable.
class ParaformerManager {
public:
    explicit ParaformerManager(ParaformerModels models);

    // Downloads the models when missing (progress 0 to 0.5 while fetching) and loads them.
    static std::shared_ptr<ParaformerManager> load(ParaformerPrecision precision,
                                                   const ProgressHandler& progressHandler = {});

    // The whole file converted to 16 kHz mono, transcribed.
    std::string transcribe(const std::filesystem::path& audioURL);
    // 16 kHz mono samples (nominally -1 to 1; up to 512 feature frames are used, later ones are ignored with a
    // warning) to text with word markers as spaces and no blanks at either end; empty when no token fires.
    // Model failures pass through; a model that leaves out its output fails with ASRError::processingFailed.
    std::string transcribe(std::span<const float> audio);

private:
    using Array = std::shared_ptr<platform::ml::MultiArray>;

    std::string transcribeLocked(std::span<const float> audio);
    Array runPreprocessor(std::span<const float> audio) const;
    Array runEncoder(const platform::ml::MultiArray& features, int validLen, int bucket) const;
    std::vector<float> runCifAlphas(const Array& encOut, int validLen) const;
    Array runDecoder(const FeatureRows& encRows, int validLen, const FeatureRows& embeds, int tokenCount) const;
    static FeatureRows rows(const platform::ml::MultiArray& array, int count, int dim);
    std::string decode(const platform::ml::MultiArray& logits, int tokenCount) const;

    static const AppLogger& logger();

    const ParaformerModels models_;
    std::mutex mutex_;
};

} // namespace quorl
