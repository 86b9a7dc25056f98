#pragma once

#include <filesystem>

namespace platform::desktop {

// The user's folder for sockets, locks and other files that live only while the user is logged in:
// $XDG_RUNTIME_DIR, or else a folder "runtime-<uid>" in the temporary folder, created private to the user.
// Throws platform::core::SystemError when the fallback folder cannot be made or belongs to someone else.
std::filesystem::path runtimeFolder();

} // namespace platform::desktop
