#pragma once

#include <filesystem>
#include <memory>
#include <mutex>

namespace quorl {

// Holds the process-wide lock of one cache folder while alive, so that operations which may purge and
// refill a folder never run at the same time as another one on the same folder. Different folders do not
// wait for each other. Not re-entrant: the holder must not take the same folder's lock again.
class CacheFolderLock {
public:
    explicit CacheFolderLock(const std::filesystem::path& folder);
    CacheFolderLock(const CacheFolderLock&) = delete;
    CacheFolderLock& operator=(const CacheFolderLock&) = delete;

private:
    std::shared_ptr<std::mutex> mutex_;
    std::lock_guard<std::mutex> lock_;
};

} // namespace quorl
