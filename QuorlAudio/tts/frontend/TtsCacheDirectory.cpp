#include "QuorlAudio/tts/frontend/TtsCacheDirectory.hpp"

#include "platform/sys/UserFolders.hpp"

namespace quorl::TtsCacheDirectory {

std::filesystem::path ensure() {
    const auto folder = platform::sys::UserFolders::home() / ".cache" / "quorlaudio";
    if (!std::filesystem::exists(std::filesystem::symlink_status(folder))) {
        std::filesystem::create_directories(folder);
    }
    return folder;
}

} // namespace quorl::TtsCacheDirectory
