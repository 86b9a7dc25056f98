#include "CharacterCtc.hpp"

#include <nlohmann/json.hpp>

#include <cctype>
#include <fstream>
#include <string>

namespace quorl::testing::characterCtc {

void writeTokenizer(const std::filesystem::path& folder) {
    nlohmann::json vocab = {{"<unk>", 0}, {"\u2581", 1}};
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        vocab[std::string(1, letter)] = 2 + (letter - 'a');
    }
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "tokenizer.json")
        << nlohmann::json{{"model", {{"type", "BPE"}, {"vocab", vocab}, {"merges", nlohmann::json::array()}}}}.dump();
}

std::vector<std::int64_t> tokens(std::string_view text) {
    std::vector<std::int64_t> ids;
    bool wordStart = true;
    for (const char c : text) {
        if (c == ' ') {
            wordStart = true;
            continue;
        }
        if (wordStart) {
            ids.push_back(1);
            wordStart = false;
        }
        const auto lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        ids.push_back(lower >= 'a' && lower <= 'z' ? 2 + (lower - 'a') : 0);
    }
    return ids;
}

namespace {

// Ids in frame order, the blank put between two equal ones.
std::vector<std::int64_t> spoken(std::string_view text) {
    std::vector<std::int64_t> frames;
    for (const auto id : tokens(text)) {
        if (!frames.empty() && frames.back() == id) {
            frames.push_back(blankId);
        }
        frames.push_back(id);
    }
    return frames;
}

} // namespace

CtcKeywordSpotter::Rows rowsSaying(std::string_view text, std::size_t leadingBlanks, std::size_t totalFrames) {
    std::vector<std::int64_t> said(leadingBlanks, blankId);
    for (const auto id : spoken(text)) {
        said.push_back(id);
    }
    said.resize(std::max(totalFrames, said.size()), blankId);
    CtcKeywordSpotter::Rows rows;
    for (const auto id : said) {
        std::vector<float> row(rowWidth, unspoken);
        row[static_cast<std::size_t>(id)] = 0.0f;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::size_t frameOf(std::string_view text, std::size_t leadingBlanks, std::size_t k) {
    const auto ids = tokens(text);
    std::size_t frame = leadingBlanks;
    for (std::size_t i = 0; i < k && i < ids.size(); ++i) {
        frame += (i + 1 < ids.size() && ids[i + 1] == ids[i]) ? 2 : 1;
    }
    return frame;
}

} // namespace quorl::testing::characterCtc
