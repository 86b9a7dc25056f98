#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"

#include "platform/sys/UserFolders.hpp"

namespace quorl {

platform::ml::ModelConfiguration
MLModelConfigurationUtils::defaultConfiguration(platform::ml::ComputeUnits computeUnits) {
    return platform::ml::ModelConfiguration{
        .computeUnits = computeUnits,
        .allowLowPrecisionAccumulationOnGPU = true,
        .functionName = std::nullopt,
    };
}

std::filesystem::path MLModelConfigurationUtils::defaultModelsDirectory(const std::optional<Repo>& repo) {
    auto directory = platform::sys::UserFolders::applicationSupport() / "QuorlAudio" / "Models";
    if (repo) {
        directory /= folderName(*repo);
    }
    return directory;
}

} // namespace quorl
