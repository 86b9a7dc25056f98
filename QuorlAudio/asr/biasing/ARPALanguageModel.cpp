#include "QuorlAudio/asr/biasing/ARPALanguageModel.hpp"

#include "QuorlAudio/asr/biasing/ARPAError.hpp"
#include "QuorlAudio/asr/biasing/ARPALineReader.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/text/TextPieces.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <charconv>
#include <string_view>
#include <system_error>
#include <vector>

namespace quorl {
namespace {

const AppLogger& logger() {
    static const AppLogger instance("ARPALanguageModel");
    return instance;
}

// The whole text as a number, with an optional sign; no blanks, nothing after it.
std::optional<float> parseFloat(std::string_view text) {
    if (text.starts_with('+') && !text.starts_with("+-")) {
        text.remove_prefix(1);
    }
    float value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The fields between tabs, empty ones kept. Standard files separate an n-gram's words with spaces instead,
// so the second field, which holds the words, is split on spaces too; a file that uses tabs throughout reads
// the same either way.
std::vector<std::string_view> dataFields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const auto tab = line.find('\t', start);
        const auto field = line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        if (fields.size() == 1 && field.find(' ') != std::string_view::npos) {
            const auto words = platform::text::splitDroppingEmpty(field, ' ');
            fields.insert(fields.end(), words.begin(), words.end());
        } else {
            fields.push_back(field);
        }
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

float naturalLog(float log10Value) { return log10Value * ARPALanguageModel::log10ToNat; }

// The back-off of an n-gram line: the field after the words, 0 when it is absent or not a number.
float backoffAt(const std::vector<std::string_view>& fields, std::size_t index) {
    if (index >= fields.size()) {
        return 0;
    }
    return naturalLog(parseFloat(fields[index]).value_or(0));
}

// The line decoded and trimmed. A line that is not UTF-8 is read with replacement characters rather than
// ending the load with half a model.
std::string decodedLine(const std::string& bytes) {
    std::string line = platform::text::trimmingWhiteSpaceAndLineBreaks(bytes);
    if (!platform::text::decodeScalarsStrictly(bytes)) {
        logger().warning("Reading ARPA line with invalid UTF-8 replaced: " + line);
    }
    return line;
}

class ARPAReading {
public:
    explicit ARPAReading(ARPALanguageModel& model) : model_(model) {}

    // False once the line "\end\" has been read.
    bool read(const std::string& line) {
        if (line.empty() || line.starts_with("\\data\\")) {
            return true;
        }
        if (line == "\\end\\") {
            return false;
        }
        if (line.starts_with('\\')) {
            section_ = line;
        } else if (!line.starts_with("ngram ")) {
            readData(line);
        }
        return true;
    }

private:
    void readData(const std::string& line) {
        const auto fields = dataFields(line);
        const auto logProb = parseFloat(fields.front());
        if (!logProb) {
            logger().warning("Skipping malformed ARPA line: " + line);
            return;
        }
        if (section_ == "\\1-grams:" && fields.size() >= 2) {
            model_.unigrams.insert_or_assign(std::string(fields[1]),
                                             ARPALanguageModel::Entry{naturalLog(*logProb), backoffAt(fields, 2)});
        } else if (section_ == "\\2-grams:" && fields.size() >= 3) {
            model_.bigrams[std::string(fields[1])].insert_or_assign(
                std::string(fields[2]), ARPALanguageModel::Entry{naturalLog(*logProb), backoffAt(fields, 3)});
        }
    }

    ARPALanguageModel& model_;
    std::string section_;
};

} // namespace

ARPALanguageModel ARPALanguageModel::load(const std::filesystem::path& from) {
    auto reader = ARPALineReader::open(from);
    if (!reader) {
        throw ARPAError::cannotOpen(from.string());
    }
    ARPALanguageModel model;
    ARPAReading reading(model);
    while (const auto bytes = reader->readLine()) {
        if (!reading.read(decodedLine(*bytes))) {
            break;
        }
    }
    return model;
}

float ARPALanguageModel::score(const std::string& word, const std::optional<std::string>& prev) const {
    float backoff = 0;
    if (prev) {
        if (const auto context = bigrams.find(*prev); context != bigrams.end()) {
            if (const auto entry = context->second.find(word); entry != context->second.end()) {
                return entry->second.logProb;
            }
        }
        if (const auto entry = unigrams.find(*prev); entry != unigrams.end()) {
            backoff = entry->second.backoff;
        }
    }
    const auto entry = unigrams.find(word);
    return backoff + (entry != unigrams.end() ? entry->second.logProb : unkLogProb);
}

} // namespace quorl
