#include "platform/speech/PocketsphinxDecoder.hpp"

#include "platform/core/SystemError.hpp"

#include <pocketsphinx.h>

namespace platform::speech {

namespace {

core::SystemError decoderError(const std::string& what) { return core::SystemError("platform.speech", 1, what); }

} // namespace

PocketsphinxDecoder::PocketsphinxDecoder(const PocketsphinxModel& model) {
    // Pocketsphinx logs every setting at length; the host's log stays readable without it.
    configuration_ =
        cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model.acousticModel.c_str(), "-lm", model.languageModel.c_str(),
                    "-dict", model.dictionary.c_str(), "-logfn", "/dev/null", nullptr);
    if (configuration_ != nullptr) {
        decoder_ = ps_init(configuration_);
    }
    if (decoder_ == nullptr) {
        if (configuration_ != nullptr) {
            cmd_ln_free_r(configuration_);
        }
        throw decoderError("Cannot load the speech model for " + model.locale);
    }
}

PocketsphinxDecoder::~PocketsphinxDecoder() {
    ps_free(decoder_);
    cmd_ln_free_r(configuration_);
}

void PocketsphinxDecoder::startUtterance() {
    if (ps_start_utt(decoder_) < 0) {
        throw decoderError("Cannot start an utterance");
    }
}

void PocketsphinxDecoder::process(std::span<const std::int16_t> samples) {
    if (ps_process_raw(decoder_, samples.data(), samples.size(), FALSE, FALSE) < 0) {
        throw decoderError("Cannot decode the audio");
    }
}

void PocketsphinxDecoder::endUtterance() {
    if (ps_end_utt(decoder_) < 0) {
        throw decoderError("Cannot end the utterance");
    }
}

std::string PocketsphinxDecoder::hypothesis() const {
    std::int32_t score = 0;
    const char* text = ps_get_hyp(decoder_, &score);
    return text == nullptr ? std::string() : std::string(text);
}

} // namespace platform::speech
