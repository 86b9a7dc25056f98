#pragma once

#include "platform/speech/PocketsphinxModel.hpp"

#include <cstdint>
#include <span>
#include <string>

struct ps_decoder_s;
struct cmd_ln_s;

namespace platform::speech {

// One pocketsphinx decoder with its model loaded: utterances of 16 kHz mono 16-bit audio in, the best
// hypothesis out. Loading takes a while (the language model is large). Not thread-safe.
class PocketsphinxDecoder {
public:
    // Throws core::SystemError when the model cannot be loaded.
    explicit PocketsphinxDecoder(const PocketsphinxModel& model);
    ~PocketsphinxDecoder();
    PocketsphinxDecoder(const PocketsphinxDecoder&) = delete;
    PocketsphinxDecoder& operator=(const PocketsphinxDecoder&) = delete;

    void startUtterance();
    void process(std::span<const std::int16_t> samples);
    void endUtterance();
    // The best hypothesis of the current utterance so far; empty when nothing was recognised.
    std::string hypothesis() const;

private:
    cmd_ln_s* configuration_ = nullptr;
    ps_decoder_s* decoder_ = nullptr;
};

} // namespace platform::speech
