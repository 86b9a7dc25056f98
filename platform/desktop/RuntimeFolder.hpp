#pragma once

#include <filesystem>

namespace platform::desktop {

// The user's folder for sockets, locks and other files that live only while the user is logged in:
// $XDG_RUNTIME_DIR, or else a folder "runtime-<uid>" in the temporary folder, created private to the user.
// Throws platform::core::SystemError when the fallback folder cannot be made or belongs to someone else.
std::filesystem::path runtimeFolder();

// Makes `folder` (its parent must exist) with mode 0700 unless it exists; an existing one must be a real
// folder, not a link, owned by this user, and is made 0700 when its mode is wider. Throws
// platform::core::SystemError otherwise, or when it cannot be made or inspected.
void requirePrivateFolder(const std::filesystem::path& folder);

} // namespace platform::desktop
