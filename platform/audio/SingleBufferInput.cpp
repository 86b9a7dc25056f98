#include "platform/audio/SingleBufferInput.hpp"

#include <memory>
#include <utility>

namespace platform::audio {

FormatConverter::InputBlock singleBufferInput(const PCMBuffer& buffer) {
    auto lent = std::shared_ptr<const PCMBuffer>(std::shared_ptr<const PCMBuffer>(), &buffer);
    return [lent, given = false](std::uint32_t) mutable -> FormatConverter::InputBlockResult {
        if (std::exchange(given, true)) {
            return {.status = FormatConverter::InputStatus::noDataNow, .buffer = nullptr};
        }
        return {.status = FormatConverter::InputStatus::haveData, .buffer = lent};
    };
}

} // namespace platform::audio
