#pragma once

#include "QuorlAudio/tts/frontend/MandarinCustomLexicon.hpp"
#include "QuorlAudio/tts/frontend/MandarinG2PSegment.hpp"
#include "QuorlAudio/tts/frontend/MandarinG2pwModel.hpp"
#include "QuorlAudio/tts/frontend/MandarinJiebaHmm.hpp"
#include "QuorlAudio/tts/frontend/MandarinPinyinDict.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorl {

// Mandarin text to the phoneme string of the Kokoro Mandarin voice: numbers in hanzi, punctuation and white
// space normalised, the text cut by the custom lexicon, the phrase dictionary and the segmentation model,
// polyphones decided by the polyphone model, then erhua and tone sandhi over each stretch of syllables and
// every syllable in bopomofo with its tone digit. Punctuation and text it cannot read are copied through. A
// value: the dictionary and models are shared and never change, so copies may be used from any thread.
class MandarinG2P {
public:
    using Segment = MandarinSegment;
    using PolyphoneTarget = MandarinPolyphoneTarget;
    using SegmentResult = MandarinSegmentResult;

    // The segmentation and polyphone models may be null: runs are then read character by character and
    // polyphones take their first dictionary reading.
    MandarinG2P(std::shared_ptr<const MandarinPinyinDict> dict, std::shared_ptr<const MandarinJiebaHmm> jiebaHmm,
                std::shared_ptr<const MandarinG2pwModel> g2pw);
    MandarinG2P(std::shared_ptr<const MandarinPinyinDict> dict, MandarinCustomLexicon customLexicon);

    const MandarinCustomLexicon& customLexicon() const { return customLexicon_; }
    void setCustomLexicon(MandarinCustomLexicon customLexicon) { customLexicon_ = std::move(customLexicon); }

    // Throws KokoroAneError inputProcessingFailed when the text is empty once normalised or yields no phonemes.
    // A failing polyphone model is logged and its decisions left out.
    std::string phonemize(std::string_view text) const;

    // Whether the text holds a Han ideograph (the CJK blocks, their extensions and compatibility forms, 〇).
    static bool looksLikeHanzi(std::string_view text);

    // Full-width punctuation to its ASCII or typographic form, each run of white space to one space, the ends
    // trimmed.
    static std::string normalizeText(std::string_view text);

    SegmentResult segment(const std::vector<std::string>& chars) const;

private:
    void applyPolyphoneModel(const std::vector<std::string>& chars, SegmentResult& result) const;

    std::shared_ptr<const MandarinPinyinDict> dict_;
    std::shared_ptr<const MandarinJiebaHmm> jiebaHmm_;
    std::shared_ptr<const MandarinG2pwModel> g2pw_;
    MandarinCustomLexicon customLexicon_;
};

} // namespace quorl
