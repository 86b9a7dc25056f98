#include "ChunkGate.hpp"

#include "platform/core/Task.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <iterator>
#include <utility>

namespace quorl {

namespace {

constexpr std::chrono::minutes giveUpAfter{1};
constexpr int strideFrames = 161;

} // namespace

ChunkGate::ChunkGate(std::vector<int> firstFrames) : state_(std::make_shared<State>()) {
    state_->firstFrames = std::move(firstFrames);
}

AsrManagerTestModels::WindowGate ChunkGate::windowGate() const {
    return [state = state_](const AsrManagerTestModels::RecordingWindow& window) { state->pass(window); };
}

void ChunkGate::hold(std::set<int> chunks) {
    std::lock_guard lock(state_->mutex);
    state_->held = std::move(chunks);
}

void ChunkGate::releaseAll() {
    {
        std::lock_guard lock(state_->mutex);
        state_->allReleased = true;
    }
    state_->changed.notify_all();
}

void ChunkGate::onArrival(int chunk, std::function<void()> action) {
    std::lock_guard lock(state_->mutex);
    state_->arrivals[chunk] = std::move(action);
}

bool ChunkGate::awaitArrival(int chunk) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, giveUpAfter, [&] { return state_->arrived.contains(chunk); });
}

std::vector<ChunkGate::Entry> ChunkGate::entries() const {
    std::lock_guard lock(state_->mutex);
    return state_->entries;
}

const void* ChunkGate::recogniserOf(int chunk) const {
    std::lock_guard lock(state_->mutex);
    const auto entry =
        std::ranges::find_if(state_->entries, [chunk](const Entry& candidate) { return candidate.chunk == chunk; });
    return entry == state_->entries.end() ? nullptr : entry->recogniser;
}

void ChunkGate::State::pass(const AsrManagerTestModels::RecordingWindow& window) {
    const auto position = std::ranges::find(firstFrames, window.firstFrame);
    const int chunk =
        position == firstFrames.end() ? -1 : static_cast<int>(std::distance(firstFrames.begin(), position));
    std::function<void()> arrival;
    {
        std::lock_guard lock(mutex);
        arrived.insert(chunk);
        if (const auto found = arrivals.find(chunk); found != arrivals.end()) {
            arrival = found->second;
        }
    }
    changed.notify_all();
    Exit exit = Exit::passed;
    try {
        if (arrival) {
            arrival();
        }
        exit = wait(chunk);
    } catch (...) {
        std::lock_guard lock(mutex);
        entries.push_back(Entry{.chunk = chunk, .recogniser = window.recogniser, .exit = Exit::passed});
        throw;
    }
    std::lock_guard lock(mutex);
    entries.push_back(Entry{.chunk = chunk, .recogniser = window.recogniser, .exit = exit});
}

ChunkGate::Exit ChunkGate::State::wait(int chunk) {
    const auto token = platform::core::Task::current().stopToken();
    std::unique_lock lock(mutex);
    if (!held.contains(chunk) || allReleased) {
        return Exit::passed;
    }
    if (changed.wait_for(lock, token, giveUpAfter, [this] { return allReleased; })) {
        return Exit::released;
    }
    return token.stop_requested() ? Exit::cancelled : Exit::timedOut;
}

std::vector<int> contextWindowStarts(int chunks) {
    std::vector<int> frames{0};
    for (int chunk = 1; chunk < chunks; ++chunk) {
        frames.push_back(chunk * strideFrames - 1);
    }
    return frames;
}

} // namespace quorl
