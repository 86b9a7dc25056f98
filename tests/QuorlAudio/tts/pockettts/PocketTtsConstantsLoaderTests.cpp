#include "QuorlAudio/tts/pockettts/PocketTtsConstantsLoader.hpp"

#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quorl {
namespace {

using namespace pocketttsfixtures;
using PocketTtsConstantsLoader::LoadError;

using Outcome = LoadOutcome;

class PocketTtsConstantsLoaderTests : public testing::Test {
protected:
    void SetUp() override {
        write("bos_emb.bin", floatBytes(std::vector<float>(32, 0.5F)));
        write("text_embed_table.bin", floatBytes(std::vector<float>(2 * 1024, 1.0F)));
        write("tokenizer.model", modelBytes({{"\u2581", -1.0F}, {"a", -1.0F}}));
    }

    void write(const std::string& name, std::string_view bytes) { writeFile(root() / "constants_bin" / name, bytes); }
    void remove(const std::string& name) { std::filesystem::remove(root() / "constants_bin" / name); }
    std::filesystem::path root() const { return folder.path() / "english"; }
    std::optional<Outcome> packFailure() {
        return loadFailure([this] { PocketTtsConstantsLoader::load(root()); });
    }

    testsupport::TemporaryFolder folder;
};

TEST_F(PocketTtsConstantsLoaderTests, LoadsAPackWithoutTheCloningEmbedding) {
    write("bos_emb.bin", floatBytes(std::vector<float>(32, 0.5F)) + "xy");
    testsupport::RecordingLogSink sink;
    const auto bundle = PocketTtsConstantsLoader::load(root());
    EXPECT_EQ(bundle.bosEmbedding, std::vector<float>(32, 0.5F));
    EXPECT_EQ(bundle.textEmbedTable.size(), 2048U);
    EXPECT_EQ(bundle.tokenizer.encode("a"), (std::vector<std::int64_t>{0, 1}));
    EXPECT_FALSE(bundle.bosBeforeVoice.has_value());
    EXPECT_EQ(sink.messages("PocketTtsConstantsLoader"),
              (std::vector<std::string>{"PocketTTS constants_bin/bos_before_voice.bin not present; cloned-voice v1 "
                                        "prefill will fail until the language pack is updated",
                                        "Loaded PocketTTS constants from english"}));
}

TEST_F(PocketTtsConstantsLoaderTests, LoadsTheCloningEmbeddingWhenPresent) {
    write("bos_before_voice.bin", floatBytes(std::vector<float>(1024, 2.0F)));
    write("text_embed_table.bin", floatBytes(std::vector<float>(4001 * 1024, 1.0F)));
    const auto bundle = PocketTtsConstantsLoader::load(root());
    EXPECT_EQ(bundle.bosBeforeVoice, std::vector<float>(1024, 2.0F));
    EXPECT_EQ(bundle.textEmbedTable.size(), 4001U * 1024U);
}

TEST_F(PocketTtsConstantsLoaderTests, RefusesMissingAndMisSizedFiles) {
    using enum LoadError::Kind;
    const struct {
        std::string name;
        std::string file;
        std::optional<std::string> bytes;
        Outcome outcome;
    } cases[] = {
        {"short start latent", "bos_emb.bin", std::string(124, '\0'), {invalidSize, "bos_emb", 32, 31}},
        {"missing start latent", "bos_emb.bin", std::nullopt, {fileNotFound, "bos_emb"}},
        {"empty table", "text_embed_table.bin", "", {invalidSize, "text_embed_table", 1024, 0}},
        {"partial row",
         "text_embed_table.bin",
         floatBytes(std::vector<float>(1023)),
         {invalidSize, "text_embed_table", 1024, 1023}},
        {"missing table", "text_embed_table.bin", std::nullopt, {fileNotFound, "text_embed_table"}},
        {"missing tokenizer", "tokenizer.model", std::nullopt, {fileNotFound, "tokenizer.model"}},
        {"broken tokenizer", "tokenizer.model", "\x0B", {tokenizerLoadFailed, "invalid protocol-buffer data"}},
        {"short cloning embedding",
         "bos_before_voice.bin",
         floatBytes(std::vector<float>(1023)),
         {invalidSize, "bos_before_voice", 1024, 1023}},
    };
    for (const auto& testCase : cases) {
        SetUp();
        if (testCase.bytes) {
            write(testCase.file, *testCase.bytes);
        } else {
            remove(testCase.file);
        }
        EXPECT_EQ(packFailure(), testCase.outcome) << testCase.name;
        remove("bos_before_voice.bin");
    }
}

} // namespace
} // namespace quorl
