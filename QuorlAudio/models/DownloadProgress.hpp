#pragma once

#include <functional>
#include <string>

namespace quorl {

// The stage a progress report belongs to.
class DownloadPhase {
public:
    enum class Kind { downloading, compiling, listing };

    static DownloadPhase downloading(int completedFiles, int totalFiles);
    // A compiled model being loaded; the name is empty in the final report.
    static DownloadPhase compiling(std::string modelName);
    static DownloadPhase listing();

    Kind kind() const { return kind_; }
    int completedFiles() const { return completedFiles_; }
    int totalFiles() const { return totalFiles_; }
    const std::string& modelName() const { return modelName_; }

    friend bool operator==(const DownloadPhase&, const DownloadPhase&) = default;

private:
    explicit DownloadPhase(Kind kind) : kind_(kind) {}

    Kind kind_;
    int completedFiles_ = 0;
    int totalFiles_ = 0;
    std::string modelName_;
};

// What every model download and load reports. The fraction covers the whole operation, downloading and
// loading together, and may fall back when a file's download restarts from its first byte.
struct DownloadProgress {
    double fractionCompleted = 0;
    DownloadPhase phase = DownloadPhase::listing();

    friend bool operator==(const DownloadProgress&, const DownloadProgress&) = default;
};

// Receives the progress of a model download or load; may be called from any thread.
using ProgressHandler = std::function<void(const DownloadProgress& progress)>;

} // namespace quorl
