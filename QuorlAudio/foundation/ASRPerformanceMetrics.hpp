#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

namespace quorl {

// Where the time of one recognition went, and how fast and large it ran.
struct ASRPerformanceMetrics {
    double preprocessorTime = 0;
    double encoderTime = 0;
    double decoderTime = 0;
    double totalProcessingTime = 0;
    float rtfx = 0;
    float peakMemoryMB = 0;
    std::optional<float> gpuUtilization;

    // A short multi-line report of the figures, without a final newline.
    std::string summary() const;

    bool operator==(const ASRPerformanceMetrics&) const = default;
};

void to_json(nlohmann::json& json, const ASRPerformanceMetrics& metrics);
void from_json(const nlohmann::json& json, ASRPerformanceMetrics& metrics);

} // namespace quorl
