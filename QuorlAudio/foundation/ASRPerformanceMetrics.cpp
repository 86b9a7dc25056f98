#include "QuorlAudio/foundation/ASRPerformanceMetrics.hpp"

#include "QuorlAudio/foundation/JsonFloat.hpp"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace quorl {

namespace {

std::string fixed(double value, int decimals) {
    const int length = std::snprintf(nullptr, 0, "%.*f", decimals, value);
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, "%.*f", decimals, value);
    return text;
}

} // namespace

std::string ASRPerformanceMetrics::summary() const {
    return "Performance Metrics:\n- Preprocessor: " + fixed(preprocessorTime, 3) +
           "s\n- Encoder: " + fixed(encoderTime, 3) + "s\n- Decoder: " + fixed(decoderTime, 3) +
           "s\n- Total: " + fixed(totalProcessingTime, 3) + "s\n- RTFx: " + fixed(rtfx, 1) +
           "x real-time\n- Peak Memory: " + fixed(peakMemoryMB, 1) +
           " MB\n- GPU Utilization: " + (gpuUtilization ? fixed(*gpuUtilization, 1) + "%" : "N/A");
}

void to_json(nlohmann::json& json, const ASRPerformanceMetrics& metrics) {
    json = {
        {"preprocessorTime", metrics.preprocessorTime},
        {"encoderTime", metrics.encoderTime},
        {"decoderTime", metrics.decoderTime},
        {"totalProcessingTime", metrics.totalProcessingTime},
        {"rtfx", jsonFloat(metrics.rtfx)},
        {"peakMemoryMB", jsonFloat(metrics.peakMemoryMB)},
    };
    if (metrics.gpuUtilization) {
        json["gpuUtilization"] = jsonFloat(*metrics.gpuUtilization);
    }
}

void from_json(const nlohmann::json& json, ASRPerformanceMetrics& metrics) {
    json.at("preprocessorTime").get_to(metrics.preprocessorTime);
    json.at("encoderTime").get_to(metrics.encoderTime);
    json.at("decoderTime").get_to(metrics.decoderTime);
    json.at("totalProcessingTime").get_to(metrics.totalProcessingTime);
    json.at("rtfx").get_to(metrics.rtfx);
    json.at("peakMemoryMB").get_to(metrics.peakMemoryMB);
    const auto gpuUtilization = json.find("gpuUtilization");
    if (gpuUtilization != json.end() && !gpuUtilization->is_null()) {
        metrics.gpuUtilization = gpuUtilization->get<float>();
    } else {
        metrics.gpuUtilization.reset();
    }
}

} // namespace quorl
