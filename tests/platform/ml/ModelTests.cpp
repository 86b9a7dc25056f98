#include "platform/ml/ArrayBatchProvider.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

namespace {

using namespace platform::ml;
using ::testing::HasSubstr;
using testsupport::makeArray;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;
using testsupport::valuesOf;

// "y" = "x" + 1, for float arrays.
ScriptedKernel::Outputs plusOne(const ScriptedKernel::Call& call) {
    const auto x = call.inputs.at("x").multiArrayValue();
    auto y = std::make_shared<MultiArray>(x->shape(), DataType::float32);
    for (std::size_t index = 0; index < x->count(); ++index) {
        y->at<float>(index) = x->at<float>(index) + 1;
    }
    return {{"y", FeatureValue(y)}};
}

DictionaryFeatureProvider inputX(std::shared_ptr<MultiArray> x) {
    return DictionaryFeatureProvider({{"x", FeatureValue(std::move(x))}});
}

class ModelTest : public ::testing::Test {
protected:
    std::filesystem::path writePlusOneBundle(const std::string& name = "PlusOne.mlmodelc") {
        auto manifest =
            testsupport::modelManifest("plus-one", {multiArrayFeature("x", {1, 3})}, {multiArrayFeature("y", {1, 3})});
        manifest["metadata"] = {{"author", "tests"}, {"creatorDefined", {{"config", "{\"chunk_size\": 8}"}}}};
        return testsupport::writeModelBundle(folder.path(), name, manifest);
    }

    testsupport::TemporaryFolder folder;
    ScriptedKernel kernel{"plus-one", plusOne};
};

TEST_F(ModelTest, LoadsABundleAndPredictsThroughItsKernel) {
    const auto bundle = writePlusOneBundle();
    auto model = Model::load(bundle, ModelConfiguration{.computeUnits = ComputeUnits::cpuAndNeuralEngine,
                                                        .allowLowPrecisionAccumulationOnGPU = true,
                                                        .functionName = std::nullopt});

    const auto& description = model->description();
    EXPECT_EQ(description.inputDescriptionsByName.at("x").multiArrayConstraint->shape,
              (std::vector<std::size_t>{1, 3}));
    EXPECT_EQ(description.outputDescriptionsByName.at("y").multiArrayConstraint->dataType, DataType::float32);
    EXPECT_EQ(description.metadata.at("author"), "tests");
    EXPECT_EQ(description.creatorDefinedMetadata.at("config"), "{\"chunk_size\": 8}");

    auto output = model->predict(inputX(makeArray({1, 3}, {1, 2, 3})));
    EXPECT_EQ(output->featureNames(), (std::set<std::string>{"y"}));
    EXPECT_EQ(valuesOf(*output->featureValue("y")->multiArrayValue()), (std::vector<double>{2, 3, 4}));

    ASSERT_EQ(kernel.loads().size(), 1u);
    EXPECT_EQ(kernel.loads()[0].bundlePath, bundle);
    EXPECT_EQ(kernel.loads()[0].configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    ASSERT_EQ(kernel.calls().size(), 1u);
    EXPECT_EQ(kernel.calls()[0].inputs.at("x").multiArrayValue()->shape(), (std::vector<std::size_t>{1, 3}));
    EXPECT_EQ(kernel.calls()[0].configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_EQ(kernel.calls()[0].state, nullptr);
}

TEST_F(ModelTest, OutputBackingsReceiveTheOutputAndAreReturnedAsTheSameObject) {
    auto model = Model::load(writePlusOneBundle());
    auto backing = std::make_shared<MultiArray>(MultiArray::Shape{1, 3}, DataType::float32);
    auto input = makeArray({1, 3}, {0, 10, 20});

    auto output = model->predict(inputX(input), PredictionOptions{.outputBackings = {{"y", backing}}});

    EXPECT_EQ(output->featureValue("y")->multiArrayValue(), backing);
    EXPECT_EQ(valuesOf(*backing), (std::vector<double>{1, 11, 21}));
    EXPECT_EQ(kernel.calls()[0].options.outputBackings.at("y"), backing);

    // Writing the new value over the array that was read, as recurrent state updates do.
    auto inPlace = model->predict(inputX(input), PredictionOptions{.outputBackings = {{"y", input}}});
    EXPECT_EQ(inPlace->featureValue("y")->multiArrayValue(), input);
    EXPECT_EQ(valuesOf(*input), (std::vector<double>{1, 11, 21}));
}

// Hands each input back unchanged as the other's output, as a model may pass a state tensor through.
class CrossingKernel : public Kernel {
public:
    std::map<std::string, FeatureValue> predict(const FeatureProvider& input, ModelState*,
                                                const PredictionOptions&) override {
        return {{"a_new", *input.featureValue("b")}, {"b_new", *input.featureValue("a")}};
    }
};

TEST_F(ModelTest, OutputsBackedByTheirOwnInputsAreAllReadBeforeAnyIsWritten) {
    registerKernel("crossing", [](const KernelContext&) { return std::make_unique<CrossingKernel>(); });
    const auto manifest =
        testsupport::modelManifest("crossing", {multiArrayFeature("a", {1, 3}), multiArrayFeature("b", {1, 3})},
                                   {multiArrayFeature("a_new", {1, 3}), multiArrayFeature("b_new", {1, 3})});
    auto model = Model::load(testsupport::writeModelBundle(folder.path(), "Crossing.mlmodelc", manifest));
    auto a = makeArray({1, 3}, {1, 2, 3});
    auto b = makeArray({1, 3}, {4, 5, 6});

    const auto output = model->predict(DictionaryFeatureProvider({{"a", FeatureValue(a)}, {"b", FeatureValue(b)}}),
                                       PredictionOptions{.outputBackings = {{"a_new", a}, {"b_new", b}}});

    EXPECT_EQ(output->featureValue("a_new")->multiArrayValue(), a);
    EXPECT_EQ(output->featureValue("b_new")->multiArrayValue(), b);
    EXPECT_EQ(valuesOf(*a), (std::vector<double>{4, 5, 6}));
    EXPECT_EQ(valuesOf(*b), (std::vector<double>{1, 2, 3}));
}

// Writes "y" = "x" + 1 straight into the caller's backing of "y" and hands it back over the reused entry.
class InPlaceKernel : public Kernel {
public:
    std::map<std::string, FeatureValue> predict(const FeatureProvider& input, ModelState* state,
                                                const PredictionOptions& options) override {
        std::map<std::string, FeatureValue> outputs;
        predictInto(input, state, options, outputs);
        return outputs;
    }

    void predictInto(const FeatureProvider& input, ModelState*, const PredictionOptions& options,
                     std::map<std::string, FeatureValue>& outputs) override {
        const auto x = input.featureValue("x")->multiArrayValue();
        const auto& y = options.outputBackings.at("y");
        for (std::size_t index = 0; index < x->count(); ++index) {
            y->at<float>(index) = x->at<float>(index) + 1;
        }
        outputs.insert_or_assign("y", FeatureValue(y));
    }
};

TEST_F(ModelTest, PredictionsIntoAReusedResultReplaceItsOutputs) {
    auto plusOne = Model::load(writePlusOneBundle());
    DictionaryFeatureProvider result({{"stale", FeatureValue(std::int64_t{1})}});
    plusOne->predictInto(inputX(makeArray({1, 3}, {1, 2, 3})), {}, result);
    EXPECT_EQ(result.featureNames(), (std::set<std::string>{"y"}));
    EXPECT_EQ(valuesOf(*result.featureValue("y")->multiArrayValue()), (std::vector<double>{2, 3, 4}));

    auto backing = std::make_shared<MultiArray>(MultiArray::Shape{1, 3}, DataType::float32);
    const PredictionOptions backed{.outputBackings = {{"y", backing}}};
    plusOne->predictInto(inputX(makeArray({1, 3}, {0, 10, 20})), backed, result);
    EXPECT_EQ(result.featureValue("y")->multiArrayValue(), backing);
    EXPECT_EQ(valuesOf(*backing), (std::vector<double>{1, 11, 21}));
    EXPECT_THROW(plusOne->predictInto(DictionaryFeatureProvider({}), backed, result), ModelError);

    registerKernel("in-place", [](const KernelContext&) { return std::make_unique<InPlaceKernel>(); });
    auto inPlace = Model::load(testsupport::writeModelBundle(
        folder.path(), "InPlace.mlmodelc",
        testsupport::modelManifest("in-place", {multiArrayFeature("x", {1, 3})}, {multiArrayFeature("y", {1, 3})})));
    for (const double start : {5.0, 7.0}) {
        inPlace->predictInto(inputX(makeArray({1, 3}, {start, start, start})), backed, result);
        EXPECT_EQ(result.featureValue("y")->multiArrayValue(), backing);
        EXPECT_EQ(valuesOf(*backing), (std::vector<double>{start + 1, start + 1, start + 1}));
    }
}

TEST_F(ModelTest, AMismatchedOrUnknownOutputBackingIsAModelError) {
    auto model = Model::load(writePlusOneBundle());
    const std::pair<std::string, std::shared_ptr<MultiArray>> backings[] = {
        {"y", std::make_shared<MultiArray>(MultiArray::Shape{3}, DataType::float32)},
        {"y", std::make_shared<MultiArray>(MultiArray::Shape{1, 3}, DataType::float16)},
        {"z", std::make_shared<MultiArray>(MultiArray::Shape{1, 3}, DataType::float32)},
    };
    for (const auto& [name, backing] : backings) {
        try {
            model->predict(inputX(makeArray({1, 3}, {1, 2, 3})),
                           PredictionOptions{.outputBackings = {{name, backing}}});
            ADD_FAILURE() << "no error for " << name << " " << rawValue(backing->dataType());
        } catch (const ModelError& error) {
            EXPECT_EQ(error.kind(), ModelError::Kind::invalidOutputBacking);
            EXPECT_THAT(error.what(), HasSubstr("\"" + name + "\""));
        }
    }
}

TEST_F(ModelTest, InputsAreCheckedAgainstTheDescription) {
    auto model = Model::load(writePlusOneBundle());
    const std::pair<DictionaryFeatureProvider, std::string> cases[] = {
        {DictionaryFeatureProvider({}), "Model input \"x\" is missing"},
        {inputX(makeArray({1, 4}, {1, 2, 3, 4})), "Model input \"x\" has shape [1, 4], the model expects [1, 3]"},
        {DictionaryFeatureProvider({{"x", FeatureValue(std::int64_t{3})}}),
         "Model input \"x\" is a int64, the model expects a multiArray"},
    };
    for (const auto& [input, message] : cases) {
        try {
            model->predict(input);
            ADD_FAILURE() << "accepted: " << message;
        } catch (const ModelError& error) {
            EXPECT_EQ(error.kind(), ModelError::Kind::invalidInput);
            EXPECT_EQ(std::string(error.what()), message);
        }
    }
    EXPECT_TRUE(kernel.calls().empty());
}

TEST_F(ModelTest, FlexibleShapesAcceptWhatTheirConstraintAllows) {
    auto feature = multiArrayFeature("x", {1, 3});
    feature["shapeRange"] = {{1, 1}, {1, nullptr}};
    const auto bundle = testsupport::writeModelBundle(
        folder.path(), "Flexible.mlmodelc",
        testsupport::modelManifest("plus-one", {feature}, {multiArrayFeature("y", {1, 3})}));
    auto model = Model::load(bundle);
    auto output = model->predict(inputX(makeArray({1, 5}, {1, 1, 1, 1, 1})));
    EXPECT_EQ(output->featureValue("y")->multiArrayValue()->count(), 5u);
    EXPECT_THROW(model->predict(inputX(makeArray({2, 1}, {1, 1}))), ModelError);
}

TEST_F(ModelTest, SizesThatAreNotWholeNonNegativeNumbersAreRefusedNamingTheirField) {
    const struct {
        const char* field;
        nlohmann::json value;
        std::string fragment;
    } cases[] = {
        {"shape", {1e30}, "\"x\" has an invalid \"shape\": 1e+30 is not a size"},
        {"shape", {1, -3}, "\"x\" has an invalid \"shape\": -3 is not a size"},
        {"shape", {2.5}, "\"x\" has an invalid \"shape\": 2.5 is not a size"},
        {"shape", "3", "\"x\" has an invalid \"shape\": not a list of sizes"},
        {"enumeratedShapes", {{1, 1e30}}, "\"x\" has an invalid \"enumeratedShapes\": 1e+30 is not a size"},
        {"shapeRange", {{1, 1}, {1, 1e300}}, "\"x\" has an invalid \"shapeRange\": 1e+300 is not a size"},
        {"shapeRange", {{-1, nullptr}, {1, 3}}, "\"x\" has an invalid \"shapeRange\": -1 is not a size"},
    };
    for (const auto& c : cases) {
        auto feature = multiArrayFeature("x", {1, 3});
        feature[c.field] = c.value;
        const auto bundle = testsupport::writeModelBundle(
            folder.path(), "Sizes.mlmodelc",
            testsupport::modelManifest("plus-one", {feature}, {multiArrayFeature("y", {1, 3})}));
        try {
            Model::load(bundle);
            ADD_FAILURE() << "loaded " << c.value.dump();
        } catch (const ModelError& error) {
            EXPECT_EQ(error.kind(), ModelError::Kind::invalidBundle) << error.what();
            EXPECT_THAT(error.what(), HasSubstr(c.fragment));
        }
    }
    auto whole = multiArrayFeature("x", {1, 3});
    whole["shape"] = {1.0, 3.0};
    EXPECT_NO_THROW(Model::load(testsupport::writeModelBundle(
        folder.path(), "Whole.mlmodelc",
        testsupport::modelManifest("plus-one", {whole}, {multiArrayFeature("y", {1, 3})}))));
}

TEST_F(ModelTest, BatchPredictionsAnswerInOrderAndRefuseOutputBackings) {
    auto model = Model::load(writePlusOneBundle());
    std::vector<std::shared_ptr<const FeatureProvider>> providers;
    for (double start : {0.0, 10.0}) {
        providers.push_back(std::make_shared<DictionaryFeatureProvider>(
            std::map<std::string, FeatureValue>{{"x", FeatureValue(makeArray({1, 3}, {start, start, start}))}}));
    }
    ArrayBatchProvider batch(providers);
    auto results = model->predictions(batch);
    ASSERT_EQ(results->count(), 2u);
    EXPECT_EQ(valuesOf(*results->features(1)->featureValue("y")->multiArrayValue()), (std::vector<double>{11, 11, 11}));

    auto backing = std::make_shared<MultiArray>(MultiArray::Shape{1, 3}, DataType::float32);
    EXPECT_THROW(model->predictions(batch, PredictionOptions{.outputBackings = {{"y", backing}}}), ModelError);
}

TEST_F(ModelTest, KernelFailuresReachTheCallerUnchanged) {
    const auto bundle = writePlusOneBundle();
    kernel.failLoadsWith(std::make_exception_ptr(std::runtime_error("weights are corrupt")));
    EXPECT_THROW(
        {
            try {
                Model::load(bundle);
            } catch (const std::runtime_error& error) {
                EXPECT_STREQ(error.what(), "weights are corrupt");
                throw;
            }
        },
        std::runtime_error);

    kernel.failLoadsWith(nullptr);
    auto model = Model::load(bundle);
    kernel.failPredictionsWith(std::make_exception_ptr(ModelError::invalidState("scripted")));
    try {
        model->predict(inputX(makeArray({1, 3}, {1, 2, 3})));
        ADD_FAILURE() << "no error";
    } catch (const ModelError& error) {
        EXPECT_EQ(std::string(error.what()), "Invalid model state: scripted");
    }
}

TEST_F(ModelTest, LoadingABrokenBundleNamesWhatIsWrong) {
    const auto bundle = writePlusOneBundle();
    const auto noData = writePlusOneBundle("NoData.mlmodelc");
    std::filesystem::remove(noData / "coremldata.bin");
    const auto noManifest = writePlusOneBundle("NoManifest.mlmodelc");
    std::filesystem::remove(noManifest / "model.json");
    const auto badJson = writePlusOneBundle("BadJson.mlmodelc");
    std::ofstream(badJson / "model.json") << "{\"kernel\": ";
    const auto unknownKernel = testsupport::writeModelBundle(folder.path(), "Unknown.mlmodelc",
                                                             testsupport::modelManifest("no-such-kernel", {}, {}));
    const auto package = writePlusOneBundle("PlusOne.mlpackage");

    struct Case {
        std::filesystem::path path;
        ModelConfiguration configuration;
        ModelError::Kind kind;
        std::string fragment;
    };
    const Case cases[] = {
        {folder.path() / "Missing.mlmodelc", {}, ModelError::Kind::bundleNotFound, "Missing.mlmodelc"},
        {noData, {}, ModelError::Kind::invalidBundle, "missing \"coremldata.bin\""},
        {noManifest, {}, ModelError::Kind::invalidBundle, "missing \"model.json\""},
        {badJson, {}, ModelError::Kind::invalidBundle, "bad \"model.json\""},
        {unknownKernel, {}, ModelError::Kind::unknownKernel, "No model kernel named \"no-such-kernel\""},
        {package, {}, ModelError::Kind::invalidBundle, "must be compiled"},
        {bundle,
         ModelConfiguration{
             .computeUnits = ComputeUnits::all, .allowLowPrecisionAccumulationOnGPU = false, .functionName = "prefill"},
         ModelError::Kind::unknownFunction, "no function named \"prefill\""},
    };
    for (const auto& testCase : cases) {
        try {
            Model::load(testCase.path, testCase.configuration);
            ADD_FAILURE() << "loaded " << testCase.path;
        } catch (const ModelError& error) {
            EXPECT_EQ(error.kind(), testCase.kind) << error.what();
            EXPECT_THAT(error.what(), HasSubstr(testCase.fragment));
        }
    }
}

TEST_F(ModelTest, AKernelLibraryNamedByTheBundleRegistersItsKernels) {
    auto manifest =
        testsupport::modelManifest("library-doubler", {multiArrayFeature("x", {2})}, {multiArrayFeature("y", {2})});
    manifest["library"] = TEST_KERNEL_LIBRARY;
    auto first = Model::load(testsupport::writeModelBundle(folder.path(), "A.mlmodelc", manifest));
    EXPECT_EQ(first->description().outputDescriptionsByName.count("y"), 1u);
    auto second = Model::load(testsupport::writeModelBundle(folder.path(), "B.mlmodelc", manifest));
    auto output = second->predict(inputX(makeArray({2}, {1.5, -2})));
    EXPECT_EQ(valuesOf(*output->featureValue("y")->multiArrayValue()), (std::vector<double>{3, -4}));

    // A relative library path is resolved inside the bundle.
    const auto bundled = folder.path() / "Bundled.mlmodelc";
    std::filesystem::create_directories(bundled / "lib");
    std::filesystem::create_symlink(TEST_KERNEL_LIBRARY, bundled / "lib" / "libkernels.so");
    manifest["library"] = "lib/libkernels.so";
    Model::load(testsupport::writeModelBundle(folder.path(), "Bundled.mlmodelc", manifest));

    manifest["library"] = "libmissing-kernels.so";
    try {
        Model::load(testsupport::writeModelBundle(folder.path(), "C.mlmodelc", manifest));
        ADD_FAILURE() << "loaded without its library";
    } catch (const ModelError& error) {
        EXPECT_EQ(error.kind(), ModelError::Kind::kernelLibraryFailed);
        EXPECT_THAT(error.what(), HasSubstr("libmissing-kernels.so"));
    }
}

} // namespace
