#include "QuorlAudio/tts/pockettts/PocketTtsVoiceSnapshotReader.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsLoadError.hpp"
#include "QuorlAudio/tts/pockettts/SafetensorsHeader.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/text/DecimalInteger.hpp"
#include "platform/text/TextPieces.hpp"

#include <cstring>
#include <map>
#include <string>

namespace quorl {

using platform::text::bracketedList;
namespace {

using platform::core::concatenated;
using PocketTtsConstantsLoader::LoadError;

constexpr std::string_view layerPrefix = "transformer.layers.";
constexpr std::size_t offsetBytes = 8;

using LayerTensors = std::map<std::int64_t, SafetensorsTensor>;

struct LayerTables {
    LayerTensors caches;
    LayerTensors offsets;
};

LayerTables layerTables(const std::map<std::string, SafetensorsTensor>& tensors) {
    LayerTables tables;
    for (const auto& [name, tensor] : tensors) {
        if (!name.starts_with(layerPrefix)) {
            continue;
        }
        const std::string_view rest = std::string_view(name).substr(layerPrefix.size());
        const auto dot = rest.find('.');
        const auto index =
            dot == std::string_view::npos ? std::nullopt : platform::text::decimalInteger(rest.substr(0, dot));
        if (!index) {
            continue;
        }
        const auto suffix = rest.substr(dot);
        if (suffix == ".self_attn/cache") {
            tables.caches[*index] = tensor;
        } else if (suffix == ".self_attn/offset") {
            tables.offsets[*index] = tensor;
        }
    }
    return tables;
}

std::vector<std::int64_t> indicesOf(const LayerTensors& tensors) {
    std::vector<std::int64_t> indices;
    for (const auto& entry : tensors) {
        indices.push_back(entry.first);
    }
    return indices;
}

// The layer indices, checked to be the same for caches and offsets and to run 0, 1, … without a gap.
std::vector<std::int64_t> checkedIndices(const LayerTables& tables, const std::string& prefix) {
    const auto indices = indicesOf(tables.caches);
    if (indices.empty()) {
        throw LoadError::invalidSize(concatenated({prefix, "no transformer.layers.*.self_attn/cache entries"}), 1, 0);
    }
    const auto offsetIndices = indicesOf(tables.offsets);
    if (indices != offsetIndices) {
        throw LoadError::malformed(
            concatenated({prefix, "cache/offset layer indices differ (caches: ", bracketedList(indices),
                          ", offsets: ", bracketedList(offsetIndices), ")"}));
    }
    for (std::size_t position = 0; position < indices.size(); ++position) {
        const auto expected = static_cast<std::int64_t>(position);
        if (indices[position] != expected) {
            throw LoadError::invalidSize(
                concatenated({prefix, "layer indices not contiguous (gap at ", std::to_string(expected), ")"}),
                expected, indices[position]);
        }
    }
    return indices;
}

bool isCacheShape(const std::vector<std::int64_t>& shape) {
    return shape.size() == 5 && shape[0] == 2 && shape[1] == 1 && shape[3] == 16 && shape[4] == 64;
}

std::vector<float> cacheFloats(std::string_view bytes, const SafetensorsTensor& tensor) {
    std::vector<float> floats(static_cast<std::size_t>(tensor.byteCount) / sizeof(float));
    if (!floats.empty()) {
        std::memcpy(floats.data(), bytes.data() + tensor.byteOffset, floats.size() * sizeof(float));
    }
    return floats;
}

std::int64_t offsetValue(std::string_view bytes, const SafetensorsTensor& tensor) {
    std::uint64_t value = 0;
    for (std::size_t index = 0; index < offsetBytes; ++index) {
        value |= std::uint64_t{static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(tensor.byteOffset) + index])}
                 << (8 * index);
    }
    return static_cast<std::int64_t>(value);
}

PocketTtsVoiceCacheSnapshot::LayerCache layerCache(std::string_view bytes, const LayerTables& tables,
                                                   std::int64_t layer, const std::string& prefix) {
    const auto& cache = tables.caches.at(layer);
    const auto& firstShape = tables.caches.at(0).shape;
    const auto number = std::to_string(layer);
    if (cache.shape != firstShape) {
        throw LoadError::malformed(concatenated({prefix, "cache shape mismatch at layer ", number, " (",
                                                 bracketedList(cache.shape), " vs ", bracketedList(firstShape), ")"}));
    }
    if (cache.dtype != "F32") {
        throw LoadError::malformed(
            concatenated({prefix, "layer ", number, " cache dtype ", cache.dtype, " (want F32)"}));
    }
    const auto& offset = tables.offsets.at(layer);
    if (offset.dtype != "I64" || offset.shape != std::vector<std::int64_t>{1}) {
        throw LoadError::malformed(concatenated({prefix, "layer ", number, " offset shape/dtype unexpected (",
                                                 bracketedList(offset.shape), ", ", offset.dtype, ")"}));
    }
    // The header may promise one 64-bit value yet give it fewer bytes; reading it would leave the tensor.
    if (offset.byteCount < static_cast<std::int64_t>(offsetBytes)) {
        throw LoadError::malformed(concatenated(
            {prefix, "layer ", number, " offset holds ", std::to_string(offset.byteCount), " bytes (want 8)"}));
    }
    return PocketTtsVoiceCacheSnapshot::LayerCache{.cache = cacheFloats(bytes, cache),
                                                   .offset = offsetValue(bytes, offset)};
}

} // namespace

PocketTtsVoiceCacheSnapshot readVoiceSnapshot(std::string_view bytes, std::string_view voiceName) {
    const auto tables = layerTables(parseSafetensors(bytes, voiceName));
    const auto prefix = concatenated({voiceName, ".safetensors: "});
    const auto indices = checkedIndices(tables, prefix);
    const auto& firstShape = tables.caches.at(0).shape;
    if (!isCacheShape(firstShape)) {
        throw LoadError::malformed(concatenated({prefix, "unexpected cache shape ", bracketedList(firstShape)}));
    }
    PocketTtsVoiceCacheSnapshot snapshot{.layers = {}, .cacheSeqLen = firstShape[2]};
    for (const auto layer : indices) {
        snapshot.layers.push_back(layerCache(bytes, tables, layer, prefix));
    }
    return snapshot;
}

} // namespace quorl
