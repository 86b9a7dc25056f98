#include "QuorlAudio/asr/streaming/PunctuationCommitLayer.hpp"

#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using namespace std::chrono_literals;
using Reason = CommitReason;

PunctuationCommitLayer::Config sentenceMarks(bool commitOnTimeout = true) {
    return {.debounceTimeout = 0.5, .punctuationMarks = {".", "?", "!"}, .commitOnTimeout = commitOnTimeout};
}

// The updates a layer pushed to its callback, from whichever thread.
class RecordedUpdates {
public:
    PunctuationCommitLayer::UpdateCallback callback() {
        return [this](const CommitLayerUpdate& update) {
            {
                const std::lock_guard lock(mutex_);
                updates_.push_back(update);
            }
            changed_.notify_all();
        };
    }

    std::vector<CommitLayerUpdate> all() const {
        const std::lock_guard lock(mutex_);
        return updates_;
    }

    // Waits for the update the layer's own timer thread delivers.
    CommitLayerUpdate waitForCount(std::size_t count) {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(changed_.wait_for(lock, 30s, [&] { return updates_.size() >= count; }));
        return updates_.back();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<CommitLayerUpdate> updates_;
};

class PunctuationCommitLayerTest : public ::testing::Test {
protected:
    PunctuationCommitLayerTest() { layer->setUpdateCallback(updates.callback()); }

    // Lets `duration` pass and runs the timers that fell due.
    void pass(std::chrono::milliseconds duration) {
        clock.advance(duration);
        timers.runUntilIdle();
    }

    std::vector<CommitLayerUpdate> timeoutCommits() const {
        std::vector<CommitLayerUpdate> found;
        for (const auto& update : updates.all()) {
            if (update.lastCommitReason == Reason::debounceTimeout()) {
                found.push_back(update);
            }
        }
        return found;
    }

    platform::core::VirtualClock clock;
    platform::core::MainQueue timers{clock};
    RecordedUpdates updates;
    std::unique_ptr<PunctuationCommitLayer> layer = std::make_unique<PunctuationCommitLayer>(sentenceMarks(), timers);
};

TEST_F(PunctuationCommitLayerTest, APartialHypothesisIsSplitBehindItsLastMark) {
    struct Case {
        std::string text;
        std::string committed;
        std::string ghost;
        std::optional<Reason> reason;
    };
    for (const auto& c : {
             Case{"hello world", "", "hello world", std::nullopt},
             Case{"", "", "", std::nullopt},
             Case{"Hello world. How are", "Hello world. ", "How are", Reason::punctuation(".")},
             Case{"Done.", "Done. ", "", Reason::punctuation(".")},
             Case{"a. b? c", "a. b? ", "c", Reason::punctuation("?")},
             Case{"Stop!\n\t next", "Stop!\n\t ", "next", Reason::punctuation("!")},
             Case{"Why?\u3000ok", "Why?\u3000", "ok", Reason::punctuation("?")},
         }) {
        SCOPED_TRACE(c.text);
        PunctuationCommitLayer fresh(sentenceMarks(), timers);
        const auto update = fresh.processPartialText(c.text);
        EXPECT_EQ(update.committedText, c.committed);
        EXPECT_EQ(update.ghostText, c.ghost);
        EXPECT_EQ(update.totalText, c.committed + c.ghost);
        EXPECT_EQ(update.lastCommitReason, c.reason);
    }
}

TEST_F(PunctuationCommitLayerTest, MarksAreWholeCharactersAndCommittedTextOnlyGrows) {
    PunctuationCommitLayer layer({.debounceTimeout = 1, .punctuationMarks = {"\u3002", "!"}, .commitOnTimeout = false},
                                 timers);
    // The exclamation mark followed by a combining mark is another character, not the mark.
    EXPECT_EQ(layer.processPartialText("wow!\u0301 so").lastCommitReason, std::nullopt);
    auto update = layer.processPartialText("\u4f60\u597d\u3002\u518d");
    EXPECT_EQ(update.committedText, "\u4f60\u597d\u3002 ");
    EXPECT_EQ(update.lastCommitReason, Reason::punctuation("\u3002"));
    update = layer.processPartialText("\u518d\u89c1!");
    EXPECT_EQ(update.committedText, "\u4f60\u597d\u3002 \u518d\u89c1! ");
    EXPECT_EQ(update.ghostText, "");
}

TEST_F(PunctuationCommitLayerTest, ExplicitCommitsMoveTheGhostTextBehindABlankWhenNeeded) {
    layer->processPartialText("Hello world. How are");
    layer->processPartialText("How are you");
    auto update = layer->processEOU();
    EXPECT_EQ(update.committedText, "Hello world. How are you");
    EXPECT_EQ(update.ghostText, "");
    EXPECT_EQ(update.totalText, "Hello world. How are you");
    EXPECT_EQ(update.lastCommitReason, Reason::endOfUtterance());

    layer->reset();
    layer->processPartialText("Hi");
    layer->processEOU();
    EXPECT_EQ(layer->processPartialText("there").totalText, "Hithere");
    update = layer->manualCommit();
    EXPECT_EQ(update.committedText, "Hi there");
    EXPECT_EQ(update.lastCommitReason, Reason::manualCommit());

    update = layer->manualCommit();
    EXPECT_EQ(update.committedText, "Hi there");
    EXPECT_EQ(update.lastCommitReason, Reason::manualCommit());
}

TEST_F(PunctuationCommitLayerTest, EveryUpdateGoesToTheCallbackAndResetReportsEmptyTexts) {
    layer->processPartialText("one. two");
    layer->processEOU();
    layer->reset();
    const auto all = updates.all();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].totalText, "one. two");
    EXPECT_EQ(all[1].committedText, "one. two");
    EXPECT_EQ(all[2].committedText, "");
    EXPECT_EQ(all[2].ghostText, "");
    EXPECT_EQ(all[2].totalText, "");
    EXPECT_EQ(all[2].lastCommitReason, std::nullopt);
    EXPECT_EQ(layer->processPartialText("again").committedText, "");
}

TEST_F(PunctuationCommitLayerTest, AQuietPeriodCommitsTheGhostTextOnceThroughTheCallbackOnly) {
    layer->processPartialText("Hi.");
    layer->processPartialText("how are you");
    pass(499ms);
    EXPECT_TRUE(timeoutCommits().empty());
    pass(1ms);
    const auto commits = timeoutCommits();
    ASSERT_EQ(commits.size(), 1u);
    EXPECT_EQ(commits[0].committedText, "Hi. how are you");
    EXPECT_EQ(commits[0].ghostText, "");
    EXPECT_EQ(commits[0].totalText, "Hi. how are you");
    pass(10s);
    EXPECT_EQ(timeoutCommits().size(), 1u);
    EXPECT_EQ(layer->processPartialText("").totalText, "Hi. how are you");
}

TEST_F(PunctuationCommitLayerTest, ATimerNeverCommitsTextOfANewerGeneration) {
    layer->processPartialText("how");
    pass(300ms);
    layer->processPartialText("how are");
    pass(300ms);
    EXPECT_TRUE(timeoutCommits().empty());
    pass(200ms);
    ASSERT_EQ(timeoutCommits().size(), 1u);
    EXPECT_EQ(timeoutCommits()[0].committedText, "how are");

    for (const auto& interrupt :
         std::vector<std::function<void()>>{[&] { layer->processEOU(); }, [&] { layer->manualCommit(); },
                                            [&] { layer->reset(); }, [&] { layer->processPartialText("done."); }}) {
        layer->processPartialText("tail");
        pass(100ms);
        interrupt();
        pass(1s);
    }
    EXPECT_EQ(timeoutCommits().size(), 1u);
}

TEST_F(PunctuationCommitLayerTest, TheQuietPeriodCommitsNothingWhenTurnedOffOrOnceTheLayerIsGone) {
    PunctuationCommitLayer quiet(sentenceMarks(false), timers);
    quiet.setUpdateCallback(updates.callback());
    quiet.processPartialText("stays ghost");
    layer->processPartialText("never committed");
    layer.reset();
    pass(1s);
    EXPECT_TRUE(timeoutCommits().empty());
    EXPECT_EQ(quiet.manualCommit().committedText, "stays ghost");
}

TEST_F(PunctuationCommitLayerTest, ALayerOnItsOwnTimerThreadCommitsAfterTheQuietPeriod) {
    PunctuationCommitLayer own({.debounceTimeout = 0.01, .punctuationMarks = {"."}, .commitOnTimeout = true});
    RecordedUpdates ownUpdates;
    own.setUpdateCallback(ownUpdates.callback());
    own.processPartialText("soon");
    const auto update = ownUpdates.waitForCount(2);
    EXPECT_EQ(update.committedText, "soon");
    EXPECT_EQ(update.lastCommitReason, Reason::debounceTimeout());

    for (const double timeout : {3600.0, 1e300}) {
        PunctuationCommitLayer pending(
            {.debounceTimeout = timeout, .punctuationMarks = {"."}, .commitOnTimeout = true});
        pending.setUpdateCallback(ownUpdates.callback());
        pending.processPartialText("the layer goes before its timer");
    }
    EXPECT_EQ(ownUpdates.all().size(), 4u);
}

TEST_F(PunctuationCommitLayerTest, TheTimeoutMustBeAFiniteNumberOfSecondsNotNegative) {
    for (const double timeout :
         {-0.1, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(testsupport::errorText([&] {
                      PunctuationCommitLayer(
                          {.debounceTimeout = timeout, .punctuationMarks = {}, .commitOnTimeout = true}, timers);
                  }),
                  "The debounce timeout must be a finite number of seconds, not negative");
    }
    EXPECT_NO_THROW(
        PunctuationCommitLayer({.debounceTimeout = 0, .punctuationMarks = {}, .commitOnTimeout = true}, timers));
}

} // namespace
} // namespace quorl
