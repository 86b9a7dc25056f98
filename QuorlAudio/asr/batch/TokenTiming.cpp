#include "QuorlAudio/asr/batch/TokenTiming.hpp"

#include "QuorlAudio/foundation/JsonFloat.hpp"

#include <nlohmann/json.hpp>

namespace quorl {

void to_json(nlohmann::json& json, const TokenTiming& timing) {
    json = {
        {"token", timing.token},
        {"tokenId", timing.tokenId},
        {"startTime", timing.startTime},
        {"endTime", timing.endTime},
        {"confidence", jsonFloat(timing.confidence)},
    };
}

void from_json(const nlohmann::json& json, TokenTiming& timing) {
    json.at("token").get_to(timing.token);
    json.at("tokenId").get_to(timing.tokenId);
    json.at("startTime").get_to(timing.startTime);
    json.at("endTime").get_to(timing.endTime);
    json.at("confidence").get_to(timing.confidence);
}

} // namespace quorl
