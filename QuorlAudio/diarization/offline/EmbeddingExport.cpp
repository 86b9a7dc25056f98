#include "QuorlAudio/diarization/offline/EmbeddingExport.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/foundation/JsonFloat.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/SystemError.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <memory>

namespace quorl {
namespace {

// The encoder refuses what JSON cannot hold, rather than writing null in its place.
template <typename Number> Number finite(Number value, std::size_t embedding, const char* key) {
    if (!std::isfinite(value)) {
        throw platform::core::SystemError(
            "JSONEncoding", 1,
            platform::core::concatenated({"Unable to encode ", decimalText(static_cast<double>(value)), " of \"", key,
                                          "\" of embedding ", std::to_string(embedding), " in JSON"}));
    }
    return value;
}

nlohmann::json payload(const TimedEmbedding& embedding, std::size_t index, std::int64_t cluster) {
    auto vector = nlohmann::json::array();
    for (const float value : embedding.embedding256) {
        vector.push_back(jsonFloat(finite(value, index, "embedding256")));
    }
    auto rho = nlohmann::json::array();
    for (const double value : embedding.rho128) {
        rho.push_back(finite(value, index, "rho128"));
    }
    return {{"chunkIndex", embedding.chunkIndex},
            {"speakerIndex", embedding.speakerIndex},
            {"startFrame", embedding.startFrame},
            {"endFrame", embedding.endFrame},
            {"startTime", finite(embedding.startTime, index, "startTime")},
            {"endTime", finite(embedding.endTime, index, "endTime")},
            {"embedding256", std::move(vector)},
            {"rho128", std::move(rho)},
            {"cluster", cluster}};
}

void writeInPlace(const std::string& text, const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) {
        throw platform::core::SystemError::fromErrno(errno, "Cannot write " + path);
    }
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() || std::fflush(file.get()) != 0) {
        throw platform::core::SystemError::fromErrno(errno, "Cannot write " + path);
    }
}

} // namespace

void exportEmbeddings(const std::vector<TimedEmbedding>& embeddings, const std::vector<std::int64_t>& assignments,
                      const std::string& path, const AppLogger& logger) {
    auto payloads = nlohmann::json::array();
    for (std::size_t index = 0; index < embeddings.size(); ++index) {
        payloads.push_back(payload(embeddings[index], index, index < assignments.size() ? assignments[index] : -1));
    }
    writeInPlace(payloads.dump(), path);
    logger.info(
        platform::core::concatenated({"Exported ", std::to_string(embeddings.size()), " embeddings to ", path}));
}

} // namespace quorl
