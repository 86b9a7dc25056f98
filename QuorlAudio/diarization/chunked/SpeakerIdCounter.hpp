#pragma once

#include "QuorlAudio/diarization/chunked/Speaker.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quorl {

// The numbers behind the speaker ids a database hands out: the next one is always above every stored id that
// reads as a number, so a new id never names a present speaker.
class SpeakerIdCounter {
public:
    // The id's value when it counts: a signed 64-bit decimal below the largest one, which would leave no next id.
    static std::optional<std::int64_t> countedValue(std::string_view id);

    std::int64_t next() const { return next_; }
    std::int64_t highest() const { return highest_; }

    // Hands out the next number; none once the 64-bit range is spent.
    std::optional<std::int64_t> issue();
    // Keeps the next number above an id stored from outside.
    void account(std::int64_t value);
    // Starts again from the ids of these speakers alone.
    void recount(const std::map<std::string, Speaker>& speakers);

private:
    std::int64_t next_ = 1;
    std::int64_t highest_ = 0;
};

} // namespace quorl
