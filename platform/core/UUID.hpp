#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform::core {

// A 128-bit universally unique identifier, made at random (version 4) or read from its text form.
class UUID {
public:
    using Bytes = std::array<std::uint8_t, 16>;

    // The nil identifier, all zero bits.
    UUID() = default;
    explicit UUID(const Bytes& bytes);

    // A new identifier of 122 random bits from the kernel's random source, with the version 4 and variant bits
    // set. Throws std::system_error when the random source cannot be read.
    static UUID random();
    // Reads the 36-character text form, "E621E1F8-C36C-495A-93FC-0C247A3E6E5F", with hexadecimal digits of
    // either case; nothing for any other text.
    static std::optional<UUID> fromString(std::string_view text);

    const Bytes& bytes() const { return bytes_; }
    // The 36-character text form in upper case.
    std::string uuidString() const;

    bool operator==(const UUID&) const = default;

private:
    Bytes bytes_{};
};

} // namespace platform::core

template <> struct std::hash<platform::core::UUID> {
    std::size_t operator()(const platform::core::UUID& uuid) const noexcept;
};
