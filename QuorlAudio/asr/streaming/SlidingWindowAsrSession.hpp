#pragma once

#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrConfig.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"
#include "QuorlAudio/asr/streaming/StreamingAsrManager.hpp"
#include "QuorlAudio/asr/streaming/StreamingModelVariant.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioSource.hpp"

#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace quorl {

// Runs a live recogniser per audio source at once (the microphone and the system's own output), all sharing
// one transducer model set, and beside them at most one streaming engine per source. It owns the model set,
// makes, finds and removes the recognisers and engines, and stops them all together.
//
// Every public operation holds one mutex, but never while models load or a recogniser starts: two overlapping
// creations for one source may both build one, and the one stored last stays.
class SlidingWindowAsrSession {
public:
    using Streams = std::map<AudioSource, std::shared_ptr<SlidingWindowAsrManager>>;

    SlidingWindowAsrSession();

    // Downloads what is missing of the v3 models (int8 encoder) into the default cache folder and loads them,
    // unless the session has them already. Failures propagate and leave the session without models.
    void loadModels();

    // The source's recogniser, made on first use: loads the models if needed, then starts a recogniser of
    // `config` on the shared set. An existing recogniser is returned as it is, whatever `config` says.
    // Model, configuration and start failures propagate and register nothing.
    std::shared_ptr<SlidingWindowAsrManager> createStream(AudioSource source, const SlidingWindowAsrConfig& config);
    std::shared_ptr<SlidingWindowAsrManager> getStream(AudioSource source) const;
    // Forgets the recogniser without stopping it; a caller that holds it may go on using it.
    void removeStream(AudioSource source);
    Streams activeStreams() const;

    // The source's engine, made by the variant's factory with the runtime's default configuration and loaded
    // on first use. An existing engine is returned whatever its variant. Load failures propagate and register
    // nothing.
    std::shared_ptr<StreamingAsrManager> createEngine(StreamingModelVariant variant, AudioSource source);
    std::shared_ptr<StreamingAsrManager> getEngine(AudioSource source) const;
    // Forgets the engine without resetting it.
    void removeEngine(AudioSource source);

    // Cancels every recogniser and resets every engine (ignoring reset failures), then forgets them and the
    // models; neither is cleaned up. The session can load again afterwards.
    void cleanup();

private:
    const AppLogger logger_;

    mutable std::mutex mutex_;
    std::optional<AsrModels> loadedModels_;
    Streams streams_;
    std::map<AudioSource, std::shared_ptr<StreamingAsrManager>> engines_;
};

} // namespace quorl
