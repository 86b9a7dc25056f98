#include "platform/core/Base64.hpp"

#include <algorithm>
#include <array>
#include <iterator>
#include <string>

namespace platform::core {

namespace {

constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t notInAlphabet = 0xFF;

constexpr std::array<std::uint8_t, 256> makeDecodingTable() {
    std::array<std::uint8_t, 256> table{};
    table.fill(notInAlphabet);
    for (std::size_t index = 0; index < alphabet.size(); ++index) {
        table[static_cast<unsigned char>(alphabet[index])] = static_cast<std::uint8_t>(index);
    }
    return table;
}

constexpr auto decodingTable = makeDecodingTable();

// Decodes one group of four characters into `bytes`; false when the group is not canonical base64.
bool decodeGroup(std::string_view group, bool isLast, std::vector<std::uint8_t>& bytes) {
    const std::size_t padding = group[3] != '=' ? 0 : group[2] != '=' ? 1 : 2;
    if (padding > 0 && !isLast) {
        return false;
    }
    std::uint32_t bits = 0;
    for (std::size_t index = 0; index < 4 - padding; ++index) {
        const auto sextet = decodingTable[static_cast<unsigned char>(group[index])];
        if (sextet == notInAlphabet) {
            return false;
        }
        bits = (bits << 6) | sextet;
    }
    bits <<= 6 * padding;
    const std::size_t byteCount = 3 - padding;
    const std::uint32_t unusedBits = bits & ((1u << (8 * (3 - byteCount))) - 1);
    if (unusedBits != 0) {
        return false;
    }
    for (std::size_t index = 0; index < byteCount; ++index) {
        bytes.push_back(static_cast<std::uint8_t>(bits >> (16 - 8 * index)));
    }
    return true;
}

std::string withoutUnknownCharacters(std::string_view text) {
    std::string known;
    known.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(known), [](char character) {
        return character == '=' || decodingTable[static_cast<unsigned char>(character)] != notInAlphabet;
    });
    return known;
}

} // namespace

std::string base64Encode(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t start = 0; start < bytes.size(); start += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - start);
        std::uint32_t bits = 0;
        for (std::size_t index = 0; index < 3; ++index) {
            bits = (bits << 8) | (index < count ? bytes[start + index] : 0u);
        }
        for (std::size_t index = 0; index < 4; ++index) {
            text.push_back(index <= count ? alphabet[(bits >> (18 - 6 * index)) & 0x3F] : '=');
        }
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text, Base64Decoding decoding) {
    if (decoding == Base64Decoding::ignoringUnknownCharacters) {
        const std::string known = withoutUnknownCharacters(text);
        return base64Decode(known, Base64Decoding::canonical);
    }
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t start = 0; start < text.size(); start += 4) {
        if (!decodeGroup(text.substr(start, 4), start + 4 == text.size(), bytes)) {
            return std::nullopt;
        }
    }
    return bytes;
}

} // namespace platform::core
