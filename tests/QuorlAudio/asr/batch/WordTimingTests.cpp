#include "QuorlAudio/asr/batch/WordTiming.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

namespace quorl {

void PrintTo(const WordTiming& timing, std::ostream* out) {
    *out << '"' << timing.word << "\" " << timing.startTime << "-" << timing.endTime;
}

namespace {

TokenTiming piece(std::string token, double startTime, double endTime) {
    return {std::move(token), 0, startTime, endTime, 1.0f};
}

TEST(WordTimingTests, BuildWordTimingsGroupsPiecesIntoWords) {
    const struct {
        const char* name;
        std::vector<TokenTiming> tokens;
        std::vector<WordTiming> words;
    } cases[] = {
        {"no tokens", {}, {}},
        {"marked pieces, fillers skipped without extending the word",
         {piece("\u2581Hel", 0.0, 0.2), piece("lo", 0.2, 0.3), piece("<blank>", 0.3, 0.4), piece("<pad>", 0.4, 0.45),
          piece("", 0.45, 0.5), piece("\u2581world", 0.5, 0.9)},
         {{"Hello", 0.0, 0.3}, {"world", 0.5, 0.9}}},
        {"unmarked first piece", {piece("lo", 0.1, 0.2)}, {{"lo", 0.1, 0.2}}},
        {"blank-led piece, then a lone marker before an unmarked piece",
         {piece(" a", 0.0, 0.1), piece("\u2581", 0.2, 0.3), piece("b", 0.4, 0.5)},
         {{"a", 0.0, 0.1}, {"b", 0.4, 0.5}}},
        {"punctuation joins the preceding word",
         {piece("\u2581Hello", 0.0, 0.4), piece(",", 0.4, 0.5), piece(" there", 0.6, 0.9)},
         {{"Hello,", 0.0, 0.5}, {"there", 0.6, 0.9}}},
        {"blank and tab pieces only", {piece(" ", 0.0, 0.1), piece("\t", 0.1, 0.2), piece(" \t ", 0.2, 0.3)}, {}},
        {"Unicode spaces are trimmed, line breaks are kept",
         {piece("\u2581\u00A0na\u3000", 0.0, 0.1), piece("\u2581\u2009\n", 0.2, 0.3)},
         {{"na", 0.0, 0.1}, {"\n", 0.2, 0.3}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(buildWordTimings(c.tokens), c.words) << c.name;
    }
}

TEST(WordTimingTests, JsonUsesTheFieldNamesAndRequiresThemAll) {
    const WordTiming timing{"hello", 0.25, 0.5};
    const nlohmann::json json = timing;
    EXPECT_EQ(json.dump(), R"({"endTime":0.5,"startTime":0.25,"word":"hello"})");
    EXPECT_EQ(json.get<WordTiming>(), timing);
    for (const char* key : {"word", "startTime", "endTime"}) {
        nlohmann::json incomplete = json;
        incomplete.erase(key);
        EXPECT_THROW(incomplete.get<WordTiming>(), nlohmann::json::exception) << key;
    }
}

} // namespace
} // namespace quorl
