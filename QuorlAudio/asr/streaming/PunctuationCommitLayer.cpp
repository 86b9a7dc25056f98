#include "QuorlAudio/asr/streaming/PunctuationCommitLayer.hpp"

#include "platform/text/CharacterProperties.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Utf8.hpp"

#include <chrono>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace quorl {
namespace {

using platform::core::MainQueue;

bool isWhiteSpaceCharacter(std::string_view character) {
    return platform::text::isWhiteSpace(platform::text::firstScalar(character));
}

// A partial hypothesis cut behind its last mark and the white space that follows it.
struct MarkSplit {
    std::string mark;
    std::string committed;
    std::string ghost;
};

std::optional<MarkSplit> splitAtLastMark(const std::string& text, const std::set<std::string>& marks) {
    const auto boundaries = platform::text::graphemeBoundaries(text);
    const auto characters = boundaries.size() - 1;
    const auto character = [&](std::size_t k) {
        return std::string_view(text).substr(boundaries[k], boundaries[k + 1] - boundaries[k]);
    };
    for (std::size_t i = characters; i-- > 0;) {
        if (!marks.contains(std::string(character(i)))) {
            continue;
        }
        auto h = i + 1;
        while (h < characters && isWhiteSpaceCharacter(character(h))) {
            ++h;
        }
        const auto after = boundaries[i + 1];
        const auto gap = after == boundaries[h] ? std::string(" ") : text.substr(after, boundaries[h] - after);
        return MarkSplit{std::string(character(i)), text.substr(0, after) + gap, text.substr(boundaries[h])};
    }
    return std::nullopt;
}

bool endsInWhiteSpace(const std::string& text) {
    const auto characters = platform::text::graphemeClusterViews(text);
    return !characters.empty() && isWhiteSpaceCharacter(characters.back());
}

PunctuationCommitLayer::Config validated(PunctuationCommitLayer::Config config) {
    if (!std::isfinite(config.debounceTimeout) || config.debounceTimeout < 0) {
        throw std::invalid_argument("The debounce timeout must be a finite number of seconds, not negative");
    }
    return config;
}

// The timeout as the clock counts it. A timeout longer than half of what the clock can count (some 146 years)
// waits that long instead, so adding it to the clock's time cannot overflow.
std::chrono::nanoseconds delayOf(double seconds) {
    constexpr auto longest = std::chrono::nanoseconds::max() / 2;
    if (seconds >= std::chrono::duration<double>(longest).count()) {
        return longest;
    }
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds));
}

} // namespace

PunctuationCommitLayer::PunctuationCommitLayer(Config config) : PunctuationCommitLayer(std::move(config), nullptr) {}

PunctuationCommitLayer::PunctuationCommitLayer(Config config, MainQueue& timers)
    : PunctuationCommitLayer(std::move(config), &timers) {}

PunctuationCommitLayer::PunctuationCommitLayer(Config config, MainQueue* timers)
    : config_(validated(std::move(config))), debounceDelay_(delayOf(config_.debounceTimeout)),
      ownTimers_(timers ? nullptr : std::make_unique<MainQueue>()), timers_(timers ? *timers : *ownTimers_),
      state_(std::make_shared<State>()) {
    if (ownTimers_) {
        ownTimerLoop_ = std::make_unique<platform::core::DedicatedTask>([this] { ownTimers_->run(); });
    }
}

PunctuationCommitLayer::~PunctuationCommitLayer() {
    {
        const std::lock_guard lock(state_->mutex);
        invalidateDebounce();
    }
    if (ownTimers_) {
        ownTimers_->stop();
    }
}

CommitLayerUpdate PunctuationCommitLayer::processPartialText(const std::string& text) {
    std::unique_lock lock(state_->mutex);
    invalidateDebounce();
    std::optional<CommitReason> reason;
    if (auto split = splitAtLastMark(text, config_.punctuationMarks)) {
        state_->committedText += split->committed;
        state_->ghostText = std::move(split->ghost);
        reason = CommitReason::punctuation(std::move(split->mark));
    } else {
        state_->ghostText = text;
        startDebounceTimer();
    }
    const auto update = makeUpdate(*state_, std::move(reason));
    const auto callback = state_->updateCallback;
    lock.unlock();
    deliver(callback, update);
    return update;
}

CommitLayerUpdate PunctuationCommitLayer::processEOU() { return explicitCommit(CommitReason::endOfUtterance()); }

CommitLayerUpdate PunctuationCommitLayer::manualCommit() { return explicitCommit(CommitReason::manualCommit()); }

void PunctuationCommitLayer::reset() {
    std::unique_lock lock(state_->mutex);
    invalidateDebounce();
    state_->committedText.clear();
    state_->ghostText.clear();
    const auto update = makeUpdate(*state_, std::nullopt);
    const auto callback = state_->updateCallback;
    lock.unlock();
    deliver(callback, update);
}

void PunctuationCommitLayer::setUpdateCallback(UpdateCallback callback) {
    const std::lock_guard lock(state_->mutex);
    state_->updateCallback = std::move(callback);
}

CommitLayerUpdate PunctuationCommitLayer::explicitCommit(CommitReason reason) {
    std::unique_lock lock(state_->mutex);
    invalidateDebounce();
    commitGhostText(*state_);
    const auto update = makeUpdate(*state_, std::move(reason));
    const auto callback = state_->updateCallback;
    lock.unlock();
    deliver(callback, update);
    return update;
}

void PunctuationCommitLayer::invalidateDebounce() {
    state_->debounceTask.cancel();
    state_->debounceTask = {};
    ++state_->debounceGeneration;
}

void PunctuationCommitLayer::startDebounceTimer() {
    invalidateDebounce();
    const auto delay =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(config_.debounceTimeout));
    state_->debounceTask =
        timers_.asyncAfter(delay, [state = std::weak_ptr(state_), generation = state_->debounceGeneration,
                                   commitOnTimeout = config_.commitOnTimeout] {
            if (commitOnTimeout) {
                onDebounceTimeout(state, generation);
            }
        });
}

void PunctuationCommitLayer::onDebounceTimeout(const std::weak_ptr<State>& weakState, std::uint64_t generation) {
    const auto state = weakState.lock();
    if (!state) {
        return;
    }
    std::unique_lock lock(state->mutex);
    if (state->debounceGeneration != generation || state->ghostText.empty()) {
        return;
    }
    commitGhostText(*state);
    const auto update = makeUpdate(*state, CommitReason::debounceTimeout());
    const auto callback = state->updateCallback;
    lock.unlock();
    deliver(callback, update);
}

void PunctuationCommitLayer::commitGhostText(State& state) {
    if (state.ghostText.empty()) {
        return;
    }
    if (!state.committedText.empty() && !endsInWhiteSpace(state.committedText)) {
        state.committedText += ' ';
    }
    state.committedText += state.ghostText;
    state.ghostText.clear();
}

CommitLayerUpdate PunctuationCommitLayer::makeUpdate(const State& state, std::optional<CommitReason> reason) {
    return {.committedText = state.committedText,
            .ghostText = state.ghostText,
            .totalText = state.committedText + state.ghostText,
            .lastCommitReason = std::move(reason),
            .timestamp = std::chrono::system_clock::now()};
}

void PunctuationCommitLayer::deliver(const UpdateCallback& callback, const CommitLayerUpdate& update) {
    if (callback) {
        callback(update);
    }
}

} // namespace quorl
