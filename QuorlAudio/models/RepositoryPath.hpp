#pragma once

#include <string>

namespace quorl {

// Refuses a file path that a hub listing reports when storing the file at that path under a local folder
// could land anywhere else: an absolute path, a ".." segment, a backslash (a separator elsewhere) or a NUL
// character. Throws DownloadError::invalidArtifact naming the path and the reason.
void checkRepositoryPath(const std::string& path);

} // namespace quorl
