#pragma once

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/core/SystemError.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace platform::audio {

// Pull-style conversion of a stream of PCM buffers from one format to another: sample type, interleaving,
// channel count and sample rate. The converter asks its caller for input through an input block as it needs
// it and fills the caller's output buffer; the resampler's state is kept from one call to the next, so a
// stream cut into any buffers converts exactly as it would in one piece. When the input block reports the
// end of the stream, the resampler's tail is flushed into the output.
//
// Channels: equal counts are kept as they are; many channels to one are averaged; one channel to many is
// copied into each. Other channel changes are not supported (make fails). Resampling is done by libsoxr at
// its very-high quality. Integers map to floats as value / 2^(bits-1); floats map back to integers rounded
// to nearest and clipped to the integer's range.
//
// Not thread-safe: one stream, one caller at a time.
class FormatConverter {
public:
    enum class InputStatus { haveData, noDataNow, endOfStream };
    enum class OutputStatus { haveData, inputRanDry, endOfStream, error };

    struct InputBlockResult {
        InputStatus status;
        // The next input, in the converter's input format; only read with haveData.
        std::shared_ptr<const PCMBuffer> buffer;
    };
    // Called with the number of input frames the converter would like next (a hint; any count may be given).
    // The converter has taken in all of the previous buffer before it calls again, so a block may refill and
    // hand over the same buffer each time.
    using InputBlock = std::function<InputBlockResult(std::uint32_t frameCount)>;

    struct ConversionResult {
        OutputStatus status;
        // Set with OutputStatus::error.
        std::optional<core::SystemError> error;
    };

    // Null when the formats cannot be converted (an unsupported channel change).
    static std::unique_ptr<FormatConverter> make(const AudioFormat& inputFormat, const AudioFormat& outputFormat);
    ~FormatConverter();
    FormatConverter(const FormatConverter&) = delete;
    FormatConverter& operator=(const FormatConverter&) = delete;

    const AudioFormat& inputFormat() const;
    const AudioFormat& outputFormat() const;

    // Fills `output` (whose format must be the output format) from its first frame, setting its frame length
    // to the frames written, and answers:
    // - haveData: the output is full; call again for more.
    // - inputRanDry: the input block answered noDataNow; the output holds what could be made so far.
    // - endOfStream: the input has ended and everything, the resampler's tail included, has been delivered.
    //   Later calls deliver nothing and answer endOfStream again.
    // - error: the output buffer or an input buffer had the wrong format, haveData came without a buffer, or the
    //   resampler failed.
    // An output buffer without capacity receives nothing and answers haveData without asking for input.
    ConversionResult convert(PCMBuffer& output, const InputBlock& inputBlock);

private:
    class Stream;

    explicit FormatConverter(std::unique_ptr<Stream> stream);

    std::unique_ptr<Stream> stream_;
};

} // namespace platform::audio
