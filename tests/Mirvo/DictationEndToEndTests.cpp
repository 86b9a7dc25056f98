#include "tests/Mirvo/DictationModels.hpp"
#include "tests/Mirvo/HostProcess.hpp"
#include "tests/Mirvo/InterfaceLayer.hpp"

#include "tests/support/FileContents.hpp"
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
using testsupport::fileContents;

constexpr const char* parakeetChannel = "mirvo/parakeet";
constexpr const char* parakeetEvents = "mirvo/parakeet_events";

// Every word lies in the recogniser's first window, so a partial with all of them comes while the session
// runs. The recording starts with a word so that the first captured buffer, which always gives a level event,
// is not silent.
const DictationRecording recording = wordsWithinTheFirstWindow();

json parakeetEvent(const json& fields) { return {{"channel", parakeetEvents}, {"event", fields}}; }

// Prepares the models, checks the progress events that came before the answer, then the locales a prepared
// plug-in offers.
void prepare(InterfaceLayer& ui) {
    ASSERT_EQ(ui.call(parakeetChannel, "prepare", {{"locale", "en-US"}}), json({{"result", nullptr}}));
    const auto progress = ui.takeEvents();
    ASSERT_FALSE(progress.empty());
    for (const json& line : progress) {
        ASSERT_EQ(line.value("channel", ""), parakeetEvents) << line;
        const json& event = line["event"];
        ASSERT_EQ(event.value("type", ""), "progress") << line;
        EXPECT_GE(event["fraction"].get<double>(), 0.0) << line;
        EXPECT_LE(event["fraction"].get<double>(), 1.0) << line;
    }
    EXPECT_EQ(progress.back(), parakeetEvent({{"type", "progress"}, {"fraction", 1.0}}));

    const json locales = ui.call(parakeetChannel, "getSupportedLocales")["result"];
    ASSERT_EQ(locales.size(), 25U) << locales;
    for (const json& locale : locales) {
        EXPECT_TRUE(locale.get<std::string>().ends_with(":true")) << locale;
    }
    EXPECT_EQ(locales[5], "en-US:true");
}

// Reads events until a partial holds the whole recording; the level events seen on the way, in order.
std::vector<double> levelsUntilEveryWordIsHeard(InterfaceLayer& ui) {
    std::vector<double> levels;
    while (true) {
        const json line = ui.nextEvent();
        if (line.is_null()) {
            ADD_FAILURE() << "no partial with every word";
            return levels;
        }
        const json& event = line["event"];
        const std::string type = event.value("type", "");
        if (type == "level") {
            levels.push_back(event["level"].get<double>());
        } else if (type == "partial") {
            const auto text = event["text"].get<std::string>();
            EXPECT_FALSE(text.empty());
            if (text == recording.text()) {
                return levels;
            }
        } else {
            ADD_FAILURE() << "unexpected event " << line;
        }
    }
}

TEST(DictationEndToEndTests, SpeechIsRecognisedFromTheMicrophoneAndTypedIntoTheFocusedApplication) {
    testsupport::TemporaryFolder folder;
    const fs::path runtime = folder.path() / "runtime";
    const fs::path microphone = folder.path() / "microphone.wav";
    const fs::path typed = folder.path() / "typed.txt";
    fs::create_directories(runtime);
    recording.writeWav(microphone);
    testsupport::LoopbackHub hub;
    serveDictationModels(hub);

    testsupport::ScopedEnvironment environment;
    useDictationHub(environment, hub, folder.path() / "data");
    environment.set("XDG_RUNTIME_DIR", runtime.string());
    environment.set("MIRVO_AUDIO_INPUT_FILE", microphone.string()).set("MIRVO_AUDIO_INPUT_PACE", "fast");
    // The typed text is read back from the in-process keyboard, whatever display the machine has.
    environment.set("MIRVO_TYPED_TEXT_FILE", typed.string()).set("MIRVO_KEYBOARD", "in-process");
    HostProcess host(MIRVO_EXECUTABLE);
    ASSERT_TRUE(host.waitForOutput("Mirvo: interface bridge listening on ")) << host.output();
    ASSERT_TRUE(host.waitForOutput("Mirvo: DictationCuesPlugin registered")) << host.output();
    InterfaceLayer ui(runtime / "mirvo" / "bridge.sock");

    ASSERT_EQ(ui.call(parakeetEvents, "listen"), json({{"result", nullptr}}));
    ASSERT_NO_FATAL_FAILURE(prepare(ui));
    ASSERT_EQ(ui.call(parakeetChannel, "start"), json({{"result", nullptr}})) << host.output();
    const auto levels = levelsUntilEveryWordIsHeard(ui);
    ASSERT_FALSE(levels.empty());
    // The first buffer holds only the first word: a root mean square of its level, 0.1, times 8.
    EXPECT_NEAR(levels.front(), 0.8, 1e-3);
    for (const double level : levels) {
        EXPECT_GE(level, 0.0);
        EXPECT_LE(level, 1.0);
    }
    ASSERT_EQ(ui.call(parakeetChannel, "stop"), json({{"result", recording.text()}})) << host.output();

    // Insertion answers once every keystroke has been posted, and each one is in the file by then.
    EXPECT_EQ(ui.call("mirvo/insert_text", "insert", {{"text", recording.text()}}), json({{"result", true}}));
    EXPECT_EQ(fileContents(typed), recording.text());

    host.signal(SIGTERM);
    EXPECT_EQ(host.waitForExit(), 0) << host.output();
}

} // namespace
} // namespace mirvotest
