#include "QuorlAudio/diarization/chunked/ChunkEmbedding.hpp"

#include "QuorlAudio/foundation/JsonFields.hpp"

#include <nlohmann/json.hpp>

namespace quorl {

void to_json(nlohmann::json& json, const ChunkEmbedding& embedding) {
    json = {
        {"speakerId", embedding.speakerId},
        {"chunkIndex", embedding.chunkIndex},
        {"speakerIndex", embedding.speakerIndex},
        {"startTimeSeconds", JsonFields::finiteNumber(embedding.startTimeSeconds)},
        {"endTimeSeconds", JsonFields::finiteNumber(embedding.endTimeSeconds)},
        {"embedding256", JsonFields::finiteFloats(embedding.embedding256)},
        {"rho128", JsonFields::finiteNumbers(embedding.rho128)},
    };
}

void from_json(const nlohmann::json& json, ChunkEmbedding& embedding) {
    embedding = ChunkEmbedding{
        .speakerId = JsonFields::readString(json, "speakerId"),
        .chunkIndex = JsonFields::readInteger(json, "chunkIndex"),
        .speakerIndex = JsonFields::readInteger(json, "speakerIndex"),
        .startTimeSeconds = JsonFields::readNumber(json, "startTimeSeconds"),
        .endTimeSeconds = JsonFields::readNumber(json, "endTimeSeconds"),
        .embedding256 = JsonFields::readFloats(json, "embedding256"),
        .rho128 = JsonFields::readNumbers(json, "rho128"),
    };
}

} // namespace quorl
