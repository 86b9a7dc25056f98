#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <span>
#include <string>
#include <vector>

// The members of the toolkit's JSON objects (diarization records, synthesis configurations), written and read
// strictly. Every member is required and must have its own JSON type: a Boolean is not a number, a fraction is
// not an integer, and a number too large for a 32-bit float is not a Float. A failed read throws nlohmann::json's
// own errors (out_of_range for a missing member or a number out of range, type_error for a wrong type). NaN and
// the infinities have no JSON form, so writing one throws std::domain_error instead of writing null.
namespace quorl::JsonFields {

nlohmann::json finiteNumber(double value);
// In the float's shortest decimal form.
nlohmann::json finiteFloat(float value);
nlohmann::json finiteNumbers(std::span<const double> values);
nlohmann::json finiteFloats(std::span<const float> values);

double readNumber(const nlohmann::json& object, const char* key);
float readFloat(const nlohmann::json& object, const char* key);
std::int64_t readInteger(const nlohmann::json& object, const char* key);
bool readBoolean(const nlohmann::json& object, const char* key);
std::string readString(const nlohmann::json& object, const char* key);
std::vector<double> readNumbers(const nlohmann::json& object, const char* key);
std::vector<float> readFloats(const nlohmann::json& object, const char* key);
// The member, which must be an array.
const nlohmann::json& readArray(const nlohmann::json& object, const char* key);
// A value inside the member `key` (an element of a nested array), which must be an array, or an array of
// numbers that fit a Float.
const nlohmann::json& arrayIn(const nlohmann::json& value, const char* key);
std::vector<float> floatsIn(const nlohmann::json& value, const char* key);

} // namespace quorl::JsonFields
