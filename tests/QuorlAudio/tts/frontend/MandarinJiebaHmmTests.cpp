#include "QuorlAudio/tts/frontend/JiebaHmmState.hpp"
#include "QuorlAudio/tts/frontend/MandarinJiebaHmm.hpp"

#include "platform/core/LittleEndian.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Tables = MandarinJiebaHmmTables;
using Words = std::vector<std::string>;

std::string floats(const std::vector<float>& values) {
    std::string bytes;
    for (const float value : values) {
        platform::core::appendLittleEndian(bytes, value);
    }
    return bytes;
}

std::string emitRecord(std::uint32_t codePoint, const std::vector<float>& scores) {
    std::string bytes;
    platform::core::appendLittleEndian(bytes, codePoint);
    return bytes + floats(scores);
}

const std::string equalStart = floats({-1, -1, -1, -1});
const std::string equalTrans = floats(std::vector<float>(16, -1));

// Probable words: 中国 and 人民 as pairs; 的 alone. Every other step is possible but unlikely.
Tables wordTables() {
    const std::string start = floats({-0.5F, -100, -100, -1});
    const std::string trans =
        floats({-100, -2, -0.1F, -100, -100, -1, -1, -100, -1, -100, -100, -1, -1, -100, -100, -1});
    const std::string emit = emitRecord(U'中', {-1, -20, -20, -20}) + emitRecord(U'国', {-20, -20, -1, -20}) +
                             emitRecord(U'人', {-1, -20, -20, -20}) + emitRecord(U'民', {-20, -20, -1, -20}) +
                             emitRecord(U'的', {-20, -20, -20, -0.1F});
    return Tables::fromData(start, trans, emit);
}

std::string loadError(const std::string& start, const std::string& trans, const std::string& emit) {
    return testsupport::errorText([&] { Tables::fromData(start, trans, emit); });
}

TEST(MandarinJiebaHmmTests, StatesKeepTheirTableOrder) {
    const auto states = platform::core::allCases<JiebaHmmState>();
    ASSERT_EQ(states.size(), 4U);
    for (int raw = 0; raw < 4; ++raw) {
        EXPECT_EQ(rawValue(states[static_cast<std::size_t>(raw)]), raw);
        EXPECT_EQ(jiebaHmmStateFromRawValue(raw), states[static_cast<std::size_t>(raw)]);
    }
    EXPECT_EQ(jiebaHmmStateFromRawValue(-1), std::nullopt);
    EXPECT_EQ(jiebaHmmStateFromRawValue(4), std::nullopt);
}

TEST(MandarinJiebaHmmTests, SegmentsRunsIntoTheMostProbableWords) {
    const MandarinJiebaHmm hmm(wordTables());
    const struct {
        std::string text;
        Words words;
    } cases[] = {
        {"", {}},
        {"的", {"的"}},
        {"猫", {"猫"}},
        {"中国的人民", {"中国", "的", "人民"}},
        {"的的", {"的", "的"}},
        {"中国人民的", {"中国", "人民", "的"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hmm.segment(c.text), c.words) << c.text;
    }
}

TEST(MandarinJiebaHmmTests, TiesFavourTheFirstListedPredecessorAndAClosingEnd) {
    const MandarinJiebaHmm equal(Tables::fromData(equalStart, equalTrans, emitRecord(U'中', {-1, -1, -1, -1})));
    EXPECT_EQ(equal.segment("中中"), (Words{"中中"}));
    EXPECT_EQ(equal.segment("猫狗"), (Words{"猫狗"}));
    EXPECT_EQ(equal.segment("e\u0301中"), (Words{"e\u0301中"}));
}

TEST(MandarinJiebaHmmTests, ReadsTheFilesAndRefusesMisshapenOnes) {
    const Tables tables = Tables::fromData(floats({1, 2, 3, 4}), equalTrans,
                                           emitRecord(0x4E2D, {1, 2, 3, 4}) + emitRecord(0x4E2D, {5, 6, 7, 8}));
    EXPECT_EQ(tables.start, (Tables::Scores{1, 2, 3, 4}));
    EXPECT_EQ(tables.emit.size(), 1U);
    EXPECT_EQ(tables.emit.at("中"), (Tables::Scores{5, 6, 7, 8}));
    EXPECT_TRUE(Tables::fromData(equalStart, equalTrans, "").emit.empty());

    const struct {
        std::string start;
        std::string trans;
        std::string emit;
        std::string error;
    } cases[] = {
        {equalStart + "x", equalTrans, "", "Jieba HMM table start has size 17 bytes, expected 16"},
        {equalStart, equalTrans.substr(1), "", "Jieba HMM table trans has size 63 bytes, expected 64"},
        {equalStart, equalTrans, std::string(21, '\0'),
         "Jieba HMM table emit (size not a multiple of 20) is truncated"},
        {equalStart, equalTrans, emitRecord(0x110000, {0, 0, 0, 0}),
         "Jieba HMM table emit codepoint U+110000 is truncated"},
        {equalStart, equalTrans, emitRecord(0xD800, {0, 0, 0, 0}),
         "Jieba HMM table emit codepoint U+D800 is truncated"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(loadError(c.start, c.trans, c.emit), c.error);
    }
}

TEST(MandarinJiebaHmmTests, EncodedGivesBackTheBytesItRead) {
    const std::string start = floats({-0.25F, -3.5F, -1e30F, -0.125F});
    std::vector<float> transValues;
    for (int k = 0; k < 16; ++k) {
        transValues.push_back(-0.5F * static_cast<float>(k));
    }
    const std::string trans = floats(transValues);
    const std::string emit = emitRecord(U'A', {-1, -2, -3, -4}) + emitRecord(U'中', {-5, -6, -7, -8}) +
                             emitRecord(0x20000, {-9, -10, -11, -12});
    const testsupport::TemporaryFolder folder;
    std::ofstream(folder.path() / "jieba_hmm_start.bin", std::ios::binary) << start;
    std::ofstream(folder.path() / "jieba_hmm_trans.bin", std::ios::binary) << trans;
    std::ofstream(folder.path() / "jieba_hmm_emit.bin", std::ios::binary) << emit;

    const Tables::Encoded encoded = Tables::load(folder.path()).encoded();
    EXPECT_EQ(encoded.start, start);
    EXPECT_EQ(encoded.trans, trans);
    EXPECT_EQ(encoded.emit, emit);
    std::filesystem::remove(folder.path() / "jieba_hmm_trans.bin");
    EXPECT_THROW(Tables::load(folder.path()), std::filesystem::filesystem_error);
}

} // namespace
} // namespace quorl
