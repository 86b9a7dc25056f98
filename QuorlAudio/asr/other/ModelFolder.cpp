#include "QuorlAudio/asr/other/ModelFolder.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/ml/CompiledBundle.hpp"
#include "platform/sys/PathPresence.hpp"

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;

constexpr std::string_view compiledExtension = ".mlmodelc";
constexpr std::string_view packageExtension = ".mlpackage";

fs::path entry(const fs::path& folder, std::string_view name, std::string_view extension) {
    return folder / concatenated({name, extension});
}

} // namespace

fs::path modelsRootDirectory() {
    try {
        return MLModelConfigurationUtils::defaultModelsDirectory();
    } catch (const platform::core::SystemError&) {
        return fs::temp_directory_path() / "QuorlAudio" / "Models";
    }
}

bool compiledModelExists(const fs::path& folder, std::string_view name) {
    return platform::sys::isPresent(entry(folder, name, compiledExtension));
}

std::shared_ptr<platform::ml::Model> loadFolderModel(std::string_view family, std::string_view named,
                                                     const fs::path& from,
                                                     const platform::ml::ModelConfiguration& configuration) {
    const fs::path compiled = entry(from, named, compiledExtension);
    if (platform::sys::isPresent(compiled)) {
        return platform::ml::Model::load(compiled, configuration);
    }
    const fs::path package = entry(from, named, packageExtension);
    if (platform::sys::isPresent(package)) {
        const platform::ml::CompiledBundle bundle(package);
        return platform::ml::Model::load(bundle.path(), configuration);
    }
    throw ASRError::processingFailed(concatenated({family, " model not found: ", named}));
}

} // namespace quorl
