#include "QuorlAudio/asr/streaming/SlidingWindowTranscriptionUpdate.hpp"

namespace quorl {

std::vector<std::string> SlidingWindowTranscriptionUpdate::tokens() const {
    std::vector<std::string> texts;
    texts.reserve(tokenTimings.size());
    for (const auto& timing : tokenTimings) {
        texts.push_back(timing.token);
    }
    return texts;
}

} // namespace quorl
