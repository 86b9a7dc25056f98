#pragma once

#include "AsrManagerTestModels.hpp"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace quorl {

// Decides, for a test, when the chunks of a long transcription go on: the recording set's preprocessor calls it
// with every window, and a held chunk waits there until the test releases it or the chunk's task is cancelled.
// So a test makes chunks finish in the order it wants, or fail, without sleeping. Chunks are told apart by the
// recording frame their window starts at. A held chunk gives up after a minute (recorded as timedOut), so a
// transcription that waits for the wrong chunk fails its test instead of hanging it.
class ChunkGate {
public:
    enum class Exit { passed, released, cancelled, timedOut };

    struct Entry {
        int chunk;
        // The recogniser that decoded the window (see AsrManagerTestModels::RecordingWindow).
        const void* recogniser;
        Exit exit;

        bool operator==(const Entry&) const = default;
    };

    // Chunk k's window starts at recording frame firstFrames[k]; other windows are chunk -1.
    explicit ChunkGate(std::vector<int> firstFrames);

    // The function for AsrManagerTestModels::recordingModelSet.
    AsrManagerTestModels::WindowGate windowGate() const;

    void hold(std::set<int> chunks);
    // Lets every held chunk go, and every chunk that arrives later.
    void releaseAll();
    // Runs when the chunk arrives, before it is held; a throw fails the chunk's window.
    void onArrival(int chunk, std::function<void()> action);

    // Waits until the chunk has arrived; false when it has not within a minute.
    bool awaitArrival(int chunk) const;

    // The windows that went on (or failed), in that order.
    std::vector<Entry> entries() const;
    // The recogniser of the chunk's first window, null when it never arrived.
    const void* recogniserOf(int chunk) const;

private:
    struct State {
        std::vector<int> firstFrames;
        std::mutex mutex;
        std::condition_variable_any changed;
        std::set<int> held;
        bool allReleased = false;
        std::map<int, std::function<void()>> arrivals;
        std::set<int> arrived;
        std::vector<Entry> entries;

        void pass(const AsrManagerTestModels::RecordingWindow& window);
        Exit wait(int chunk);
    };

    std::shared_ptr<State> state_;
};

// Where the windows of the first `chunks` chunks start with the default layout (mel context on), for a ChunkGate:
// chunk 0 at frame 0, chunk k at frame 161 k − 1, one frame of context before its start.
std::vector<int> contextWindowStarts(int chunks);

} // namespace quorl
