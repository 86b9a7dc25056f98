#include "QuorlAudio/asr/streaming/MetadataValues.hpp"

#include <cmath>
#include <limits>

namespace quorl {

std::optional<std::int64_t> integral(const nlohmann::json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<std::uint64_t>() > std::numeric_limits<std::int64_t>::max()) {
            return std::nullopt;
        }
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        // 2^63 itself is out of range; every double below it converts exactly.
        constexpr double limit = 9223372036854775808.0;
        if (std::isfinite(number) && number == std::trunc(number) && number >= -limit && number < limit) {
            return static_cast<std::int64_t>(number);
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> integerAt(const nlohmann::json& object, const std::string& key) {
    const auto found = object.find(key);
    if (found == object.end()) {
        return std::nullopt;
    }
    return integral(*found);
}

std::optional<std::vector<std::int64_t>> integersAt(const nlohmann::json& object, const std::string& key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_array()) {
        return std::nullopt;
    }
    std::vector<std::int64_t> values;
    for (const nlohmann::json& element : *found) {
        const auto value = integral(element);
        if (!value) {
            return std::nullopt;
        }
        values.push_back(*value);
    }
    return values;
}

} // namespace quorl
