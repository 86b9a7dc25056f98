#include "QuorlAudio/models/RepositoryPath.hpp"

#include "QuorlAudio/models/DownloadError.hpp"

#include <optional>
#include <string_view>

namespace quorl {
namespace {

bool hasParentSegment(std::string_view path) {
    while (true) {
        const auto slash = path.find('/');
        if (path.substr(0, slash) == "..") {
            return true;
        }
        if (slash == std::string_view::npos) {
            return false;
        }
        path.remove_prefix(slash + 1);
    }
}

std::optional<std::string> unsafeReason(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) {
        return "unsafe path: NUL character";
    }
    if (path.find('\\') != std::string_view::npos) {
        return "unsafe path: backslash";
    }
    if (path.starts_with('/')) {
        return "unsafe path: absolute";
    }
    if (hasParentSegment(path)) {
        return "unsafe path: \"..\" segment";
    }
    return std::nullopt;
}

} // namespace

void checkRepositoryPath(const std::string& path) {
    if (const auto reason = unsafeReason(path)) {
        throw DownloadError::invalidArtifact(path, *reason);
    }
}

} // namespace quorl
