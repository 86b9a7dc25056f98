#include "platform/speech/SharedPocketsphinxDecoder.hpp"

namespace platform::speech {

PocketsphinxDecoder& SharedPocketsphinxDecoder::decoder() {
    if (!decoder_) {
        decoder_ = std::make_unique<PocketsphinxDecoder>(model_);
    }
    return *decoder_;
}

} // namespace platform::speech
