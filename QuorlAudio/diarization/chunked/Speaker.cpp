#include "QuorlAudio/diarization/chunked/Speaker.hpp"

#include "QuorlAudio/diarization/chunked/SumOfSquares.hpp"
#include "QuorlAudio/diarization/chunked/VDSPOperations.hpp"
#include "QuorlAudio/foundation/JsonFields.hpp"
#include "platform/core/JsonDate.hpp"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>

namespace quorl {

namespace {

constexpr float minimumSumOfSquares = 0.01f;

// Strictly above the gate, so an exact 0.01 and NaN fail it.
bool isStrongEnough(std::span<const float> embedding) { return sumOfSquaresInOrder(embedding) > minimumSumOfSquares; }

// The element-wise mean of the entries as long as the first, summed in history order.
std::vector<float> meanOfMatchingLength(const std::vector<RawEmbedding>& history) {
    const std::size_t length = history.front().embedding().size();
    std::vector<float> sum(length, 0.0f);
    float count = 0;
    for (const RawEmbedding& raw : history) {
        if (raw.embedding().size() != length) {
            continue;
        }
        for (std::size_t index = 0; index < length; ++index) {
            sum[index] += raw.embedding()[index];
        }
        count += 1;
    }
    for (float& value : sum) {
        value /= count;
    }
    return sum;
}

std::vector<float> blend(const std::vector<float>& current, const std::vector<float>& incoming, float alpha) {
    std::vector<float> blended(current.size());
    for (std::size_t index = 0; index < current.size(); ++index) {
        blended[index] = alpha * current[index] + (1 - alpha) * incoming[index];
    }
    return blended;
}

} // namespace

Speaker::Speaker(Fields fields) {
    const Date now = std::chrono::system_clock::now();
    id_ = fields.id ? std::move(*fields.id) : platform::core::UUID::random().uuidString();
    name = fields.name ? std::move(*fields.name) : id_;
    currentEmbedding = VDSPOperations::l2Normalize(fields.currentEmbedding);
    duration = fields.duration;
    createdAt = fields.createdAt.value_or(now);
    updatedAt = fields.updatedAt.value_or(now);
    isPermanent = fields.isPermanent;
}

void Speaker::updateMainEmbedding(float segmentDuration, std::span<const float> embedding,
                                  const platform::core::UUID& segmentId, float alpha) {
    if (!isStrongEnough(embedding)) {
        return;
    }
    const std::vector<float> normalised = VDSPOperations::l2Normalize(embedding);
    addRawEmbedding(RawEmbedding(segmentId, normalised, std::chrono::system_clock::now()));
    if (currentEmbedding.size() == normalised.size()) {
        currentEmbedding = VDSPOperations::l2Normalize(blend(currentEmbedding, normalised, alpha));
    }
    duration += segmentDuration;
    updatedAt = std::chrono::system_clock::now();
    updateCount += 1;
}

void Speaker::addRawEmbedding(const RawEmbedding& raw) {
    if (!isStrongEnough(raw.embedding())) {
        return;
    }
    if (rawEmbeddings.size() >= historyCapacity) {
        rawEmbeddings.erase(rawEmbeddings.begin());
    }
    rawEmbeddings.push_back(raw);
    recalculateMainEmbedding();
}

std::optional<RawEmbedding> Speaker::removeRawEmbedding(const platform::core::UUID& segmentId) {
    const auto found = std::find_if(rawEmbeddings.begin(), rawEmbeddings.end(),
                                    [&segmentId](const RawEmbedding& raw) { return raw.segmentId() == segmentId; });
    if (found == rawEmbeddings.end()) {
        return std::nullopt;
    }
    RawEmbedding removed = std::move(*found);
    rawEmbeddings.erase(found);
    recalculateMainEmbedding();
    return removed;
}

void Speaker::recalculateMainEmbedding() {
    if (rawEmbeddings.empty() || rawEmbeddings.front().embedding().empty()) {
        return;
    }
    currentEmbedding = VDSPOperations::l2Normalize(meanOfMatchingLength(rawEmbeddings));
    updatedAt = std::chrono::system_clock::now();
}

void Speaker::mergeWith(const Speaker& other, const std::optional<std::string>& keepName) {
    std::vector<RawEmbedding> combined = rawEmbeddings;
    combined.insert(combined.end(), other.rawEmbeddings.begin(), other.rawEmbeddings.end());
    if (combined.size() > historyCapacity) {
        std::stable_sort(combined.begin(), combined.end(),
                         [](const RawEmbedding& a, const RawEmbedding& b) { return a.timestamp() > b.timestamp(); });
        combined.resize(historyCapacity);
    }
    rawEmbeddings = std::move(combined);
    duration += other.duration;
    if (keepName) {
        name = *keepName;
    }
    recalculateMainEmbedding();
    updatedAt = std::chrono::system_clock::now();
    updateCount += other.updateCount;
}

SendableSpeaker Speaker::toSendable() const { return SendableSpeaker(*this); }

void to_json(nlohmann::json& json, const Speaker& speaker) {
    json = {
        {"id", speaker.id_},
        {"name", speaker.name},
        {"currentEmbedding", JsonFields::finiteFloats(speaker.currentEmbedding)},
        {"duration", JsonFields::finiteFloat(speaker.duration)},
        {"createdAt", platform::core::jsonDate(speaker.createdAt)},
        {"updatedAt", platform::core::jsonDate(speaker.updatedAt)},
        {"updateCount", speaker.updateCount},
        {"rawEmbeddings", speaker.rawEmbeddings},
        {"isPermanent", speaker.isPermanent},
    };
}

void from_json(const nlohmann::json& json, Speaker& speaker) {
    Speaker read(Speaker::Fields{.id = JsonFields::readString(json, "id")});
    read.name = JsonFields::readString(json, "name");
    read.currentEmbedding = JsonFields::readFloats(json, "currentEmbedding");
    read.duration = JsonFields::readFloat(json, "duration");
    read.createdAt = platform::core::dateFromJson(json.at("createdAt"));
    read.updatedAt = platform::core::dateFromJson(json.at("updatedAt"));
    read.updateCount = JsonFields::readInteger(json, "updateCount");
    read.rawEmbeddings = JsonFields::readArray(json, "rawEmbeddings").get<std::vector<RawEmbedding>>();
    read.isPermanent = JsonFields::readBoolean(json, "isPermanent");
    speaker = std::move(read);
}

} // namespace quorl

std::size_t std::hash<quorl::Speaker>::operator()(const quorl::Speaker& speaker) const noexcept {
    return std::hash<std::string>{}(speaker.id());
}
