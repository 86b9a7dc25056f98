#pragma once

#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "tests/support/LoopbackHub.hpp"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

// Small StyleTTS2 bundles for tests: every stage's bundle declares the chain's inputs (with open shapes) and
// outputs named so that their ascending order is the one the chain relies on, and is run by the scripted
// kernel named after its stage. A bucket bundle runs on the kernel of its default model.
namespace styletts2fixtures {

inline constexpr const char* hubRepository = "ZirazEvavirivi/StyleTTS-2-coreml";
// Where the hub keeps the default bundles; the bucket bundles lie at the repository's root.
inline constexpr const char* hubModelFolder = "iteration_3/compiled";

// "text_encoder", "bert", "ref_encoder", "fused_diffusion_sampler", "duration_predictor",
// "fused_f0n_har_source", "decoder_pre" or "decoder_upsample": the stage of a bundle file name.
std::string stageOf(const std::string& bundleName);
// The kernel that runs the stage's bundles.
std::string kernelOf(const std::string& stage);

nlohmann::json manifestFor(const std::string& bundleName);

// Each bundle in `folder` under its name.
void writeBundles(const std::filesystem::path& folder, const std::set<std::string>& bundleNames);

// The bundle's two files on the hub below `hubFolder` (empty: the repository root).
void serveBundle(testsupport::LoopbackHub& hub, const std::string& hubFolder, const std::string& bundleName);

// The text of the StyleTTS2Error the operation throws, marked "(other kind) " when its kind is not `kind`, or
// "nothing thrown".
std::string kindAndText(const std::function<void()>& operation, quorl::StyleTTS2Error::Kind kind);

} // namespace styletts2fixtures
