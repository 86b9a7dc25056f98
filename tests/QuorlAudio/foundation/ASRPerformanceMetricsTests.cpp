#include "QuorlAudio/foundation/ASRPerformanceMetrics.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace quorl {
namespace {

TEST(ASRPerformanceMetricsTests, SummaryWithoutGpuUtilizationEndsInNotAvailable) {
    const ASRPerformanceMetrics metrics{0.0123, 0.5, 0.25, 1.0, 29.96f, 512.3f, std::nullopt};
    EXPECT_EQ(metrics.summary(), "Performance Metrics:\n"
                                 "- Preprocessor: 0.012s\n"
                                 "- Encoder: 0.500s\n"
                                 "- Decoder: 0.250s\n"
                                 "- Total: 1.000s\n"
                                 "- RTFx: 30.0x real-time\n"
                                 "- Peak Memory: 512.3 MB\n"
                                 "- GPU Utilization: N/A");
}

TEST(ASRPerformanceMetricsTests, SummaryShowsGpuUtilizationAsAPercentage) {
    const ASRPerformanceMetrics metrics{1.0005, 12.3456, 0, 1234.5678, 0.04f, 0, 12.5f};
    EXPECT_EQ(metrics.summary(), "Performance Metrics:\n"
                                 "- Preprocessor: 1.000s\n"
                                 "- Encoder: 12.346s\n"
                                 "- Decoder: 0.000s\n"
                                 "- Total: 1234.568s\n"
                                 "- RTFx: 0.0x real-time\n"
                                 "- Peak Memory: 0.0 MB\n"
                                 "- GPU Utilization: 12.5%");
}

TEST(ASRPerformanceMetricsTests, JsonWritesFloatsShortestAndOmitsAbsentGpuUtilization) {
    const ASRPerformanceMetrics metrics{0.5, 1.25, 2.0, 4.0, 0.1f, 256.7f, std::nullopt};
    const nlohmann::json json = metrics;
    EXPECT_EQ(json.dump(), R"({"decoderTime":2.0,"encoderTime":1.25,"peakMemoryMB":256.7,)"
                           R"("preprocessorTime":0.5,"rtfx":0.1,"totalProcessingTime":4.0})");
    EXPECT_FALSE(json.get<ASRPerformanceMetrics>().gpuUtilization.has_value());
}

TEST(ASRPerformanceMetricsTests, JsonRoundTripKeepsEveryField) {
    const ASRPerformanceMetrics metrics{0.01, 0.2, 0.03, 0.3, 87.5f, 1024.25f, 0.3f};
    const nlohmann::json json = metrics;
    EXPECT_EQ(json.at("gpuUtilization").dump(), "0.3");
    EXPECT_EQ(json.get<ASRPerformanceMetrics>(), metrics);
}

TEST(ASRPerformanceMetricsTests, ReadingIgnoresUnknownKeysAndRequiresEveryTiming) {
    nlohmann::json json = ASRPerformanceMetrics{1, 2, 3, 6, 10, 20, std::nullopt};
    json["futureField"] = "ignored";
    EXPECT_EQ(json.get<ASRPerformanceMetrics>().totalProcessingTime, 6);

    for (const char* key :
         {"preprocessorTime", "encoderTime", "decoderTime", "totalProcessingTime", "rtfx", "peakMemoryMB"}) {
        nlohmann::json incomplete = json;
        incomplete.erase(key);
        EXPECT_THROW(incomplete.get<ASRPerformanceMetrics>(), nlohmann::json::exception) << key;
    }
}

} // namespace
} // namespace quorl
