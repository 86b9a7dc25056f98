#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace quorl {
class PocketTtsModelStore;
}

// What every PocketTTS synthesis operation shares: the frame a stream delivers, the frame budget of a chunk,
// the model store the caller binds for the length of a call, and the log they write to.
namespace quorl::PocketTtsSynthesizer {

struct AudioFrame {
    // 80 ms at 24000 Hz as the codec decoder gave it.
    std::vector<float> samples{};
    // Step within the chunk; starts again at 0 in every chunk.
    std::int64_t frameIndex = 0;
    std::int64_t chunkIndex = 0;
    std::int64_t chunkCount = 0;
    // Only frames of a session carry one.
    std::optional<std::int64_t> utteranceIndex{};
};

// At most (words + 2) × 12.5 frames, words being what lies between U+0020 spaces.
std::int64_t estimateMaxFrames(std::string_view text);

// The log of the synthesis operations, category "PocketTtsSynthesizer".
const AppLogger& synthesisLogger();

namespace Context {

// The store bound on this thread, or null.
std::shared_ptr<PocketTtsModelStore> modelStore();
// The store bound on this thread; PocketTTSError::processingFailed when none is.
std::shared_ptr<PocketTtsModelStore> requiredModelStore();

// Binds `store` on this thread while alive, then restores the previous binding.
class Binding {
public:
    explicit Binding(std::shared_ptr<PocketTtsModelStore> store);
    ~Binding();
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

private:
    std::shared_ptr<PocketTtsModelStore> previous_;
};

} // namespace Context

} // namespace quorl::PocketTtsSynthesizer
