#pragma once

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/MultiArray.hpp"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorl {

// The diarizers' feature provider: fixed, shared features (never copied), with chaining that carries extra
// features along and batches of waveform and mask pairs.
class ZeroCopyDiarizerFeatureProvider : public platform::ml::FeatureProvider {
public:
    explicit ZeroCopyDiarizerFeatureProvider(std::map<std::string, platform::ml::FeatureValue> features);

    std::set<std::string> featureNames() const override;
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override;

    // The additional features plus the source's `outputName` value under `inputName` (replacing an additional
    // feature of that name); none when the source has no such feature.
    static std::optional<ZeroCopyDiarizerFeatureProvider>
    chain(const platform::ml::FeatureProvider& source, const std::string& outputName, const std::string& inputName,
          std::map<std::string, platform::ml::FeatureValue> additionalFeatures);

    // One provider per position of the shorter list, in order, each holding exactly "waveform" and "mask".
    static std::vector<ZeroCopyDiarizerFeatureProvider>
    batchProvider(const std::vector<std::shared_ptr<platform::ml::MultiArray>>& waveforms,
                  const std::vector<std::shared_ptr<platform::ml::MultiArray>>& masks);

    const std::map<std::string, platform::ml::FeatureValue> features;
};

} // namespace quorl
