#include "QuorlAudio/diarization/offline/EmbeddingStatistics.hpp"

#include "QuorlAudio/foundation/DecimalText.hpp"
#include "platform/core/Concatenated.hpp"

namespace quorl {
namespace {

using platform::core::concatenated;

double milliseconds(EmbeddingStatistics::Duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

std::string total(EmbeddingStatistics::Duration duration) { return fixedDecimalText(milliseconds(duration), 2); }

std::string average(EmbeddingStatistics::Duration duration, std::int64_t count) {
    return fixedDecimalText(count > 0 ? milliseconds(duration) / static_cast<double>(count) : 0.0, 3);
}

} // namespace

std::string EmbeddingStatistics::masksLine(std::size_t records) const {
    if (validMasks == 0) {
        return "Embedding extractor produced no valid speaker masks";
    }
    return concatenated({"Embedding masks generated: ", std::to_string(records),
                         " (meanActiveFrames=", fixedDecimalText(activeFrames / static_cast<double>(validMasks), 2),
                         ", fallbackMasks=", std::to_string(fallbackMasks), ", emptyMasks=", std::to_string(emptyMasks),
                         ")"});
}

std::optional<std::string> EmbeddingStatistics::timingsLine() const {
    if (fbankWindows == 0 && maskEvaluations == 0 && pldaEmbeddings == 0) {
        return std::nullopt;
    }
    auto line = concatenated({"Embedding timings: fbankTotal=",
                              total(fbank),
                              "ms (perWindow=",
                              average(fbank, fbankWindows),
                              "ms), maskPrepTotal=",
                              total(maskPreparation),
                              "ms (perEval=",
                              average(maskPreparation, maskEvaluations),
                              "ms), resampleTotal=",
                              total(resampling),
                              "ms (perValid=",
                              average(resampling, validMasks),
                              "ms), embeddingTotal=",
                              total(embedding),
                              "ms (perValid=",
                              average(embedding, validMasks),
                              "ms), pldaTotal=",
                              total(plda),
                              "ms (perValid=",
                              average(plda, validMasks),
                              "ms), batches(fbank=",
                              std::to_string(fbankBatches),
                              ", plda=",
                              std::to_string(pldaBatches),
                              ")"});
    if (skipped > 0) {
        line += concatenated({", skipped=", std::to_string(skipped), "/", std::to_string(validMasks)});
    }
    return line;
}

} // namespace quorl
