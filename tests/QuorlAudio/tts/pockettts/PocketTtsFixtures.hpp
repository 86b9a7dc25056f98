#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsLoadError.hpp"
#include "QuorlAudio/tts/pockettts/SentencePieceTokenizer.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Writers of the small language-pack files the PocketTTS tests read: SentencePiece models as protocol-buffer
// bytes, raw float files and safetensors voices.
namespace pocketttsfixtures {

std::string varint(std::uint64_t value);
std::string lengthDelimited(std::uint64_t field, std::string_view bytes);
std::string pieceMessage(std::string_view text, float score);
// A model whose field 1 holds one piece message per (text, score), in order.
std::string modelBytes(const std::vector<std::pair<std::string, float>>& pieces);
// Pieces "▁", then every printable ASCII character but the space, each scoring -1: a text's token count is its
// scalar count plus one.
quorl::SentencePieceTokenizer characterTokenizer();

std::string floatBytes(const std::vector<float>& values);
void writeFile(const std::filesystem::path& path, std::string_view bytes);

struct Tensor {
    std::string name;
    std::string dtype;
    std::vector<std::int64_t> shape;
    std::string data;
};

// A safetensors file: the header's length, the header, then the data.
std::string safetensorsFile(const nlohmann::json& header, std::string_view data);
// The tensors laid out one after another, each with its own offsets, added to the entries of `header`.
std::string safetensorsFile(const std::vector<Tensor>& tensors, nlohmann::json header = nlohmann::json::object());
// Cache and offset tensors of one layer; cache float k of layer i is i * 1000 + k, the offset is 10 + i.
std::vector<Tensor> layerTensors(std::int64_t layer, std::int64_t cacheSeqLen);
std::vector<Tensor> voiceTensors(std::int64_t layers, std::int64_t cacheSeqLen);

// What a failed load reported, so a table can compare kind, text and counts at once.
struct LoadOutcome {
    quorl::PocketTtsConstantsLoader::LoadError::Kind kind;
    std::string text;
    std::int64_t expected = 0;
    std::int64_t actual = 0;

    bool operator==(const LoadOutcome&) const = default;
};

std::ostream& operator<<(std::ostream& stream, const LoadOutcome& outcome);

// The LoadError the operation threw, or nothing.
std::optional<LoadOutcome> loadFailure(const std::function<void()>& operation);

} // namespace pocketttsfixtures
