#pragma once

#include "platform/ml/Model.hpp"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quorl {

class ANEMemoryOptimizer;

// Projects 256-value speaker embeddings to 128-value PLDA features (rho) with the PldaRho model, in batches
// of up to 32, and carries the PLDA psi vector for VBx clustering.
//
// Model interface: input "embeddings", Float32 [n, 256], one embedding per row; output "rho", whose first
// n × 128 values in row-major order (read through its strides and element type) are the n rho vectors.
class PLDATransform {
public:
    static constexpr std::int64_t embeddingDimension = 256;
    static constexpr std::int64_t rhoDimension = 128;
    static constexpr std::int64_t maxBatchSize = 32;

    PLDATransform(std::shared_ptr<platform::ml::Model> pldaRhoModel, std::vector<double> psi);

    // One rho vector per embedding, in order. An empty list runs no prediction; any other list first runs a
    // warm-up prediction on a zero embedding, whose failure is only logged. Throws
    // OfflineDiarizationError::invalidConfiguration for the first embedding of another length (before any
    // prediction), processingFailed when the model gives no "rho" or too few values, the cancellation error
    // (after the warm-up and between batches), and allocation and prediction errors unchanged.
    std::vector<std::vector<double>> transform(const std::vector<std::vector<float>>& embeddings) const;
    // The rho vector of one embedding; invalidConfiguration for another length.
    std::vector<double> transform(std::span<const float> embedding) const;

    // Cosine similarity of two rho vectors; 0 when either is not rhoDimension long or either is zero.
    static double score(std::span<const double> a, std::span<const double> b);

    const std::shared_ptr<platform::ml::Model>& pldaRhoModel() const { return pldaRhoModel_; }
    // Stored as loaded; VBx reads one value per rho dimension.
    const std::vector<double>& psi() const { return psi_; }

private:
    std::vector<std::vector<double>> transformBatch(std::span<const std::vector<float>> batch) const;
    void performWarmup() const;

    std::shared_ptr<platform::ml::Model> pldaRhoModel_;
    std::vector<double> psi_;
    std::shared_ptr<ANEMemoryOptimizer> memoryOptimizer_;
};

} // namespace quorl
