#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"

#include <cstring>
#include <fstream>

namespace pocketttsfixtures {

std::string varint(std::uint64_t value) {
    std::string bytes;
    while (value >= 0x80) {
        bytes += static_cast<char>((value & 0x7FU) | 0x80U);
        value >>= 7U;
    }
    bytes += static_cast<char>(value);
    return bytes;
}

std::string lengthDelimited(std::uint64_t field, std::string_view bytes) {
    return varint((field << 3U) | 2U) + varint(bytes.size()) + std::string(bytes);
}

std::string pieceMessage(std::string_view text, float score) {
    std::string scoreBytes(4, '\0');
    std::memcpy(scoreBytes.data(), &score, 4);
    return lengthDelimited(1, text) + "\x15" + scoreBytes + varint(3 << 3) + varint(1);
}

std::string modelBytes(const std::vector<std::pair<std::string, float>>& pieces) {
    std::string bytes;
    for (const auto& [text, score] : pieces) {
        bytes += lengthDelimited(1, pieceMessage(text, score));
    }
    return bytes;
}

quorl::SentencePieceTokenizer characterTokenizer() {
    std::vector<std::pair<std::string, float>> pieces{{"\u2581", -1.0F}};
    for (char character = '!'; character <= '~'; ++character) {
        pieces.emplace_back(std::string(1, character), -1.0F);
    }
    return quorl::SentencePieceTokenizer(modelBytes(pieces));
}

std::string floatBytes(const std::vector<float>& values) {
    std::string bytes(values.size() * sizeof(float), '\0');
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string safetensorsFile(const nlohmann::json& header, std::string_view data) {
    const auto text = header.dump();
    std::string lengthBytes(8, '\0');
    const std::uint64_t length = text.size();
    std::memcpy(lengthBytes.data(), &length, 8);
    return lengthBytes + text + std::string(data);
}

std::string safetensorsFile(const std::vector<Tensor>& tensors, nlohmann::json header) {
    std::string data;
    for (const auto& tensor : tensors) {
        header[tensor.name] = {{"dtype", tensor.dtype},
                               {"shape", tensor.shape},
                               {"data_offsets", {data.size(), data.size() + tensor.data.size()}}};
        data += tensor.data;
    }
    return safetensorsFile(header, data);
}

std::vector<Tensor> layerTensors(std::int64_t layer, std::int64_t cacheSeqLen) {
    std::vector<float> cache(static_cast<std::size_t>(2 * cacheSeqLen * 16 * 64));
    for (std::size_t index = 0; index < cache.size(); ++index) {
        cache[index] = static_cast<float>(layer * 1000) + static_cast<float>(index);
    }
    const std::int64_t offset = 10 + layer;
    std::string offsetBytes(8, '\0');
    std::memcpy(offsetBytes.data(), &offset, 8);
    const auto prefix = "transformer.layers." + std::to_string(layer) + ".self_attn/";
    return {
        Tensor{
            .name = prefix + "cache", .dtype = "F32", .shape = {2, 1, cacheSeqLen, 16, 64}, .data = floatBytes(cache)},
        Tensor{.name = prefix + "offset", .dtype = "I64", .shape = {1}, .data = offsetBytes}};
}

std::vector<Tensor> voiceTensors(std::int64_t layers, std::int64_t cacheSeqLen) {
    std::vector<Tensor> tensors;
    for (std::int64_t layer = 0; layer < layers; ++layer) {
        for (auto& tensor : layerTensors(layer, cacheSeqLen)) {
            tensors.push_back(std::move(tensor));
        }
    }
    return tensors;
}

std::ostream& operator<<(std::ostream& stream, const LoadOutcome& outcome) {
    return stream << static_cast<int>(outcome.kind) << " '" << outcome.text << "' " << outcome.expected << "/"
                  << outcome.actual;
}

std::optional<LoadOutcome> loadFailure(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const quorl::PocketTtsConstantsLoader::LoadError& error) {
        return LoadOutcome{
            .kind = error.kind(), .text = error.text(), .expected = error.expected(), .actual = error.actual()};
    }
    return std::nullopt;
}

} // namespace pocketttsfixtures
