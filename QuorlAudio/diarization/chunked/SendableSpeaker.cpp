#include "QuorlAudio/diarization/chunked/SendableSpeaker.hpp"

#include "QuorlAudio/diarization/chunked/Speaker.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

namespace quorl {

namespace {

// An optional sign, then one or more digits and nothing else, within the range of a signed 64-bit integer.
std::optional<std::int64_t> signedDecimal(std::string_view text) {
    const std::string_view digits = text.empty() || (text[0] != '+' && text[0] != '-') ? text : text.substr(1);
    const bool allDigits = std::all_of(digits.begin(), digits.end(),
                                       [](unsigned char character) { return std::isdigit(character) != 0; });
    if (digits.empty() || !allDigits) {
        return std::nullopt;
    }
    // from_chars takes a minus sign but not a plus sign.
    const std::string_view parsed = text[0] == '+' ? digits : text;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(parsed.data(), parsed.data() + parsed.size(), value);
    if (error != std::errc() || end != parsed.data() + parsed.size()) {
        return std::nullopt;
    }
    return value;
}

// The absolute value of the text's 64-bit FNV-1a hash; the one hash without a positive counterpart becomes the
// largest Int.
std::int64_t nonNegativeHash(std::string_view text) {
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (const unsigned char character : text) {
        hash = (hash ^ character) * 0x100000001B3ULL;
    }
    const auto signedHash = static_cast<std::int64_t>(hash);
    if (signedHash == std::numeric_limits<std::int64_t>::min()) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return signedHash < 0 ? -signedHash : signedHash;
}

} // namespace

SendableSpeaker::SendableSpeaker(Fields fields) : fields_(std::move(fields)) {}

SendableSpeaker::SendableSpeaker(const Speaker& speaker)
    : fields_{
          .id = signedDecimal(speaker.id()).value_or(nonNegativeHash(speaker.id())),
          .name = speaker.name,
          .duration = speaker.duration,
          .mainEmbedding = speaker.currentEmbedding,
          .createdAt = speaker.createdAt,
          .updatedAt = speaker.updatedAt,
      } {}

std::string SendableSpeaker::label() const {
    return fields_.name.empty() ? "Speaker #" + std::to_string(fields_.id) : fields_.name;
}

bool SendableSpeaker::operator==(const SendableSpeaker& other) const {
    return fields_.id == other.fields_.id && fields_.name == other.fields_.name;
}

} // namespace quorl

std::size_t std::hash<quorl::SendableSpeaker>::operator()(const quorl::SendableSpeaker& speaker) const noexcept {
    return std::hash<std::int64_t>{}(speaker.id());
}
