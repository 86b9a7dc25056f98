#include "QuorlAudio/models/CacheFolderLock.hpp"

#include <map>
#include <system_error>

namespace quorl {
namespace {

// One mutex per folder, kept for the life of the process: there are only as many as folders ever loaded.
std::shared_ptr<std::mutex> mutexFor(const std::filesystem::path& folder) {
    static std::mutex registryMutex;
    static std::map<std::filesystem::path, std::shared_ptr<std::mutex>> registry;
    // Two spellings of one folder (a link, "a/../b") must share a lock.
    std::error_code unresolved;
    std::filesystem::path key = std::filesystem::weakly_canonical(folder, unresolved);
    if (unresolved) {
        key = folder.lexically_normal();
    }
    std::lock_guard lock(registryMutex);
    auto& mutex = registry[key];
    if (!mutex) {
        mutex = std::make_shared<std::mutex>();
    }
    return mutex;
}

} // namespace

CacheFolderLock::CacheFolderLock(const std::filesystem::path& folder) : mutex_(mutexFor(folder)), lock_(*mutex_) {}

} // namespace quorl
