#include "QuorlAudio/tts/pockettts/PocketTtsSynthesisContext.hpp"

#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"

#include <utility>

namespace quorl::PocketTtsSynthesizer {
namespace {

thread_local std::shared_ptr<PocketTtsModelStore> boundStore;

} // namespace

std::int64_t estimateMaxFrames(std::string_view text) {
    std::int64_t words = 0;
    bool inWord = false;
    for (const char character : text) {
        const bool separator = character == ' ';
        words += (!separator && !inWord) ? 1 : 0;
        inWord = !separator;
    }
    return static_cast<std::int64_t>(static_cast<double>(words + 2) * 12.5);
}

const AppLogger& synthesisLogger() {
    static const AppLogger instance("PocketTtsSynthesizer");
    return instance;
}

namespace Context {

std::shared_ptr<PocketTtsModelStore> modelStore() { return boundStore; }

std::shared_ptr<PocketTtsModelStore> requiredModelStore() {
    if (boundStore == nullptr) {
        throw PocketTTSError::processingFailed("PocketTtsSynthesizer requires a model store context.");
    }
    return boundStore;
}

Binding::Binding(std::shared_ptr<PocketTtsModelStore> store) : previous_(std::exchange(boundStore, std::move(store))) {}

Binding::~Binding() { boundStore = std::move(previous_); }

} // namespace Context

} // namespace quorl::PocketTtsSynthesizer
