#include "QuorlAudio/tts/pockettts/SafetensorsHeader.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsLoadError.hpp"
#include "platform/core/Concatenated.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <optional>

namespace quorl {
namespace {

using platform::core::concatenated;
using PocketTtsConstantsLoader::LoadError;

constexpr std::int64_t int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::size_t headerLengthBytes = 8;

// Every message about one file starts the same way.
struct Messages {
    std::string prefix;

    std::string operator()(std::initializer_list<std::string_view> rest) const {
        std::string text = prefix;
        for (const auto piece : rest) {
            text += piece;
        }
        return text;
    }
};

std::uint64_t littleEndian64(std::string_view bytes) {
    std::uint64_t value = 0;
    for (std::size_t index = 0; index < 8; ++index) {
        value |= std::uint64_t{static_cast<std::uint8_t>(bytes[index])} << (8 * index);
    }
    return value;
}

// A JSON number that is a whole value within the signed 64-bit range; anything else is no integer.
std::optional<std::int64_t> signedInteger(const nlohmann::json& value) {
    if (value.is_number_integer() && !value.is_number_unsigned()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        return number <= static_cast<std::uint64_t>(int64Max) ? std::optional<std::int64_t>(number) : std::nullopt;
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        // 2^63 is the first double past the range.
        if (std::trunc(number) == number && number >= -9223372036854775808.0 && number < 9223372036854775808.0) {
            return static_cast<std::int64_t>(number);
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::int64_t>> integers(const nlohmann::json& array) {
    std::vector<std::int64_t> values;
    for (const auto& element : array) {
        const auto value = signedInteger(element);
        if (!value) {
            return std::nullopt;
        }
        values.push_back(*value);
    }
    return values;
}

std::uint64_t headerLength(std::string_view bytes, const Messages& message) {
    const auto length = static_cast<std::int64_t>(bytes.size());
    if (bytes.size() < headerLengthBytes) {
        throw LoadError::invalidSize(message({"too small"}), 8, length);
    }
    const std::uint64_t headerSize = littleEndian64(bytes);
    if (headerSize > static_cast<std::uint64_t>(int64Max)) {
        throw LoadError::invalidSize(message({"header length ", std::to_string(headerSize), " exceeds Int.max"}),
                                     int64Max, length);
    }
    if (bytes.size() - headerLengthBytes < headerSize) {
        throw LoadError::invalidSize(message({"header overflow"}), length, static_cast<std::int64_t>(headerSize));
    }
    return headerSize;
}

nlohmann::json headerObject(std::string_view header, const Messages& message) {
    nlohmann::json object;
    try {
        object = nlohmann::json::parse(header.begin(), header.end());
    } catch (const nlohmann::json::exception& error) {
        throw LoadError::malformed(message({"header JSON parse failed: ", error.what()}));
    }
    if (!object.is_object()) {
        throw LoadError::malformed(message({"header is not a JSON object"}));
    }
    return object;
}

// Checks the span against the file before anything is read from it. A negative begin, or offsets too large to
// add to the data start, would point outside the file as surely as an end past it.
SafetensorsTensor placed(const std::string& key, const nlohmann::json& entry, std::int64_t dataStart,
                         std::int64_t length, const Messages& message) {
    const auto& offsets = entry.at("data_offsets");
    const auto shape = integers(entry.at("shape"));
    if (!shape) {
        throw LoadError::malformed(message({"bad shape for '", key, "'"}));
    }
    const auto begin = signedInteger(offsets[0]);
    const auto end = signedInteger(offsets[1]);
    if (!begin || !end) {
        throw LoadError::malformed(message({"bad offsets for '", key, "'"}));
    }
    if (*end < *begin) {
        throw LoadError::invalidSize(message({"negative span for '", key, "'"}), *begin, *end);
    }
    const bool endRepresentable = *end <= int64Max - dataStart;
    const std::int64_t absoluteEnd = endRepresentable ? dataStart + *end : int64Max;
    if (*begin < 0 || !endRepresentable || absoluteEnd > length) {
        throw LoadError::invalidSize(message({"tensor '", key, "' overflows file"}), length, absoluteEnd);
    }
    return SafetensorsTensor{.dtype = entry.at("dtype").get<std::string>(),
                             .shape = *shape,
                             .byteOffset = dataStart + *begin,
                             .byteCount = *end - *begin};
}

bool wellFormedEntry(const nlohmann::json& entry) {
    const auto dtype = entry.find("dtype");
    const auto shape = entry.find("shape");
    const auto offsets = entry.find("data_offsets");
    return dtype != entry.end() && dtype->is_string() && shape != entry.end() && shape->is_array() &&
           offsets != entry.end() && offsets->is_array() && offsets->size() == 2;
}

} // namespace

std::map<std::string, SafetensorsTensor> parseSafetensors(std::string_view bytes, std::string_view fileLabel) {
    const Messages message{.prefix = concatenated({fileLabel, ".safetensors: "})};
    const std::uint64_t headerSize = headerLength(bytes, message);
    const auto object = headerObject(bytes.substr(headerLengthBytes, headerSize), message);
    const auto dataStart = static_cast<std::int64_t>(headerLengthBytes + headerSize);
    const auto length = static_cast<std::int64_t>(bytes.size());
    std::map<std::string, SafetensorsTensor> tensors;
    for (const auto& [key, entry] : object.items()) {
        if (key == "__metadata__" || !entry.is_object()) {
            continue;
        }
        if (!wellFormedEntry(entry)) {
            throw LoadError::malformed(message({"malformed entry '", key, "'"}));
        }
        tensors.emplace(key, placed(key, entry, dataStart, length, message));
    }
    return tensors;
}

} // namespace quorl
