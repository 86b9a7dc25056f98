#pragma once

#include "QuorlAudio/tts/frontend/MandarinCustomLexicon.hpp"
#include "QuorlAudio/tts/frontend/MandarinG2PSegment.hpp"
#include "QuorlAudio/tts/frontend/MandarinJiebaHmm.hpp"
#include "QuorlAudio/tts/frontend/MandarinPinyinDict.hpp"

#include <cstddef>
#include <string>
#include <vector>

namespace quorl {

// Cuts the characters of normalised Mandarin text into segments, greedily from the left: punctuation and
// ASCII first, then the custom lexicon's longest word, then the longest dictionary phrase; what none of these
// covers gathers into a run that the segmentation model cuts into words, read as phrases or character by
// character. One segmenter serves one text.
class MandarinSegmenter {
public:
    // The segmentation model may be absent; then every character of a run is a word of its own.
    MandarinSegmenter(const MandarinPinyinDict& dict, const MandarinJiebaHmm* jiebaHmm,
                      const MandarinCustomLexicon& customLexicon);

    MandarinSegmentResult segment(const std::vector<std::string>& chars);

private:
    bool takeLexiconWord(const std::vector<std::string>& chars, std::size_t& i);
    bool takePhrase(const std::vector<std::string>& chars, std::size_t& i);
    void emitLexiconTokens(const std::vector<MandarinCustomLexicon::Token>& tokens);
    void emitCharacter(const std::string& character, std::size_t position);
    void flushLiteral();
    void flushRun();
    // The run's characters gathered into the segmentation model's words, each word's characters in order.
    std::vector<std::vector<std::string>> runWords() const;

    const MandarinPinyinDict& dict_;
    const MandarinJiebaHmm* jiebaHmm_;
    const MandarinCustomLexicon& customLexicon_;
    std::size_t maxPhraseLength_;

    MandarinSegmentResult result_;
    std::string literal_;
    std::vector<std::string> run_;
    std::size_t runStart_ = 0;
};

} // namespace quorl
