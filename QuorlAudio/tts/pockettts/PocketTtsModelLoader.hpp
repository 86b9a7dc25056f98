#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLoadedModels.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsModelSelection.hpp"

#include <filesystem>
#include <memory>

// Loads the models of a downloaded PocketTTS language pack with the processor units fixed per model and
// placement, finds their feature names and reads the pack's constants.
namespace quorl::PocketTtsModelLoader {

// Throws the runtime's loading errors, the key discoveries' errors, the constants loader's errors, and
// PocketTTSError::processingFailed for the stateful placement on a system without stateful models.
PocketTtsLoadedModels load(const PocketTtsModelSelection& selection, const std::filesystem::path& languageRoot,
                           const AppLogger& logger);

// The Mimi encoder of voice cloning, on the processor and the graphics processor.
std::shared_ptr<platform::ml::Model> loadMimiEncoder(const std::filesystem::path& bundle);

} // namespace quorl::PocketTtsModelLoader
