#include "QuorlAudio/diarization/chunked/RawEmbedding.hpp"

#include "QuorlAudio/diarization/chunked/VDSPOperations.hpp"
#include "QuorlAudio/foundation/JsonFields.hpp"
#include "platform/core/JsonDate.hpp"

#include <nlohmann/json.hpp>
#include <string>
#include <utility>

namespace quorl {

namespace {

platform::core::UUID readUUID(const nlohmann::json& json, const char* key) {
    const std::string text = JsonFields::readString(json, key);
    const auto uuid = platform::core::UUID::fromString(text);
    if (!uuid) {
        throw nlohmann::json::type_error::create(302, "'" + std::string(key) + "' is not a UUID: " + text,
                                                 &json.at(key));
    }
    return *uuid;
}

} // namespace

RawEmbedding::RawEmbedding(const platform::core::UUID& segmentId, std::span<const float> embedding,
                           std::chrono::system_clock::time_point timestamp)
    : segmentId_(segmentId), embedding_(VDSPOperations::l2Normalize(embedding)), timestamp_(timestamp) {}

void to_json(nlohmann::json& json, const RawEmbedding& raw) {
    json = {
        {"segmentId", raw.segmentId_.uuidString()},
        {"embedding", JsonFields::finiteFloats(raw.embedding_)},
        {"timestamp", platform::core::jsonDate(raw.timestamp_)},
    };
}

void from_json(const nlohmann::json& json, RawEmbedding& raw) {
    RawEmbedding read;
    read.segmentId_ = readUUID(json, "segmentId");
    read.embedding_ = JsonFields::readFloats(json, "embedding");
    read.timestamp_ = platform::core::dateFromJson(json.at("timestamp"));
    raw = std::move(read);
}

} // namespace quorl
