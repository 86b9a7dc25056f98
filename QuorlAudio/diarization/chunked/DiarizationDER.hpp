#pragma once

#include "QuorlAudio/diarization/chunked/DERResult.hpp"
#include "QuorlAudio/diarization/chunked/DERSpeakerSegment.hpp"

#include <vector>

namespace quorl {

// Scores a diarization hypothesis against a reference on frames of `frameStep` seconds: hypothesis speakers are
// mapped one-to-one onto the reference speakers they share most frames with, and `collar` seconds in total
// around every reference boundary are left unscored.
namespace DiarizationDER {

// Throws std::invalid_argument unless `frameStep` is positive and finite, `collar` is finite and not negative, and
// every segment's times are finite.
DERResult compute(const std::vector<DERSpeakerSegment>& ref, const std::vector<DERSpeakerSegment>& hyp,
                  double frameStep, double collar);

} // namespace DiarizationDER

} // namespace quorl
