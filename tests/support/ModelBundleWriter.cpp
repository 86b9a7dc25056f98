#include "tests/support/ModelBundleWriter.hpp"

#include <fstream>

namespace testsupport {

nlohmann::json multiArrayFeature(const std::string& name, const std::vector<std::size_t>& shape,
                                 platform::ml::DataType dataType) {
    return {{"name", name}, {"type", "multiArray"}, {"dataType", platform::ml::rawValue(dataType)}, {"shape", shape}};
}

nlohmann::json flexibleFeature(const std::string& name, const std::vector<std::size_t>& shape,
                               platform::ml::DataType dataType) {
    auto nominal = shape;
    nlohmann::json ranges = nlohmann::json::array();
    for (auto& dimension : nominal) {
        ranges.push_back(dimension == 0 ? nlohmann::json{1, nullptr} : nlohmann::json{dimension, dimension});
        dimension = dimension == 0 ? 1 : dimension;
    }
    auto feature = multiArrayFeature(name, nominal, dataType);
    feature["shapeRange"] = ranges;
    return feature;
}

nlohmann::json modelManifest(const std::string& kernel, const std::vector<nlohmann::json>& inputs,
                             const std::vector<nlohmann::json>& outputs, const std::vector<nlohmann::json>& states) {
    return {{"kernel", kernel}, {"inputs", inputs}, {"outputs", outputs}, {"states", states}};
}

std::filesystem::path writeModelBundle(const std::filesystem::path& folder, const std::string& name,
                                       const nlohmann::json& manifest) {
    const auto bundle = folder / name;
    std::filesystem::create_directories(bundle);
    std::ofstream(bundle / "coremldata.bin", std::ios::binary) << "compiled";
    std::ofstream(bundle / "model.json") << manifest.dump(2);
    return bundle;
}

} // namespace testsupport
