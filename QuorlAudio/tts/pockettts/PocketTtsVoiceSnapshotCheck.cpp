#include "QuorlAudio/tts/pockettts/PocketTtsVoiceSnapshotCheck.hpp"

#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "platform/core/Concatenated.hpp"

#include <string>

namespace quorl {

void checkVoiceSnapshot(const PocketTtsVoiceCacheSnapshot& snapshot, std::int64_t layers,
                        std::string_view capacityName) {
    using platform::core::concatenated;
    const auto text = [](std::int64_t value) { return std::to_string(value); };
    const auto snapshotLayers = static_cast<std::int64_t>(snapshot.layers.size());
    if (snapshotLayers != layers) {
        throw PocketTTSError::processingFailed(concatenated(
            {"voice snapshot layer count ", text(snapshotLayers), " != model layer count ", text(layers)}));
    }
    constexpr auto capacity = PocketTtsConstants::kvCacheMaxLen;
    if (snapshot.cacheSeqLen > capacity || snapshot.cacheSeqLen < 0) {
        throw PocketTTSError::processingFailed(concatenated(
            {"voice snapshot seqLen ", text(snapshot.cacheSeqLen), " exceeds ", capacityName, " ", text(capacity)}));
    }
    const auto expected = snapshot.cacheSeqLen * 2 * PocketTtsConstants::transformerDim;
    for (std::size_t layer = 0; layer < snapshot.layers.size(); ++layer) {
        const auto actual = static_cast<std::int64_t>(snapshot.layers[layer].cache.size());
        if (actual != expected) {
            throw PocketTTSError::processingFailed(
                concatenated({"voice snapshot layer ", text(static_cast<std::int64_t>(layer)), " has ", text(actual),
                              " floats, expected ", text(expected)}));
        }
    }
}

} // namespace quorl
