#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Strict reading of the members of a custom-vocabulary document: a member of the wrong JSON type fails the
// whole decoding with the JSON library's own errors (a number is never read from a Boolean), and a member that
// is absent or null counts as absent.
namespace quorl::vocabularyJson {

// The value itself must be an object.
const nlohmann::json& object(const nlohmann::json& value);

std::string requiredString(const nlohmann::json& object, const char* key);
const nlohmann::json& requiredArray(const nlohmann::json& object, const char* key);
std::optional<float> optionalFloat(const nlohmann::json& object, const char* key);
std::optional<std::int64_t> optionalInteger(const nlohmann::json& object, const char* key);
std::optional<std::vector<std::string>> optionalStrings(const nlohmann::json& object, const char* key);
std::optional<std::vector<std::int64_t>> optionalIntegers(const nlohmann::json& object, const char* key);

// A 32-bit float written in its own shortest digits.
nlohmann::ordered_json number(float value);

} // namespace quorl::vocabularyJson
