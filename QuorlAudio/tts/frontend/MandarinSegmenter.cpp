#include "QuorlAudio/tts/frontend/MandarinSegmenter.hpp"

#include "QuorlAudio/tts/frontend/MandarinBopomofoMap.hpp"
#include "platform/text/Utf8.hpp"

#include <algorithm>
#include <utility>

namespace quorl {
namespace {

namespace Segment = MandarinG2PSegment;

bool isPunctuation(const std::string& character) {
    return MandarinBopomofoMap::allowedPunctuation().contains(character);
}

std::string joined(const std::vector<std::string>& chars, std::size_t start, std::size_t length) {
    std::string text;
    for (std::size_t i = start; i < start + length; ++i) {
        text += chars[i];
    }
    return text;
}

} // namespace

MandarinSegmenter::MandarinSegmenter(const MandarinPinyinDict& dict, const MandarinJiebaHmm* jiebaHmm,
                                     const MandarinCustomLexicon& customLexicon)
    : dict_(dict), jiebaHmm_(jiebaHmm), customLexicon_(customLexicon),
      maxPhraseLength_(static_cast<std::size_t>(std::max(dict.maxPhraseCharCount(), 2))) {}

MandarinSegmentResult MandarinSegmenter::segment(const std::vector<std::string>& chars) {
    for (std::size_t i = 0; i < chars.size();) {
        const auto& character = chars[i];
        if (isPunctuation(character) || platform::text::firstScalar(character) < 0x80) {
            flushRun();
            if (isPunctuation(character)) {
                flushLiteral();
                result_.segments.emplace_back(Segment::Punctuation{character});
            } else {
                literal_ += character;
            }
            ++i;
        } else if (!takeLexiconWord(chars, i) && !takePhrase(chars, i)) {
            if (run_.empty()) {
                runStart_ = i;
            }
            run_.push_back(character);
            ++i;
        }
    }
    flushRun();
    flushLiteral();
    return std::move(result_);
}

bool MandarinSegmenter::takeLexiconWord(const std::vector<std::string>& chars, std::size_t& i) {
    const auto match = customLexicon_.longestMatch(chars, i);
    if (!match) {
        return false;
    }
    flushRun();
    // Literal text before the word must stay before it even when no run is pending.
    flushLiteral();
    emitLexiconTokens(match->tokens);
    i += match->length;
    return true;
}

bool MandarinSegmenter::takePhrase(const std::vector<std::string>& chars, std::size_t& i) {
    const std::size_t remaining = chars.size() - i;
    for (std::size_t length = std::min(remaining, maxPhraseLength_); length >= 2; --length) {
        const auto found = dict_.phrases().find(joined(chars, i, length));
        if (found != dict_.phrases().end()) {
            flushRun();
            flushLiteral();
            result_.segments.emplace_back(Segment::Pinyin{found->second, length});
            i += length;
            return true;
        }
    }
    return false;
}

void MandarinSegmenter::emitLexiconTokens(const std::vector<MandarinCustomLexicon::Token>& tokens) {
    std::vector<MandarinPinyinNormalizer::Syllable> syllables;
    std::string bopomofo;
    for (const auto& token : tokens) {
        if (const auto* syllable = std::get_if<MandarinPinyinNormalizer::Syllable>(&token)) {
            if (!bopomofo.empty()) {
                result_.segments.emplace_back(Segment::Literal{std::exchange(bopomofo, {})});
            }
            syllables.push_back(*syllable);
        } else {
            if (!syllables.empty()) {
                result_.segments.emplace_back(Segment::Syllables{std::exchange(syllables, {})});
            }
            bopomofo += std::get<MandarinCustomLexicon::Bopomofo>(token).text;
        }
    }
    if (!syllables.empty()) {
        result_.segments.emplace_back(Segment::Syllables{std::move(syllables)});
    }
    if (!bopomofo.empty()) {
        result_.segments.emplace_back(Segment::Literal{std::move(bopomofo)});
    }
}

void MandarinSegmenter::flushLiteral() {
    if (!literal_.empty()) {
        result_.segments.emplace_back(Segment::Literal{std::exchange(literal_, {})});
    }
}

void MandarinSegmenter::flushRun() {
    if (run_.empty()) {
        return;
    }
    flushLiteral();
    std::size_t position = runStart_;
    for (const auto& word : runWords()) {
        const auto phrase =
            word.size() > 1 ? dict_.phrases().find(joined(word, 0, word.size())) : dict_.phrases().end();
        if (phrase != dict_.phrases().end()) {
            result_.segments.emplace_back(Segment::Pinyin{phrase->second, word.size()});
        } else {
            for (std::size_t k = 0; k < word.size(); ++k) {
                emitCharacter(word[k], position + k);
            }
        }
        position += word.size();
    }
    run_.clear();
}

void MandarinSegmenter::emitCharacter(const std::string& character, std::size_t position) {
    const auto found = dict_.singles().find(platform::text::firstScalar(character));
    if (found == dict_.singles().end() || found->second.empty()) {
        literal_ += character;
        flushLiteral();
        return;
    }
    if (found->second.size() > 1) {
        result_.targets.push_back({result_.segments.size(), position});
    }
    result_.segments.emplace_back(Segment::Pinyin{{found->second.front()}, 1});
}

std::vector<std::vector<std::string>> MandarinSegmenter::runWords() const {
    std::vector<std::vector<std::string>> words;
    if (jiebaHmm_ == nullptr) {
        for (const auto& character : run_) {
            words.push_back({character});
        }
        return words;
    }
    // A word takes the run's characters that begin inside it, so a cut inside a character cannot lose it.
    std::size_t wordEnd = 0;
    std::size_t consumed = 0;
    std::size_t next = 0;
    for (const auto& text : jiebaHmm_->segment(joined(run_, 0, run_.size()))) {
        wordEnd += text.size();
        std::vector<std::string> word;
        while (next < run_.size() && consumed < wordEnd) {
            consumed += run_[next].size();
            word.push_back(run_[next++]);
        }
        if (!word.empty()) {
            words.push_back(std::move(word));
        }
    }
    return words;
}

} // namespace quorl
