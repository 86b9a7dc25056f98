#include "QuorlAudio/tts/frontend/LexiconAssetCache.hpp"
#include "QuorlAudio/tts/frontend/TTSError.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using Lexicon = LexiconAssetCache::Lexicon;
using testsupport::errorText;

class LexiconAssetCacheTest : public ::testing::Test {
protected:
    void writeLexicon(const std::string& json) const { std::ofstream(file, std::ios::binary) << json; }

    std::string loadError() {
        return errorText([&] { cache.ensureLoaded(folder, allowed); });
    }

    testsupport::TemporaryFolder scratch;
    const fs::path folder = scratch.path();
    const fs::path file = folder / "us_lexicon_cache.json";
    const std::unordered_set<std::string> allowed{"h", "ə", "l", "O"};
    LexiconAssetCache cache;
    testsupport::RecordingLogSink sink;
};

TEST_F(LexiconAssetCacheTest, KeepsAllowedTokensInFileOrderWithRepeatsAndLogsTheCount) {
    writeLexicon(R"({"lower": {"hello": ["h", "ə", "x", "l", "l", "O"], "zzz": ["z"]},
                     "caseSensitive": {"Hello": ["h", "ɛ", "l"]}, "other": 1})");
    EXPECT_TRUE(cache.lexicons().word.empty());
    EXPECT_TRUE(cache.lexicons().caseSensitive.empty());

    cache.ensureLoaded(folder, allowed);

    const auto lexicons = cache.lexicons();
    EXPECT_EQ(lexicons.word, (Lexicon{{"hello", {"h", "ə", "l", "l", "O"}}, {"zzz", {}}}));
    EXPECT_EQ(lexicons.caseSensitive, (Lexicon{{"Hello", {"h", "l"}}}));
    EXPECT_EQ(sink.messages("LexiconAssetCache"), std::vector<std::string>{"Loaded lexicon cache: 2 entries"});
}

TEST_F(LexiconAssetCacheTest, AnEmptyTokenSetStillLoadsEveryWord) {
    writeLexicon(R"({"lower": {"a": ["h"]}, "caseSensitive": {"A": ["h"]}})");
    cache.ensureLoaded(folder, {});
    EXPECT_EQ(cache.lexicons().word, (Lexicon{{"a", {}}}));
}

TEST_F(LexiconAssetCacheTest, FailuresKeepOrEmptyTheCacheByTheirKind) {
    const std::string loaded = R"({"lower": {"hello": ["h"]}, "caseSensitive": {}})";
    const struct {
        const char* name;
        std::optional<std::string> content;
        std::string error;
        bool keepsEarlierLoad;
    } cases[] = {
        {"missing file", std::nullopt, "Processing failed: Missing lexicon cache (expected us_lexicon_cache.json)",
         true},
        {"empty lower-case lexicon", R"({"lower": {}, "caseSensitive": {"A": ["h"]}})",
         "Processing failed: us_lexicon_cache.json had no entries within the allowed token set", true},
        {"missing key", R"({"lower": {"a": ["h"]}})", "Processing failed: Failed to load lexicon cache: ", false},
        {"wrong shape", R"({"lower": {"a": "h"}, "caseSensitive": {}})",
         "Processing failed: Failed to load lexicon cache: ", false},
        {"invalid JSON", "{\"lower\":", "Processing failed: Failed to load lexicon cache: ", false},
    };
    for (const auto& c : cases) {
        // An empty case-sensitive lexicon makes every call read the file again.
        writeLexicon(loaded);
        cache.ensureLoaded(folder, allowed);
        fs::remove(file);
        if (c.content) {
            writeLexicon(*c.content);
        }

        EXPECT_TRUE(loadError().starts_with(c.error)) << c.name << ": " << loadError();

        const auto kept = c.keepsEarlierLoad ? Lexicon{{"hello", {"h"}}} : Lexicon{};
        EXPECT_EQ(cache.lexicons().word, kept) << c.name;
    }
    EXPECT_THROW(cache.ensureLoaded(folder, allowed), TTSError);
}

TEST_F(LexiconAssetCacheTest, AnEmptyCaseSensitiveLexiconIsReadAgainOnEveryCall) {
    writeLexicon(R"({"lower": {"a": ["h"]}, "caseSensitive": {}})");
    cache.ensureLoaded(folder, allowed);
    writeLexicon(R"({"lower": {"b": ["l"]}, "caseSensitive": {}})");
    cache.ensureLoaded(folder, allowed);
    EXPECT_EQ(cache.lexicons().word, (Lexicon{{"b", {"l"}}}));
}

TEST_F(LexiconAssetCacheTest, ALoadedCacheIgnoresLaterCallsAndTheFilesDeletion) {
    writeLexicon(R"({"lower": {"a": ["h"]}, "caseSensitive": {"A": ["O"]}})");
    cache.ensureLoaded(folder, allowed);
    fs::remove(file);

    cache.ensureLoaded(scratch.path() / "elsewhere", {});

    EXPECT_EQ(cache.lexicons().word, (Lexicon{{"a", {"h"}}}));
    EXPECT_EQ(cache.lexicons().caseSensitive, (Lexicon{{"A", {"O"}}}));
}

} // namespace
} // namespace quorl
