#include "QuorlAudio/tts/supertonic3/Supertonic3VoiceStyleData.hpp"

#include "QuorlAudio/foundation/JsonFields.hpp"

#include <nlohmann/json.hpp>

namespace quorl {
namespace {

using nlohmann::json;

std::vector<std::vector<std::vector<float>>> readTensor(const json& object, const char* key) {
    std::vector<std::vector<std::vector<float>>> tensor;
    for (const json& outer : JsonFields::readArray(object, key)) {
        auto& rows = tensor.emplace_back();
        for (const json& row : JsonFields::arrayIn(outer, key)) {
            rows.push_back(JsonFields::floatsIn(row, key));
        }
    }
    return tensor;
}

std::vector<std::int64_t> readIntegers(const json& object, const char* key) {
    std::vector<std::int64_t> integers;
    for (const json& element : JsonFields::readArray(object, key)) {
        if (!element.is_number_integer()) {
            throw json::type_error::create(302, "type of '" + std::string(key) + "' must be an array of integers",
                                           &element);
        }
        integers.push_back(element.get<std::int64_t>());
    }
    return integers;
}

// In the floats' shortest decimal forms, so that a written file reads back to the same values.
json writeTensor(const std::vector<std::vector<std::vector<float>>>& tensor) {
    json outer = json::array();
    for (const auto& rows : tensor) {
        json& middle = outer.emplace_back(json::array());
        for (const auto& row : rows) {
            middle.push_back(JsonFields::finiteFloats(row));
        }
    }
    return outer;
}

} // namespace

void to_json(json& document, const Supertonic3VoiceStyleData& style) {
    document = {{"style_ttl", style.styleTtl}, {"style_dp", style.styleDp}};
}

void from_json(const json& document, Supertonic3VoiceStyleData& style) {
    style = {.styleTtl = document.at("style_ttl").get<Supertonic3VoiceStyleData::Component>(),
             .styleDp = document.at("style_dp").get<Supertonic3VoiceStyleData::Component>()};
}

void to_json(json& document, const Supertonic3VoiceStyleData::Component& component) {
    document = {{"data", writeTensor(component.data)}, {"dims", component.dims}, {"type", component.type}};
}

void from_json(const json& document, Supertonic3VoiceStyleData::Component& component) {
    component = {.data = readTensor(document, "data"),
                 .dims = readIntegers(document, "dims"),
                 .type = JsonFields::readString(document, "type")};
}

} // namespace quorl
