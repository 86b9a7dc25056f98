#include "QuorlAudio/diarization/offline/PldaPsiFile.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "platform/core/Base64.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/sys/WholeFile.hpp"

#include <nlohmann/json.hpp>

#include <bit>
#include <cstdint>
#include <optional>
#include <string>

namespace quorl {
namespace {

namespace fs = std::filesystem;

OfflineDiarizationError undecodable() {
    return OfflineDiarizationError::processingFailed("Failed to decode PLDA psi parameters");
}

std::optional<fs::path> firstPresent(const fs::path& directory) {
    for (const auto& candidate : PldaPsiFile::candidates()) {
        if (platform::sys::isPresent(directory / candidate)) {
            return directory / candidate;
        }
    }
    return std::nullopt;
}

const nlohmann::json& member(const nlohmann::json& object, const char* key) {
    if (!object.is_object() || !object.contains(key)) {
        throw undecodable();
    }
    return object.at(key);
}

const std::string& base64Text(const nlohmann::json& document) {
    const auto& text = member(member(member(document, "tensors"), "psi"), "data_base64");
    if (!text.is_string()) {
        throw undecodable();
    }
    return text.get_ref<const std::string&>();
}

double littleEndianFloat(const std::uint8_t* bytes) {
    std::uint32_t bits = 0;
    for (int index = 3; index >= 0; --index) {
        bits = (bits << 8) | bytes[index];
    }
    return static_cast<double>(std::bit_cast<float>(bits));
}

} // namespace

const std::vector<fs::path>& PldaPsiFile::candidates() {
    static const std::vector<fs::path> names{
        "plda-parameters.json",
        "speaker-diarization/plda-parameters.json",
        "speaker-diarization-coreml/plda-parameters.json",
        "speaker-diarization-offline/plda-parameters.json",
    };
    return names;
}

std::vector<double> PldaPsiFile::load(const fs::path& directory) {
    const auto path = firstPresent(directory);
    if (!path) {
        throw OfflineDiarizationError::processingFailed("PLDA parameters file not found in " + directory.string());
    }
    const auto document = nlohmann::json::parse(platform::sys::wholeFile(*path));
    const auto bytes =
        platform::core::base64Decode(base64Text(document), platform::core::Base64Decoding::ignoringUnknownCharacters);
    if (!bytes) {
        throw undecodable();
    }
    if (bytes->size() < 4) {
        throw OfflineDiarizationError::processingFailed("PLDA psi tensor is empty");
    }
    std::vector<double> psi(bytes->size() / 4);
    for (std::size_t index = 0; index < psi.size(); ++index) {
        psi[index] = littleEndianFloat(bytes->data() + 4 * index);
    }
    return psi;
}

} // namespace quorl
