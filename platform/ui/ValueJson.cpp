#include "platform/ui/ValueJson.hpp"

#include "platform/core/Base64.hpp"
#include "platform/ui/ValueJsonError.hpp"

#include <cmath>
#include <cstdint>
#include <limits>

namespace platform::ui {

namespace {

constexpr const char* bytesTag = "$bytes";
constexpr const char* float32Tag = "$float32";
constexpr const char* mapTag = "$map";

bool isTag(const std::string& key) { return key == bytesTag || key == float32Tag || key == mapTag; }

nlohmann::json floatingJson(double number) { return std::isfinite(number) ? nlohmann::json(number) : nullptr; }

nlohmann::json listJson(const ValueList& list) {
    auto json = nlohmann::json::array();
    for (const auto& element : list) {
        json.push_back(toJson(element));
    }
    return json;
}

nlohmann::json mapJson(const ValueMap& map) {
    auto json = nlohmann::json::object();
    for (const auto& [key, element] : map) {
        json[key] = toJson(element);
    }
    if (map.size() == 1 && isTag(map.begin()->first)) {
        return {{mapTag, std::move(json)}};
    }
    return json;
}

nlohmann::json float32Json(const std::vector<float>& numbers) {
    auto json = nlohmann::json::array();
    for (const float number : numbers) {
        json.push_back(floatingJson(number));
    }
    return {{float32Tag, std::move(json)}};
}

std::int64_t integerFromJson(const nlohmann::json& json) {
    if (json.is_number_unsigned()) {
        const auto number = json.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            throw ValueJsonError::integerOutOfRange();
        }
        return static_cast<std::int64_t>(number);
    }
    return json.get<std::int64_t>();
}

Bytes bytesFromJson(const nlohmann::json& json) {
    if (!json.is_string()) {
        throw ValueJsonError::invalidBytes();
    }
    auto bytes = platform::core::base64Decode(json.get_ref<const std::string&>());
    if (!bytes) {
        throw ValueJsonError::invalidBytes();
    }
    return Bytes{.data = std::move(*bytes)};
}

float float32FromJson(const nlohmann::json& json) {
    if (!json.is_number()) {
        throw ValueJsonError::invalidFloat32List();
    }
    const auto number = json.get<double>();
    if (std::abs(number) > static_cast<double>(std::numeric_limits<float>::max())) {
        throw ValueJsonError::invalidFloat32List();
    }
    return static_cast<float>(number);
}

std::vector<float> float32ListFromJson(const nlohmann::json& json) {
    if (!json.is_array()) {
        throw ValueJsonError::invalidFloat32List();
    }
    std::vector<float> numbers;
    numbers.reserve(json.size());
    for (const auto& element : json) {
        numbers.push_back(float32FromJson(element));
    }
    return numbers;
}

ValueList listFromJson(const nlohmann::json& json) {
    ValueList list;
    list.reserve(json.size());
    for (const auto& element : json) {
        list.push_back(valueFromJson(element));
    }
    return list;
}

ValueMap plainMapFromJson(const nlohmann::json& json) {
    ValueMap map;
    for (const auto& [key, element] : json.items()) {
        map.emplace(key, valueFromJson(element));
    }
    return map;
}

Value objectFromJson(const nlohmann::json& json) {
    if (json.size() != 1 || !isTag(json.begin().key())) {
        return plainMapFromJson(json);
    }
    const auto& tag = json.begin().key();
    const auto& content = json.begin().value();
    if (tag == bytesTag) {
        return bytesFromJson(content);
    }
    if (tag == float32Tag) {
        return float32ListFromJson(content);
    }
    if (!content.is_object()) {
        throw ValueJsonError::invalidMap();
    }
    return plainMapFromJson(content);
}

} // namespace

nlohmann::json toJson(const Value& value) {
    return std::visit(
        [](const auto& content) -> nlohmann::json {
            using Content = std::decay_t<decltype(content)>;
            if constexpr (std::is_same_v<Content, std::monostate>) {
                return nullptr;
            } else if constexpr (std::is_same_v<Content, double>) {
                return floatingJson(content);
            } else if constexpr (std::is_same_v<Content, Bytes>) {
                return {{bytesTag, platform::core::base64Encode(content.data)}};
            } else if constexpr (std::is_same_v<Content, std::vector<float>>) {
                return float32Json(content);
            } else if constexpr (std::is_same_v<Content, ValueList>) {
                return listJson(content);
            } else if constexpr (std::is_same_v<Content, ValueMap>) {
                return mapJson(content);
            } else {
                return content;
            }
        },
        value.storage());
}

Value valueFromJson(const nlohmann::json& json) {
    switch (json.type()) {
    case nlohmann::json::value_t::boolean: return json.get<bool>();
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned: return integerFromJson(json);
    case nlohmann::json::value_t::number_float: return json.get<double>();
    case nlohmann::json::value_t::string: return json.get<std::string>();
    case nlohmann::json::value_t::array: return listFromJson(json);
    case nlohmann::json::value_t::object: return objectFromJson(json);
    default: return nullptr;
    }
}

} // namespace platform::ui
