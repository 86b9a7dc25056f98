#pragma once

#include <alsa/asoundlib.h>

#include <memory>
#include <string>

namespace platform::audio {

struct ClosePcm {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
// An open ALSA stream, closed with its handle.
using PcmHandle = std::unique_ptr<snd_pcm_t, ClosePcm>;

// Opens the named device as snd_pcm_open does, returning its status; on success `pcm` holds the stream. The
// library's own messages on standard error are silenced first, once for the process: they describe every step
// of a failed lookup, while the callers report the one failure that matters themselves.
int openPcm(PcmHandle& pcm, const std::string& deviceName, snd_pcm_stream_t stream, int mode);

} // namespace platform::audio
