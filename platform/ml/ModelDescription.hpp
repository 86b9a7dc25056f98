#pragma once

#include "platform/ml/FeatureDescription.hpp"

#include <map>
#include <string>

namespace platform::ml {

// What a loaded model (or the function of it that was loaded) takes, returns and keeps, and the metadata
// its author attached.
struct ModelDescription {
    std::map<std::string, FeatureDescription> inputDescriptionsByName;
    std::map<std::string, FeatureDescription> outputDescriptionsByName;
    std::map<std::string, FeatureDescription> stateDescriptionsByName;
    // Author, description, version, license and the like.
    std::map<std::string, std::string> metadata;
    // Free-form key-value pairs chosen by the model's creator.
    std::map<std::string, std::string> creatorDefinedMetadata;
};

} // namespace platform::ml
