#include "QuorlAudio/diarization/chunked/SpeakerIdCounter.hpp"

#include "platform/text/DecimalInteger.hpp"

#include <algorithm>
#include <limits>

namespace quorl {

namespace {

constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();

} // namespace

std::optional<std::int64_t> SpeakerIdCounter::countedValue(std::string_view id) {
    const std::optional<std::int64_t> value = platform::text::decimalInteger(id);
    if (value == largest) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> SpeakerIdCounter::issue() {
    if (next_ == largest) {
        return std::nullopt;
    }
    const std::int64_t issued = next_;
    next_ = issued + 1;
    highest_ = std::max(highest_, issued);
    return issued;
}

void SpeakerIdCounter::account(std::int64_t value) {
    highest_ = std::max(highest_, value);
    next_ = std::max(next_, value + 1);
}

void SpeakerIdCounter::recount(const std::map<std::string, Speaker>& speakers) {
    highest_ = 0;
    for (const auto& [id, speaker] : speakers) {
        if (const std::optional<std::int64_t> value = countedValue(id)) {
            highest_ = std::max(highest_, *value);
        }
    }
    next_ = highest_ + 1;
}

} // namespace quorl
