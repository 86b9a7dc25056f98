#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorl {

// A voice as the synthesiser takes it: the two style tensors flattened in row-major order with their shapes.
// Callers may build one of their own; the synthesiser checks the values against the shapes.
struct Supertonic3VoiceStyle {
    // For a loaded file, the file name without its last extension ("F1" for "voice_styles/F1.json").
    std::string name;
    // "style_ttl": [1, 50, 256] for a loaded file.
    std::vector<float> ttlValues;
    std::vector<std::int64_t> ttlDims;
    // "style_dp": [1, 8, 16] for a loaded file.
    std::vector<float> dpValues;
    std::vector<std::int64_t> dpDims;

    // Reads and checks a voice-style file. Throws Supertonic3Error::voiceStyleLoadFailed when the file cannot be
    // read or decoded, and voiceStyleShapeMismatch when a shape is not the models' ("style_ttl" is checked
    // first). The number of values is not compared with the shape here: a short or ragged tensor loads.
    static Supertonic3VoiceStyle load(const std::filesystem::path& from);

    bool operator==(const Supertonic3VoiceStyle&) const = default;
};

} // namespace quorl
