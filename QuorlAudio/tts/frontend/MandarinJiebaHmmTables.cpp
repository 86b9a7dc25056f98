#include "QuorlAudio/tts/frontend/MandarinJiebaHmmTables.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/LittleEndian.hpp"
#include "platform/sys/WholeFile.hpp"
#include "platform/text/Utf8.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <utility>
#include <vector>

namespace quorl {
namespace {

namespace core = platform::core;

constexpr std::size_t startSize = 16;
constexpr std::size_t transSize = 64;
constexpr std::size_t emitRecordSize = 20;

using Tables = MandarinJiebaHmmTables;

Tables::Scores scoresAt(std::string_view bytes, std::size_t offset) {
    Tables::Scores scores{};
    for (std::size_t state = 0; state < scores.size(); ++state) {
        scores[state] = core::littleEndianFloat32(bytes, offset + 4 * state);
    }
    return scores;
}

void requireSize(std::string_view bytes, const char* name, std::size_t expected) {
    if (bytes.size() != expected) {
        throw Tables::LoadError::wrongSize(name, expected, bytes.size());
    }
}

std::string upperHex(std::uint32_t value) {
    std::array<char, 8> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, 16);
    std::string hex(buffer.data(), result.ptr);
    std::ranges::transform(hex, hex.begin(), [](char c) { return c >= 'a' ? static_cast<char>(c - 'a' + 'A') : c; });
    return hex;
}

bool isScalarValue(std::uint32_t codePoint) {
    return codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
}

Tables::Emissions emissionsOf(std::string_view bytes) {
    if (bytes.size() % emitRecordSize != 0) {
        throw Tables::LoadError::truncated("emit (size not a multiple of 20)");
    }
    Tables::Emissions emit;
    emit.reserve(bytes.size() / emitRecordSize);
    for (std::size_t offset = 0; offset < bytes.size(); offset += emitRecordSize) {
        const std::uint32_t codePoint = core::littleEndianUInt32(bytes, offset);
        if (!isScalarValue(codePoint)) {
            throw Tables::LoadError::truncated("emit codepoint U+" + upperHex(codePoint));
        }
        emit.insert_or_assign(platform::text::encodeScalars(std::u32string(1, codePoint)), scoresAt(bytes, offset + 4));
    }
    return emit;
}

void appendScores(std::string& bytes, const Tables::Scores& scores) {
    for (const double score : scores) {
        core::appendLittleEndian(bytes, static_cast<float>(score));
    }
}

std::string encodedEmissions(const Tables::Emissions& emit) {
    std::vector<std::pair<char32_t, const Tables::Scores*>> records;
    records.reserve(emit.size());
    for (const auto& [character, scores] : emit) {
        records.emplace_back(platform::text::firstScalar(character), &scores);
    }
    std::ranges::stable_sort(records, {}, &std::pair<char32_t, const Tables::Scores*>::first);
    std::string bytes;
    bytes.reserve(records.size() * emitRecordSize);
    for (const auto& [codePoint, scores] : records) {
        core::appendLittleEndian(bytes, static_cast<std::uint32_t>(codePoint));
        appendScores(bytes, *scores);
    }
    return bytes;
}

} // namespace

MandarinJiebaHmmTables::LoadError::LoadError(Kind kind, const std::string& name, const std::string& description)
    : platform::core::Error(description), kind_(kind), name_(name) {}

MandarinJiebaHmmTables::LoadError MandarinJiebaHmmTables::LoadError::truncated(const std::string& name) {
    return LoadError(Kind::truncated, name, "Jieba HMM table " + name + " is truncated");
}

MandarinJiebaHmmTables::LoadError
MandarinJiebaHmmTables::LoadError::wrongSize(const std::string& name, std::size_t expected, std::size_t actual) {
    return LoadError(Kind::wrongSize, name,
                     core::concatenated({"Jieba HMM table ", name, " has size ", std::to_string(actual),
                                         " bytes, expected ", std::to_string(expected)}));
}

MandarinJiebaHmmTables MandarinJiebaHmmTables::fromData(std::string_view startData, std::string_view transData,
                                                        std::string_view emitData) {
    MandarinJiebaHmmTables tables;
    requireSize(startData, "start", startSize);
    tables.start = scoresAt(startData, 0);
    requireSize(transData, "trans", transSize);
    for (std::size_t from = 0; from < tables.trans.size(); ++from) {
        tables.trans[from] = scoresAt(transData, 16 * from);
    }
    tables.emit = emissionsOf(emitData);
    return tables;
}

MandarinJiebaHmmTables MandarinJiebaHmmTables::load(const std::filesystem::path& directory) {
    const std::string startData = platform::sys::wholeFile(directory / "jieba_hmm_start.bin");
    const std::string transData = platform::sys::wholeFile(directory / "jieba_hmm_trans.bin");
    const std::string emitData = platform::sys::wholeFile(directory / "jieba_hmm_emit.bin");
    return fromData(startData, transData, emitData);
}

MandarinJiebaHmmTables::Encoded MandarinJiebaHmmTables::encoded() const {
    Encoded blocks;
    appendScores(blocks.start, start);
    for (const Scores& row : trans) {
        appendScores(blocks.trans, row);
    }
    blocks.emit = encodedEmissions(emit);
    return blocks;
}

} // namespace quorl
