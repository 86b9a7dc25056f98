#include "platform/ml/ModelManifest.hpp"

#include "platform/ml/MessageText.hpp"
#include "platform/ml/ModelError.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace platform::ml {

namespace {

using nlohmann::json;

constexpr const char* manifestName = "model.json";

// Thrown while reading the document; becomes a ModelError naming the bundle.
struct ManifestProblem {
    std::string reason;
};

// A dimension of a shape or shape range: a whole number from 0 up to the largest size. A float beyond that
// range or a negative number would convert unchecked, so anything else is refused.
std::size_t sizeFrom(const json& value, const std::string& name, const char* field) {
    if (value.is_number_unsigned()) {
        return value.get<std::size_t>();
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        constexpr double sizeLimit = 0x1p64;
        if (number >= 0 && number < sizeLimit && number == std::floor(number)) {
            return static_cast<std::size_t>(number);
        }
    }
    throw ManifestProblem{concat({"\"", name, "\" has an invalid \"", field, "\": ", value.dump(), " is not a size"})};
}

std::vector<std::size_t> shapeFrom(const json& value, const std::string& name, const char* field) {
    if (!value.is_array()) {
        throw ManifestProblem{concat({"\"", name, "\" has an invalid \"", field, "\": not a list of sizes"})};
    }
    std::vector<std::size_t> shape;
    for (const auto& dimension : value) {
        shape.push_back(sizeFrom(dimension, name, field));
    }
    return shape;
}

std::vector<SizeRange> rangesFrom(const json& value, const std::string& name) {
    constexpr const char* field = "shapeRange";
    std::vector<SizeRange> ranges;
    for (const auto& range : value) {
        ranges.push_back(SizeRange{
            .lowerBound = sizeFrom(range.at(0), name, field),
            .upperBound = range.at(1).is_null() ? std::nullopt : std::optional(sizeFrom(range.at(1), name, field)),
        });
    }
    return ranges;
}

MultiArrayConstraint constraintFrom(const json& feature, const std::string& name) {
    if (!feature.contains("dataType") || !feature.contains("shape")) {
        throw ManifestProblem{concat({"multi-array \"", name, "\" needs \"dataType\" and \"shape\""})};
    }
    const auto dataTypeName = feature.at("dataType").get<std::string>();
    const auto dataType = core::fromRawValue<DataType>(dataTypeName);
    if (!dataType) {
        throw ManifestProblem{concat({"\"", name, "\" has unknown data type \"", dataTypeName, "\""})};
    }
    MultiArrayConstraint constraint{
        .shape = shapeFrom(feature.at("shape"), name, "shape"), .dataType = *dataType, .shapeConstraint = {}};
    if (feature.contains("enumeratedShapes")) {
        for (const auto& shape : feature.at("enumeratedShapes")) {
            constraint.shapeConstraint.enumeratedShapes.push_back(shapeFrom(shape, name, "enumeratedShapes"));
        }
    }
    if (feature.contains("shapeRange")) {
        constraint.shapeConstraint.sizeRangeForDimension = rangesFrom(feature.at("shapeRange"), name);
    }
    return constraint;
}

FeatureType featureTypeFrom(const json& feature, const std::string& name, bool isState) {
    if (isState) {
        return FeatureType::state;
    }
    const auto typeName = feature.value("type", std::string("multiArray"));
    const auto type = core::fromRawValue<FeatureType>(typeName);
    if (!type || *type == FeatureType::state) {
        throw ManifestProblem{concat({"\"", name, "\" has unknown feature type \"", typeName, "\""})};
    }
    return *type;
}

// A padded layout gives every dimension a stride at least as long as what lies inside it.
std::vector<std::size_t> stateStridesFrom(const json& feature, const std::string& name,
                                          const std::vector<std::size_t>& shape) {
    if (!feature.contains("strides")) {
        return {};
    }
    auto strides = shapeFrom(feature.at("strides"), name, "strides");
    bool laysOut = strides.size() == shape.size();
    std::size_t inner = 1;
    for (std::size_t index = strides.size(); laysOut && index-- > 0;) {
        laysOut = strides[index] >= inner;
        inner = strides[index] * std::max<std::size_t>(shape[index], 1);
    }
    if (!laysOut) {
        throw ManifestProblem{concat({"\"", name, "\" has \"strides\" that do not lay out its shape"})};
    }
    return strides;
}

FeatureDescription featureFrom(const json& feature, bool isState) {
    if (!feature.contains("name") || !feature.at("name").is_string()) {
        throw ManifestProblem{"a feature has no \"name\""};
    }
    const auto name = feature.at("name").get<std::string>();
    const auto type = featureTypeFrom(feature, name, isState);
    const bool hasArray = type == FeatureType::multiArray || type == FeatureType::state;
    auto constraint = hasArray ? std::optional(constraintFrom(feature, name)) : std::nullopt;
    if (isState) {
        constraint->stateStrides = stateStridesFrom(feature, name, constraint->shape);
    }
    return FeatureDescription{
        .name = name,
        .type = type,
        .isOptional = feature.value("optional", false),
        .multiArrayConstraint = std::move(constraint),
    };
}

std::map<std::string, FeatureDescription> featuresFrom(const json& function, const char* key) {
    std::map<std::string, FeatureDescription> features;
    if (!function.contains(key)) {
        return features;
    }
    for (const auto& entry : function.at(key)) {
        auto feature = featureFrom(entry, std::string_view(key) == "states");
        const auto name = feature.name;
        if (!features.emplace(name, std::move(feature)).second) {
            throw ManifestProblem{concat({"\"", key, "\" lists \"", name, "\" twice"})};
        }
    }
    return features;
}

ModelDescription functionFrom(const json& function, const ModelDescription& shared) {
    ModelDescription description = shared;
    description.inputDescriptionsByName = featuresFrom(function, "inputs");
    description.outputDescriptionsByName = featuresFrom(function, "outputs");
    description.stateDescriptionsByName = featuresFrom(function, "states");
    return description;
}

ModelDescription metadataFrom(const json& document) {
    ModelDescription description;
    if (!document.contains("metadata")) {
        return description;
    }
    for (const auto& [key, value] : document.at("metadata").items()) {
        if (key == "creatorDefined") {
            description.creatorDefinedMetadata = value.get<std::map<std::string, std::string>>();
        } else {
            description.metadata[key] = value.get<std::string>();
        }
    }
    return description;
}

ModelManifest manifestFrom(const json& document) {
    if (!document.is_object() || !document.contains("kernel") || !document.at("kernel").is_string()) {
        throw ManifestProblem{concat({"\"", manifestName, "\" names no \"kernel\""})};
    }
    const auto shared = metadataFrom(document);
    ModelManifest manifest{
        .kernel = document.at("kernel").get<std::string>(),
        .library =
            document.contains("library") ? std::optional(document.at("library").get<std::string>()) : std::nullopt,
        .description = functionFrom(document, shared),
        .functions = {},
    };
    if (document.contains("functions")) {
        for (const auto& [name, function] : document.at("functions").items()) {
            manifest.functions.emplace(name, functionFrom(function, shared));
        }
    }
    return manifest;
}

json documentAt(const std::filesystem::path& bundlePath) {
    const auto path = bundlePath / manifestName;
    std::ifstream file(path);
    if (!file) {
        throw ManifestProblem{concat({"missing \"", manifestName, "\""})};
    }
    std::stringstream contents;
    contents << file.rdbuf();
    return json::parse(contents.str());
}

} // namespace

ModelManifest ModelManifest::read(const std::filesystem::path& bundlePath) {
    try {
        return manifestFrom(documentAt(bundlePath));
    } catch (const ManifestProblem& problem) {
        throw ModelError::invalidBundle(bundlePath.string(), problem.reason);
    } catch (const json::exception& error) {
        throw ModelError::invalidBundle(bundlePath.string(), concat({"bad \"", manifestName, "\": ", error.what()}));
    }
}

ModelDescription ModelManifest::descriptionOf(const std::optional<std::string>& functionName,
                                              const std::filesystem::path& bundlePath) const {
    if (!functionName) {
        return description;
    }
    auto found = functions.find(*functionName);
    if (found == functions.end()) {
        throw ModelError::unknownFunction(*functionName, bundlePath.string());
    }
    return found->second;
}

} // namespace platform::ml
