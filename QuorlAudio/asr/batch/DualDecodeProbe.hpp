#pragma once

#include "QuorlAudio/asr/batch/DecodedToken.hpp"

#include <string>
#include <vector>

namespace quorl {

// How long audio's dual decoding chooses its chunk grid: the probe chunks (those after chunk 0) are read as grid
// A cuts them (starts on quiet frame boundaries), as grid B cuts them (the same starts, with warm-up prefixes) and
// as grid C cuts them (the regular grid), and their token counts, mean confidences and the agreement of C with A
// decide. All measures are in single precision, as the thresholds are.
class DualDecodeProbe {
public:
    enum class Choice { a, b, c };

    // One grid's reading of the probe chunks.
    struct Reading {
        // The probe chunks' token lists, in probe order.
        std::vector<std::vector<DecodedToken>> chunks;
        int count = 0;
        // Summed in decoding order.
        float confidenceSum = 0;

        void add(std::vector<DecodedToken> tokens);
    };

    struct Measures {
        int countA = 0;
        int countB = 0;
        int countC = 0;
        // Mean token confidence; minus infinity without tokens.
        float confidenceA = 0;
        float confidenceB = 0;
        float confidenceC = 0;
        // B's and C's token counts over A's; 1 when A found no token.
        float ratioB = 0;
        float ratioC = 0;
        // The share of A's tokens that C found too; 1 when A found no token.
        float agreementC = 0;
    };

    // Frames by which an A token and a C token of the same id may lie apart and still agree: half the overlap
    // in whole frames, 12 for 2 s.
    static int agreementTolerance(double overlapSeconds);
    // The share of A's tokens for which C's list of the same probe chunk holds a token of the same id no more
    // than `toleranceFrames` away; 1 when A holds no token.
    static float agreement(const Reading& a, const Reading& c, int toleranceFrames);
    static Measures measures(const Reading& a, const Reading& b, const Reading& c, int toleranceFrames);
    // The measures from the readings' counts and confidence sums and C's agreement with A.
    static Measures measures(int countA, float confidenceSumA, int countB, float confidenceSumB, int countC,
                             float confidenceSumC, float agreementC);

    // C when it finds clearly more tokens (at least 15 %) that mostly agree with A's (at least 75 %) at about
    // the same confidence (within 0.03); else B when it finds 60 % to 90 % of A's tokens at a higher confidence
    // (by more than 0.001); else A, always A when A found no token.
    static Choice decide(const Measures& measures);

    // "[dual-decode probe] A=(n=…, conf=…) B=(…) C=(…) B/A=… C/A=… C-agree=… -> <letter>".
    static std::string logLine(const Measures& measures, Choice choice);
};

// "A", "B" or "C".
const char* description(DualDecodeProbe::Choice choice);

} // namespace quorl
