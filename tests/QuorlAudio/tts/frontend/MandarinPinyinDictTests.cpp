#include "QuorlAudio/tts/frontend/MandarinPinyinDict.hpp"

#include "tests/QuorlAudio/tts/frontend/MandarinDictionaryFiles.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

using testsupport::errorText;
using testsupport::phrasesRecord;
using testsupport::singlesRecord;
using Strings = std::vector<std::string>;

std::string singlesError(const std::string& data) {
    return errorText([&] { MandarinPinyinDict::parseSingles(data); });
}

std::string phrasesError(const std::string& data) {
    return errorText([&] { MandarinPinyinDict::parsePhrases(data); });
}

std::string message(const std::string& place) { return "Mandarin G2P dict " + place + " is truncated"; }

void write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(MandarinPinyinDictTests, ReadsRecordsTheLaterOfTwoWinning) {
    const std::string singles = singlesRecord(0x4E2D, {"zhōng", "zhòng"}) + singlesRecord(0x597D, {"hǎo"}) +
                                singlesRecord(0x4E86, {}) + singlesRecord(0x597D, {"hào", ""});
    const auto parsed = MandarinPinyinDict::parseSingles(singles);
    EXPECT_EQ(parsed.size(), 3U);
    EXPECT_EQ(parsed.at(0x4E2D), (Strings{"zhōng", "zhòng"}));
    EXPECT_EQ(parsed.at(0x597D), (Strings{"hào", ""}));
    EXPECT_TRUE(parsed.at(0x4E86).empty());

    const std::string phrases =
        phrasesRecord("中国", {"zhōng", "guó"}) + phrasesRecord("中国", {"zhōng", "guo"}) + phrasesRecord("", {});
    const auto parsedPhrases = MandarinPinyinDict::parsePhrases(phrases);
    EXPECT_EQ(parsedPhrases.size(), 2U);
    EXPECT_EQ(parsedPhrases.at("中国"), (Strings{"zhōng", "guo"}));
    EXPECT_TRUE(parsedPhrases.at("").empty());
}

TEST(MandarinPinyinDictTests, EmptyFilesGiveEmptyMapsAndOneCharacterAtMost) {
    EXPECT_TRUE(MandarinPinyinDict::parseSingles("").empty());
    EXPECT_TRUE(MandarinPinyinDict::parsePhrases("").empty());
    EXPECT_EQ(MandarinPinyinDict({}, {}).maxPhraseCharCount(), 1);
}

TEST(MandarinPinyinDictTests, CountsPhraseCharactersNotBytes) {
    const MandarinPinyinDict dict(
        MandarinPinyinDict::parsePhrases(phrasesRecord("一心一意", {"yī", "xīn", "yí", "yì"}) +
                                         phrasesRecord("e\u0301e\u0301", {"é", "é"})),
        {});
    EXPECT_EQ(dict.maxPhraseCharCount(), 4);
}

// Where a record's head ends: the bytes any head needs, and the whole head with its key and count byte.
struct RecordHead {
    std::size_t minimal;
    std::size_t whole;
    std::string file;
};

// The place a file cut `cut` bytes into a record (not at its start) fails at.
std::string placeOfCut(std::size_t cut, const RecordHead& head, const Strings& texts) {
    if (cut < head.minimal) {
        return head.file;
    }
    if (cut < head.whole) {
        return head.file + " payload";
    }
    std::size_t lengthByte = head.whole;
    for (const std::string& text : texts) {
        if (cut == lengthByte) {
            return head.file + " pinyin";
        }
        if (cut <= lengthByte + text.size()) {
            return head.file + " pinyin payload";
        }
        lengthByte += 1 + text.size();
    }
    return "complete";
}

// Every cut of a valid file fails at the first record that no longer fits, and names that place.
TEST(MandarinPinyinDictTests, EveryCutNamesThePlaceThatFailed) {
    const Strings first{"zhōng"};
    const Strings second{"hǎo", "", "hào"};
    const std::string key = "你好";
    const struct {
        std::string firstRecord;
        std::string secondRecord;
        RecordHead head;
        bool singles;
    } files[] = {
        {singlesRecord(0x4E2D, first), singlesRecord(0x597D, second), {5, 5, "singles"}, true},
        {phrasesRecord(key, first), phrasesRecord(key, second), {3, 3 + key.size(), "phrases"}, false},
    };
    for (const auto& file : files) {
        const std::string data = file.firstRecord + file.secondRecord;
        for (std::size_t size = 1; size < data.size(); ++size) {
            const bool inFirst = size < file.firstRecord.size();
            const std::size_t cut = inFirst ? size : size - file.firstRecord.size();
            const std::string place = cut == 0 ? "complete" : placeOfCut(cut, file.head, inFirst ? first : second);
            const std::string error =
                file.singles ? singlesError(data.substr(0, size)) : phrasesError(data.substr(0, size));
            EXPECT_EQ(error, place == "complete" ? "nothing thrown" : message(place)) << file.head.file << " " << size;
        }
    }
}

TEST(MandarinPinyinDictTests, NamesEachPlaceOfTheTable) {
    const std::string badUtf8 = std::string(1, '\x02') + "\xC3\x28";
    const struct {
        std::string data;
        bool singles;
        std::string place;
    } cases[] = {
        {std::string("\x2D\x4E", 2), true, "singles"},
        {singlesRecord(0x4E2D, {}) + std::string("\x2D\x4E\x00\x00", 4), true, "singles"},
        {std::string("\x2D\x4E\x00\x00\x02\x01\x61", 7), true, "singles pinyin"},
        {std::string("\x2D\x4E\x00\x00\x01\x03", 6), true, "singles pinyin payload"},
        {std::string("\x2D\x4E\x00\x00\x01\x03zh", 8), true, "singles pinyin payload"},
        {std::string("\x2D\x4E\x00\x00\x01", 5) + badUtf8, true, "singles pinyin utf8"},
        {phrasesRecord("中", {}) + std::string("\x03", 1), false, "phrases"},
        {phrasesRecord("中", {}) + std::string("\x03\x00", 2), false, "phrases"},
        {std::string("\x03\x00\xE4\xB8\xAD", 5), false, "phrases payload"},
        {std::string("\x02\x00", 2) + "\xC3\x28" + std::string(1, '\x00'), false, "phrases utf8"},
        {std::string("\x00\x00\x01", 3), false, "phrases pinyin"},
        {std::string("\x00\x00\x01\x02", 4), false, "phrases pinyin payload"},
        {std::string("\x00\x00\x01", 3) + badUtf8, false, "phrases pinyin utf8"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.singles ? singlesError(c.data) : phrasesError(c.data), message(c.place)) << c.place;
    }
}

TEST(MandarinPinyinDictTests, LoadsBothFilesAndStopsAtTheFirstFault) {
    const testsupport::TemporaryFolder folder;
    const auto singles = folder.path() / "pinyin_single.bin";
    const auto phrases = folder.path() / "pinyin_phrases.bin";
    write(singles, singlesRecord(0x4E2D, {"zhōng", "zhòng"}));
    write(phrases, phrasesRecord("中国", {"zhōng", "guó"}));
    const MandarinPinyinDict dict = MandarinPinyinDict::load(singles, phrases);
    EXPECT_EQ(dict.singles().at(0x4E2D).front(), "zhōng");
    EXPECT_EQ(dict.phrases().at("中国"), (Strings{"zhōng", "guó"}));
    EXPECT_EQ(dict.maxPhraseCharCount(), 2);

    EXPECT_THROW(MandarinPinyinDict::load(folder.path() / "missing.bin", phrases), std::filesystem::filesystem_error);
    write(singles, "\x01");
    try {
        MandarinPinyinDict::load(singles, folder.path() / "missing.bin");
        FAIL() << "nothing thrown";
    } catch (const MandarinPinyinDict::LoadError& error) {
        EXPECT_EQ(error.place(), "singles");
    }
}

} // namespace
} // namespace quorl
