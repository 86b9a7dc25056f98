#pragma once

#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"
#include "QuorlAudio/asr/streaming/UnifiedModelSet.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace quorl {

// Finds a unified model set in the model cache or downloads it, and loads it: the encoder where the engine's
// configuration puts it (never an 8-bit encoder on the GPU), the decoder and joint decision on the CPU, the
// vocabulary, then the greedy decoder and the mel front end. The streaming engine and the offline recogniser
// differ only in the values below.
struct UnifiedModelLoader {
    // The engine's logger and its name for the models in log lines ("Parakeet Unified" or "Parakeet Unified
    // offline").
    AppLogger logger;
    std::string label;
    std::string encoderFile;
    std::optional<std::string> downloadVariant;
    std::set<std::string> extraModelNames;
    // Samples of the window the mel front end is built for.
    std::int64_t melWindowSamples = 0;
    // Logged once the set is loaded.
    std::string loadedMessage;
    UnifiedConfig config;
    UnifiedEncoderPrecision encoderPrecision = UnifiedEncoderPrecision::int8;

    // The set folder under `to` (default: Application Support / "QuorlAudio" / "Models") is taken as cached
    // when the encoder file is there; otherwise the repository is downloaded first. Download and load
    // failures are thrown unchanged.
    void load(UnifiedModelSet& models, const std::optional<std::filesystem::path>& to,
              const platform::ml::ModelConfiguration& configuration, const ProgressHandler& progressHandler) const;
    // Loads the set in `from`, storing each part in `models` as soon as it is ready: a failure keeps what
    // was stored before it.
    void loadFrom(UnifiedModelSet& models, const std::filesystem::path& from,
                  const platform::ml::ModelConfiguration& configuration) const;

    // Where the encoder goes: as asked, except that an 8-bit encoder never gets the GPU (all units become the
    // CPU and the Neural Engine, the CPU and the GPU become the CPU alone).
    platform::ml::ModelConfiguration encoderConfiguration(const platform::ml::ModelConfiguration& configuration) const;
};

} // namespace quorl
