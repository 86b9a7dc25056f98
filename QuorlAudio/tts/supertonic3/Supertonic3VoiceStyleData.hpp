#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace quorl {

// The content of a voice-style file: {"style_ttl": component, "style_dp": component}.
struct Supertonic3VoiceStyleData {
    // One style tensor: {"data": [[[...]]], "dims": [...], "type": "..."}.
    struct Component {
        // Nested outermost dimension first.
        std::vector<std::vector<std::vector<float>>> data;
        // The shape, outermost first.
        std::vector<std::int64_t> dims;
        // The element type's name as the exporter wrote it; kept, never interpreted.
        std::string type;

        bool operator==(const Component&) const = default;
    };

    // For the text-to-latent models.
    Component styleTtl;
    // For the duration predictor.
    Component styleDp;

    bool operator==(const Supertonic3VoiceStyleData&) const = default;
};

// Every key is required; "data" must nest numbers three levels deep and "dims" hold integers. A failed read throws
// nlohmann::json's errors.
void to_json(nlohmann::json& document, const Supertonic3VoiceStyleData& style);
void from_json(const nlohmann::json& document, Supertonic3VoiceStyleData& style);
void to_json(nlohmann::json& document, const Supertonic3VoiceStyleData::Component& component);
void from_json(const nlohmann::json& document, Supertonic3VoiceStyleData::Component& component);

} // namespace quorl
