#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/frontend/MandarinG2PSegment.hpp"

#include <string>
#include <vector>

namespace quorl {

// Writes segments as the Kokoro Mandarin phoneme string: syllables gather until a segment of text, and each
// gathering gets erhua and tone sandhi before its syllables are encoded; text segments are copied between
// them. A syllable that cannot be encoded is left out with a warning.
class MandarinPhonemeWriter {
public:
    explicit MandarinPhonemeWriter(const AppLogger& logger) : logger_(logger) {}

    std::string write(const std::vector<MandarinSegment>& segments);

private:
    void add(const MandarinSegment& segment);
    void flushSyllables();

    const AppLogger& logger_;
    std::vector<MandarinPinyinNormalizer::Syllable> pending_;
    std::string output_;
};

} // namespace quorl
