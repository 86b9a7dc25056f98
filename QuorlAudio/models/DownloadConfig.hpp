#pragma once

namespace quorl {

// The time-out of a model download.
struct DownloadConfig {
    double timeout = 0;

    // Thirty minutes: long enough for the largest model files, the same allowance every hub request carries.
    static DownloadConfig defaultConfig();
};

} // namespace quorl
