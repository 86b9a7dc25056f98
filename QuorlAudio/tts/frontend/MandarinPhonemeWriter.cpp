#include "QuorlAudio/tts/frontend/MandarinPhonemeWriter.hpp"

#include "QuorlAudio/tts/frontend/MandarinBopomofoMap.hpp"
#include "QuorlAudio/tts/frontend/MandarinErhua.hpp"
#include "QuorlAudio/tts/frontend/MandarinToneSandhi.hpp"

#include <utility>

namespace quorl {
namespace {

namespace Segment = MandarinG2PSegment;

} // namespace

std::string MandarinPhonemeWriter::write(const std::vector<MandarinSegment>& segments) {
    for (const auto& segment : segments) {
        add(segment);
    }
    flushSyllables();
    return std::exchange(output_, {});
}

void MandarinPhonemeWriter::add(const MandarinSegment& segment) {
    if (const auto* pinyin = std::get_if<Segment::Pinyin>(&segment)) {
        for (const auto& reading : pinyin->readings) {
            pending_.push_back(MandarinPinyinNormalizer::normalize(reading));
        }
    } else if (const auto* syllables = std::get_if<Segment::Syllables>(&segment)) {
        pending_.insert(pending_.end(), syllables->syllables.begin(), syllables->syllables.end());
    } else {
        flushSyllables();
        std::visit(
            [this](const auto& text) {
                if constexpr (requires { text.text; }) {
                    output_ += text.text;
                }
            },
            segment);
    }
}

void MandarinPhonemeWriter::flushSyllables() {
    if (pending_.empty()) {
        return;
    }
    MandarinErhua::merge(pending_);
    MandarinToneSandhi::apply(pending_);
    for (const auto& syllable : pending_) {
        if (const auto encoded = MandarinBopomofoMap::encode(syllable.base, syllable.tone, syllable.erhua)) {
            output_ += *encoded;
        } else {
            logger_.warning("Mandarin G2P dropped untranslatable syllable '" + syllable.base +
                            std::to_string(syllable.tone) + "'");
        }
    }
    pending_.clear();
}

} // namespace quorl
