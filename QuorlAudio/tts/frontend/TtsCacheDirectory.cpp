#include "QuorlAudio/tts/frontend/TtsCacheDirectory.hpp"

#include "platform/sys/UserFolders.hpp"

namespace quorl::TtsCacheDirectory {

namespace {

// Whatever already stands at `folder` is left as it is.
std::filesystem::path madeWhenMissing(const std::filesystem::path& folder) {
    if (!std::filesystem::exists(std::filesystem::symlink_status(folder))) {
        std::filesystem::create_directories(folder);
    }
    return folder;
}

} // namespace

std::filesystem::path ensure() { return madeWhenMissing(platform::sys::UserFolders::home() / ".cache" / "quorlaudio"); }

std::filesystem::path ensureModels() { return madeWhenMissing(ensure() / "Models"); }

} // namespace quorl::TtsCacheDirectory
