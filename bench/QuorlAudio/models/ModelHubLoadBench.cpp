#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNames.hpp"

#include "platform/ml/KernelRegistry.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using platform::ml::FeatureValue;

constexpr const char* kernelName = "bench-weights";
constexpr quorl::Repo repository = quorl::Repo::parakeetV3;

// Stands for a real model's preparation: its load reads the bundle's whole "weights.bin" into memory.
class WeightsKernel : public platform::ml::Kernel {
public:
    explicit WeightsKernel(const fs::path& bundle) {
        const fs::path path = bundle / "weights.bin";
        weights_.resize(static_cast<std::size_t>(fs::file_size(path)));
        std::ifstream(path, std::ios::binary).read(weights_.data(), static_cast<std::streamsize>(weights_.size()));
    }

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {};
    }

private:
    std::vector<char> weights_;
};

nlohmann::json feature(const std::string& name, std::vector<int> shape) {
    return {{"name", name}, {"type", "multiArray"}, {"dataType", "float32"}, {"shape", std::move(shape)}};
}

void writeFile(const fs::path& path, const std::string& contents) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

// A models root in the temporary folder holding the repository's whole required set, every bundle with
// `weightsBytes` of weights; removed with the object.
class PopulatedCache {
public:
    explicit PopulatedCache(std::size_t weightsBytes) {
        std::string pattern = (fs::temp_directory_path() / "quorl-models-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "Cannot make the benchmark's models root");
        }
        root_ = pattern;
        const nlohmann::json manifest = {
            {"kernel", kernelName},
            {"inputs", {feature("audio_signal", {1, 240000}), feature("audio_length", {1})}},
            {"outputs", {feature("encoder", {1, 1024, 188}), feature("encoder_length", {1})}},
            {"metadata", {{"author", "bench"}, {"version", "1"}}},
        };
        const fs::path folder = root_ / quorl::folderName(repository);
        for (const auto& name : quorl::ModelNames::getRequiredModelNames(repository)) {
            if (!name.ends_with(".mlmodelc")) {
                writeFile(folder / name, "[]");
                continue;
            }
            bundles_.push_back(name);
            writeFile(folder / name / "coremldata.bin", "compiled");
            writeFile(folder / name / "model.json", manifest.dump());
            writeFile(folder / name / "weights.bin", std::string(weightsBytes, 'w'));
        }
    }
    ~PopulatedCache() { fs::remove_all(root_); }
    PopulatedCache(const PopulatedCache&) = delete;
    PopulatedCache& operator=(const PopulatedCache&) = delete;

    quorl::ModelHub::LoadedModels load() const {
        return hub_.loadModels({.repo = repository,
                                .modelNames = bundles_,
                                .directory = root_,
                                .computeUnits = platform::ml::ComputeUnits::cpuAndNeuralEngine});
    }

    std::size_t bundleCount() const { return bundles_.size(); }

private:
    fs::path root_;
    std::vector<std::string> bundles_;
    // Offline, so that a load never reaches for the network.
    quorl::ModelHub hub_{{.offline = true}};
};

void prepare() {
    platform::ml::registerKernel(kernelName, [](const platform::ml::KernelContext& context) {
        return std::make_unique<WeightsKernel>(context.bundlePath);
    });
}

// Every load reads and prepares each bundle: the models of the previous round are gone.
void BM_LoadModelSetFirstTime(benchmark::State& state) {
    prepare();
    const PopulatedCache cache(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto models = cache.load();
        benchmark::DoNotOptimize(models);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cache.bundleCount()));
}
BENCHMARK(BM_LoadModelSetFirstTime)->Arg(0)->Arg(4 << 20)->Unit(benchmark::kMicrosecond);

// The same set loaded again while the first load's models are still in use.
void BM_LoadModelSetAgain(benchmark::State& state) {
    prepare();
    const PopulatedCache cache(static_cast<std::size_t>(state.range(0)));
    const auto inUse = cache.load();
    for (auto _ : state) {
        auto models = cache.load();
        benchmark::DoNotOptimize(models);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cache.bundleCount()));
}
BENCHMARK(BM_LoadModelSetAgain)->Arg(0)->Arg(4 << 20)->Unit(benchmark::kMicrosecond);

} // namespace
