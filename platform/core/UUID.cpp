#include "platform/core/UUID.hpp"

#include <cerrno>
#include <cstring>
#include <sys/random.h>
#include <system_error>

namespace platform::core {

namespace {

constexpr std::size_t textLength = 36;
constexpr char hexDigits[] = "0123456789ABCDEF";

bool isHyphenPosition(std::size_t position) {
    return position == 8 || position == 13 || position == 18 || position == 23;
}

int hexValue(char character) {
    if (character >= '0' && character <= '9') {
        return character - '0';
    }
    if (character >= 'A' && character <= 'F') {
        return character - 'A' + 10;
    }
    if (character >= 'a' && character <= 'f') {
        return character - 'a' + 10;
    }
    return -1;
}

void fillRandom(UUID::Bytes& bytes) {
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t read = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (read < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "Cannot read random bytes for a UUID");
        }
        filled += static_cast<std::size_t>(read);
    }
}

} // namespace

UUID::UUID(const Bytes& bytes) : bytes_(bytes) {}

UUID UUID::random() {
    Bytes bytes;
    fillRandom(bytes);
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
    return UUID(bytes);
}

std::optional<UUID> UUID::fromString(std::string_view text) {
    if (text.size() != textLength) {
        return std::nullopt;
    }
    Bytes bytes{};
    std::size_t digit = 0;
    for (std::size_t position = 0; position < textLength; ++position) {
        if (isHyphenPosition(position)) {
            if (text[position] != '-') {
                return std::nullopt;
            }
            continue;
        }
        const int value = hexValue(text[position]);
        if (value < 0) {
            return std::nullopt;
        }
        bytes[digit / 2] = static_cast<std::uint8_t>(bytes[digit / 2] << 4 | value);
        ++digit;
    }
    return UUID(bytes);
}

std::string UUID::uuidString() const {
    std::string text;
    text.reserve(textLength);
    for (std::size_t index = 0; index < bytes_.size(); ++index) {
        if (isHyphenPosition(text.size())) {
            text.push_back('-');
        }
        text.push_back(hexDigits[bytes_[index] >> 4]);
        text.push_back(hexDigits[bytes_[index] & 0x0F]);
    }
    return text;
}

} // namespace platform::core

std::size_t std::hash<platform::core::UUID>::operator()(const platform::core::UUID& uuid) const noexcept {
    // Folds the two halves together; a random identifier's bits are already uniform, and the multiplication
    // spreads the bits of parsed, patterned ones.
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::memcpy(&high, uuid.bytes().data(), sizeof high);
    std::memcpy(&low, uuid.bytes().data() + sizeof high, sizeof low);
    return static_cast<std::size_t>((high * 0x9E3779B97F4A7C15ULL) ^ low);
}
