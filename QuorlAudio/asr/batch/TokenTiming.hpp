#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

namespace quorl {

// When one decoded vocabulary piece was spoken, and how sure the decoder was of it.
struct TokenTiming {
    std::string token;
    int tokenId = 0;
    double startTime = 0;
    double endTime = 0;
    float confidence = 0;

    bool operator==(const TokenTiming&) const = default;
};

void to_json(nlohmann::json& json, const TokenTiming& timing);
void from_json(const nlohmann::json& json, TokenTiming& timing);

} // namespace quorl
