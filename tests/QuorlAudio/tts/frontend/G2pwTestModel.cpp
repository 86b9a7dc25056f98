#include "tests/QuorlAudio/tts/frontend/G2pwTestModel.hpp"

#include "platform/ml/DataType.hpp"
#include "platform/ml/Model.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <cstddef>

namespace quorl {
namespace {

using platform::ml::DataType;
using testsupport::flexibleFeature;

constexpr const char* kernelName = "g2pw-test";

nlohmann::json manifest() {
    return testsupport::modelManifest(kernelName,
                                      {flexibleFeature("input_ids", {1, 0}, DataType::int32),
                                       flexibleFeature("attention_mask", {1, 0}, DataType::int32),
                                       flexibleFeature("token_type_ids", {1, 0}, DataType::int32),
                                       testsupport::multiArrayFeature("target_position", {1}, DataType::int32)},
                                      {flexibleFeature("logits", {0}, DataType::float32)});
}

MandarinBertTokenizer tokenizerFor(const MandarinPolyphoneCatalog& catalog) {
    MandarinBertTokenizer::Vocab vocab{{"[PAD]", 0}, {"[UNK]", 1}, {"[CLS]", 2}, {"[SEP]", 3}};
    for (const auto& character : catalog.chars()) {
        vocab.emplace(character, static_cast<std::int32_t>(vocab.size()));
    }
    return MandarinBertTokenizer(vocab);
}

std::vector<std::int32_t> integersOf(const testsupport::ScriptedKernel::Call& call, const std::string& name) {
    std::vector<std::int32_t> values;
    for (const double value : testsupport::valuesOf(*call.inputs.at(name).multiArrayValue())) {
        values.push_back(static_cast<std::int32_t>(value));
    }
    return values;
}

} // namespace

G2pwTestModel::G2pwTestModel(const std::string& catalogText)
    : kernel(kernelName, [this](const testsupport::ScriptedKernel::Call& call) { return answer(call); }),
      catalog_(catalogText) {
    testsupport::writeModelBundle(folder.path(), "g2pw.mlmodelc", manifest());
}

std::shared_ptr<MandarinG2pwModel> G2pwTestModel::model(int maxLength) const {
    return std::make_shared<MandarinG2pwModel>(platform::ml::Model::load(folder.path() / "g2pw.mlmodelc"),
                                               tokenizerFor(catalog_), catalog_, maxLength);
}

testsupport::ScriptedKernel::Outputs G2pwTestModel::answer(const testsupport::ScriptedKernel::Call& call) const {
    if (!answersLogits) {
        return {};
    }
    const auto position = integersOf(call, "target_position").front();
    const auto values =
        scores ? scores(position, integersOf(call, "input_ids")) : std::vector<float>(catalog_.labels().size(), 0.0F);
    const std::vector<double> asDoubles(values.begin(), values.end());
    return {{"logits", testsupport::makeArray({asDoubles.size()}, asDoubles)}};
}

} // namespace quorl
