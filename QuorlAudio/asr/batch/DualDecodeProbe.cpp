#include "QuorlAudio/asr/batch/DualDecodeProbe.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"

#include "platform/core/Concatenated.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace quorl {

namespace {

using platform::core::concatenated;

constexpr float noConfidence = -std::numeric_limits<float>::infinity();

float meanConfidence(int count, float confidenceSum) {
    return count >= 1 ? confidenceSum / static_cast<float>(count) : noConfidence;
}

bool agrees(const DecodedToken& a, const std::vector<DecodedToken>& cTokens, int toleranceFrames) {
    return std::ranges::any_of(cTokens, [&](const DecodedToken& c) {
        return c.token == a.token && std::abs(c.timestamp - a.timestamp) <= toleranceFrames;
    });
}

std::string readingText(const char* name, int count, float confidence) {
    return concatenated({name, "=(n=", std::to_string(count), ", conf=", floatDecimalText(confidence), ")"});
}

} // namespace

void DualDecodeProbe::Reading::add(std::vector<DecodedToken> tokens) {
    count += static_cast<int>(tokens.size());
    for (const DecodedToken& token : tokens) {
        confidenceSum += token.confidence;
    }
    chunks.push_back(std::move(tokens));
}

int DualDecodeProbe::agreementTolerance(double overlapSeconds) {
    return static_cast<int>(overlapSeconds / ASRConstants::secondsPerEncoderFrame) / 2;
}

float DualDecodeProbe::agreement(const Reading& a, const Reading& c, int toleranceFrames) {
    if (a.count < 1) {
        return 1.0f;
    }
    int matches = 0;
    for (std::size_t chunk = 0; chunk < a.chunks.size(); ++chunk) {
        const std::vector<DecodedToken> none;
        const auto& cTokens = chunk < c.chunks.size() ? c.chunks[chunk] : none;
        matches += static_cast<int>(std::ranges::count_if(
            a.chunks[chunk], [&](const DecodedToken& token) { return agrees(token, cTokens, toleranceFrames); }));
    }
    return static_cast<float>(matches) / static_cast<float>(a.count);
}

DualDecodeProbe::Measures DualDecodeProbe::measures(const Reading& a, const Reading& b, const Reading& c,
                                                    int toleranceFrames) {
    return measures(a.count, a.confidenceSum, b.count, b.confidenceSum, c.count, c.confidenceSum,
                    agreement(a, c, toleranceFrames));
}

DualDecodeProbe::Measures DualDecodeProbe::measures(int countA, float confidenceSumA, int countB, float confidenceSumB,
                                                    int countC, float confidenceSumC, float agreementC) {
    const bool aFound = countA >= 1;
    const auto ratio = [&](int count) {
        return aFound ? static_cast<float>(count) / static_cast<float>(countA) : 1.0f;
    };
    return Measures{
        .countA = countA,
        .countB = countB,
        .countC = countC,
        .confidenceA = meanConfidence(countA, confidenceSumA),
        .confidenceB = meanConfidence(countB, confidenceSumB),
        .confidenceC = meanConfidence(countC, confidenceSumC),
        .ratioB = ratio(countB),
        .ratioC = ratio(countC),
        .agreementC = aFound ? agreementC : 1.0f,
    };
}

DualDecodeProbe::Choice DualDecodeProbe::decide(const Measures& m) {
    if (m.countA < 1) {
        return Choice::a;
    }
    const float lowestC = m.confidenceA - 0.03f;
    const float highestC = m.confidenceA + 0.03f;
    if (m.ratioC >= 1.15f && m.agreementC >= 0.75f && m.confidenceC <= highestC && m.confidenceC >= lowestC) {
        return Choice::c;
    }
    const float lowestB = m.confidenceA + 0.001f;
    if (m.ratioB >= 0.6f && m.ratioB <= 0.9f && m.confidenceB > lowestB) {
        return Choice::b;
    }
    return Choice::a;
}

std::string DualDecodeProbe::logLine(const Measures& m, Choice choice) {
    return concatenated({"[dual-decode probe] ", readingText("A", m.countA, m.confidenceA), " ",
                         readingText("B", m.countB, m.confidenceB), " ", readingText("C", m.countC, m.confidenceC),
                         " B/A=", floatDecimalText(m.ratioB), " C/A=", floatDecimalText(m.ratioC),
                         " C-agree=", floatDecimalText(m.agreementC), " -> ", description(choice)});
}

const char* description(DualDecodeProbe::Choice choice) {
    switch (choice) {
    case DualDecodeProbe::Choice::a: return "A";
    case DualDecodeProbe::Choice::b: return "B";
    case DualDecodeProbe::Choice::c: return "C";
    }
    return "A";
}

} // namespace quorl
