#pragma once

#include <filesystem>
#include <vector>

namespace quorl {

// A speaker's style table: 510 rows of 256 floats, one row per phoneme-string length. The first 128 values of
// a row are the timbre vector, the last 128 the duration and prosody style vector.
class KokoroAneVoicePack {
public:
    struct Style {
        std::vector<float> styleS;
        std::vector<float> styleTimbre;
    };

    // Throws KokoroAneError invalidVoicePack unless `storage` holds exactly 130560 values.
    explicit KokoroAneVoicePack(std::vector<float> storage);

    // Reads a headerless file of little-endian 32-bit floats. Throws KokoroAneError voicePackMissing when there
    // is no file and invalidVoicePack for a size that is not whole floats or not the table's; read errors pass
    // through.
    static KokoroAneVoicePack load(const std::filesystem::path& file);

    // Copies of the row for `phonemeCount` phonemes: count − 1, kept within 0 … 509.
    Style slice(long long phonemeCount) const;

    const std::vector<float>& storage() const { return storage_; }

private:
    std::vector<float> storage_;
};

} // namespace quorl
