#pragma once

#include "QuorlAudio/diarization/offline/OfflineDiarizerConfig.hpp"
#include "QuorlAudio/diarization/offline/SpeakerCountConstraints.hpp"
#include "QuorlAudio/diarization/offline/VBxOutput.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace quorl {

class PLDATransform;

// Variational Bayes refinement of the agglomerative warm start on the PLDA features (rho): soft speaker
// responsibilities, speaker posteriors with the diagonal between-speaker covariance psi, and speaker priors,
// iterated until the evidence lower bound stops changing. Each row is one training embedding, independent of
// the others.
class VBxClustering {
public:
    // Reads vbx.maxIterations, vbx.convergenceTolerance, clustering.warmStartFa and clustering.warmStartFb,
    // and keeps a copy of the transform's psi.
    VBxClustering(OfflineDiarizerConfig config, const PLDATransform& pldaTransform);

    // Never fails. No row, or an empty first row (logged), give the empty output. A psi of another length
    // than the rows falls back to unit variances with a warning. Rows shorter than the first, and labels beyond
    // the last row, are left out with a warning; such a row keeps its warm-start responsibilities.
    VBxOutput refine(const std::vector<std::vector<double>>& rhoFeatures,
                     const std::vector<std::int64_t>& initialClusters) const;

    // refine, then the speaker-count bounds: when the number of speakers that kept weight (prior above 1e-7)
    // lies outside them, the training embeddings are re-clustered by K-means into the nearer bound, keeping
    // the VBx responsibilities, priors and ELBOs.
    VBxOutput refineWithConstraints(const std::vector<std::vector<double>>& rhoFeatures,
                                    const std::vector<std::vector<double>>& trainingEmbeddings,
                                    const std::vector<std::int64_t>& initialClusters,
                                    const std::optional<SpeakerCountConstraints>& constraints) const;

private:
    OfflineDiarizerConfig config_;
    std::vector<double> psi_;
};

} // namespace quorl
