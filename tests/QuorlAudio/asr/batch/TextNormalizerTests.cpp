#include "QuorlAudio/asr/batch/TextNormalizer.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace quorl {
namespace {

// Loads one variant of the stand-in library with global visibility, so that a normaliser made afterwards finds
// its entry points the way it would find a real library's.
void* loadLibrary(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
    EXPECT_NE(handle, nullptr) << dlerror();
    return handle;
}

// Strings the library handed out and has not had back.
int liveStrings(void* library) { return reinterpret_cast<int (*)()>(dlsym(library, "fake_nemo_live_strings"))(); }

// A library whose symbols were found through the process's global scope can never be unloaded again, so each
// scenario with a library runs in a new process of its own, which passes when no expectation failed there.
template <class Scenario> void inNewProcess(Scenario scenario) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            scenario();
            std::fflush(stdout);
            std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

bool processHasNormaliser() { return dlsym(RTLD_DEFAULT, "nemo_normalize") != nullptr; }

void expectPassesEverythingThrough(const TextNormalizer& normalizer) {
    EXPECT_FALSE(normalizer.isNativeAvailable());
    EXPECT_EQ(normalizer.normalize("twenty  five"), "twenty  five");
    EXPECT_EQ(normalizer.normalizeSentence("a  period"), "a  period");
    EXPECT_EQ(normalizer.normalizeSentence("a  period", 3), "a  period");
    normalizer.addRule("one", "1");
    EXPECT_FALSE(normalizer.removeRule("one"));
    normalizer.clearRules();
    EXPECT_EQ(normalizer.ruleCount(), 0);
    EXPECT_EQ(normalizer.version(), std::nullopt);
    ASRResult result;
    result.text = "a  period";
    result.confidence = 0.5f;
    EXPECT_EQ(normalizer.normalize(result), result);
}

TEST(TextNormalizerTests, WithoutALibraryTextPassesThroughUnchanged) {
    // The toolkit itself exports none of the entry points.
    ASSERT_FALSE(processHasNormaliser());
    expectPassesEverythingThrough(TextNormalizer());
    expectPassesEverythingThrough(TextNormalizer::shared());
}

TEST(TextNormalizerTests, WithoutTheVersionEntryPointTheLibraryIsNotUsed) {
    inNewProcess([] {
        loadLibrary(FAKE_NEMO_WITHOUT_VERSION_LIBRARY);
        EXPECT_TRUE(processHasNormaliser());
        expectPassesEverythingThrough(TextNormalizer());
    });
}

TEST(TextNormalizerTests, ForwardsToTheLibraryAndReleasesWhatItReturns) {
    inNewProcess([] {
        void* library = loadLibrary(FAKE_NEMO_FULL_LIBRARY);
        const TextNormalizer normalizer;
        EXPECT_TRUE(normalizer.isNativeAvailable());

        const struct {
            std::string text;
            std::string normalized;
            std::string sentence;
            std::string spanned;
        } cases[] = {
            // Without a punctuation word the spacing reaches the library as it is.
            {"two  words", "N(two  words)", "S(two  words)", "M4(two  words)"},
            // With one, in any case, the words are joined by single spaces; normalize never filters.
            {" end  Period ", "N( end  Period )", "S(end Period)", "M4(end Period)"},
            // Punctuation attached makes it another word.
            {"end  period,", "N(end  period,)", "S(end  period,)", "M4(end  period,)"},
            // No answer from the library gives back the text that reached it.
            {"null", "null", "null", "null"},
            {"bad", "N(\uFFFD)", "S(\uFFFD)", "M4(\uFFFD)"},
        };
        for (const auto& testCase : cases) {
            EXPECT_EQ(normalizer.normalize(testCase.text), testCase.normalized) << testCase.text;
            EXPECT_EQ(normalizer.normalizeSentence(testCase.text), testCase.sentence) << testCase.text;
            EXPECT_EQ(normalizer.normalizeSentence(testCase.text, 4), testCase.spanned) << testCase.text;
        }
        EXPECT_EQ(liveStrings(library), 0);
        EXPECT_EQ(normalizer.version(), "fake-1.0");
    });
}

TEST(TextNormalizerTests, ResultsKeepEverythingButTheirText) {
    inNewProcess([] {
        loadLibrary(FAKE_NEMO_FULL_LIBRARY);
        const TextNormalizer normalizer;
        const ASRResult result{.text = "a  dash",
                               .confidence = 0.75f,
                               .duration = 2.0,
                               .processingTime = 0.5,
                               .tokenTimings = std::vector<TokenTiming>{},
                               .performanceMetrics = std::nullopt,
                               .ctcDetectedTerms = std::vector<std::string>{"dash"},
                               .ctcAppliedTerms = std::nullopt};

        ASRResult expected = result;
        expected.text = "S(a dash)";
        EXPECT_EQ(normalizer.normalize(result), expected);
        ASRResult unanswered = result;
        unanswered.text = "null";
        EXPECT_EQ(normalizer.normalize(unanswered), unanswered);
    });
}

TEST(TextNormalizerTests, TheRuleTableIsTheLibrarys) {
    inNewProcess([] {
        loadLibrary(FAKE_NEMO_FULL_LIBRARY);
        const TextNormalizer normalizer;
        normalizer.clearRules();
        normalizer.addRule("one", "1");
        normalizer.addRule("two", "2");
        EXPECT_EQ(normalizer.ruleCount(), 2);
        EXPECT_TRUE(normalizer.removeRule("one"));
        EXPECT_FALSE(normalizer.removeRule("one"));
        EXPECT_EQ(normalizer.ruleCount(), 1);
        normalizer.clearRules();
        EXPECT_EQ(normalizer.ruleCount(), 0);
    });
}

TEST(TextNormalizerTests, MissingSentenceEntryPointsFallBackStepByStep) {
    inNewProcess([] {
        void* library = loadLibrary(FAKE_NEMO_ESSENTIAL_ONLY_LIBRARY);
        const TextNormalizer normalizer;
        EXPECT_TRUE(normalizer.isNativeAvailable());
        EXPECT_EQ(normalizer.normalizeSentence("a  period"), "N(a period)");
        EXPECT_EQ(normalizer.normalizeSentence("a  b", 7), "N(a  b)");
        EXPECT_EQ(normalizer.normalizeSentence("null", 7), "null");
        normalizer.addRule("one", "1");
        EXPECT_FALSE(normalizer.removeRule("one"));
        EXPECT_EQ(normalizer.ruleCount(), 0);
        EXPECT_EQ(liveStrings(library), 0);
    });
}

} // namespace
} // namespace quorl
