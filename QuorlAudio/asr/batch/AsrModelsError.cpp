#include "QuorlAudio/asr/batch/AsrModelsError.hpp"

#include "platform/core/Concatenated.hpp"

namespace quorl {

using platform::core::concatenated;

AsrModelsError::AsrModelsError(Kind kind, const std::string& description)
    : platform::core::Error(description), kind_(kind) {}

AsrModelsError AsrModelsError::modelNotFound(const std::string& name, const std::filesystem::path& location) {
    return {Kind::modelNotFound, concatenated({"ASR model '", name, "' not found at: ", location.string()})};
}

AsrModelsError AsrModelsError::downloadFailed(const std::string& message) {
    return {Kind::downloadFailed, concatenated({"Failed to download ASR models: ", message})};
}

AsrModelsError AsrModelsError::loadingFailed(const std::string& message) {
    return {Kind::loadingFailed, concatenated({"Failed to load ASR models: ", message})};
}

AsrModelsError AsrModelsError::modelCompilationFailed(const std::string& message) {
    return {Kind::modelCompilationFailed,
            concatenated({"Failed to compile ASR models: ", message, ". Try deleting the models and re-downloading."})};
}

} // namespace quorl
