#pragma once

#include "tests/support/RecordingLogSink.hpp"

#include <string>
#include <vector>

namespace quorl::testing {

// The messages logged under `category`, in order.
inline std::vector<std::string> logLines(const testsupport::RecordingLogSink& sink,
                                         const std::string& category = "DownloadUtils") {
    std::vector<std::string> lines;
    for (const auto& record : sink.records()) {
        if (record.category == category) {
            lines.push_back(record.message);
        }
    }
    return lines;
}

} // namespace quorl::testing
