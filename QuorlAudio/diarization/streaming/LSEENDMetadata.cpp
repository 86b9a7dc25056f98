#include "QuorlAudio/diarization/streaming/LSEENDMetadata.hpp"

#include "QuorlAudio/diarization/streaming/LSEENDError.hpp"

#include <array>
#include <cctype>
#include <utility>

namespace quorl {
namespace {

using IntegerField = int LSEENDMetadata::*;

// The integer fields in declaration order, frameDurationSeconds standing between chunkSize and maxSpeakers.
constexpr std::array<std::pair<const char*, IntegerField>, 15> integerFields{{
    {"chunkSize", &LSEENDMetadata::chunkSize},
    {"maxSpeakers", &LSEENDMetadata::maxSpeakers},
    {"sampleRate", &LSEENDMetadata::sampleRate},
    {"maxNspks", &LSEENDMetadata::maxNspks},
    {"hopLength", &LSEENDMetadata::hopLength},
    {"winLength", &LSEENDMetadata::winLength},
    {"nMels", &LSEENDMetadata::nMels},
    {"contextSize", &LSEENDMetadata::contextSize},
    {"subsampling", &LSEENDMetadata::subsampling},
    {"convDelay", &LSEENDMetadata::convDelay},
    {"nUnits", &LSEENDMetadata::nUnits},
    {"nHeads", &LSEENDMetadata::nHeads},
    {"encNLayers", &LSEENDMetadata::encNLayers},
    {"decNLayers", &LSEENDMetadata::decNLayers},
    {"convKernelSize", &LSEENDMetadata::convKernelSize},
}};

constexpr const char* frameDurationKey = "frameDurationSeconds";

std::string capitalised(const std::string& word) {
    std::string result;
    for (const char letter : word) {
        const auto byte = static_cast<unsigned char>(letter);
        result += static_cast<char>(result.empty() ? std::toupper(byte) : std::tolower(byte));
    }
    return result;
}

std::string lowerCased(const std::string& word) {
    std::string result;
    for (const char letter : word) {
        result += static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    }
    return result;
}

std::string joinedWords(const std::string& core) {
    std::string result;
    bool first = true;
    std::size_t start = 0;
    while (start <= core.size()) {
        const std::size_t end = std::min(core.find('_', start), core.size());
        const std::string word = core.substr(start, end - start);
        if (!word.empty()) {
            result += first ? lowerCased(word) : capitalised(word);
            first = false;
        }
        start = end + 1;
    }
    return result;
}

nlohmann::json camelCased(const nlohmann::json& object) {
    nlohmann::json converted = nlohmann::json::object();
    for (const auto& [key, value] : object.items()) {
        converted[camelCaseKey(key)] = value;
    }
    return converted;
}

// An integer member; a fraction or any other type is the library's type error.
int integerMember(const nlohmann::json& object, const char* key) {
    const auto& value = object.at(key);
    if (!value.is_number_integer()) {
        value.get_ref<const nlohmann::json::number_integer_t&>();
    }
    return value.get<int>();
}

} // namespace

std::string camelCaseKey(const std::string& key) {
    if (key.find('_') == std::string::npos) {
        return key;
    }
    const std::size_t first = key.find_first_not_of('_');
    if (first == std::string::npos) {
        return key;
    }
    const std::size_t last = key.find_last_not_of('_');
    return key.substr(0, first) + joinedWords(key.substr(first, last - first + 1)) + key.substr(last + 1);
}

int LSEENDMetadata::melFrames() const { return (chunkSize - 1) * subsampling + 2 * contextSize + 1; }

int LSEENDMetadata::nFFT() const {
    if (winLength <= 0) {
        return 0;
    }
    int size = 1;
    while (size < winLength) {
        size *= 2;
    }
    return size;
}

int LSEENDMetadata::headDim() const { return nHeads == 0 ? 0 : nUnits / nHeads; }

void LSEENDMetadata::validate() const {
    for (const auto& [key, field] : integerFields) {
        if (this->*field < 0) {
            throw LSEENDError::initializationFailed(std::string("Model metadata has a negative ") + key);
        }
    }
    const std::array<std::pair<const char*, int>, 4> dividers{
        {{"nHeads", nHeads}, {"chunkSize", chunkSize}, {"subsampling", subsampling}, {"hopLength", hopLength}}};
    for (const auto& [key, value] : dividers) {
        if (value == 0) {
            throw LSEENDError::initializationFailed(std::string("Model metadata needs a positive ") + key);
        }
    }
}

LSEENDMetadata LSEENDMetadata::decode(const nlohmann::json& object) {
    const auto converted = camelCased(object);
    LSEENDMetadata metadata;
    for (const auto& [key, field] : integerFields) {
        metadata.*field = integerMember(converted, key);
    }
    metadata.frameDurationSeconds = converted.at(frameDurationKey).get<float>();
    return metadata;
}

nlohmann::ordered_json LSEENDMetadata::encode() const {
    nlohmann::ordered_json object;
    object[integerFields[0].first] = chunkSize;
    object[frameDurationKey] = frameDurationSeconds;
    for (std::size_t index = 1; index < integerFields.size(); ++index) {
        object[integerFields[index].first] = this->*integerFields[index].second;
    }
    return object;
}

} // namespace quorl
