#pragma once

#include <filesystem>

namespace platform::sys {

// The user's folders, following the XDG base-directory conventions. Each throws
// platform::core::SystemError when neither its variable nor a home folder can be found.
class UserFolders {
public:
    // $HOME, or the password database's home folder when HOME is unset.
    static std::filesystem::path home();
    // Application Support: $XDG_DATA_HOME, default ~/.local/share.
    static std::filesystem::path applicationSupport();
    // Caches: $XDG_CACHE_HOME, default ~/.cache.
    static std::filesystem::path caches();
    // $TMPDIR, default /tmp.
    static std::filesystem::path temporary();
};

} // namespace platform::sys
