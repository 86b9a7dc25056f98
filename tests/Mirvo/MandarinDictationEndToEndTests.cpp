#include "tests/Mirvo/DictationModels.hpp"
#include "tests/Mirvo/HostProcess.hpp"
#include "tests/Mirvo/InterfaceLayer.hpp"

#include "tests/support/LoopbackHub.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <filesystem>
#include <string>
#include <vector>

namespace mirvotest {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* paraformerChannel = "mirvo/paraformer";
constexpr const char* paraformerEvents = "mirvo/paraformer_events";

// 70 s with two words in each 30-second chunk and two in the last 10 s, none near a chunk's edge.
const DictationRecording recording{.lengthSeconds = 70.0,
                                   .words = {{.code = 1, .startSeconds = 0.0, .lengthSeconds = 0.5},
                                             {.code = 2, .startSeconds = 5.0, .lengthSeconds = 0.5},
                                             {.code = 3, .startSeconds = 31.0, .lengthSeconds = 0.5},
                                             {.code = 4, .startSeconds = 40.0, .lengthSeconds = 0.5},
                                             {.code = 5, .startSeconds = 62.0, .lengthSeconds = 0.5},
                                             {.code = 6, .startSeconds = 65.0, .lengthSeconds = 0.5}}};

// The Taiwan text of one chunk: its words with nothing between them, as Mandarin is written.
std::string chunkText(int firstCode) { return taiwanWord(firstCode) + taiwanWord(firstCode + 1); }

// Reads events until the second partial; the partial texts in order.
std::vector<std::string> partialsWhileSpeaking(InterfaceLayer& ui) {
    std::vector<std::string> partials;
    while (partials.size() < 2) {
        const json line = ui.nextEvent();
        if (line.is_null()) {
            ADD_FAILURE() << "fewer than two partials";
            return partials;
        }
        const json& event = line["event"];
        const std::string type = event.value("type", "");
        if (type == "partial") {
            partials.push_back(event["text"].get<std::string>());
        } else if (type != "level") {
            ADD_FAILURE() << "unexpected event " << line;
        }
    }
    return partials;
}

TEST(MandarinDictationEndToEndTests, MandarinSpeechComesBackInTaiwansFormsChunkByChunk) {
    testsupport::TemporaryFolder folder;
    const fs::path runtime = folder.path() / "runtime";
    const fs::path microphone = folder.path() / "microphone.wav";
    fs::create_directories(runtime);
    recording.writeWav(microphone);
    testsupport::LoopbackHub hub;
    serveMandarinDictationModels(hub);

    testsupport::ScopedEnvironment environment;
    useDictationHub(environment, hub, folder.path() / "data");
    environment.set("XDG_RUNTIME_DIR", runtime.string());
    environment.set("MIRVO_AUDIO_INPUT_FILE", microphone.string()).set("MIRVO_AUDIO_INPUT_PACE", "fast");
    HostProcess host(MIRVO_EXECUTABLE);
    ASSERT_TRUE(host.waitForOutput("Mirvo: interface bridge listening on ")) << host.output();
    ASSERT_TRUE(host.waitForOutput("Mirvo: DictationCuesPlugin registered")) << host.output();
    InterfaceLayer ui(runtime / "mirvo" / "bridge.sock");

    ASSERT_EQ(ui.call(paraformerEvents, "listen"), json({{"result", nullptr}}));
    ASSERT_EQ(ui.call(paraformerChannel, "prepare", {{"locale", "zh-TW"}}), json({{"result", nullptr}}))
        << host.output();
    const auto progress = ui.takeEvents();
    ASSERT_FALSE(progress.empty());
    for (const json& line : progress) {
        EXPECT_EQ(line["event"].value("type", ""), "progress") << line;
    }
    EXPECT_EQ(ui.call(paraformerChannel, "getSupportedLocales"),
              json({{"result", {"zh-CN:true", "zh-TW:true", "zh:true"}}}));

    ASSERT_EQ(ui.call(paraformerChannel, "start"), json({{"result", nullptr}})) << host.output();
    EXPECT_EQ(partialsWhileSpeaking(ui), (std::vector<std::string>{chunkText(1), chunkText(1) + " " + chunkText(3)}));
    EXPECT_EQ(ui.call(paraformerChannel, "stop"),
              json({{"result", chunkText(1) + " " + chunkText(3) + " " + chunkText(5)}}))
        << host.output();

    host.signal(SIGTERM);
    EXPECT_EQ(host.waitForExit(), 0) << host.output();
}

} // namespace
} // namespace mirvotest
