#include "QuorlAudio/tts/frontend/CachePayload.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

// Follows the parse events of the payload. Levels: 1 inside the top object, 2 inside a lexicon, 3 inside a
// word's token list. A value under a key other than the two lexicons is skipped whatever its shape.
class PayloadReader : public nlohmann::json_sax<json> {
public:
    PayloadReader(CachePayload& payload, const std::unordered_set<std::string>& allowedTokens)
        : payload_(payload), allowedTokens_(allowedTokens) {}

    void checkComplete() const {
        if (!seenLower_) {
            throw std::runtime_error("key 'lower' not found");
        }
        if (!seenCaseSensitive_) {
            throw std::runtime_error("key 'caseSensitive' not found");
        }
    }

    bool null() override { return scalar("null"); }
    bool boolean(bool) override { return scalar("a Boolean"); }
    bool number_integer(number_integer_t) override { return scalar("a number"); }
    bool number_unsigned(number_unsigned_t) override { return scalar("a number"); }
    bool number_float(number_float_t, const string_t&) override { return scalar("a number"); }
    bool binary(binary_t&) override { return scalar("binary data"); }

    bool string(string_t& text) override {
        if (skipsValue()) {
            return true;
        }
        if (level_ != 3) {
            unexpected("a string");
        }
        if (allowedTokens_.contains(text)) {
            word_->push_back(std::move(text));
        }
        return true;
    }

    bool start_object(std::size_t) override {
        if (skipsValue()) {
            ++skipDepth_;
            return true;
        }
        if (level_ > 1) {
            unexpected("an object");
        }
        if (level_ == 1) {
            target_->clear();
        }
        ++level_;
        return true;
    }

    bool key(string_t& name) override {
        if (skipping()) {
            return true;
        }
        if (level_ == 1) {
            chooseLexicon(name);
        } else {
            word_ = &(*target_)[name];
            word_->clear();
        }
        return true;
    }

    bool end_object() override { return close(); }

    bool start_array(std::size_t) override {
        if (skipsValue()) {
            ++skipDepth_;
            return true;
        }
        if (level_ != 2) {
            unexpected("an array");
        }
        ++level_;
        return true;
    }

    bool end_array() override { return close(); }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override {
        throw std::runtime_error(error.what());
    }

private:
    bool skipping() const { return skipDepth_ > 0; }

    void chooseLexicon(const std::string& name) {
        target_ = nullptr;
        if (name == "lower") {
            target_ = &payload_.lower;
            seenLower_ = true;
        } else if (name == "caseSensitive") {
            target_ = &payload_.caseSensitive;
            seenCaseSensitive_ = true;
        }
    }

    // A value of a key other than the two lexicons, or anything inside one.
    bool skipsValue() const { return skipping() || (level_ == 1 && target_ == nullptr); }

    // A value that is not a container: allowed only where it is skipped.
    bool scalar(const char* what) const {
        if (!skipsValue()) {
            unexpected(what);
        }
        return true;
    }

    bool close() {
        if (skipping()) {
            --skipDepth_;
        } else {
            --level_;
        }
        return true;
    }

    void unexpected(const char* what) const {
        static constexpr const char* expected[] = {"an object", "an object", "an array", "a string"};
        throw std::runtime_error(std::string("expected ") + expected[level_] + " but found " + what);
    }

    CachePayload& payload_;
    const std::unordered_set<std::string>& allowedTokens_;
    CachePayload::Lexicon* target_ = nullptr;
    std::vector<std::string>* word_ = nullptr;
    int level_ = 0;
    int skipDepth_ = 0;
    bool seenLower_ = false;
    bool seenCaseSensitive_ = false;
};

} // namespace

CachePayload CachePayload::read(const fs::path& file, const std::unordered_set<std::string>& allowedTokens) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        throw fs::filesystem_error("Cannot read the file", file, std::error_code(errno, std::generic_category()));
    }
    CachePayload payload;
    PayloadReader reader(payload, allowedTokens);
    json::sax_parse(stream, &reader);
    reader.checkComplete();
    return payload;
}

} // namespace quorl
