#pragma once

#include "platform/ml/DataType.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Building model bundles for tests: the "model.json" document (see platform/ml/ModelManifest.hpp) and the
// folder that holds it with "coremldata.bin".

// A multi-array feature or state entry.
nlohmann::json multiArrayFeature(const std::string& name, const std::vector<std::size_t>& shape,
                                 platform::ml::DataType dataType = platform::ml::DataType::float32);

// A multi-array feature whose dimensions given as 0 take any size from 1 up ("shapeRange"); the others are
// fixed. Its nominal shape has 1 in place of each 0.
nlohmann::json flexibleFeature(const std::string& name, const std::vector<std::size_t>& shape,
                               platform::ml::DataType dataType = platform::ml::DataType::float32);

// A document naming the kernel and the main function's inputs, outputs and states. Callers add "functions",
// "metadata" or "library" to it as they need.
nlohmann::json modelManifest(const std::string& kernel, const std::vector<nlohmann::json>& inputs,
                             const std::vector<nlohmann::json>& outputs,
                             const std::vector<nlohmann::json>& states = {});

// Writes the folder `name` (e.g. "Encoder.mlmodelc" or "Encoder.mlpackage") under `folder`, creating
// missing parents, with "coremldata.bin" and the document as "model.json"; returns its path.
std::filesystem::path writeModelBundle(const std::filesystem::path& folder, const std::string& name,
                                       const nlohmann::json& manifest);

} // namespace testsupport
