// Converts one audio file to the recognisers' 16 kHz mono Float32 WAV, as a whole process, so its time can be
// set beside a command-line converter's: resample-file INPUT OUTPUT.
#include "QuorlAudio/foundation/AudioConverter.hpp"

#include <sndfile.h>

#include <cstdio>
#include <exception>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: resample-file INPUT OUTPUT\n", stderr);
        return 2;
    }
    try {
        const quorl::AudioConverter converter;
        const std::vector<float> samples = converter.resampleAudioFile(argv[1]);
        SF_INFO info{.frames = 0,
                     .samplerate = 16000,
                     .channels = 1,
                     .format = SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                     .sections = 0,
                     .seekable = 0};
        SNDFILE* file = sf_open(argv[2], SFM_WRITE, &info);
        if (file == nullptr) {
            std::fprintf(stderr, "cannot write %s: %s\n", argv[2], sf_strerror(nullptr));
            return 1;
        }
        const auto written = sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(file);
        return written == static_cast<sf_count_t>(samples.size()) ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
