#pragma once

#include "QuorlAudio/models/repo/Repo.hpp"

#include "platform/ml/ModelConfiguration.hpp"

#include <filesystem>
#include <optional>

namespace quorl {

// The configuration every model loader starts from, and the root folder of the model cache.
class MLModelConfigurationUtils {
public:
    // A new configuration with the compute units and low-precision accumulation on the GPU allowed.
    static platform::ml::ModelConfiguration defaultConfiguration(platform::ml::ComputeUnits computeUnits);

    // Application Support / "QuorlAudio" / "Models", then the repository's folder name when one is given.
    // The folder is not created here. Throws platform::core::SystemError when Application Support cannot be
    // located.
    static std::filesystem::path defaultModelsDirectory(const std::optional<Repo>& repo = std::nullopt);
};

} // namespace quorl
