#pragma once

#include <string_view>

namespace mirvo {

// Writes one of the host's diagnostic lines to the system log, prefixed "Mirvo: ".
void hostLog(std::string_view message);

} // namespace mirvo
