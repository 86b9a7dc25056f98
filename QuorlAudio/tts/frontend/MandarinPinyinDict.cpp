#include "QuorlAudio/tts/frontend/MandarinPinyinDict.hpp"

#include "platform/core/LittleEndian.hpp"
#include "platform/sys/WholeFile.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Utf8.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace quorl {
namespace {

namespace core = platform::core;

// The places a list of readings can fail, named after the file being read.
struct ListPlaces {
    const char* lengthByte;
    const char* payload;
    const char* utf8;
};

constexpr ListPlaces singlesPlaces{"singles pinyin", "singles pinyin payload", "singles pinyin utf8"};
constexpr ListPlaces phrasesPlaces{"phrases pinyin", "phrases pinyin payload", "phrases pinyin utf8"};

// A forward pass over one file's bytes held in memory.
class RecordReader {
public:
    explicit RecordReader(std::string_view data) : data_(data) {}

    bool atEnd() const { return position_ == data_.size(); }
    std::size_t remaining() const { return data_.size() - position_; }

    std::uint8_t byte() { return static_cast<std::uint8_t>(data_[position_++]); }

    std::uint16_t uint16() {
        const std::uint16_t value = core::littleEndianUInt16(data_, position_);
        position_ += 2;
        return value;
    }

    std::uint32_t uint32() {
        const std::uint32_t value = core::littleEndianUInt32(data_, position_);
        position_ += 4;
        return value;
    }

    std::string text(std::size_t length, const char* utf8Place) {
        const std::string_view bytes = data_.substr(position_, length);
        if (!platform::text::isWellFormedUtf8(bytes)) {
            throw MandarinPinyinDict::LoadError::truncated(utf8Place);
        }
        position_ += length;
        return std::string(bytes);
    }

    std::vector<std::string> readings(std::size_t count, const ListPlaces& places) {
        std::vector<std::string> list;
        list.reserve(count);
        for (std::size_t index = 0; index < count; ++index) {
            if (atEnd()) {
                throw MandarinPinyinDict::LoadError::truncated(places.lengthByte);
            }
            const std::size_t length = byte();
            if (length > remaining()) {
                throw MandarinPinyinDict::LoadError::truncated(places.payload);
            }
            list.push_back(text(length, places.utf8));
        }
        return list;
    }

private:
    std::string_view data_;
    std::size_t position_ = 0;
};

int characterCount(const std::string& text) {
    return static_cast<int>(platform::text::graphemeBoundaries(text).size() - 1);
}

} // namespace

MandarinPinyinDict::LoadError::LoadError(const std::string& place)
    : platform::core::Error("Mandarin G2P dict " + place + " is truncated"), place_(place) {}

MandarinPinyinDict::LoadError MandarinPinyinDict::LoadError::truncated(const std::string& place) {
    return LoadError(place);
}

MandarinPinyinDict::Singles MandarinPinyinDict::parseSingles(std::string_view data) {
    Singles singles;
    RecordReader reader(data);
    while (!reader.atEnd()) {
        if (reader.remaining() < 5) {
            throw LoadError::truncated("singles");
        }
        const std::uint32_t key = reader.uint32();
        const std::size_t count = reader.byte();
        singles.insert_or_assign(key, reader.readings(count, singlesPlaces));
    }
    return singles;
}

MandarinPinyinDict::Phrases MandarinPinyinDict::parsePhrases(std::string_view data) {
    Phrases phrases;
    RecordReader reader(data);
    while (!reader.atEnd()) {
        if (reader.remaining() < 3) {
            throw LoadError::truncated("phrases");
        }
        const std::size_t keyLength = reader.uint16();
        if (keyLength + 1 > reader.remaining()) {
            throw LoadError::truncated("phrases payload");
        }
        std::string key = reader.text(keyLength, "phrases utf8");
        const std::size_t count = reader.byte();
        phrases.insert_or_assign(std::move(key), reader.readings(count, phrasesPlaces));
    }
    return phrases;
}

MandarinPinyinDict MandarinPinyinDict::load(const std::filesystem::path& singlesURL,
                                            const std::filesystem::path& phrasesURL) {
    Singles singles = parseSingles(platform::sys::wholeFile(singlesURL));
    Phrases phrases = parsePhrases(platform::sys::wholeFile(phrasesURL));
    return MandarinPinyinDict(std::move(phrases), std::move(singles));
}

MandarinPinyinDict::MandarinPinyinDict(Phrases phrases, Singles singles)
    : phrases_(std::move(phrases)), singles_(std::move(singles)), maxPhraseCharCount_(1) {
    for (const auto& entry : phrases_) {
        maxPhraseCharCount_ = std::max(maxPhraseCharCount_, characterCount(entry.first));
    }
}

} // namespace quorl
