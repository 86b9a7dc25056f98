#pragma once

#include "QuorlAudio/asr/streaming/CommitReason.hpp"

#include <chrono>
#include <optional>
#include <string>

namespace quorl {

// One state of the text shown to a user: the committed part, which never changes again, and the volatile
// ghost tail.
struct CommitLayerUpdate {
    std::string committedText;
    std::string ghostText;
    // What to display: the committed text immediately followed by the ghost text.
    std::string totalText;
    // The commit that made this update; none for a partial hypothesis without a mark and for a reset.
    std::optional<CommitReason> lastCommitReason;
    std::chrono::system_clock::time_point timestamp;
};

} // namespace quorl
