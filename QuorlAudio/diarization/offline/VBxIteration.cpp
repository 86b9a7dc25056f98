#include "QuorlAudio/diarization/offline/VBxIteration.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace quorl {
namespace {

namespace dsp = platform::dsp;

constexpr double logTwoPi = 1.8378770664093453;
constexpr double smallestDenominator = 1e-12;
constexpr double largestPrecision = 1e12;
constexpr double smallestPrior = 1e-8;
constexpr std::size_t indexLimit = std::size_t{1} << 31;

void checkRange(std::size_t value, const char* what) {
    if (value >= indexLimit) {
        throw ASRError::processingFailed(std::string(what) + " exceeds supported range");
    }
}

bool usable(double total) { return std::isfinite(total) && total > 0; }

// Scales the row to sum to 1, or makes it uniform when its sum is zero, infinite or not a number.
void normalizeRow(double* row, std::size_t count) {
    const double total = dsp::sum(row, count);
    if (usable(total)) {
        dsp::multiplyScalar(row, 1.0 / total, row, count);
    } else {
        std::fill_n(row, count, 1.0 / static_cast<double>(count));
    }
}

// Exponentiates the row shifted down by its largest value, which it returns.
double softmax(double* row, std::size_t count) {
    const double maximum = dsp::maxWithIndex(row, count).value;
    for (std::size_t index = 0; index < count; ++index) {
        row[index] = std::exp(row[index] - maximum);
    }
    return maximum;
}

void smooth(std::vector<double>& gamma, std::size_t speakers, double sharpness) {
    for (std::size_t start = 0; start < gamma.size(); start += speakers) {
        double* row = gamma.data() + start;
        dsp::multiplyScalar(row, sharpness, row, speakers);
        softmax(row, speakers);
        normalizeRow(row, speakers);
    }
}

// The iteration's matrices, allocated once.
class VBxState {
public:
    explicit VBxState(const VBxProblem& problem)
        : p_(problem), T_(problem.frameCount), D_(problem.dimension), S_(problem.speakerCount),
          gamma_(problem.initialGamma), pi_(S_, 1.0 / static_cast<double>(S_)), phi_(D_), rho_(T_ * D_), G_(T_),
          ones_(T_, 1.0), N_(S_), invL_(S_ * D_), alpha_(S_ * D_), logp_(T_ * S_) {
        prepare();
    }

    VBxRun run() {
        std::vector<double> elbos;
        elbos.reserve(static_cast<std::size_t>(std::max<std::int64_t>(p_.maxIterations, 1)));
        for (std::int64_t iteration = 0; iteration < p_.maxIterations; ++iteration) {
            elbos.push_back(iterate());
            if (iteration > 0 && std::abs(elbos.back() - elbos[elbos.size() - 2]) < p_.epsilon) {
                break;
            }
        }
        return {std::move(gamma_), std::move(pi_), std::move(elbos)};
    }

private:
    void prepare() {
        if (p_.initSmoothing >= 0) {
            smooth(gamma_, S_, p_.initSmoothing);
        }
        for (std::size_t start = 0; start < gamma_.size(); start += S_) {
            normalizeRow(gamma_.data() + start, S_);
        }
        for (std::size_t d = 0; d < D_; ++d) {
            phi_[d] = p_.phi[d] > smallestDenominator || std::isnan(p_.phi[d]) ? p_.phi[d] : smallestDenominator;
        }
        for (std::size_t t = 0; t < T_; ++t) {
            const double* x = p_.features.data() + t * D_;
            for (std::size_t d = 0; d < D_; ++d) {
                rho_[t * D_ + d] = x[d] * std::sqrt(phi_[d]);
            }
            G_[t] = -0.5 * (static_cast<double>(D_) * logTwoPi + dsp::dot(x, x, D_));
        }
    }

    double iterate() {
        const double ratio = p_.Fa / p_.Fb;
        updateSpeakerModels(ratio);
        computeLogLikelihoods();
        const double evidence = updateResponsibilities();
        updatePriors();
        return evidence + elboRegulariser();
    }

    void updateSpeakerModels(double ratio) {
        dsp::transposedMatrixVectorProduct(gamma_.data(), T_, S_, ones_.data(), N_.data());
        for (std::size_t s = 0; s < S_; ++s) {
            for (std::size_t d = 0; d < D_; ++d) {
                const double denominator = (ratio * N_[s]) * phi_[d] + 1.0;
                invL_[s * D_ + d] = denominator <= smallestDenominator ? largestPrecision : 1.0 / denominator;
            }
        }
        dsp::transposedMatrixProduct(gamma_.data(), rho_.data(), alpha_.data(), S_, D_, T_);
        dsp::multiply(alpha_.data(), invL_.data(), alpha_.data(), alpha_.size());
        dsp::multiplyScalar(alpha_.data(), ratio, alpha_.data(), alpha_.size());
    }

    void computeLogLikelihoods() {
        std::vector<double> halfQuad(S_);
        for (std::size_t s = 0; s < S_; ++s) {
            double quad = 0;
            for (std::size_t d = 0; d < D_; ++d) {
                const double a = alpha_[s * D_ + d];
                quad += (a * a + invL_[s * D_ + d]) * phi_[d];
            }
            halfQuad[s] = -0.5 * quad;
        }
        dsp::matrixTransposedProduct(rho_.data(), alpha_.data(), logp_.data(), T_, S_, D_);
        for (std::size_t t = 0; t < T_; ++t) {
            for (std::size_t s = 0; s < S_; ++s) {
                double& value = logp_[t * S_ + s];
                value = ((value + halfQuad[s]) + G_[t]) * p_.Fa;
            }
        }
    }

    // The new responsibilities; returns the summed log-evidence of the frames.
    double updateResponsibilities() {
        std::vector<double> logPrior(S_);
        for (std::size_t s = 0; s < S_; ++s) {
            logPrior[s] = std::log(pi_[s] >= smallestPrior ? pi_[s] : smallestPrior);
        }
        double evidence = 0;
        for (std::size_t t = 0; t < T_; ++t) {
            double* row = gamma_.data() + t * S_;
            for (std::size_t s = 0; s < S_; ++s) {
                row[s] = logp_[t * S_ + s] + logPrior[s];
            }
            const double maximum = softmax(row, S_);
            const double total = dsp::sum(row, S_);
            if (usable(total)) {
                dsp::multiplyScalar(row, 1.0 / total, row, S_);
                evidence += maximum + std::log(total);
            } else {
                std::fill_n(row, S_, 1.0 / static_cast<double>(S_));
                evidence += maximum;
            }
        }
        return evidence;
    }

    void updatePriors() {
        dsp::transposedMatrixVectorProduct(gamma_.data(), T_, S_, ones_.data(), pi_.data());
        normalizeRow(pi_.data(), S_);
    }

    double elboRegulariser() const {
        double logSum = 0;
        for (const double value : invL_) {
            logSum += std::log(value);
        }
        const double invLSum = dsp::sum(invL_.data(), invL_.size());
        const double alphaSquares = dsp::dot(alpha_.data(), alpha_.data(), alpha_.size());
        return p_.Fb * 0.5 * (((logSum - invLSum) - alphaSquares) + static_cast<double>(S_ * D_));
    }

    const VBxProblem& p_;
    std::size_t T_;
    std::size_t D_;
    std::size_t S_;
    std::vector<double> gamma_;
    std::vector<double> pi_;
    std::vector<double> phi_;
    std::vector<double> rho_;
    std::vector<double> G_;
    std::vector<double> ones_;
    std::vector<double> N_;
    std::vector<double> invL_;
    std::vector<double> alpha_;
    std::vector<double> logp_;
};

} // namespace

VBxRun runVBx(const VBxProblem& problem) {
    checkRange(problem.frameCount, "VBx frame count");
    checkRange(problem.speakerCount, "VBx speaker count");
    checkRange(problem.dimension, "VBx feature dimension");
    return VBxState(problem).run();
}

} // namespace quorl
