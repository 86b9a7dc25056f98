#pragma once

#include <map>
#include <string>

namespace quorl {

// The diarization error rate of a hypothesis against a reference, with its parts in seconds of scored speech.
struct DERResult {
    // (miss + falseAlarm + confusion) / totalRefSpeech as a fraction; 0 when there is no reference speech.
    double der = 0;
    double confusion = 0;
    double falseAlarm = 0;
    double miss = 0;
    // Counted per speaker: two reference speakers talking at once count twice.
    double totalRefSpeech = 0;
    // Hypothesis label to the reference label it was mapped to; unmapped hypothesis speakers are absent.
    std::map<std::string, std::string> mapping;
};

} // namespace quorl
