#pragma once

namespace quorl {

// The time-out of a model download: how many seconds a transfer may stay idle (nothing connected, nothing
// received) before it fails and is retried or resumed.
struct DownloadConfig {
    double timeout = 0;

    // One minute, which every hub request carries: a transfer that is moving is never cut however large its
    // file, and a stalled server holds a download for minutes, not hours.
    static DownloadConfig defaultConfig();
};

} // namespace quorl
