#include "QuorlAudio/foundation/JsonFields.hpp"

#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/foundation/JsonFloat.hpp"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace quorl::JsonFields {

namespace {

using nlohmann::json;

[[noreturn]] void throwWrongType(const json& value, const char* key, const char* expected) {
    throw json::type_error::create(
        302, std::string("type of '") + key + "' must be " + expected + ", but is " + value.type_name(), &value);
}

void requireFinite(double value) {
    if (!std::isfinite(value)) {
        throw std::domain_error("Unable to encode " + decimalText(value) + " directly in JSON");
    }
}

const json& numberMember(const json& object, const char* key) {
    const json& value = object.at(key);
    if (!value.is_number()) {
        throwWrongType(value, key, "number");
    }
    return value;
}

float toFloat(const json& value, const char* key) {
    const auto number = value.get<double>();
    if (std::fabs(number) > std::numeric_limits<float>::max()) {
        throw json::out_of_range::create(
            406, "number of '" + std::string(key) + "' does not fit in a Float: " + value.dump(), &value);
    }
    return static_cast<float>(number);
}

} // namespace

json finiteNumber(double value) {
    requireFinite(value);
    return value;
}

json finiteFloat(float value) {
    requireFinite(value);
    return jsonFloat(value);
}

json finiteNumbers(std::span<const double> values) {
    json array = json::array();
    for (const double value : values) {
        array.push_back(finiteNumber(value));
    }
    return array;
}

json finiteFloats(std::span<const float> values) {
    json array = json::array();
    for (const float value : values) {
        array.push_back(finiteFloat(value));
    }
    return array;
}

double readNumber(const json& object, const char* key) { return numberMember(object, key).get<double>(); }

float readFloat(const json& object, const char* key) { return toFloat(numberMember(object, key), key); }

std::int64_t readInteger(const json& object, const char* key) {
    const json& value = object.at(key);
    if (!value.is_number_integer()) {
        throwWrongType(value, key, "integer");
    }
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > std::numeric_limits<std::int64_t>::max()) {
        throw json::out_of_range::create(406, "integer of '" + std::string(key) + "' is too large: " + value.dump(),
                                         &value);
    }
    return value.get<std::int64_t>();
}

bool readBoolean(const json& object, const char* key) {
    const json& value = object.at(key);
    if (!value.is_boolean()) {
        throwWrongType(value, key, "boolean");
    }
    return value.get<bool>();
}

std::string readString(const json& object, const char* key) {
    const json& value = object.at(key);
    if (!value.is_string()) {
        throwWrongType(value, key, "string");
    }
    return value.get<std::string>();
}

const json& readArray(const json& object, const char* key) { return arrayIn(object.at(key), key); }

const json& arrayIn(const json& value, const char* key) {
    if (!value.is_array()) {
        throwWrongType(value, key, "array");
    }
    return value;
}

std::vector<double> readNumbers(const json& object, const char* key) {
    std::vector<double> numbers;
    for (const json& element : readArray(object, key)) {
        if (!element.is_number()) {
            throwWrongType(element, key, "an array of numbers");
        }
        numbers.push_back(element.get<double>());
    }
    return numbers;
}

std::vector<float> readFloats(const json& object, const char* key) { return floatsIn(object.at(key), key); }

std::vector<float> floatsIn(const json& value, const char* key) {
    std::vector<float> floats;
    for (const json& element : arrayIn(value, key)) {
        if (!element.is_number()) {
            throwWrongType(element, key, "an array of numbers");
        }
        floats.push_back(toFloat(element, key));
    }
    return floats;
}

} // namespace quorl::JsonFields
