#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>

namespace {

using namespace platform::ml;

// "y" = 2 × "x", element by element, for float arrays of any shape.
class Doubler : public Kernel {
public:
    std::map<std::string, FeatureValue> predict(const FeatureProvider& input, ModelState*,
                                                const PredictionOptions&) override {
        const auto x = input.featureValue("x")->multiArrayValue();
        auto y = std::make_shared<MultiArray>(x->shape(), DataType::float32);
        for (std::size_t index = 0; index < x->count(); ++index) {
            y->at<float>(index) = 2 * x->at<float>(index);
        }
        return {{"y", FeatureValue(y)}};
    }
};

} // namespace

extern "C" void platform_ml_register_kernels(KernelRegistry& registry) {
    registry.registerKernel("library-doubler", [](const KernelContext&) { return std::make_unique<Doubler>(); });
}
