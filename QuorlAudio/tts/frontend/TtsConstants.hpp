#pragma once

#include <string_view>

namespace quorl::TtsConstants {

// The voice offered to callers that have no preference.
inline constexpr std::string_view recommendedVoice = "af_heart";

} // namespace quorl::TtsConstants
