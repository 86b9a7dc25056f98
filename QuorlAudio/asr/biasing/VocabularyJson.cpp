#include "QuorlAudio/asr/biasing/VocabularyJson.hpp"

#include "QuorlAudio/foundation/JsonFloat.hpp"

namespace quorl::vocabularyJson {
namespace {

using Json = nlohmann::json;

[[noreturn]] void wrongType(const Json& value, const char* expected) {
    throw Json::type_error::create(302, std::string("type must be ") + expected + ", but is " + value.type_name(),
                                   &value);
}

const Json* present(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() || found->is_null() ? nullptr : &*found;
}

const Json& checked(const Json& value, bool (Json::*test)() const noexcept, const char* expected) {
    if (!(value.*test)()) {
        wrongType(value, expected);
    }
    return value;
}

template <class Element>
std::optional<std::vector<Element>> optionalList(const Json& object, const char* key,
                                                 bool (Json::*test)() const noexcept, const char* expected) {
    const Json* list = present(object, key);
    if (!list) {
        return std::nullopt;
    }
    std::vector<Element> elements;
    for (const auto& element : checked(*list, &Json::is_array, "array")) {
        elements.push_back(checked(element, test, expected).template get<Element>());
    }
    return elements;
}

} // namespace

const Json& object(const Json& value) { return checked(value, &Json::is_object, "object"); }

std::string requiredString(const Json& object, const char* key) {
    return checked(object.at(key), &Json::is_string, "string").get<std::string>();
}

const Json& requiredArray(const Json& object, const char* key) {
    return checked(object.at(key), &Json::is_array, "array");
}

std::optional<float> optionalFloat(const Json& object, const char* key) {
    const Json* value = present(object, key);
    if (!value) {
        return std::nullopt;
    }
    return static_cast<float>(checked(*value, &Json::is_number, "number").get<double>());
}

std::optional<std::int64_t> optionalInteger(const Json& object, const char* key) {
    const Json* value = present(object, key);
    if (!value) {
        return std::nullopt;
    }
    return checked(*value, &Json::is_number_integer, "integer").get<std::int64_t>();
}

std::optional<std::vector<std::string>> optionalStrings(const Json& object, const char* key) {
    return optionalList<std::string>(object, key, &Json::is_string, "string");
}

std::optional<std::vector<std::int64_t>> optionalIntegers(const Json& object, const char* key) {
    return optionalList<std::int64_t>(object, key, &Json::is_number_integer, "integer");
}

nlohmann::ordered_json number(float value) { return jsonFloat(value).get<double>(); }

} // namespace quorl::vocabularyJson
