#include "QuorlAudio/diarization/chunked/SendableSpeaker.hpp"

#include "QuorlAudio/diarization/chunked/Speaker.hpp"

#include "platform/text/DecimalInteger.hpp"

#include <limits>
#include <string_view>
#include <utility>

namespace quorl {

namespace {

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
          .id = platform::text::decimalInteger(speaker.id()).value_or(nonNegativeHash(speaker.id())),
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
