#include "QuorlAudio/diarization/chunked/DERSpeakerSegment.hpp"

#include <functional>

std::size_t std::hash<quorl::DERSpeakerSegment>::operator()(const quorl::DERSpeakerSegment& segment) const noexcept {
    auto combined = std::hash<std::string>{}(segment.speaker);
    for (const double time : {segment.start, segment.end}) {
        combined ^= std::hash<double>{}(time) + 0x9e3779b97f4a7c15ULL + (combined << 6) + (combined >> 2);
    }
    return combined;
}
