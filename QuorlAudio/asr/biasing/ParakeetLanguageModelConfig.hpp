#pragma once

#include "QuorlAudio/models/repo/Repo.hpp"

#include <optional>
#include <string>

namespace quorl {

// What sets one Parakeet-style model family apart for ParakeetLanguageModels: where it lives, its file names,
// its blank and the names its log lines use.
struct ParakeetLanguageModelConfig {
    int blankId = 0;
    Repo repo = Repo::parakeetV2;
    // The family's name in log lines.
    std::string displayName;
    std::string logCategory;
    std::string preprocessorFile;
    // The int8 encoder when the set offers two.
    std::string encoderFile;
    std::string decoderFile;
    // Inside the set's folder.
    std::string vocabularyFile;
    // None for sets without a joint network.
    std::optional<std::string> jointFile;
    // The set offers an int8 encoder (encoderFile) and a full-precision one (fp32EncoderFile).
    bool hasBothEncoders = false;
    std::optional<std::string> fp32EncoderFile;
};

} // namespace quorl
