#include "platform/desktop/LockFileWorkspace.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/SystemError.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>

namespace platform::desktop {

namespace {

constexpr int lockFileFlags = O_CLOEXEC | O_NOFOLLOW;

class ThisCopy final : public RunningApplication {
public:
    explicit ThisCopy(Workspace::ActivationHandler onActivate) : onActivate_(std::move(onActivate)) {}

    pid_t processIdentifier() const override { return ::getpid(); }

    bool activate() override {
        onActivate_();
        return true;
    }

private:
    Workspace::ActivationHandler onActivate_;
};

class OtherCopy final : public RunningApplication {
public:
    OtherCopy(pid_t processIdentifier, std::filesystem::path socketPath)
        : processIdentifier_(processIdentifier), socketPath_(std::move(socketPath)) {}

    pid_t processIdentifier() const override { return processIdentifier_; }

    bool activate() override { return ActivationListener::requestActivation(socketPath_); }

private:
    pid_t processIdentifier_;
    std::filesystem::path socketPath_;
};

// The identifier becomes part of file names, so it may not climb out of the folder or hide.
bool isPlainName(const std::string& name) {
    return !name.empty() && name.front() != '.' && std::ranges::all_of(name, [](unsigned char character) {
        return std::isalnum(character) != 0 || character == '.' || character == '-' || character == '_';
    });
}

int flockRetrying(int descriptor, int operation) {
    int result = 0;
    do {
        result = ::flock(descriptor, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

std::optional<pid_t> parseProcessIdentifier(std::string_view text) {
    pid_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || value <= 0 || (end != text.data() + text.size() && *end != '\n')) {
        return std::nullopt;
    }
    return value;
}

std::optional<pid_t> readProcessIdentifier(const sys::FileDescriptor& lock) {
    std::array<char, 32> buffer{};
    const ssize_t length = ::pread(lock.get(), buffer.data(), buffer.size(), 0);
    if (length <= 0) {
        return std::nullopt;
    }
    return parseProcessIdentifier(std::string_view(buffer.data(), static_cast<std::size_t>(length)));
}

void writeProcessIdentifier(const sys::FileDescriptor& lock, const std::filesystem::path& path) {
    const std::string text = core::concatenated({std::to_string(::getpid()), "\n"});
    if (::ftruncate(lock.get(), 0) != 0 ||
        ::pwrite(lock.get(), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
        throw core::SystemError::fromErrno(errno, core::concatenated({"Cannot write the lock file ", path.string()}));
    }
}

} // namespace

LockFileWorkspace::LockFileWorkspace(std::filesystem::path folder) : folder_(std::move(folder)) {}

void LockFileWorkspace::registerLaunch(const std::string& bundleIdentifier, ActivationHandler onActivate) {
    std::lock_guard lock(mutex_);
    if (!registeredIdentifier_.empty()) {
        return;
    }
    const sys::FileDescriptor launch = holdLaunchLock(bundleIdentifier);
    const auto lockPath = pathFor(bundleIdentifier, ".lock");
    sys::FileDescriptor instanceLock(::open(lockPath.c_str(), O_RDWR | O_CREAT | lockFileFlags, 0600));
    if (!instanceLock.isOpen()) {
        throw core::SystemError::fromErrno(errno,
                                           core::concatenated({"Cannot open the lock file ", lockPath.string()}));
    }
    if (flockRetrying(instanceLock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return;
        }
        throw core::SystemError::fromErrno(errno, core::concatenated({"Cannot lock ", lockPath.string()}));
    }
    writeProcessIdentifier(instanceLock, lockPath);
    listener_ = std::make_unique<ActivationListener>(pathFor(bundleIdentifier, ".sock"), onActivate);
    instanceLock_ = std::move(instanceLock);
    registeredIdentifier_ = bundleIdentifier;
    onActivate_ = std::move(onActivate);
}

std::vector<std::shared_ptr<RunningApplication>>
LockFileWorkspace::runningApplications(const std::string& bundleIdentifier) {
    {
        std::lock_guard lock(mutex_);
        if (!registeredIdentifier_.empty() && registeredIdentifier_ == bundleIdentifier) {
            return {std::make_shared<ThisCopy>(onActivate_)};
        }
    }
    try {
        if (auto holder = lockHolder(bundleIdentifier)) {
            return {std::make_shared<OtherCopy>(*holder, pathFor(bundleIdentifier, ".sock"))};
        }
    } catch (const core::SystemError&) {
        // A folder or lock that cannot be read shows no running copy.
    }
    return {};
}

std::filesystem::path LockFileWorkspace::pathFor(const std::string& bundleIdentifier, const char* extension) const {
    if (!isPlainName(bundleIdentifier)) {
        throw core::SystemError::fromErrno(
            EINVAL, core::concatenated({"Not a usable bundle identifier: \"", bundleIdentifier, "\""}));
    }
    return folder_ / core::concatenated({bundleIdentifier, extension});
}

sys::FileDescriptor LockFileWorkspace::holdLaunchLock(const std::string& bundleIdentifier) const {
    const auto path = pathFor(bundleIdentifier, ".launch");
    sys::FileDescriptor launch(::open(path.c_str(), O_RDWR | O_CREAT | lockFileFlags, 0600));
    if (!launch.isOpen() || flockRetrying(launch.get(), LOCK_EX) != 0) {
        throw core::SystemError::fromErrno(errno, core::concatenated({"Cannot lock ", path.string()}));
    }
    return launch;
}

std::optional<pid_t> LockFileWorkspace::lockHolder(const std::string& bundleIdentifier) const {
    const sys::FileDescriptor launch = holdLaunchLock(bundleIdentifier);
    const auto lockPath = pathFor(bundleIdentifier, ".lock");
    const sys::FileDescriptor instanceLock(::open(lockPath.c_str(), O_RDONLY | lockFileFlags));
    if (!instanceLock.isOpen()) {
        return std::nullopt;
    }
    // Getting a shared lock means nobody holds the exclusive one: the file is left from a copy that ended.
    if (flockRetrying(instanceLock.get(), LOCK_SH | LOCK_NB) == 0 || errno != EWOULDBLOCK) {
        return std::nullopt;
    }
    return readProcessIdentifier(instanceLock);
}

} // namespace platform::desktop
