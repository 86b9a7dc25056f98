#include "Mirvo/UpdateRelay.hpp"

#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/Task.hpp"

#include <utility>

namespace mirvo {

namespace {

std::function<void()> relayJob(std::shared_ptr<quorl::SlidingWindowAsrManager> recogniser,
                               quorl::SlidingWindowAsrManager::Updates updates, UpdateRelay::Partial partial) {
    return [recogniser = std::move(recogniser), updates = std::move(updates), partial = std::move(partial)]() mutable {
        // The stream ends when the recogniser finishes or goes, and hands out nothing once the relay is cancelled.
        for (const auto& update : updates) {
            const auto text = UpdateRelay::partialText(recogniser->confirmedTranscript(),
                                                       recogniser->volatileTranscript(), update.text);
            if (platform::core::Task::isCancelled()) {
                return;
            }
            if (!text.empty()) {
                partial(text);
            }
        }
    };
}

} // namespace

UpdateRelay::UpdateRelay(std::shared_ptr<quorl::SlidingWindowAsrManager> recogniser, Partial partial)
    : task_(relayJob(recogniser, recogniser->transcriptionUpdates(), std::move(partial))) {}

UpdateRelay::~UpdateRelay() { task_.cancel(); }

std::string UpdateRelay::partialText(const std::string& confirmed, const std::string& volatileText,
                                     const std::string& updateText) {
    if (confirmed.empty() && volatileText.empty()) {
        return updateText;
    }
    return platform::core::joinedNonEmpty(confirmed, volatileText);
}

} // namespace mirvo
