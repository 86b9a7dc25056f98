#include "platform/audio/AlsaPcm.hpp"

#include <mutex>

namespace platform::audio {

namespace {

void quietLibraryMessages(const char*, int, const char*, int, const char*, ...) {}

} // namespace

int openPcm(PcmHandle& pcm, const std::string& deviceName, snd_pcm_stream_t stream, int mode) {
    static std::once_flag quietened;
    std::call_once(quietened, [] { snd_lib_error_set_handler(quietLibraryMessages); });
    snd_pcm_t* opened = nullptr;
    const int status = snd_pcm_open(&opened, deviceName.c_str(), stream, mode);
    pcm.reset(status >= 0 ? opened : nullptr);
    return status;
}

} // namespace platform::audio
