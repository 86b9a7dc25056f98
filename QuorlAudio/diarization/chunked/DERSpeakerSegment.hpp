#pragma once

#include <cstddef>
#include <string>

namespace quorl {

// One labelled span of speech, in seconds, as scored by the diarization error rate.
struct DERSpeakerSegment {
    std::string speaker;
    double start = 0;
    double end = 0;

    bool operator==(const DERSpeakerSegment&) const = default;
};

} // namespace quorl

template <> struct std::hash<quorl::DERSpeakerSegment> {
    std::size_t operator()(const quorl::DERSpeakerSegment& segment) const noexcept;
};
