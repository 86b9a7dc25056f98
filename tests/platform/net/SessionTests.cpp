#include "LoopbackServer.hpp"
#include "Requests.hpp"
#include "ReservedPort.hpp"
#include "StandardRoutes.hpp"
#include "UrlErrorCode.hpp"

#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "platform/net/Session.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using nettest::failureOf;
using nettest::get;
using nettest::LoopbackServer;
using nettest::text;
using nettest::urlErrorCode;
using platform::net::Proxy;
using platform::net::ProxySettings;
using platform::net::Session;
using platform::net::SessionConfiguration;
using platform::net::UrlError;

TEST(Session, DataReturnsTheBodyAndHeadAndSendsTheRequestHeaders) {
    LoopbackServer server;
    server.http().Get("/file", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("ETag", "\"v1\"");
        response.set_content("0123456789", "application/octet-stream");
    });
    server.start();
    auto request = get(server.url("/file"));
    request.headers.set("Range", "bytes=4-");
    request.headers.set("If-Range", "\"v1\"");

    const auto [body, response] = Session::make()->data(request);

    EXPECT_EQ(text(body), "456789");
    EXPECT_EQ(response.statusCode, 206);
    EXPECT_EQ(response.url, request.url);
    EXPECT_EQ(response.headers.value("content-range"), "bytes 4-9/10");
    EXPECT_EQ(response.headers.value("etag"), "\"v1\"");
    EXPECT_EQ(response.expectedContentLength(), 6);
    const auto received = server.requests().at(0).headers;
    EXPECT_EQ(received.find("Range")->second, "bytes=4-");
    EXPECT_EQ(received.find("If-Range")->second, "\"v1\"");
}

TEST(Session, SendsTheRequestsMethod) {
    LoopbackServer server;
    server.http().Get("/item", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("item", "text/plain");
    });
    server.http().Delete("/item", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("deleted", "text/plain");
    });
    server.start();
    const std::pair<std::string, std::string> cases[] = {{"GET", "item"}, {"HEAD", ""}, {"DELETE", "deleted"}};
    const auto session = Session::make();
    for (const auto& [method, expectedBody] : cases) {
        auto request = get(server.url("/item"));
        request.method = method;
        const auto [body, response] = session->data(request);
        EXPECT_EQ(server.requests().back().method, method);
        EXPECT_EQ(response.statusCode, 200) << method;
        EXPECT_EQ(text(body), expectedBody) << method;
    }
}

TEST(Session, FollowsRedirectsAndSendsAuthorizationToTheRequestsHostOnly) {
    LoopbackServer server;
    LoopbackServer other;
    server.http().Get("/to-same", [&](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(server.url("/landing"));
    });
    server.http().Get("/to-localhost", [&](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(server.url("/landing", "localhost"));
    });
    server.http().Get("/to-other", [&](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(other.url("/landing", "localhost"), 307);
    });
    for (auto* landing : {&server, &other}) {
        landing->http().Get("/landing", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("landed", "text/plain");
        });
    }
    server.start();
    other.start();
    struct Case {
        std::string start;
        LoopbackServer* landingServer;
        std::string landing;
        bool authorizationKept;
    };
    const Case cases[] = {
        {.start = "/to-same", .landingServer = &server, .landing = server.url("/landing"), .authorizationKept = true},
        {.start = "/to-localhost",
         .landingServer = &server,
         .landing = server.url("/landing", "localhost"),
         .authorizationKept = false},
        {.start = "/to-other",
         .landingServer = &other,
         .landing = other.url("/landing", "localhost"),
         .authorizationKept = false},
    };
    const auto session = Session::make();
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.start);
        auto request = get(server.url(testCase.start));
        request.headers.set("Authorization", "Bearer secret");

        const auto [body, response] = session->data(request);

        EXPECT_EQ(text(body), "landed");
        EXPECT_EQ(response.statusCode, 200);
        EXPECT_EQ(response.url.absoluteString(), testCase.landing);
        const auto landingRequest = testCase.landingServer->requests().back();
        EXPECT_EQ(landingRequest.target, "/landing");
        EXPECT_EQ(landingRequest.headers.count("Authorization"), testCase.authorizationKept ? 1u : 0u);
    }
}

TEST(Session, TakesProxiesFromItsConfigurationOnlyChosenByTheUrlsScheme) {
    LoopbackServer origin;
    origin.http().Get("/resource", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("direct", "text/plain");
    });
    LoopbackServer proxy;
    proxy.http().Get(".*", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("proxied", "text/plain");
    });
    origin.start();
    proxy.start();
    // Every variable curl would consult on its own points elsewhere; none of them may matter.
    testsupport::ScopedEnvironment environment;
    environment.set("http_proxy", proxy.url("")).set("all_proxy", proxy.url("")).set("no_proxy", "127.0.0.1,localhost");
    const Proxy viaProxy{.host = "127.0.0.1", .port = proxy.port()};
    const std::pair<SessionConfiguration, std::string> cases[] = {
        {SessionConfiguration{.proxies = std::nullopt}, "direct"},
        {SessionConfiguration{.proxies = ProxySettings{.https = viaProxy, .http = std::nullopt}}, "direct"},
        {SessionConfiguration{.proxies = ProxySettings{.https = std::nullopt, .http = viaProxy}}, "proxied"},
    };
    for (const auto& [configuration, expected] : cases) {
        EXPECT_EQ(text(Session::make(configuration)->data(get(origin.url("/resource"))).first), expected);
    }
    const auto proxied = proxy.requests();
    ASSERT_EQ(proxied.size(), 1u);
    EXPECT_EQ(proxied[0].target, origin.url("/resource"));
}

TEST(Session, TransportFailuresBecomeUrlErrorsWithTheirCodes) {
    LoopbackServer server;
    nettest::addStandardRoutes(server);
    server.http().Get("/loop",
                      [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/loop"); });
    server.start();
    const nettest::ReservedPort refusing;
    const auto refusingUrl = std::string("http://127.0.0.1:").append(std::to_string(refusing.port())).append("/x");
    struct Case {
        std::string url;
        double timeout;
        UrlError::Code code;
        std::string mentions;
    };
    const Case cases[] = {
        {.url = refusingUrl,
         .timeout = 10,
         .code = UrlError::Code::cannotConnectToHost,
         .mentions = std::to_string(refusing.port())},
        {.url = server.url("/drop"), .timeout = 10, .code = UrlError::Code::networkConnectionLost, .mentions = ""},
        {.url = server.url("/stall"), .timeout = 0.5, .code = UrlError::Code::timedOut, .mentions = "Nothing received"},
        {.url = server.url("/loop"), .timeout = 10, .code = UrlError::Code::httpTooManyRedirects, .mentions = "20"},
        {.url = "ftp://127.0.0.1/x", .timeout = 10, .code = UrlError::Code::unsupportedURL, .mentions = "ftp:"},
        {.url = "/relative", .timeout = 10, .code = UrlError::Code::unsupportedURL, .mentions = ""},
        {.url = "http:/no-host", .timeout = 10, .code = UrlError::Code::badURL, .mentions = ""},
    };
    const auto session = Session::make();
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.url);
        const auto error = failureOf([&] { session->data(get(testCase.url, testCase.timeout)); });
        EXPECT_EQ(urlErrorCode(error), testCase.code);
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& failure) {
            EXPECT_NE(std::string(failure.what()).find(testCase.mentions), std::string::npos) << failure.what();
        }
    }
}

TEST(Session, CancellingTheTokenAbortsData) {
    LoopbackServer server;
    nettest::addStandardRoutes(server);
    server.start();
    const auto session = Session::make();

    platform::core::CancellationSource alreadyCancelled;
    alreadyCancelled.cancel();
    EXPECT_EQ(urlErrorCode(failureOf([&] { session->data(get(server.url("/held")), alreadyCancelled.token()); })),
              UrlError::Code::cancelled);

    // Without an explicit token, data() follows the current task's.
    platform::core::CancellationSource source;
    std::thread canceller([&] {
        server.waitForRequests(1);
        source.cancel();
    });
    const auto error = failureOf([&] {
        const platform::core::Task::Scope scope(source.token());
        session->data(get(server.url("/held")));
    });
    canceller.join();
    EXPECT_EQ(urlErrorCode(error), UrlError::Code::cancelled);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(Session, DownloadWritesANewTemporaryFileAndRemovesItOnFailure) {
    const testsupport::TemporaryFolder folder;
    testsupport::ScopedEnvironment environment;
    environment.set("TMPDIR", folder.path().string());
    LoopbackServer server;
    nettest::addStandardRoutes(server);
    server.start();
    const auto session = Session::make();

    const auto [path, response] = session->download(get(server.url("/chunks")));

    EXPECT_EQ(path.parent_path(), folder.path());
    std::ostringstream content;
    content << std::ifstream(path).rdbuf();
    EXPECT_EQ(content.str(), "chunk0;chunk1;chunk2;chunk3;chunk4;");
    EXPECT_EQ(response.statusCode, 200);
    std::filesystem::remove(path);

    EXPECT_EQ(urlErrorCode(failureOf([&] { session->download(get(server.url("/drop"))); })),
              UrlError::Code::networkConnectionLost);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

} // namespace
