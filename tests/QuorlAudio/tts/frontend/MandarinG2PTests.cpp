#include "QuorlAudio/tts/frontend/MandarinG2P.hpp"

#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "tests/QuorlAudio/tts/frontend/G2pwTestModel.hpp"
#include "tests/QuorlAudio/tts/frontend/MandarinDictionaryFiles.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace Segment = MandarinG2PSegment;
using testsupport::errorText;
using Strings = std::vector<std::string>;

// A dictionary of twenty characters and five phrases, written to files and loaded. 行 and 了 are polyphones.
std::shared_ptr<const MandarinPinyinDict> dictionary() {
    const std::vector<std::pair<char32_t, Strings>> singles{
        {U'二', {"èr"}},    {U'零', {"líng"}}, {U'四', {"sì"}},   {U'年', {"nián"}},         {U'有', {"yǒu"}},
        {U'十', {"shí"}},   {U'个', {"gè"}},   {U'月', {"yuè"}},  {U'你', {"nǐ"}},           {U'好', {"hǎo"}},
        {U'我', {"wǒ"}},    {U'不', {"bù"}},   {U'是', {"shì"}},  {U'花', {"huā"}},          {U'儿', {"ér"}},
        {U'中', {"zhōng"}}, {U'国', {"guó"}},  {U'天', {"tiān"}}, {U'行', {"xíng", "háng"}}, {U'了', {"liǎo", "le"}},
    };
    const std::vector<std::pair<std::string, Strings>> phrases{
        {"十二", {"shí", "èr"}}, {"中国", {"zhōng", "guó"}}, {"你好", {"nǐ", "hǎo"}},
        {"花儿", {"huā", "er"}}, {"银行", {"yín", "háng"}},
    };
    testsupport::TemporaryFolder folder;
    std::ofstream singlesFile(folder.path() / "pinyin_single.bin", std::ios::binary);
    for (const auto& [codePoint, readings] : singles) {
        singlesFile << testsupport::singlesRecord(codePoint, readings);
    }
    singlesFile.close();
    std::ofstream phrasesFile(folder.path() / "pinyin_phrases.bin", std::ios::binary);
    for (const auto& [phrase, syllables] : phrases) {
        phrasesFile << testsupport::phrasesRecord(phrase, syllables);
    }
    phrasesFile.close();
    return std::make_shared<const MandarinPinyinDict>(
        MandarinPinyinDict::load(folder.path() / "pinyin_single.bin", folder.path() / "pinyin_phrases.bin"));
}

MandarinG2P pipeline(std::shared_ptr<const MandarinG2pwModel> g2pw = nullptr,
                     std::shared_ptr<const MandarinJiebaHmm> jiebaHmm = nullptr) {
    return MandarinG2P(dictionary(), std::move(jiebaHmm), std::move(g2pw));
}

MandarinG2P withLexicon(const std::string& lexicon) {
    return MandarinG2P(dictionary(), MandarinCustomLexicon::parse(lexicon));
}

// 了 lists ㄌㄧㄠˇ (label 1) after ㄌㄜ˙ (label 0); the dictionary reads it liǎo first.
constexpr const char* catalogText = "了 ㄌㄜ˙\n了 ㄌㄧㄠˇ\n";

TEST(MandarinG2PTests, WritesADateAndNumbersInBopomofo) {
    EXPECT_EQ(pipeline().phonemize("2024年有十二个月"), "ㄦ4ㄌ应2ㄦ4ㄙㄭ4ㄋ言2又3ㄕ十2ㄦ4ㄍㄜ4月4")
        << "the er of 十二 is a syllable of its own";
    EXPECT_EQ(pipeline().phonemize("花儿"), "ㄏ穵ㄦ1");
}

TEST(MandarinG2PTests, RefusesTextWithoutPhonemes) {
    const std::string prefix = "KokoroAne input processing failed: ";
    EXPECT_EQ(errorText([] { pipeline().phonemize(" \t\n\u3000 "); }), prefix + "(empty input)");
    try {
        pipeline().phonemize("");
        FAIL() << "nothing thrown";
    } catch (const KokoroAneError& error) {
        EXPECT_EQ(error.kind(), KokoroAneError::Kind::inputProcessingFailed);
    }

    testsupport::RecordingLogSink log;
    MandarinCustomLexicon::Entries unchecked{{"你", {MandarinPinyinNormalizer::Syllable{"abc", 1}}}};
    const MandarinG2P broken(dictionary(), MandarinCustomLexicon(unchecked));
    EXPECT_EQ(errorText([&] { broken.phonemize(" 你 "); }),
              prefix + "Mandarin G2P produced no phonemes for input ' 你 '");
    EXPECT_EQ(log.messages("MandarinG2P"), Strings{"Mandarin G2P dropped untranslatable syllable 'abc1'"});
}

TEST(MandarinG2PTests, NormalisesPunctuationAndWhiteSpace) {
    const struct {
        const char* text;
        const char* normalized;
    } cases[] = {
        {"  你，好、我。 ", "你,好,我."},
        {"！？；：（）／", "!?;:()/"},
        {"「天」『天』", "\u201C天\u201D\u201C天\u201D"},
        {"你 \t\n\u3000 好\r\n", "你 好"},
        {"ＡＢ，", "ＡＢ,"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(MandarinG2P::normalizeText(testCase.text), testCase.normalized) << testCase.text;
    }
    EXPECT_EQ(pipeline().phonemize("你，\n\n我「天」ＡＢ"), "ㄋㄧ3, 我3\u201Cㄊ言1\u201DＡＢ");
}

TEST(MandarinG2PTests, CopiesLatinTextAndCharactersWithoutReadingsAsLiterals) {
    EXPECT_EQ(pipeline().phonemize("Hi 你 ok#好"), "Hi ㄋㄧ3 ok#ㄏㄠ3");
    EXPECT_EQ(pipeline().phonemize("abc"), "abc");
    const auto segments = pipeline().segment({"a", "b", "猫", "你"}).segments;
    EXPECT_EQ(segments, (std::vector<MandarinG2P::Segment>{Segment::Literal{"ab"}, Segment::Literal{"猫"},
                                                           Segment::Pinyin{{"nǐ"}, 1}}));
}

TEST(MandarinG2PTests, TheCustomLexiconComesBeforePhrasesAndPhrasesBeforeSingleReadings) {
    EXPECT_EQ(pipeline().phonemize("你好"), "ㄋㄧ2ㄏㄠ3") << "the phrase, with its sandhi";
    EXPECT_EQ(withLexicon("你好 @ㄋ3 @ㄏ\n").phonemize("你好"), "ㄋ3ㄏ");
    EXPECT_EQ(pipeline().phonemize("银行"), "阴2ㄏㄤ2") << "the phrase's reading, not 行's first";
    EXPECT_EQ(withLexicon("好 hao4\n").phonemize("我好你"), "我3ㄏㄠ4ㄋㄧ3")
        << "lexicon syllables join the sandhi context";
    EXPECT_EQ(withLexicon("你好 ni3 @ㄏ @3 hao3\n").phonemize("你好"), "ㄋㄧ3ㄏ3ㄏㄠ3")
        << "bopomofo tokens join each other and part the syllables around them";
    EXPECT_EQ(withLexicon("你 @ㄋ\n").phonemize("ab你天你"), "abㄋㄊ言1ㄋ")
        << "literal text and runs keep their order before a lexicon word";
}

TEST(MandarinG2PTests, CutsRunsWithTheSegmentationModel) {
    MandarinJiebaHmmTables tables;
    // 天 begins a word, 不 ends one, every other character stands alone.
    tables.emit.emplace("天", MandarinJiebaHmmTables::Scores{0, -50, -50, -50});
    tables.emit.emplace("不", MandarinJiebaHmmTables::Scores{-50, -50, 0, -50});
    tables.emit.emplace("行", MandarinJiebaHmmTables::Scores{-50, -50, -50, 0});
    const auto hmm = std::make_shared<const MandarinJiebaHmm>(tables);
    const auto result = pipeline(nullptr, hmm).segment({"天", "不", "行", "你"});
    EXPECT_EQ(result.segments,
              (std::vector<MandarinG2P::Segment>{Segment::Pinyin{{"tiān"}, 1}, Segment::Pinyin{{"bù"}, 1},
                                                 Segment::Pinyin{{"xíng"}, 1}, Segment::Pinyin{{"nǐ"}, 1}}));
    EXPECT_EQ(result.targets, (std::vector<MandarinG2P::PolyphoneTarget>{{2, 2}}));
    EXPECT_EQ(pipeline(nullptr, hmm).phonemize("天不行"), pipeline().phonemize("天不行"));
}

TEST(MandarinG2PTests, APolyphoneDecidedByTheModelSplitsTheSandhiContext) {
    G2pwTestModel fixture(catalogText);
    fixture.scores = [](std::int32_t, const auto&) { return std::vector<float>{0.0F, 1.0F}; };
    EXPECT_EQ(pipeline().phonemize("你了你"), "ㄋㄧ2ㄌ要2ㄋㄧ3");
    EXPECT_EQ(pipeline(fixture.model()).phonemize("你了你"), "ㄋㄧ3ㄌㄧㄠ3ㄋㄧ3");
    ASSERT_EQ(fixture.kernel.calls().size(), 1U);

    const auto result = pipeline().segment({"你", "，", "了"});
    EXPECT_EQ(result.targets, (std::vector<MandarinG2P::PolyphoneTarget>{{2, 2}}));
}

TEST(MandarinG2PTests, AFailingModelFallsBackToTheDictionary) {
    G2pwTestModel fixture(catalogText);
    fixture.kernel.failPredictionsWith(std::make_exception_ptr(std::runtime_error("kernel broke")));
    testsupport::RecordingLogSink log;
    EXPECT_EQ(pipeline(fixture.model()).phonemize("你了你"), "ㄋㄧ2ㄌ要2ㄋㄧ3");
    EXPECT_EQ(log.messages("MandarinG2P"),
              Strings{"g2pW disambiguation failed (kernel broke) \u2014 falling back to dict pick"});

    pipeline(fixture.model()).phonemize("你好");
    EXPECT_EQ(fixture.kernel.calls().size(), 1U) << "no targets, no call";
}

TEST(MandarinG2PTests, RecognisesHanziByTheirBlocks) {
    const struct {
        const char* text;
        bool hanzi;
    } cases[] = {
        {"", false},          {"abc ，。", false},  {"\u4E00", true},      {"\u9FFF", true}, {"\u4DC0", false},
        {"\u3400", true},     {"\u4DBF", true},     {"\uF900", true},      {"\uFAFF", true}, {"\uFB00", false},
        {"\U00020000", true}, {"\U0002FA1F", true}, {"\U0002FA20", false}, {"\u3007", true}, {"\u3006", false},
        {"\U00030000", true}, {"\U0003134F", true}, {"\U00031350", false}, {"ab中", true},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(MandarinG2P::looksLikeHanzi(testCase.text), testCase.hanzi) << testCase.text;
    }
}

} // namespace
} // namespace quorl
