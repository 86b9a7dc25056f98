#include "QuorlAudio/asr/batch/ASRResult.hpp"

#include "QuorlAudio/foundation/JsonFloat.hpp"

#include <nlohmann/json.hpp>
#include <utility>

namespace quorl {

namespace {

template <typename T> void writeIfPresent(nlohmann::json& json, const char* key, const std::optional<T>& value) {
    if (value) {
        json[key] = *value;
    }
}

// A null value reads as absent, as an absent key does.
template <typename T> std::optional<T> readIfPresent(const nlohmann::json& json, const char* key) {
    const auto found = json.find(key);
    if (found == json.end() || found->is_null()) {
        return std::nullopt;
    }
    return found->get<T>();
}

} // namespace

float ASRResult::rtfx() const { return static_cast<float>(duration) / static_cast<float>(processingTime); }

ASRResult ASRResult::withRescoring(std::string text, std::optional<std::vector<std::string>> detected,
                                   std::optional<std::vector<std::string>> applied) const {
    ASRResult rescored = *this;
    rescored.text = std::move(text);
    rescored.ctcDetectedTerms = std::move(detected);
    rescored.ctcAppliedTerms = std::move(applied);
    return rescored;
}

void to_json(nlohmann::json& json, const ASRResult& result) {
    json = {
        {"text", result.text},
        {"confidence", jsonFloat(result.confidence)},
        {"duration", result.duration},
        {"processingTime", result.processingTime},
    };
    writeIfPresent(json, "tokenTimings", result.tokenTimings);
    writeIfPresent(json, "performanceMetrics", result.performanceMetrics);
    writeIfPresent(json, "ctcDetectedTerms", result.ctcDetectedTerms);
    writeIfPresent(json, "ctcAppliedTerms", result.ctcAppliedTerms);
}

void from_json(const nlohmann::json& json, ASRResult& result) {
    json.at("text").get_to(result.text);
    json.at("confidence").get_to(result.confidence);
    json.at("duration").get_to(result.duration);
    json.at("processingTime").get_to(result.processingTime);
    result.tokenTimings = readIfPresent<std::vector<TokenTiming>>(json, "tokenTimings");
    result.performanceMetrics = readIfPresent<ASRPerformanceMetrics>(json, "performanceMetrics");
    result.ctcDetectedTerms = readIfPresent<std::vector<std::string>>(json, "ctcDetectedTerms");
    result.ctcAppliedTerms = readIfPresent<std::vector<std::string>>(json, "ctcAppliedTerms");
}

} // namespace quorl
