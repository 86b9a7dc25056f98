#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// Reading the integers of a model folder's "metadata.json". An integer is a JSON number with an integral value
// within the signed 64-bit range; anything else reads as absent, so the caller's fallback applies.

std::optional<std::int64_t> integral(const nlohmann::json& value);

// The integer under `key` of the object; none when the key is missing or holds something else.
std::optional<std::int64_t> integerAt(const nlohmann::json& object, const std::string& key);

// The array of integers under `key`; none when the key is missing, is not an array or holds anything but
// integers.
std::optional<std::vector<std::int64_t>> integersAt(const nlohmann::json& object, const std::string& key);

} // namespace quorl
