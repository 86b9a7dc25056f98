#pragma once

#include "platform/audio/FormatConverter.hpp"
#include "platform/audio/PCMBuffer.hpp"

namespace platform::audio {

// An input block for one live buffer: it hands `buffer` over the first time it is asked, then answers "no data
// now", so a converter that lives for a whole stream converts this buffer and keeps its resampling state for
// the next one. The converter takes in all of the buffer before convert() returns, so the buffer only has to
// outlive that call.
FormatConverter::InputBlock singleBufferInput(const PCMBuffer& buffer);

} // namespace platform::audio
