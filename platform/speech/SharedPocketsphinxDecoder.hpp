#pragma once

#include "platform/speech/PocketsphinxDecoder.hpp"
#include "platform/speech/PocketsphinxModel.hpp"

#include <memory>
#include <mutex>

namespace platform::speech {

// The decoder of one recogniser, loaded by the first task that needs it and used by one task at a time: the
// tasks of a recogniser follow each other, so they take turns instead of each loading the model again.
class SharedPocketsphinxDecoder {
public:
    explicit SharedPocketsphinxDecoder(PocketsphinxModel model) : model_(std::move(model)) {}

    // Held for as long as a task decodes.
    std::mutex& mutex() { return mutex_; }
    // Loads the model at the first call. The mutex must be held. Throws core::SystemError.
    PocketsphinxDecoder& decoder();

private:
    const PocketsphinxModel model_;
    std::mutex mutex_;
    std::unique_ptr<PocketsphinxDecoder> decoder_;
};

} // namespace platform::speech
