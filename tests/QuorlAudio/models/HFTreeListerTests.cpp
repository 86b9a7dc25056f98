#include "HubTest.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/HFTreeLister.hpp"
#include "QuorlAudio/models/RetryPolicy.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace quorl {
namespace {

using testsupport::LoopbackHub;

bool everything(const std::string&, bool) { return true; }

class HFTreeListerTest : public testing::HubTest {
protected:
    HFTreeListerTest() {
        hub.putFile(repo, "Decoder.mlmodelc/coremldata.bin", "dec");
        hub.putFile(repo, "Encoder.mlmodelc/coremldata.bin", "encoder");
        hub.putFile(repo, "Encoder.mlmodelc/weights/weight.bin", "weights!");
        hub.putFile(repo, "a.json", "{}");
        hub.putFile(repo, "z.txt", "zz");
        hub.setPageSize(2);
    }

    std::vector<RemoteFile> list(const std::string& startingAt = "",
                                 const HFTreeLister::IncludeRule& include = everything) {
        return HFTreeLister::listTree(repo, startingAt, include, HFTreeLister::fetch(session, offline), sleeper);
    }

    // The listing's error; fails the test when the listing succeeds.
    std::optional<DownloadError> listingError(const std::string& startingAt = "") {
        try {
            list(startingAt);
        } catch (const DownloadError& error) {
            return error;
        }
        ADD_FAILURE() << "expected the listing to fail";
        return std::nullopt;
    }

    std::vector<std::string> targets() const {
        std::vector<std::string> sent;
        for (const auto& request : hub.requests()) {
            sent.push_back(request.target);
        }
        return sent;
    }

    const std::vector<RemoteFile> allFiles = {
        {.path = "Decoder.mlmodelc/coremldata.bin", .size = 3},
        {.path = "Encoder.mlmodelc/coremldata.bin", .size = 7},
        {.path = "Encoder.mlmodelc/weights/weight.bin", .size = 8},
        {.path = "a.json", .size = 2},
        {.path = "z.txt", .size = 2},
    };
};

TEST_F(HFTreeListerTest, ListsTheRepositoryDepthFirstPageByPageFollowingAbsoluteOrRelativeLinks) {
    for (const bool relative : {false, true}) {
        hub.setRelativeLinks(relative);
        const auto before = hub.requests().size();
        EXPECT_EQ(list(), allFiles);
        const auto sent = targets();
        EXPECT_EQ(std::vector(sent.begin() + static_cast<std::ptrdiff_t>(before), sent.end()),
                  (std::vector<std::string>{
                      "/api/models/ZirazEvavirivi/demo/tree/main",
                      "/api/models/ZirazEvavirivi/demo/tree/main/Decoder.mlmodelc",
                      "/api/models/ZirazEvavirivi/demo/tree/main/Encoder.mlmodelc",
                      "/api/models/ZirazEvavirivi/demo/tree/main/Encoder.mlmodelc/weights",
                      "/api/models/ZirazEvavirivi/demo/tree/main?cursor=2",
                  }))
            << (relative ? "relative links" : "absolute links");
    }
}

TEST_F(HFTreeListerTest, ListsOneFolderAndAsksTheRuleAboutEveryEntryItSees) {
    std::vector<std::pair<std::string, bool>> asked;
    const auto files = list("Encoder.mlmodelc", [&](const std::string& path, bool isDirectory) {
        asked.emplace_back(path, isDirectory);
        return path != "Encoder.mlmodelc/weights";
    });
    EXPECT_EQ(files, (std::vector<RemoteFile>{{.path = "Encoder.mlmodelc/coremldata.bin", .size = 7}}));
    EXPECT_EQ(asked, (std::vector<std::pair<std::string, bool>>{{"Encoder.mlmodelc/coremldata.bin", false},
                                                                {"Encoder.mlmodelc/weights", true}}));
    EXPECT_EQ(targets(), (std::vector<std::string>{"/api/models/ZirazEvavirivi/demo/tree/main/Encoder.mlmodelc"}));
}

TEST_F(HFTreeListerTest, ReadsOnlyWellFormedEntriesAndGivesSizesWithoutAnExactIntegerMinusOne) {
    const std::string page = R"([
        {"type": "file", "path": "string-size", "size": "12"},
        {"type": "file", "path": "fraction", "size": 12.5},
        {"type": "file", "path": "no-size"},
        {"type": "file", "path": "whole-float", "size": 12.0},
        {"type": "file", "path": "flag", "size": true},
        {"type": "file", "path": "big", "size": 5000000000, "oid": "ignored"},
        {"type": "symlink", "path": "elsewhere"},
        {"type": "file"},
        {"type": 7, "path": "numeric-type"}
    ])";
    hub.failPath(LoopbackHub::treePath(repo), LoopbackHub::Fault::answer(200, page));
    EXPECT_EQ(list(), (std::vector<RemoteFile>{{.path = "string-size", .size = -1},
                                               {.path = "fraction", .size = -1},
                                               {.path = "no-size", .size = -1},
                                               {.path = "whole-float", .size = 12},
                                               {.path = "flag", .size = -1},
                                               {.path = "big", .size = 5000000000}}));
}

LoopbackHub::Headers linkTo(const std::string& url) { return {{"Link", "<" + url + ">; rel=\"next\""}}; }

TEST_F(HFTreeListerTest, FollowsEmptyPagesAndStopsWithAWarningWhenACursorRepeats) {
    for (const auto& [folder, named] :
         {std::pair{"Encoder.mlmodelc", "Encoder.mlmodelc"}, std::pair{"", "repo root"}}) {
        const std::string first = hub.baseURL() + LoopbackHub::treePath(repo, folder);
        const std::string second = first + "?cursor=1";
        hub.failPath(LoopbackHub::treePath(repo, folder), LoopbackHub::Fault::answer(200, "[]", linkTo(second)));
        hub.failPath(LoopbackHub::treePath(repo, folder),
                     LoopbackHub::Fault::answer(200, R"([{"type":"file","path":"x","size":1}])", linkTo(first)));
        const auto before = hub.requests().size();
        testsupport::RecordingLogSink sink;

        EXPECT_EQ(list(folder), (std::vector<RemoteFile>{{.path = "x", .size = 1}})) << named;

        ASSERT_EQ(sink.records().size(), 1u) << named;
        EXPECT_EQ(sink.records()[0].category, "HFTreeLister");
        EXPECT_EQ(sink.records()[0].message,
                  "Pagination cursor for " + std::string(named) + " repeats " + first + "; stopping after 2 page(s).");
        EXPECT_EQ(hub.requests().size() - before, 2u) << named;
    }
}

TEST_F(HFTreeListerTest, RemembersVisitedPagesPerFolder) {
    // Two sibling folders whose listings both continue on the same page: each folder fetches it.
    const std::string shared = hub.baseURL() + LoopbackHub::treePath(repo, "Decoder.mlmodelc");
    hub.failPath(
        LoopbackHub::treePath(repo),
        LoopbackHub::Fault::answer(200, R"([{"type":"directory","path":"A"},{"type":"directory","path":"B"}])"));
    hub.failPath(LoopbackHub::treePath(repo, "A"), LoopbackHub::Fault::answer(200, "[]", linkTo(shared)));
    hub.failPath(LoopbackHub::treePath(repo, "B"), LoopbackHub::Fault::answer(200, "[]", linkTo(shared)));
    testsupport::RecordingLogSink sink;

    EXPECT_EQ(list(), (std::vector<RemoteFile>{{.path = "Decoder.mlmodelc/coremldata.bin", .size = 3},
                                               {.path = "Decoder.mlmodelc/coremldata.bin", .size = 3}}));

    EXPECT_TRUE(sink.records().empty());
    EXPECT_EQ(hub.requestsFor(LoopbackHub::treePath(repo, "Decoder.mlmodelc")).size(), 2u);
}

TEST_F(HFTreeListerTest, DescendsOnlyIntoFoldersBelowTheOneBeingListed) {
    // A broken hub whose folder lists itself and its parent must not make the listing recurse for ever.
    hub.failPath(LoopbackHub::treePath(repo, "A"),
                 LoopbackHub::Fault::answer(200, R"([{"type":"directory","path":"A"},{"type":"directory","path":""},
                                                     {"type":"directory","path":"AB"},
                                                     {"type":"file","path":"A/x","size":1}])"));
    EXPECT_EQ(list("A"), (std::vector<RemoteFile>{{.path = "A/x", .size = 1}}));
    EXPECT_EQ(targets(), (std::vector<std::string>{"/api/models/ZirazEvavirivi/demo/tree/main/A"}));
}

TEST_F(HFTreeListerTest, SendsTheTokenToTheHubButNotToAnotherHostALinkPointsAt) {
    environment.set("HF_TOKEN", "secret");
    const std::string elsewhere =
        "http://localhost:" + std::to_string(hub.port()) + LoopbackHub::treePath(repo, "Decoder.mlmodelc");
    hub.failPath(LoopbackHub::treePath(repo),
                 LoopbackHub::Fault::answer(200, "[]", {{"Link", "<" + elsewhere + ">; rel=\"next\""}}));

    EXPECT_EQ(list(), (std::vector<RemoteFile>{{.path = "Decoder.mlmodelc/coremldata.bin", .size = 3}}));

    const auto requests = hub.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer secret");
    EXPECT_EQ(requests[1].header("Host"), "localhost:" + std::to_string(hub.port()));
    EXPECT_EQ(requests[1].header("Authorization"), std::nullopt);
}

TEST_F(HFTreeListerTest, FollowsARedirectToAnotherHostWithoutTheToken) {
    environment.set("HF_TOKEN", "secret");
    const std::string elsewhere =
        "http://localhost:" + std::to_string(hub.port()) + LoopbackHub::treePath(repo, "Decoder.mlmodelc");
    hub.failPath(LoopbackHub::treePath(repo), LoopbackHub::Fault::redirect(elsewhere));

    EXPECT_EQ(list(), (std::vector<RemoteFile>{{.path = "Decoder.mlmodelc/coremldata.bin", .size = 3}}));

    const auto requests = hub.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer secret");
    EXPECT_EQ(requests[1].header("Authorization"), std::nullopt);
}

struct FailureCase {
    std::string name;
    std::optional<std::size_t> requestNumber;
    LoopbackHub::Fault fault;
    DownloadError::Kind kind;
    std::string text;
};

TEST_F(HFTreeListerTest, EndsTheWholeListingWithTheErrorOfAnyPage) {
    const std::string htmlPage = "<!DOCTYPE html>\n<html><body><h1>Something went wrong</h1></body></html>";
    const std::string status401 = "The operation couldn\u2019t be completed. (HTTP error 401.)";
    const std::vector<FailureCase> cases = {
        {"rate limit at the root", std::nullopt, LoopbackHub::Fault::answer(429, "{}"),
         DownloadError::Kind::rateLimited,
         "Hugging Face rate limit encountered: Rate limited while listing files (HTTP 429)"},
        // With one entry per page the requests are: root, Decoder, root's second page, Encoder, and then
        // Encoder's second page, tried four times.
        {"rate limit on a sub-folder's second page", 5, LoopbackHub::Fault::answer(503),
         DownloadError::Kind::rateLimited,
         "Hugging Face rate limit encountered: Rate limited while listing files in Encoder.mlmodelc (HTTP 503)"},
        {"markup", std::nullopt, LoopbackHub::Fault::html(200), DownloadError::Kind::htmlErrorResponse,
         "HuggingFace returned HTML instead of JSON for  (rate limit or server issue): " + htmlPage},
        // A refusal names its HTTP status, not whatever its body says.
        {"error object", std::nullopt, LoopbackHub::Fault::answer(401, R"({"error":"Invalid credentials"})"),
         DownloadError::Kind::downloadFailed,
         "Failed to download /api/models/ZirazEvavirivi/demo/tree/main: " + status401},
        {"markup with an error status", std::nullopt, LoopbackHub::Fault::html(401),
         DownloadError::Kind::downloadFailed,
         "Failed to download /api/models/ZirazEvavirivi/demo/tree/main: " + status401},
        {"array of strings", std::nullopt, LoopbackHub::Fault::answer(200, R"(["a.json"])"),
         DownloadError::Kind::invalidResponse, "Received an invalid response from Hugging Face."},
    };
    for (const auto& [name, requestNumber, fault, kind, text] : cases) {
        LoopbackHub failing;
        environment.set("REGISTRY_URL", failing.baseURL());
        failing.putFile(repo, "Decoder.mlmodelc/coremldata.bin", "dec");
        failing.putFile(repo, "Encoder.mlmodelc/coremldata.bin", "encoder");
        failing.putFile(repo, "Encoder.mlmodelc/more.bin", "more");
        failing.setPageSize(1);
        if (requestNumber) {
            for (std::size_t attempt = 0; attempt < 4; ++attempt) {
                failing.failRequest(*requestNumber + attempt, fault);
            }
        } else {
            failing.failPath(LoopbackHub::treePath(repo), fault, 4);
        }
        try {
            list();
            ADD_FAILURE() << name << ": expected an error";
        } catch (const DownloadError& error) {
            EXPECT_EQ(error.kind(), kind) << name;
            EXPECT_EQ(error.what(), text) << name;
        }
    }
}

TEST_F(HFTreeListerTest, TriesAPageAgainAfterARateLimitOrAServerErrorLikeAFile) {
    hub.failPath(LoopbackHub::treePath(repo, "Encoder.mlmodelc"),
                 LoopbackHub::Fault::answer(429, "{}", {{"Retry-After", "7"}}));
    hub.failPath(LoopbackHub::treePath(repo, "Encoder.mlmodelc"), LoopbackHub::Fault::answer(500, "oops"));
    EXPECT_EQ(list(), allFiles);
    EXPECT_EQ(sleeper.waits(), (std::vector<double>{7.0, 2.0}));

    hub.failPath(LoopbackHub::treePath(repo), LoopbackHub::Fault::answer(502), 4);
    const auto error = listingError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), DownloadError::Kind::downloadFailed);
    EXPECT_STREQ(error->what(), "Failed to download /api/models/ZirazEvavirivi/demo/tree/main: The operation "
                                "couldn\u2019t be completed. (HTTP error 502.)");
    EXPECT_EQ(sleeper.waits(), (std::vector<double>{7.0, 2.0, 1.0, 2.0, 4.0}));
}

TEST_F(HFTreeListerTest, SendsNoTokenToAnotherPortOfTheHubsHost) {
    environment.set("HF_TOKEN", "secret");
    LoopbackHub otherPort;
    otherPort.putFile(repo, "Decoder.mlmodelc/coremldata.bin", "dec");
    const std::string elsewhere = otherPort.baseURL() + LoopbackHub::treePath(repo, "Decoder.mlmodelc");
    hub.failPath(LoopbackHub::treePath(repo),
                 LoopbackHub::Fault::answer(200, "[]", {{"Link", "<" + elsewhere + ">; rel=\"next\""}}));

    EXPECT_EQ(list(), (std::vector<RemoteFile>{{.path = "Decoder.mlmodelc/coremldata.bin", .size = 3}}));

    ASSERT_EQ(hub.requests().size(), 1u);
    EXPECT_EQ(hub.requests()[0].header("Authorization"), "Bearer secret");
    ASSERT_EQ(otherPort.requests().size(), 1u);
    EXPECT_EQ(otherPort.requests()[0].header("Authorization"), std::nullopt);
}

TEST_F(HFTreeListerTest, FailsPastTheLastPageItFollows) {
    hub.setEndlessPagination(true);
    const auto error = listingError("Decoder.mlmodelc");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), DownloadError::Kind::downloadFailed);
    EXPECT_STREQ(error->what(), "Failed to download the listing of Decoder.mlmodelc: it has more than 256 pages");
    EXPECT_EQ(hub.requests().size(), std::size_t{HFTreeLister::maxPages});
    EXPECT_FALSE(RetryPolicy::isRetryable(std::make_exception_ptr(*error)));
}

TEST_F(HFTreeListerTest, FailsOnFoldersNestedDeeperThanTheLimitWithoutExhaustingTheStack) {
    std::string path = "deep";
    for (int level = 0; level < 5000; ++level) {
        path += "/d";
    }
    hub.putFile(repo, path + "/weight.bin", "w");
    const auto error = listingError("deep");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), DownloadError::Kind::downloadFailed);
    const std::string deepest = "deep" + [] {
        std::string levels;
        for (int level = 0; level <= HFTreeLister::maxDepth; ++level) {
            levels += "/d";
        }
        return levels;
    }();
    EXPECT_EQ(std::string(error->what()),
              "Failed to download the listing of " + deepest + ": its folders nest deeper than 64 levels");
    // "deep", then one page for each level within the limit.
    EXPECT_EQ(hub.requests().size(), std::size_t{HFTreeLister::maxDepth + 1});
}

TEST_F(HFTreeListerTest, ListsTheContentHashOfLargeFiles) {
    const std::string hash(64, 'a');
    hub.setListedSha256(repo, "Encoder.mlmodelc/weights/weight.bin", hash);
    hub.setListedSha256(repo, "a.json", "not a hash");
    auto expected = allFiles;
    expected[2].sha256 = hash;
    EXPECT_EQ(list(), expected);
}

TEST_F(HFTreeListerTest, PassesParserAndTransportErrorsThroughUnchanged) {
    hub.failPath(LoopbackHub::treePath(repo), LoopbackHub::Fault::answer(200, "not json"));
    EXPECT_THROW(list(), nlohmann::json::parse_error);

    platform::core::CancellationSource source;
    source.cancel();
    const platform::core::Task::Scope cancelled(source.token());
    try {
        list();
        FAIL() << "expected the cancellation";
    } catch (...) {
        EXPECT_TRUE(RetryPolicy::isCancellation(std::current_exception()));
        EXPECT_FALSE(RetryPolicy::isRetryable(std::current_exception()));
    }
}

TEST_F(HFTreeListerTest, RefusesWhileOfflineWithoutARequest) {
    offline.set(true);
    try {
        list("Encoder.mlmodelc");
        FAIL() << "expected the offline refusal";
    } catch (const DownloadError& error) {
        EXPECT_EQ(error.kind(), DownloadError::Kind::networkDisabled);
        EXPECT_STREQ(
            error.what(),
            "QuorlAudio offline mode: listTree(/api/models/ZirazEvavirivi/demo/tree/main/Encoder.mlmodelc) blocked");
    }
    EXPECT_TRUE(hub.requests().empty());
}

} // namespace
} // namespace quorl
