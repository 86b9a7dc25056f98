#pragma once

#include "platform/ml/ModelDescription.hpp"

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace platform::ml {

// The contents of a bundle's "model.json", which stands for the compiled model:
//
//   {
//     "kernel": "decoder",                    the registered implementation (required)
//     "library": "libkernels.so",             a kernel library to open first, relative to the bundle or absolute
//     "inputs": [feature, ...],               the main function's features and states
//     "outputs": [feature, ...],
//     "states": [feature, ...],
//     "functions": {"prefill": {"inputs": [...], "outputs": [...], "states": [...]}, ...},
//     "metadata": {"author": "...", "version": "...", "creatorDefined": {"config": "..."}}
//   }
//
// A feature is {"name": "audio", "type": "multiArray", "dataType": "float32", "shape": [1, 16000],
// "optional": false, "enumeratedShapes": [[1, 16000], [1, 32000]], "shapeRange": [[1, 1], [1, null]]}.
// "type" is one of "multiArray" (the default), "int64", "double", "string", "dictionary"; a multi-array
// needs "dataType" and "shape", the rest is optional. States are multi-array buffers.
struct ModelManifest {
    std::string kernel;
    std::optional<std::string> library;
    ModelDescription description;
    std::map<std::string, ModelDescription> functions;

    // Reads "model.json" in the folder; throws ModelError naming the folder and what is wrong.
    static ModelManifest read(const std::filesystem::path& bundlePath);

    // The description of the named function, or of the main function for none; throws ModelError for a
    // function the bundle does not have.
    ModelDescription descriptionOf(const std::optional<std::string>& functionName,
                                   const std::filesystem::path& bundlePath) const;
};

} // namespace platform::ml
