#pragma once

#include "platform/ml/Model.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <filesystem>
#include <memory>
#include <string_view>

namespace quorl {

// The folders the recognisers of this area keep their models in, shared by the Paraformer and SenseVoice sets.

// Application Support/QuorlAudio/Models, or the temporary folder's QuorlAudio/Models where there is no
// Application Support folder.
std::filesystem::path modelsRootDirectory();

// Whether the folder holds the compiled bundle "<name>.mlmodelc" (existence only).
bool compiledModelExists(const std::filesystem::path& folder, std::string_view name);

// The model `named` from the folder: its compiled bundle, else its ".mlpackage" compiled into a temporary place
// that is removed once loaded, so the package is compiled at every load and nothing is written into the folder.
// Neither present: ASRError::processingFailed("<family> model not found: <name>"). Runtime errors pass through.
std::shared_ptr<platform::ml::Model> loadFolderModel(std::string_view family, std::string_view named,
                                                     const std::filesystem::path& from,
                                                     const platform::ml::ModelConfiguration& configuration);

} // namespace quorl
