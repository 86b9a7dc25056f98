#include "Mirvo/HostLog.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/sys/UnifiedLog.hpp"

namespace mirvo {

void hostLog(std::string_view message) { platform::sys::systemLog(platform::core::concatenated({"Mirvo: ", message})); }

} // namespace mirvo
