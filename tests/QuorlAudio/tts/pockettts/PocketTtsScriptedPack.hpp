#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsModelStore.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSynthesisContext.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceData.hpp"
#include "platform/sys/UnifiedLog.hpp"
#include "tests/QuorlAudio/models/HubTest.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorl::PocketTtsSynthesizer {

// The values of the call's input array `name`, in row-major order.
std::vector<double> valuesOf(const testsupport::ScriptedKernel::Call& call, const std::string& name);

// A loaded English pack of the placement whose models behave as honest ones would, bound as the synthesis
// context: the flow-LM step's transformer output is its cache position, the flow decoder's latent that plus
// the noise, the stateful model's latent the noise plus its position, and each frame's samples the latent's
// first value plus the count of frames the codec has decoded, carried in its state. `logit`, `gate` and `edit` see
// the index of each flow-LM step or stateful frame call, from 0.
class PocketTtsScriptedPackTest : public testing::HubTest {
protected:
    explicit PocketTtsScriptedPackTest(PocketTtsModelPlacement placement = PocketTtsModelPlacement::gpu);
    // The scripts below use this fixture, so no generation may outlive it.
    ~PocketTtsScriptedPackTest() override;

    // A copy of the voice of its own, so a test can tell when the generation holding it is over.
    std::shared_ptr<const PocketTtsVoiceData> trackedVoice(const std::string& name = "alba");
    // Whether the generations holding the tracked voices have let them go.
    bool tracedGenerationsEnded();

    std::vector<std::string> lines(const std::string& category, platform::sys::LogType type) const;

    const std::filesystem::path english = folder / "cache" / "Models" / "pocket-tts" / "v2.1" / "english";
    testsupport::RecordingLogSink sink;
    PocketTtsLayerKeys condKeys;
    PocketTtsLayerKeys flowKeys;
    std::function<double(std::size_t)> logit = [](std::size_t) { return -10.0; };
    std::function<void(std::size_t)> gate;
    // Changes the outputs of a flow-LM step or stateful frame call before they are returned.
    std::function<void(std::size_t, testsupport::ScriptedKernel::Outputs&)> edit;
    std::vector<std::weak_ptr<const PocketTtsVoiceData>> voices;
    testsupport::ScriptedKernel conditioner;
    testsupport::ScriptedKernel flowlm;
    testsupport::ScriptedKernel flowDecoder;
    testsupport::ScriptedKernel mimiDecoder;
    testsupport::ScriptedKernel state;
    std::shared_ptr<PocketTtsModelStore> store;
    Context::Binding binding{store};

private:
    testsupport::ScriptedKernel::Outputs flowlmOutputs(const testsupport::ScriptedKernel::Call& call);
    testsupport::ScriptedKernel::Outputs stateOutputs(const testsupport::ScriptedKernel::Call& call);
    testsupport::ScriptedKernel::Outputs edited(std::size_t index, testsupport::ScriptedKernel::Outputs outputs) const;

    std::size_t frameCalls_ = 0;
};

} // namespace quorl::PocketTtsSynthesizer
