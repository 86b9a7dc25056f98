#pragma once

#include "platform/core/Error.hpp"

#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorl {

// The start, transition and emission log-probabilities of the segmentation model, every table indexed by the
// raw value of JiebaHmmState. Read once from "jieba_hmm_start.bin", "jieba_hmm_trans.bin" and
// "jieba_hmm_emit.bin", then only read.
struct MandarinJiebaHmmTables {
    class LoadError : public platform::core::Error {
    public:
        enum class Kind { truncated, wrongSize };

        // "Jieba HMM table " + name + " is truncated".
        static LoadError truncated(const std::string& name);
        // "Jieba HMM table " + name + " has size " + actual + " bytes, expected " + expected.
        static LoadError wrongSize(const std::string& name, std::size_t expected, std::size_t actual);

        Kind kind() const { return kind_; }
        const std::string& name() const { return name_; }

    private:
        LoadError(Kind kind, const std::string& name, const std::string& description);

        Kind kind_;
        std::string name_;
    };

    // Emission lookups by a view of a character, without copying it.
    struct CharacterHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view character) const { return std::hash<std::string_view>{}(character); }
    };

    using Scores = std::array<double, 4>;
    using Emissions = std::unordered_map<std::string, Scores, CharacterHash, std::equal_to<>>;

    // The three files' contents in their own formats.
    struct Encoded {
        std::string start;
        std::string trans;
        std::string emit;
    };

    // The emission score of every state for a character the emission table does not know.
    static constexpr double unknownCharLogProb = -3.14e38;

    Scores start{};
    // trans[from][to].
    std::array<Scores, 4> trans{};
    // A character of one code point to its emission score under each state.
    Emissions emit;

    // Builds the tables from the three files' bytes: 16 bytes of start floats, 64 of transitions row by row, and
    // 20-byte emission records (a 32-bit code point, then a float per state), all little-endian. A later record
    // of the same code point replaces an earlier one. Throws LoadError at the first fault.
    static MandarinJiebaHmmTables fromData(std::string_view startData, std::string_view transData,
                                           std::string_view emitData);

    // Reads the three files from the folder in that order (read errors pass through and stop the reading), then
    // builds the tables as fromData.
    static MandarinJiebaHmmTables load(const std::filesystem::path& directory);

    // The tables in the files' formats, every number narrowed to a 32-bit float and the emission records sorted by
    // code point.
    Encoded encoded() const;
};

} // namespace quorl
