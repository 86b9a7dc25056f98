#include "LoopbackServer.hpp"
#include "RecordingDelegate.hpp"
#include "Requests.hpp"
#include "StandardRoutes.hpp"
#include "UrlErrorCode.hpp"

#include "platform/net/Session.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using nettest::DelegateRecord;
using nettest::get;
using nettest::LoopbackServer;
using nettest::RecordingDelegate;
using nettest::urlErrorCode;
using platform::net::DataTask;
using platform::net::ResponseDisposition;
using platform::net::Session;
using platform::net::UrlError;

struct StartedTask {
    std::shared_ptr<DataTask> task;
    std::shared_ptr<DelegateRecord> record;
};

StartedTask makeTask(Session& session, const std::string& url,
                     ResponseDisposition answer = ResponseDisposition::allow) {
    auto record = std::make_shared<DelegateRecord>();
    return {.task = session.dataTask(get(url), std::make_shared<RecordingDelegate>(record, answer)), .record = record};
}

// Waits until the task has let its delegate go, then checks that its events end with exactly one completion.
void expectOneCompletionLast(const DelegateRecord& record) {
    record.waitUntilReleased();
    ASSERT_FALSE(record.events.empty());
    EXPECT_EQ(record.events.back(), "complete");
    EXPECT_EQ(std::count(record.events.begin(), record.events.end(), "complete"), 1);
}

class DataTaskTest : public testing::Test {
protected:
    void SetUp() override {
        nettest::addStandardRoutes(server);
        server.http().Get("/redirect", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/chunks");
        });
        server.start();
    }

    LoopbackServer server;
    std::shared_ptr<Session> session = Session::make();
};

TEST_F(DataTaskTest, DeliversTheFinalHeadThenTheChunksInOrderThenOneCompletion) {
    const auto [task, record] = makeTask(*session, server.url("/redirect"));
    task->resume();

    expectOneCompletionLast(*record);
    EXPECT_FALSE(record->error);
    EXPECT_EQ(record->events.front(), "response");
    EXPECT_GT(record->events.size(), 2u);
    EXPECT_TRUE(std::all_of(record->events.begin() + 1, record->events.end() - 1,
                            [](const std::string& event) { return event == "data"; }));
    EXPECT_EQ(record->body, "chunk0;chunk1;chunk2;chunk3;chunk4;");
    ASSERT_TRUE(record->response);
    EXPECT_EQ(record->response->statusCode, 200);
    EXPECT_EQ(record->response->url.absoluteString(), server.url("/chunks"));
    EXPECT_EQ(record->response->expectedContentLength(), -1);
    EXPECT_EQ(task->response()->statusCode, 200);
}

TEST_F(DataTaskTest, CancellationCompletesOnceWithCancelled) {
    enum class Moment { beforeResume, withoutResume, midBody, byDelegate };
    for (const auto moment : {Moment::beforeResume, Moment::withoutResume, Moment::midBody, Moment::byDelegate}) {
        SCOPED_TRACE(static_cast<int>(moment));
        const auto answer = moment == Moment::byDelegate ? ResponseDisposition::cancel : ResponseDisposition::allow;
        const auto [task, record] = makeTask(*session, server.url("/stall"), answer);
        switch (moment) {
        case Moment::beforeResume:
            task->cancel();
            task->resume();
            break;
        case Moment::withoutResume: task->cancel(); break;
        case Moment::midBody:
            task->resume();
            record->waitUntil([&record] { return !record->body.empty(); });
            task->cancel();
            break;
        case Moment::byDelegate: task->resume(); break;
        }

        expectOneCompletionLast(*record);
        EXPECT_EQ(urlErrorCode(record->error), UrlError::Code::cancelled);
        const bool started = moment == Moment::midBody || moment == Moment::byDelegate;
        EXPECT_EQ(record->response.has_value(), started);
        EXPECT_EQ(record->body.empty(), moment != Moment::midBody);
    }
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(DataTaskTest, TasksOfOneSessionRunConcurrently) {
    const auto held = makeTask(*session, server.url("/held"));
    held.task->resume();
    server.waitForRequests(1);

    const auto quick = makeTask(*session, server.url("/chunks"));
    quick.task->resume();
    expectOneCompletionLast(*quick.record);
    EXPECT_TRUE(held.record->events.empty());

    server.release();
    expectOneCompletionLast(*held.record);
    EXPECT_EQ(held.record->body, "held");
}

TEST_F(DataTaskTest, RunsToItsEndWhenSessionTaskAndDelegateAreDroppedWhileRunning) {
    auto record = std::make_shared<DelegateRecord>();
    {
        auto delegate = std::make_shared<RecordingDelegate>(record);
        const auto task = session->dataTask(get(server.url("/held")), delegate);
        delegate->keep(task);
        task->resume();
        server.waitForRequests(1);
        session->finishTasksAndInvalidate();
        EXPECT_THROW(session->dataTask(get(server.url("/held")), delegate), std::logic_error);
        session.reset();
    }
    server.release();

    expectOneCompletionLast(*record);
    EXPECT_FALSE(record->error);
    EXPECT_EQ(record->body, "held");
}

} // namespace
