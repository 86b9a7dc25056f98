#pragma once

#include "QuorlAudio/asr/streaming/CommitLayerUpdate.hpp"
#include "QuorlAudio/asr/streaming/CommitReason.hpp"
#include "platform/core/DedicatedTask.hpp"
#include "platform/core/MainQueue.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace quorl {

// Splits the live text of a streaming recogniser into a committed part, which never changes again, and a
// volatile ghost tail. Text is committed at the last punctuation mark of a partial hypothesis, at an end of
// utterance, on request, and, when enabled, after a quiet period without partial hypotheses. The caller feeds
// the hypothesis of the segment not committed yet; the layer knows nothing of engines.
//
// Every public operation holds one mutex. The update callback runs after it is released, before the
// operation returns; a timeout commit calls it on the timer queue's thread. It must not call back into the
// layer and wait.
class PunctuationCommitLayer {
public:
    using UpdateCallback = std::function<void(const CommitLayerUpdate& update)>;

    struct Config {
        // Seconds without a partial hypothesis before the ghost text is committed; finite and not negative.
        double debounceTimeout = 0;
        // The characters that commit the text up to them, each one user-perceived character.
        std::set<std::string> punctuationMarks;
        // Whether the quiet period commits; when false its timer still runs but does nothing.
        bool commitOnTimeout = false;
    };

    // The quiet-period timers run on a queue of the layer's own, on the system clock. Throws
    // std::invalid_argument for a timeout that is negative or not finite.
    explicit PunctuationCommitLayer(Config config);
    // The timers run on `timers`, which the caller runs and which follows the caller's clock; it must outlive
    // the layer.
    PunctuationCommitLayer(Config config, platform::core::MainQueue& timers);
    // Cancels a pending timer; nothing is committed afterwards.
    ~PunctuationCommitLayer();
    PunctuationCommitLayer(const PunctuationCommitLayer&) = delete;
    PunctuationCommitLayer& operator=(const PunctuationCommitLayer&) = delete;

    // Commits up to the text's last mark, the blanks behind it included (one blank when there are none), and
    // keeps the rest as ghost text; without a mark the whole text is ghost and the quiet period starts again.
    CommitLayerUpdate processPartialText(const std::string& text);
    // Commits the ghost text, reporting the reason even when there was nothing to commit.
    CommitLayerUpdate processEOU();
    CommitLayerUpdate manualCommit();
    // Forgets all text and reports three empty texts.
    void reset();
    void setUpdateCallback(UpdateCallback callback);

private:
    // What a pending timer reaches: once the layer is gone, its timer finds nothing to commit.
    struct State {
        std::mutex mutex;
        std::string committedText;
        std::string ghostText;
        platform::core::MainQueue::Timer debounceTask;
        // Changes whenever the timer is invalidated, so a wake-up that its cancellation came too late for
        // commits nothing.
        std::uint64_t debounceGeneration = 0;
        UpdateCallback updateCallback;
    };

    PunctuationCommitLayer(Config config, platform::core::MainQueue* timers);

    CommitLayerUpdate explicitCommit(CommitReason reason);
    // Called with the state's mutex held.
    void invalidateDebounce();
    void startDebounceTimer();
    static void onDebounceTimeout(const std::weak_ptr<State>& state, std::uint64_t generation);
    static void commitGhostText(State& state);
    static CommitLayerUpdate makeUpdate(const State& state, std::optional<CommitReason> reason);
    static void deliver(const UpdateCallback& callback, const CommitLayerUpdate& update);

    const Config config_;
    const std::chrono::nanoseconds debounceDelay_;
    std::unique_ptr<platform::core::MainQueue> ownTimers_;
    platform::core::MainQueue& timers_;
    std::shared_ptr<State> state_;
    // Last, so its thread starts once the queue it runs exists and stops before it goes.
    std::unique_ptr<platform::core::DedicatedTask> ownTimerLoop_;
};

} // namespace quorl
